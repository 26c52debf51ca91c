#pragma once
// What the tests of the exported functions share: the library loaded as a
// host loads it, and a temporary folder.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "corvexa.h"

namespace corvexa::teste {

namespace fs = std::filesystem;

inline std::string LerArquivo(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void Gravar(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

class PastaTemporaria {
public:
    explicit PastaTemporaria(const std::string& nome = "api")
        : p_(fs::temp_directory_path() / ("corvexa-" + nome + "-" + std::to_string(::getpid()))) {
        fs::create_directories(p_);
    }
    ~PastaTemporaria() { fs::remove_all(p_); }
    const fs::path& operator*() const { return p_; }

private:
    fs::path p_;
};

// The library, loaded as a host loads it.

class Biblioteca {
public:
    Biblioteca() : h_(dlopen(CORVEXA_LIB, RTLD_NOW | RTLD_LOCAL)) {
        EXPECT_NE(h_, nullptr) << dlerror();
        Print = Simbolo<decltype(&::PrintDanfe)>("PrintDanfe");
        Preview = Simbolo<decltype(&::PreviewDanfe)>("PreviewDanfe");
        Export = Simbolo<decltype(&::ExportDanfe)>("ExportDanfe");
        Email = Simbolo<decltype(&::EmailDanfe)>("EmailDanfe");
        Design = Simbolo<decltype(&::DesignDanfe)>("DesignDanfe");
        UltimoErro = Simbolo<decltype(&::DanfeUltimoErro)>("DanfeUltimoErro");
        DefinirPasta = Simbolo<decltype(&::DanfeDefinirPasta)>("DanfeDefinirPasta");
    }
    ~Biblioteca() {
        if (h_) dlclose(h_);
    }
    bool Carregada() const {
        return h_ && Print && Preview && Export && Email && Design && UltimoErro && DefinirPasta;
    }

    decltype(&::PrintDanfe) Print;
    decltype(&::PreviewDanfe) Preview;
    decltype(&::ExportDanfe) Export;
    decltype(&::EmailDanfe) Email;
    decltype(&::DesignDanfe) Design;
    decltype(&::DanfeUltimoErro) UltimoErro;
    decltype(&::DanfeDefinirPasta) DefinirPasta;

private:
    template <class F>
    F Simbolo(const char* nome) {
        auto f = h_ ? reinterpret_cast<F>(dlsym(h_, nome)) : nullptr;
        EXPECT_NE(f, nullptr) << nome;
        return f;
    }
    void* h_;
};

}  // namespace corvexa::teste
