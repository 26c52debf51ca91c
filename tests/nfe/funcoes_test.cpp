#include "nfe/uFuncoesNFe.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/falha.h"

using namespace corvexa;
using namespace corvexa::nfe;

namespace {

std::string Mensagem(const std::function<void()>& f) {
    try {
        f();
    } catch (const Falha& e) {
        return e.what();
    }
    return "(no failure)";
}

}  // namespace

TEST(FuncoesNFe, TextoVazio) {
    for (const char* vazio : {"", "   ", "\t\r\n", "\x01 \x1F"}) EXPECT_TRUE(TextoVazio(vazio)) << vazio;
    for (const char* cheio : {"0", " a ", "\xA0"}) EXPECT_FALSE(TextoVazio(cheio)) << cheio;
}

TEST(FuncoesNFe, ConverteData) {
    struct Caso {
        const char* texto;
        const char* resultado;  // or the failure message
    };
    const Caso casos[] = {
        {"2009-03-17", "17/03/2009"},
        {"", ""},
        {"  \t", ""},
        {"2009-13-45", "45/13/2009"},  // month and day are not checked here
        {"2009-03-xx", "xx/03/2009"},
        {"2009/03/17", "17/03/2009"},  // neither are the separators
        {" 2009-03-17 ", "-1/-0/ 200"},  // pieces come from the untrimmed text
        {"2009-3-17", "Erro na conversão de datas: data inválida"},
        {"2009-03-17T10:00:00", "Erro na conversão de datas: data inválida"},
        {"20a9-03-17", "Erro na conversão de datas: ano inválido"},
        {"2009-0a-17", "Erro na conversão de datas: mês inválido"},
        {"$7D9-03-17", "17/03/$7D9"},  // a hexadecimal year reads as an integer
    };
    for (const auto& c : casos) {
        std::string r;
        try {
            r = ConverteData(c.texto);
        } catch (const Falha& e) {
            r = e.what();
        }
        EXPECT_EQ(r, c.resultado) << c.texto;
    }
}

TEST(FuncoesNFe, LerData) {
    EXPECT_EQ(LerData("2009-03-17"), (Data{2009, 3, 17}));
    EXPECT_EQ(Mensagem([] { LerData("2009-02-30"); }), "'30/02/2009' is not a valid date");
    EXPECT_EQ(Mensagem([] { LerData("2009-03-xx"); }), "'xx/03/2009' is not a valid date");
    EXPECT_EQ(Mensagem([] { LerData(""); }), "'' is not a valid date");
    EXPECT_EQ(Mensagem([] { LerData("2009-3-17"); }), "Erro na conversão de datas: data inválida");
}

TEST(FuncoesNFe, LerDecimal) {
    EXPECT_EQ(LerDecimal(""), Decimal{});
    EXPECT_EQ(LerDecimal(" \n "), Decimal{});
    EXPECT_EQ(LerDecimal("-3"), Decimal::DeInteiro(-3));
    EXPECT_EQ(LerDecimal("1E2"), Decimal::DeInteiro(100));
    EXPECT_EQ(LerDecimal("1.23456789").Texto(), "1.2346");
    EXPECT_EQ(Mensagem([] { LerDecimal("10,50"); }), "'10,50' is not a valid floating point value");
    EXPECT_EQ(Mensagem([] { LerDecimal("1E20"); }), "'1E20' is not a valid floating point value");
    // The 8-bit text goes into the message as UTF-8.
    EXPECT_EQ(Mensagem([] { LerDecimal("R$ 1\xE9"); }), "'R$ 1é' is not a valid floating point value");
}

TEST(FuncoesNFe, ProdutoOuMenos99ETipoDeImpressao) {
    EXPECT_EQ(MultiplicarOuMenos99("1.5", "10"), Decimal::DeInteiro(15));
    EXPECT_EQ(MultiplicarOuMenos99("1,5", "10"), Decimal::DeInteiro(-99));
    EXPECT_EQ(MultiplicarOuMenos99("1.5", "x"), Decimal::DeInteiro(-99));
    EXPECT_EQ(MultiplicarOuMenos99("1E10", "1E10"), Decimal::DeInteiro(-99));  // out of range
    struct Caso {
        const char* texto;
        int tipo;
    };
    for (const Caso& c : {Caso{"2", 2}, Caso{"1", 1}, Caso{"A", 1}, Caso{"", 1}, Caso{" 2", 2}, Caso{"2 ", 1},
                          Caso{"$2", 2}, Caso{"0x2", 2}, Caso{"0", 0}})
        EXPECT_EQ(LerTipoImpressao(c.texto), c.tipo) << c.texto;
}
