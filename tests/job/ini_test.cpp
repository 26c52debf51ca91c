#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "comum.h"
#include "platform/ini.h"

namespace {

using corvexa::platform::ArquivoIni;
using corvexa::platform::LerNumeroIni;

TEST(IniTest, Numeros) {
    const std::pair<const char*, std::optional<int32_t>> casos[] = {
        {"2", 2},           {"-7", -7},          {"+5", 5},
        {"007", 7},         {"$1A", 26},         {"$1a", 26},
        {"0x10", 16},       {"0X10", 16},        {"-$10", -16},
        {"$FFFFFFFF", -1},  {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},            {"$100000000", std::nullopt},
        {"", std::nullopt}, {"$", std::nullopt}, {"0x", std::nullopt},
        {"-", std::nullopt}, {"1.0", std::nullopt}, {"2a", std::nullopt},
        {"x10", std::nullopt}, {" 2", std::nullopt}, {"dois", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& [texto, valor] : casos) EXPECT_EQ(LerNumeroIni(texto), valor) << texto;
}

TEST(IniTest, SecoesChavesEValores) {
    const std::string ini =
        "Vias=9\n"                      // before any section: ignored
        "; comentario\n"
        "[Outra]\n"
        "Vias=8\n"
        "  [ danfe ]  \r\n"
        "  vias =  3  \r\n"
        "VIAS=4\n"                      // the first key of a name wins
        ";Impressora=Comentada\n"
        "Impressora = \"HP LaserJet\" \n"
        "Aspas='meia\"\n"
        "Vazia=\n"
        "SemIgual\n"
        "ImprimeHora=2 ; duas\r"        // no comments after a value; a lone CR ends the line
        "Igual=a=b\n"
        "[DANFE]\n"                     // a second section of the name is not read
        "Extra=1\n";
    const auto a = ArquivoIni::DeTexto(ini);
    const std::pair<const char*, std::optional<std::string>> casos[] = {
        {"Vias", "3"},
        {"Impressora", "HP LaserJet"},
        {"Aspas", "'meia\""},
        {"Vazia", ""},
        {"SemIgual", std::nullopt},
        {"ImprimeHora", "2 ; duas"},
        {"Igual", "a=b"},
        {"Extra", std::nullopt},
        {";Impressora", std::nullopt},
    };
    for (const auto& [chave, valor] : casos) EXPECT_EQ(a.Ler("DANFE", chave), valor) << chave;
    EXPECT_EQ(a.Ler("outra", "vias"), "8");
    EXPECT_EQ(a.Ler("Nenhuma", "Vias"), std::nullopt);

    EXPECT_EQ(a.LerInteiro("DANFE", "Vias", 1), 3);
    EXPECT_EQ(a.LerInteiro("DANFE", "ImprimeHora", 1), 1);   // not an integer: the default
    EXPECT_EQ(a.LerInteiro("DANFE", "Ausente", 7), 7);
    EXPECT_EQ(a.LerTexto("DANFE", "Ausente", "x"), "x");
}

TEST(IniTest, CodificacoesEArquivoAusente) {
    const std::u16string texto = u"[DANFE]\r\nImpressora=Sala \u00C7\r\n";
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (char16_t c : texto) {
        le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    }
    for (const std::string& bytes : {le, be, std::string("\xEF\xBB\xBF[DANFE]\nImpressora=Sala \xC3\x87\n")})
        EXPECT_EQ(ArquivoIni::DeTexto(bytes).Ler("DANFE", "Impressora"), "Sala \xC3\x87");

    teste::PastaTemporaria pasta("ini");
    EXPECT_EQ(ArquivoIni::Abrir(pasta / "ausente.ini").Ler("DANFE", "Vias"), std::nullopt);
    EXPECT_EQ(ArquivoIni::Abrir(pasta / "").Ler("DANFE", "Vias"), std::nullopt);  // a folder
}

TEST(IniTest, QualquerSequenciaDeBytes) {
    std::mt19937 gerador(1234);
    const std::string pedacos[] = {"[", "]", "=", ";", "\r", "\n", "\"", "'", "DANFE", "Vias", "$", "0x",
                                   std::string(1, '\0'), "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF", "\xD8", "\xDC"};
    for (int i = 0; i < 2000; ++i) {
        std::string s;
        const int n = static_cast<int>(gerador() % 40);
        for (int j = 0; j < n; ++j)
            s += gerador() % 3 ? pedacos[gerador() % std::size(pedacos)] : std::string(1, static_cast<char>(gerador()));
        const auto a = ArquivoIni::DeTexto(s);
        (void)a.LerInteiro("DANFE", "Vias", 1);
        (void)a.LerTexto("DANFE", "", "");
        (void)LerNumeroIni(s);
    }
}

}  // namespace
