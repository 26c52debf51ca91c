#include "platform/ini.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/texto.h"

namespace corvexa::platform {
namespace {

// Blanks as the profile functions trim them: spaces, tabs and the other
// control characters.
std::string_view Aparar(std::string_view s) { return texto::Aparar(s); }

std::string_view SemAspas(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// A UTF-16 file (after its byte order mark) as UTF-8. A lone last byte is
// dropped; unpaired surrogates become U+FFFD.
std::string Utf16ParaUtf8(std::string_view b, bool bigEndian) {
    std::string r;
    r.reserve(b.size() / 2);
    auto unidade = [&](size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(b[i]), c = static_cast<unsigned char>(b[i + 1]);
        return bigEndian ? (char32_t{a} << 8 | c) : (char32_t{c} << 8 | a);
    };
    for (size_t i = 0; i + 1 < b.size(); i += 2) {
        char32_t u = unidade(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < b.size()) {
            const char32_t baixo = unidade(i + 2);
            if (baixo >= 0xDC00 && baixo <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (baixo - 0xDC00);
                i += 2;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        texto::AcrescentarUtf8(r, u);
    }
    return r;
}

int ValorHex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<int32_t> LerNumeroIni(std::string_view t) {
    bool negativo = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negativo = t[0] == '-';
        t.remove_prefix(1);
    }
    bool hex = false;
    if (t.starts_with("$")) {
        hex = true;
        t.remove_prefix(1);
    } else if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        hex = true;
        t.remove_prefix(2);
    }
    if (t.empty()) return std::nullopt;
    uint64_t v = 0;
    for (const char c : t) {
        const int d = hex ? ValorHex(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0) return std::nullopt;
        v = v * (hex ? 16 : 10) + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFu) return std::nullopt;
    }
    if (hex) {
        // All 32 bits, as a two's complement value.
        const auto bits = static_cast<uint32_t>(v);
        const auto valor = static_cast<int32_t>(bits);
        return negativo ? static_cast<int32_t>(0u - bits) : valor;
    }
    if (negativo) {
        if (v > 0x80000000u) return std::nullopt;
        return static_cast<int32_t>(-static_cast<int64_t>(v));
    }
    if (v > 0x7FFFFFFFu) return std::nullopt;
    return static_cast<int32_t>(v);
}

ArquivoIni ArquivoIni::Abrir(const std::string& caminho) {
    // A folder, a device or an unreadable file reads as no file at all.
    std::error_code erro;
    if (!std::filesystem::is_regular_file(caminho, erro)) return {};
    std::FILE* f = std::fopen(caminho.c_str(), "rb");
    if (!f) return {};
    std::string bytes;
    char bloco[8192];
    size_t n;
    while ((n = std::fread(bloco, 1, sizeof bloco, f)) > 0) bytes.append(bloco, n);
    const bool falhou = std::ferror(f);
    std::fclose(f);
    return falhou ? ArquivoIni() : DeTexto(bytes);
}

ArquivoIni ArquivoIni::DeTexto(std::string_view conteudo) {
    std::string convertido;
    if (conteudo.starts_with("\xFF\xFE") || conteudo.starts_with("\xFE\xFF")) {
        convertido = Utf16ParaUtf8(conteudo.substr(2), conteudo[0] == '\xFE');
        conteudo = convertido;
    } else if (conteudo.starts_with("\xEF\xBB\xBF")) {
        conteudo.remove_prefix(3);
    }

    ArquivoIni ini;
    size_t i = 0;
    while (i < conteudo.size()) {
        size_t fim = conteudo.find_first_of("\r\n", i);
        if (fim == std::string_view::npos) fim = conteudo.size();
        const std::string_view linha = Aparar(conteudo.substr(i, fim - i));
        i = fim + 1;
        if (fim < conteudo.size() && conteudo[fim] == '\r' && i < conteudo.size() && conteudo[i] == '\n') ++i;

        if (linha.empty() || linha[0] == ';') continue;
        if (linha[0] == '[') {
            // "[Nome]": the name up to the first "]"; a line without one
            // still opens the section named by the rest of the line.
            const auto fecha = linha.find(']');
            const auto nome = linha.substr(1, fecha == std::string_view::npos ? std::string_view::npos : fecha - 1);
            ini.secoes_.push_back({std::string(Aparar(nome)), {}});
            continue;
        }
        const auto igual = linha.find('=');
        if (ini.secoes_.empty() || igual == std::string_view::npos) continue;
        const std::string_view chave = Aparar(linha.substr(0, igual));
        if (chave.empty()) continue;
        ini.secoes_.back().entradas.emplace_back(std::string(chave),
                                                 std::string(SemAspas(Aparar(linha.substr(igual + 1)))));
    }
    return ini;
}

std::optional<std::string> ArquivoIni::Ler(std::string_view secao, std::string_view chave) const {
    secao = Aparar(secao);
    chave = Aparar(chave);
    // Only the first section of the name is searched; a later section of the
    // same name is not.
    for (const auto& s : secoes_) {
        if (!texto::IgualSemCaixa(s.nome, secao)) continue;
        for (const auto& [c, v] : s.entradas)
            if (texto::IgualSemCaixa(c, chave)) return v;
        return std::nullopt;
    }
    return std::nullopt;
}

std::string ArquivoIni::LerTexto(std::string_view secao, std::string_view chave, std::string_view padrao) const {
    auto v = Ler(secao, chave);
    return v ? std::move(*v) : std::string(padrao);
}

int32_t ArquivoIni::LerInteiro(std::string_view secao, std::string_view chave, int32_t padrao) const {
    const auto v = Ler(secao, chave);
    if (!v) return padrao;
    return LerNumeroIni(*v).value_or(padrao);
}

}  // namespace corvexa::platform
