#pragma once
// What the tests of the C++ functions and of danfe share: files, a temporary
// folder, and running programs.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace corvexa::teste {

namespace fs = std::filesystem;

inline std::string LerArquivo(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void Gravar(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string Amostra(const std::string& nome) { return LerArquivo(fs::path(CORVEXA_SAMPLES) / nome); }
inline std::string Exemplo() { return LerArquivo(fs::path(CORVEXA_RAIZ) / "samples/nfe-exemplo.xml"); }

inline std::string Trocar(std::string s, const std::string& de, const std::string& para) {
    const auto p = s.find(de);
    EXPECT_NE(p, std::string::npos) << de;
    if (p != std::string::npos) s.replace(p, de.size(), para);
    return s;
}

class PastaTemporaria {
public:
    explicit PastaTemporaria(const std::string& nome)
        : p_(fs::temp_directory_path() / ("corvexa-" + nome + "-" + std::to_string(::getpid()))) {
        fs::remove_all(p_);
        fs::create_directories(p_);
    }
    ~PastaTemporaria() { fs::remove_all(p_); }
    const fs::path& operator*() const { return p_; }
    fs::path operator/(const std::string& nome) const { return p_ / nome; }

private:
    fs::path p_;
};

inline std::string Aspas(const std::string& s) {
    std::string r = "'";
    for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return r + "'";
}

// What a command printed; stdout only when asked.
inline std::string Executar(const std::string& comando) {
    std::string r;
    if (FILE* p = popen(comando.c_str(), "r")) {
        char buf[4096];
        while (size_t n = fread(buf, 1, sizeof buf, p)) r.append(buf, n);
        pclose(p);
    }
    return r;
}

// The text of a PDF (numbers formatted under the C locale by the tool).
inline std::string TextoPdf(const fs::path& pdf) {
    return Executar("pdftotext -enc UTF-8 " + Aspas(pdf.string()) + " - 2>&1");
}

inline int PaginasPdf(const fs::path& pdf) {
    const std::string info = Executar("pdfinfo " + Aspas(pdf.string()) + " 2>/dev/null");
    const auto p = info.find("Pages:");
    return p == std::string::npos ? -1 : std::stoi(info.substr(p + 6));
}

}  // namespace corvexa::teste
