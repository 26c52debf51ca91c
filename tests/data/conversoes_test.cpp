#include "data/conversoes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace corvexa;
using namespace corvexa::data;

TEST(Conversoes, Inteiros) {
    struct Caso {
        const char* texto;
        std::optional<int32_t> esperado;
    };
    const Caso casos[] = {
        {"1", 1},        {"  -12", -12},     {"+7", 7},       {"$1F", 31},          {"0x1f", 31},
        {"-$10", -16},   {"0", 0},           {"2147483647", 2147483647},           {"-2147483648", INT32_MIN},
        {"$FFFFFFFF", -1},                   {"2147483648", std::nullopt},         {"$100000000", std::nullopt},
        {"", std::nullopt},                  {"   ", std::nullopt}, {"-", std::nullopt}, {"$", std::nullopt},
        {"0x", std::nullopt},                {"1 ", std::nullopt}, {"A", std::nullopt}, {"1.0", std::nullopt},
        {"\t1", std::nullopt},               {"99999999999999999999999", std::nullopt},
    };
    for (const auto& c : casos) EXPECT_EQ(TextoParaInteiro(c.texto), c.esperado) << c.texto;
}

TEST(Conversoes, DatasDiaMesAno) {
    EXPECT_EQ(TextoParaData("17/03/2009"), (Data{2009, 3, 17}));
    EXPECT_EQ(TextoParaData(" 1 / 2 / 2024 "), (Data{2024, 2, 1}));
    EXPECT_EQ(TextoParaData("29/02/2024"), (Data{2024, 2, 29}));
    EXPECT_EQ(TextoParaData("17/03/0009"), (Data{9, 3, 17}));  // four digits: the year as written
    for (const char* ruim : {"30/02/2009", "45/13/2009", "//", "", "17/03", "17-03-2009", "17/03/2009x",
                             "xx/03/2009", "17/03/20099", "00/01/2009", "17/03/-2009"})
        EXPECT_FALSE(TextoParaData(ruim)) << ruim;
    // A two-digit year lands within fifty years of the current one.
    const auto d = TextoParaData("01/01/09");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->ano % 100, 9);
    EXPECT_GE(d->ano, 2000);
}

TEST(Conversoes, DecimaisArredondadosMeioParaPar) {
    struct Caso {
        const char* texto;
        int64_t dezMilesimos;
    };
    const Caso casos[] = {
        {"1234.5", 12345000},    {"1.23456789", 12346},  {"0.123456", 1235},    {"2.00004", 20000},
        {"-3", -30000},          {"1E2", 1000000},       {"1e-4", 1},           {"  +10.50  ", 105000},
        {"0.00005", 0},          {"0.00015", 2},         {"0.000250", 2},       {"0.0002500001", 3},
        {"-0.00005", 0},         {"-0.00015", -2},       {".5", 5000},          {"5.", 50000},
        {"000012.3400", 123400}, {"0E999999999999999999999", 0},                {"1E-999999999999", 0},
        {"12345678901234.5678", 123456789012345678},    {"922337203685477.5807", INT64_MAX},
        {"-922337203685477.5808", INT64_MIN},            {"0.00004999999999999999999999", 0},
    };
    for (const auto& c : casos) {
        const auto d = TextoParaDecimal(c.texto);
        ASSERT_TRUE(d) << c.texto;
        EXPECT_EQ(d->dezMilesimos, c.dezMilesimos) << c.texto;
    }
    for (const char* ruim : {"10,50", "1.000,00", "", " ", "-", ".", "E2", "1E", "1E+", "1 2", "0x10", "$10",
                             "\t1", "1.2.3", "++1", "inf", "nan"})
        EXPECT_FALSE(TextoParaDecimal(ruim)) << ruim;
}

TEST(Conversoes, DecimaisForaDaFaixaFalhamSemDemora) {
    for (const char* fora : {"922337203685477.5808", "-922337203685477.5809", "1E15", "1E999999999999999999999",
                             "99999999999999999999"})
        EXPECT_FALSE(TextoParaDecimal(fora)) << fora;
    // A long string of digits is read in one pass and still rounds exactly.
    const auto inicio = std::chrono::steady_clock::now();
    const std::string longo = "0.00005" + std::string(2'000'000, '0') + "1";
    EXPECT_EQ(TextoParaDecimal(longo)->dezMilesimos, 1);
    EXPECT_FALSE(TextoParaDecimal(std::string(2'000'000, '9')));
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(5));
}

TEST(Conversoes, ProdutoExato) {
    const auto produto = [](const char* a, const char* b) {
        return ArredondarDecimal(Multiplicar(*LerNumeroExato(a), *LerNumeroExato(b)));
    };
    EXPECT_EQ(produto("1.5", "10")->dezMilesimos, 150000);
    EXPECT_EQ(produto("0.0001", "0.5")->dezMilesimos, 0);   // 0.00005: half goes to even 0
    EXPECT_EQ(produto("0.0003", "0.5")->dezMilesimos, 2);   // 0.00015: half goes to even 2
    EXPECT_EQ(produto("0.1", "0.1")->dezMilesimos, 100);    // exact, where binary floating point is not
    EXPECT_EQ(produto("-2.5", "4")->dezMilesimos, -100000);
    EXPECT_EQ(produto("0", "1E999999")->dezMilesimos, 0);
    EXPECT_EQ(produto("123456789.123456789", "1000")->dezMilesimos, 1234567891234568);
    EXPECT_FALSE(produto("1E10", "1E10"));
    // Operands of absurd length are cut but stay on the right side of the half.
    const std::string quaseMeio = "0.0000" + std::string(3000, '4') + "9";
    EXPECT_EQ(produto(quaseMeio.c_str(), "1")->dezMilesimos, 0);
    const std::string acimaDoMeio = "0.00005" + std::string(3000, '0') + "1";
    EXPECT_EQ(produto(acimaDoMeio.c_str(), "1")->dezMilesimos, 1);
}
