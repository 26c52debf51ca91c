#include "report/code128.h"

#include <numeric>

#include <gtest/gtest.h>

using corvexa::report::CodificarCode128;

namespace {

std::vector<uint8_t> Largura(const char* padrao) {
    std::vector<uint8_t> r;
    for (; *padrao; ++padrao) r.push_back(static_cast<uint8_t>(*padrao - '0'));
    return r;
}

// The six widths of symbol character k (0-based) of a symbol.
std::vector<uint8_t> Caractere(const std::vector<uint8_t>& barras, size_t k) {
    return {barras.begin() + 6 * k, barras.begin() + 6 * k + 6};
}

}  // namespace

TEST(Code128, ChaveDeAcessoTodaEmConjuntoC) {
    const auto s = CodificarCode128("35240612345678000199550010000001231000001234");
    EXPECT_EQ(s.modulos, 277);  // start, 22 pairs, check, stop
    EXPECT_EQ(s.modulos * 254, 70358);
    ASSERT_EQ(s.barras.size(), 24u * 6 + 7);
    EXPECT_EQ(std::accumulate(s.barras.begin(), s.barras.end(), 0), s.modulos);
    EXPECT_EQ(Caractere(s.barras, 0), Largura("211232"));  // start C
    EXPECT_EQ(Caractere(s.barras, 1), Largura("131321"));  // "35": value 35
    EXPECT_EQ(std::vector<uint8_t>(s.barras.end() - 7, s.barras.end()), Largura("2331112"));
}

TEST(Code128, CaractereDeVerificacao) {
    // "AB" in set B: (104 + 1*33 + 2*34) mod 103 = 102.
    const auto s = CodificarCode128("AB");
    ASSERT_EQ(s.barras.size(), 4u * 6 + 7);
    EXPECT_EQ(Caractere(s.barras, 0), Largura("211214"));  // start B
    EXPECT_EQ(Caractere(s.barras, 1), Largura("111323"));  // A
    EXPECT_EQ(Caractere(s.barras, 3), Largura("411131"));  // check 102
    EXPECT_EQ(s.modulos, 57);
}

TEST(Code128, TrocaDeConjuntos) {
    struct Caso {
        const char* dados;
        int modulos;
    } casos[] = {
        // start B, A, code C, 12, 34, code B, B, check, stop
        {"A1234B", 8 * 11 + 13},
        // an odd digit run: start C, 12, code B, 3, check, stop
        {"123", 5 * 11 + 13},
        // a control character starts in set A; lower case needs code B
        {"\x01" "A" "a", 6 * 11 + 13},
        // a code-page character: start B, FNC4, its low seven bits, check, stop
        {"\xE7", 4 * 11 + 13},
    };
    for (const auto& c : casos) {
        const auto s = CodificarCode128(c.dados);
        EXPECT_EQ(s.modulos, c.modulos) << c.dados;
        EXPECT_EQ(std::accumulate(s.barras.begin(), s.barras.end(), 0), s.modulos) << c.dados;
        EXPECT_EQ(s.barras.size() % 6, 1u) << c.dados;  // starts and ends with a bar
    }
    EXPECT_EQ(Caractere(CodificarCode128("\x01" "A").barras, 0), Largura("211412"));  // start A
}

TEST(Code128, DadosVaziosNaoTemBarras) {
    const auto s = CodificarCode128("");
    EXPECT_TRUE(s.barras.empty());
    EXPECT_EQ(s.modulos, 0);
}
