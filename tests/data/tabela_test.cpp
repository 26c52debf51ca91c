#include "data/tabela.h"
#include "data/tabelas_danfe.h"

#include <gtest/gtest.h>

#include <string>

#include "base/falha.h"

using namespace corvexa;
using namespace corvexa::data;

namespace {

std::string Mensagem(const std::function<void()>& f) {
    try {
        f();
    } catch (const Falha& e) {
        return e.what();
    }
    return "(no failure)";
}

// Adds a stored item record with the given nNF and code.
void Item(Tabela& t, const std::string& nNF, const std::string& codigo) {
    t.Adicionar();
    t.DefinirTexto("nNF", nNF);
    t.DefinirTexto("ItemCodigo", codigo);
    t.Gravar();
}

std::vector<std::string> Codigos(const Tabela& t, const std::vector<size_t>& posicoes) {
    std::vector<std::string> r;
    const int campo = t.IndiceCampo("ItemCodigo");
    for (size_t p : posicoes) r.push_back(ValorComoTexto(t.Registro(p)[campo]));
    return r;
}

}  // namespace

TEST(TabelasDanfe, EstruturaDasTresTabelas) {
    TabelasDanfe t;
    ASSERT_EQ(t.cdsNFE.Campos().size(), 66u);
    ASSERT_EQ(t.cdsNFE_Itens.Campos().size(), 15u);
    ASSERT_EQ(t.cdsCobranca.Campos().size(), 4u);
    struct Caso {
        const Tabela& tabela;
        int posicao;
        const char* nome;
        TipoCampo tipo;
        int tamanho;
    };
    const Caso casos[] = {
        {t.cdsNFE, 0, "CodBarra", TipoCampo::Texto, 255},       {t.cdsNFE, 2, "Serie", TipoCampo::Texto, 20},
        {t.cdsNFE, 3, "DtEmissao", TipoCampo::Data, 0},         {t.cdsNFE, 17, "EmitFone", TipoCampo::Texto, 30},
        {t.cdsNFE, 18, "EmitMunUF", TipoCampo::Texto, 150},     {t.cdsNFE, 19, "EmitFoneStr", TipoCampo::Texto, 50},
        {t.cdsNFE, 30, "QtdeItem", TipoCampo::Inteiro, 0},      {t.cdsNFE, 32, "BaseCalcICMS", TipoCampo::Decimal, 0},
        {t.cdsNFE, 45, "ValorTotISSQN", TipoCampo::Decimal, 0}, {t.cdsNFE, 61, "VolPesoLiquido", TipoCampo::Decimal, 0},
        {t.cdsNFE, 63, "ObsContribuinte", TipoCampo::Texto, 5000},
        {t.cdsNFE, 64, "tpAmb", TipoCampo::Inteiro, 0},         {t.cdsNFE, 65, "tpEmis", TipoCampo::Texto, 1},
        {t.cdsNFE_Itens, 0, "nNF", TipoCampo::Texto, 255},      {t.cdsNFE_Itens, 14, "ItemAliqIPI", TipoCampo::Decimal, 0},
        {t.cdsCobranca, 0, "nNF", TipoCampo::Texto, 20},        {t.cdsCobranca, 2, "DtVencimento", TipoCampo::Data, 0},
        {t.cdsCobranca, 3, "ValorDuplicata", TipoCampo::Decimal, 0},
    };
    for (const auto& c : casos) {
        const DefCampo& d = c.tabela.Campos()[c.posicao];
        EXPECT_EQ(d.nome, c.nome);
        EXPECT_EQ(d.tipo, c.tipo) << c.nome;
        EXPECT_EQ(d.tamanho, c.tamanho) << c.nome;
        EXPECT_EQ(c.tabela.IndiceCampo(c.nome), c.posicao);
    }
    EXPECT_EQ(t.cdsNFE.IndiceCampo("codbarra"), 0);  // letter case ignored
    EXPECT_EQ(t.cdsNFE.IndiceCampo("Inexistente"), -1);
    EXPECT_EQ(t.PipelineNFE_Itens.NomeUsuario(), "NFE_Itens");
    EXPECT_EQ(t.PipelineCobranca.Mestre(), &t.PipelineNFE);
}

TEST(Tabela, TextosCortadosNoTamanhoDoCampo) {
    TabelasDanfe t;
    t.cdsNFE.Adicionar();
    t.cdsNFE.DefinirTexto("NatOper", std::string(300, 'a'));
    t.cdsNFE.DefinirTexto("tpEmis", "21");
    t.cdsNFE.DefinirTexto("ObsContribuinte", std::string(6000, 'x'));
    t.cdsNFE.DefinirTexto("EmitFone", std::string(32, '9'));
    EXPECT_EQ(t.cdsNFE.LerTexto("NatOper"), std::string(255, 'a'));
    EXPECT_EQ(t.cdsNFE.LerTexto("tpEmis"), "2");
    EXPECT_EQ(t.cdsNFE.LerTexto("ObsContribuinte").size(), 5000u);
    EXPECT_EQ(t.cdsNFE.LerTexto("EmitFone"), std::string(30, '9'));
}

TEST(Tabela, ConversoesParaOTipoDoCampoEMensagens) {
    TabelasDanfe t;
    auto& n = t.cdsNFE;
    n.Adicionar();
    n.DefinirTexto("tpAmb", "2");
    EXPECT_EQ(std::get<int32_t>(n.Ler("tpAmb")), 2);
    n.DefinirTexto("DtEmissao", "17/03/2009");
    EXPECT_EQ(std::get<Data>(n.Ler("DtEmissao")), (Data{2009, 3, 17}));
    n.DefinirTexto("ValorFrete", "12.34567");
    EXPECT_EQ(n.LerTexto("ValorFrete"), "12.3457");
    struct Caso {
        const char* campo;
        const char* valor;
    };
    for (const Caso& c : {Caso{"tpAmb", ""}, Caso{"tpAmb", "x"}, Caso{"DtEmissao", "30/02/2009"},
                          Caso{"DtEmissao", "//"}, Caso{"ValorFrete", "1,5"}})
        EXPECT_EQ(Mensagem([&] { n.DefinirTexto(c.campo, c.valor); }),
                  std::string("Invalid value for field '") + c.campo + "'")
            << c.valor;
    EXPECT_EQ(Mensagem([&] { n.DefinirDecimal("tpAmb", Decimal::DeDezMilesimos(15000)); }),
              "Invalid value for field 'tpAmb'");
    EXPECT_EQ(Mensagem([&] { n.DefinirData("ValorFrete", Data{2009, 3, 17}); }),
              "Invalid value for field 'ValorFrete'");
    // A failed write leaves the field as it was.
    EXPECT_EQ(std::get<int32_t>(n.Ler("tpAmb")), 2);
}

TEST(Tabela, ValorComoTexto) {
    EXPECT_EQ(ValorComoTexto(Valor{}), "");
    EXPECT_EQ(ValorComoTexto(Valor{Decimal::DeDezMilesimos(-990000)}), "-99");
    EXPECT_EQ(ValorComoTexto(Valor{Decimal::DeDezMilesimos(12346)}), "1.2346");
    EXPECT_EQ(ValorComoTexto(Valor{Data{2009, 4, 7}}), "07/04/2009");
    EXPECT_EQ(ValorComoTexto(Valor{int32_t{-5}}), "-5");
    EXPECT_EQ(ValorComoTexto(Valor{std::string("abc")}), "abc");
}

TEST(Tabela, RegistroCorrentePendenteEEsvaziar) {
    TabelasDanfe t;
    auto& n = t.cdsNFE;
    EXPECT_EQ(n.LerTexto("nNF"), "");  // no record at all
    n.Adicionar();
    n.DefinirTexto("nNF", "1");
    EXPECT_TRUE(n.TemPendente());
    EXPECT_EQ(n.Quantidade(), 0u);
    EXPECT_EQ(n.LerTexto("nNF"), "1");
    n.Gravar();
    EXPECT_EQ(n.Quantidade(), 1u);
    EXPECT_EQ(n.LerTexto("nNF"), "1");  // the stored record stays current
    n.Adicionar();
    EXPECT_TRUE(std::holds_alternative<std::monostate>(n.Ler("nNF")));  // fields start empty
    n.DefinirTexto("nNF", "2");
    n.Esvaziar();
    EXPECT_FALSE(n.TemPendente());
    EXPECT_EQ(n.Quantidade(), 0u);
    EXPECT_EQ(n.LerTexto("nNF"), "");
    EXPECT_EQ(Mensagem([&] { n.DefinirTexto("Nada", "x"); }), "Field 'Nada' not found");
}

TEST(Tabela, ItensOrdenadosPorNNFDeFormaEstavel) {
    TabelasDanfe t;
    auto& it = t.cdsNFE_Itens;
    Item(it, "9", "a");
    Item(it, "9", "b");
    Item(it, "10", "c");
    Item(it, "10", "d");
    Item(it, "9", "e");
    Item(it, "", "f");
    std::vector<size_t> todos = t.PipelineNFE_Itens.Registros(nullptr);
    EXPECT_TRUE(todos.empty());  // a detail without a master record shows nothing
    std::vector<size_t> ordem(it.Quantidade());
    for (size_t i = 0; i < ordem.size(); ++i) ordem[i] = i;
    // Text order: "" < "10" < "9"; equal keys in the order stored.
    EXPECT_EQ(Codigos(it, ordem), (std::vector<std::string>{"f", "c", "d", "a", "b", "e"}));
    EXPECT_EQ(it.LerTexto("ItemCodigo"), "f");  // the last stored record is current
}

TEST(Tabela, DetalhesSeguemONNFDoMestre) {
    TabelasDanfe t;
    const auto nota = [&](const char* nNF) {
        t.cdsNFE.Adicionar();
        t.cdsNFE.DefinirTexto("nNF", nNF);
        t.cdsNFE.Gravar();
    };
    nota("9");
    nota("10");
    nota("9");  // a second NF-e with the same number
    Item(t.cdsNFE_Itens, "9", "a");
    Item(t.cdsNFE_Itens, "10", "b");
    Item(t.cdsNFE_Itens, "9", "c");
    for (const char* dup : {"10", "9", "10"}) {
        t.cdsCobranca.Adicionar();
        t.cdsCobranca.DefinirTexto("nNF", dup);
        t.cdsCobranca.DefinirTexto("NumDuplicata", std::string("d") + dup);
        t.cdsCobranca.Gravar();
    }
    ASSERT_EQ(t.PipelineNFE.Registros(nullptr), (std::vector<size_t>{0, 1, 2}));
    const auto& n = t.cdsNFE;
    EXPECT_EQ(Codigos(t.cdsNFE_Itens, t.PipelineNFE_Itens.Registros(&n.Registro(0))),
              (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(Codigos(t.cdsNFE_Itens, t.PipelineNFE_Itens.Registros(&n.Registro(1))),
              (std::vector<std::string>{"b"}));
    EXPECT_EQ(Codigos(t.cdsNFE_Itens, t.PipelineNFE_Itens.Registros(&n.Registro(2))),
              (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(t.PipelineCobranca.Registros(&n.Registro(1)), (std::vector<size_t>{0, 2}));
    EXPECT_EQ(t.PipelineCobranca.Registros(&n.Registro(2)), (std::vector<size_t>{1}));
}
