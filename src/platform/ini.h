#pragma once
// A small INI reader that gives the same answers as the Windows profile
// functions (GetPrivateProfileString, and integers read from its text), which
// the configuration files of our users were written against:
//
//   - "[Secao]" lines open a section; "chave=valor" lines belong to the last
//     section opened; lines before any section, lines without "=", and lines
//     starting with ";" are ignored.
//   - Section and key names are compared ignoring letter case (Windows-1252)
//     and blanks around them; the first section of a name, and in it the
//     first key of a name, wins.
//   - A value is the text after the first "=", trimmed of blanks. A value
//     enclosed in a pair of equal quotes (' or ") loses them, as the profile
//     functions do. Nothing after the value is a comment: "2 ; duas" is the
//     text "2 ; duas".
//   - Lines end at "\n", "\r\n" or "\r". A UTF-8 byte order mark is skipped;
//     a file that starts with a UTF-16 byte order mark is read as UTF-16 and
//     its texts are given in UTF-8.
//
// Any bytes are accepted; nothing here fails.
//
//   auto ini = platform::ArquivoIni::Abrir("nfeConfig.ini");
//   int vias = ini.LerInteiro("DANFE", "Vias", 1);
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvexa::platform {

class ArquivoIni {
public:
    // The file's entries; a file that is missing or cannot be read has none.
    static ArquivoIni Abrir(const std::string& caminho);
    // The entries of a text as it would stand in a file.
    static ArquivoIni DeTexto(std::string_view conteudo);

    // The value of a key, or nothing when the section or the key is missing.
    std::optional<std::string> Ler(std::string_view secao, std::string_view chave) const;
    std::string LerTexto(std::string_view secao, std::string_view chave, std::string_view padrao) const;
    // The value read as an integer (LerNumeroIni), or `padrao` when the key
    // is missing or its text is no integer.
    int32_t LerInteiro(std::string_view secao, std::string_view chave, int32_t padrao) const;

private:
    struct Secao {
        std::string nome;
        std::vector<std::pair<std::string, std::string>> entradas;  // key, value in file order
    };
    std::vector<Secao> secoes_;  // in file order
};

// An integer as the profile functions read it: decimal digits with an
// optional sign, or hexadecimal digits led by "$" or "0x" (also after a
// sign). Decimal values must fit 32 bits; hexadecimal ones may use all 32
// bits ("$FFFFFFFF" is -1). Anything else, blanks included, is no integer.
std::optional<int32_t> LerNumeroIni(std::string_view texto);

}  // namespace corvexa::platform
