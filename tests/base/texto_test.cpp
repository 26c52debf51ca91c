#include "base/texto.h"
#include "base/valores.h"

#include <gtest/gtest.h>

using namespace corvexa;

TEST(Texto, Utf16ParaAnsiTrocaOQueOCodigoNaoTemPorInterrogacao) {
    EXPECT_EQ(texto::Utf16ParaAnsi(u"Nota Fiscal Eletrônica €"), "Nota Fiscal Eletr\xF4nica \x80");
    EXPECT_EQ(texto::Utf16ParaAnsi(u"\u4E2D\U0001F600x"), "??x");
    EXPECT_EQ(texto::Utf16ParaAnsi(static_cast<const char16_t*>(nullptr)), "");
}

TEST(Texto, Utf8IdaEVolta) {
    const std::string ansi = "A\xE7\xE3o \x80 \x9F";
    EXPECT_EQ(texto::Utf8ParaAnsi(texto::AnsiParaUtf8(ansi)), ansi);
    // Bytes that are not UTF-8 read as Windows-1252.
    EXPECT_EQ(texto::Utf8ParaAnsi("S\xE9rie"), "S\xE9rie");
    EXPECT_FALSE(texto::EhUtf8Valido("S\xE9rie"));
}

TEST(Texto, ComparacaoSemCaixaDobraAcentos) {
    EXPECT_TRUE(texto::IgualSemCaixa("infNFe", "INFNFE"));
    EXPECT_TRUE(texto::IgualSemCaixa("A\xE7\xE3o", "A\xC7\xC3O"));  // Ação ~ AÇÃO
    EXPECT_FALSE(texto::IgualSemCaixa("nfe:NFe", "NFe"));
    EXPECT_FALSE(texto::IgualSemCaixa("\xF7", "\xD7"));  // ÷ is no letter
}

TEST(Valores, DecimalEmTextoCurto) {
    EXPECT_EQ(Decimal::DeDezMilesimos(150000).Texto(), "15");
    EXPECT_EQ(Decimal::DeDezMilesimos(12346).Texto(), "1.2346");
    EXPECT_EQ(Decimal::DeDezMilesimos(-990000).Texto(), "-99");
    EXPECT_EQ(Decimal::DeDezMilesimos(-5).Texto(), "-0.0005");
    EXPECT_EQ(Decimal{}.Texto(), "0");
}

TEST(Valores, DatasDoCalendario) {
    EXPECT_TRUE(Data::EhValida(2024, 2, 29));
    EXPECT_FALSE(Data::EhValida(2009, 2, 29));
    EXPECT_FALSE(Data::EhValida(2009, 13, 1));
    EXPECT_EQ((Data{2009, 3, 17}.Iso()), "2009-03-17");
}
