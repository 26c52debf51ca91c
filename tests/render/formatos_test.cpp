#include "report/formatos.h"

#include <cstdlib>
#include <limits>

#include <gtest/gtest.h>

using namespace corvexa;
using report::FormatarHora;
using report::FormatarValor;
using report::Separadores;

namespace {

data::Valor Dec(int64_t dezMilesimos) { return Decimal::DeDezMilesimos(dezMilesimos); }

struct Caso {
    data::Valor valor;
    const char* formato;
    const char* esperado;
};

constexpr const char* kMoeda = "#,0.00;-#,0.00";

}  // namespace

TEST(Formatos, Numeros) {
    const Caso casos[] = {
        {Dec(12345000), kMoeda, "1,234.50"},
        {Dec(12345000), "#0.00;-#0.00", "1234.50"},
        {Dec(-12345000), kMoeda, "-1,234.50"},
        {Dec(-12345000), "#0.00;-#0.00", "-1234.50"},
        {Dec(0), kMoeda, "0.00"},
        {Dec(5000), kMoeda, "0.50"},
        {Dec(9999999999999999), kMoeda, "1,000,000,000,000.00"},
        // Halfway values round away from zero, exactly (1.005 is no double).
        {Dec(10050), kMoeda, "1.01"},
        {Dec(-10050), kMoeda, "-1.01"},
        {Dec(10049), kMoeda, "1.00"},
        // A negative that rounds to zero prints as zero, without a minus.
        {Dec(-40), kMoeda, "0.00"},
        {Dec(-50), kMoeda, "-0.01"},
        {Dec(123000), "#0.0000;-#0.0000", "12.3000"},
        {Dec(-1), "#0.0000;-#0.0000", "-0.0001"},
        {Dec(12345671234), "#,0.0000;-#,0.0000", "1,234,567.1234"},
        {Dec(9990), "#,0.0000;-#,0.0000", "0.9990"},
        // One section: negatives get a leading minus; optional places drop zeros.
        {Dec(-25000), "0.##", "-2.5"},
        {Dec(20000), "#,##0.## kg", "2 kg"},
        {Dec(std::numeric_limits<int64_t>::min()), "#0.00;-#0.00", "-922337203685477.58"},
        // Integer fields format like numbers.
        {int32_t{1234}, kMoeda, "1,234.00"},
        {int32_t{-7}, "#0.00;-#0.00", "-7.00"},
    };
    const Separadores sep;
    for (const auto& c : casos) {
        SCOPED_TRACE(std::string(c.formato) + " -> " + c.esperado);
        EXPECT_EQ(FormatarValor(c.valor, c.formato, sep), c.esperado);
    }
    Separadores espaco;
    espaco.milhar = '\xA0';
    EXPECT_EQ(FormatarValor(Dec(12345000), kMoeda, espaco), "1\xA0" "234.50");
}

TEST(Formatos, DatasEHoras) {
    const Separadores sep;
    const data::Valor dia = Data{2024, 6, 1};
    EXPECT_EQ(FormatarValor(dia, "dd/mm/yyyy", sep), "01/06/2024");
    EXPECT_EQ(FormatarValor(dia, "dd/mm/yy", sep), "01/06/24");
    EXPECT_EQ(FormatarValor(Data{2009, 12, 31}, "d/m/yy", sep), "31/12/09");
    EXPECT_EQ(FormatarHora(3723, "hh:mm:ss", sep), "01:02:03");
    EXPECT_EQ(FormatarHora(86399, "hh:mm:ss", sep), "23:59:59");
    EXPECT_EQ(FormatarHora(86400 + 61, "hh:mm:ss", sep), "00:01:01");
    EXPECT_EQ(FormatarHora(45296, "", sep), "12:34:56");

    Separadores outros;
    outros.data = '.';
    outros.hora = '.';
    EXPECT_EQ(FormatarValor(dia, "dd/mm/yyyy", outros), "01.06.2024");
    EXPECT_EQ(FormatarHora(45296, "hh:mm:ss", outros), "12.34.56");
}

TEST(Formatos, MascaraDeCep) {
    const Separadores sep;
    const char* cep = "00000-000;0; ";
    const Caso casos[] = {
        {std::string("12345678"), cep, "12345-678"},
        {std::string("123"), cep, "123  -   "},
        {std::string("1234567890"), cep, "12345-678"},
        {std::string(""), cep, ""},
        // With literals saved in the text, they take their places too.
        {std::string("12345-678"), "00000-000;1;_", "12345-678"},
        {std::string("1234"), "00000-000;0;_", "1234_-___"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(std::get<std::string>(c.valor));
        EXPECT_EQ(FormatarValor(c.valor, c.formato, sep), c.esperado);
    }
}

TEST(Formatos, NuloDaTextoVazioESemFormatoDaOTextoSimples) {
    const Separadores sep;
    for (const char* f : {kMoeda, "dd/mm/yyyy", "00000-000;0; ", ""})
        EXPECT_EQ(FormatarValor(data::Valor{}, f, sep), "") << f;
    EXPECT_EQ(FormatarValor(Dec(12345000), "", sep), "1234.5");
    EXPECT_EQ(FormatarValor(Data{2024, 6, 1}, "", sep), "01/06/2024");
    EXPECT_EQ(FormatarValor(std::string("S\xE9rie"), "", sep), "S\xE9rie");
}

TEST(Formatos, SeparadoresDoAmbiente) {
    const char* antes = std::getenv("LC_ALL");
    const std::string guardado = antes ? antes : "";
    for (const char* loc : {"C", "xx_YY.UTF-8"}) {
        setenv("LC_ALL", loc, 1);
        const Separadores s = Separadores::DoAmbiente();
        // C has no grouping character; an unknown locale reads as the defaults.
        EXPECT_EQ(s.milhar, ',') << loc;
        EXPECT_EQ(s.data, '/') << loc;
        EXPECT_EQ(s.hora, ':') << loc;
    }
    if (antes) setenv("LC_ALL", guardado.c_str(), 1);
    else unsetenv("LC_ALL");
}
