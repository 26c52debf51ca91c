// A real NF-e through the reader, both layouts and the engine: where the
// elements land on the page (band position plus the page margin).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/texto.h"
#include "data/tabelas_danfe.h"
#include "layouts/danfe.h"
#include "nfe/leitor.h"
#include "report/motor.h"

using namespace corvexa;
using namespace corvexa::report;

namespace {

constexpr Mm kMargem = 6350;

struct Amostra : ::testing::Test {
    data::TabelasDanfe tabelas;
    layouts::FlagsDanfe flags;
    std::unique_ptr<layouts::LayoutsDanfe> l = layouts::CriarLayouts(flags);

    void Ler(const std::string& nome) {
        std::ifstream f(std::string(CORVEXA_SAMPLES) + "/" + nome, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        nfe::LeitorNFe leitor(tabelas);
        leitor.LimparTabelas();
        leitor.CarregarXml(texto::Utf8ParaAnsi(s.str()));
        leitor.LerNotas();
    }

    Documento Rodar(Relatorio& r) {
        OpcoesMotor o;
        o.segundosDoDia = 10 * 3600;
        return Gerar(r, tabelas.Pipelines(), fontes::Metricas::Padrao(), o);
    }
};

template <class T>
std::vector<const T*> Itens(const Pagina& p, const std::string& id) {
    std::vector<const T*> r;
    for (const auto& i : p.itens)
        if (auto* t = std::get_if<T>(&i); t && t->id == id) r.push_back(t);
    return r;
}

// Five instalments (one row of the list) and three items: one page.
TEST_F(Amostra, PosicoesNaPaginaNosDoisLayouts) {
    Ler("br_danfe-v200-simples-nacional.xml");
    struct Caso {
        Relatorio* r;
        Mm barrasX;
        Mm deslocamento;  // growth of RegFatura1 for one row of instalments
        Mm retanguloImposto;  // top of the first tax cell as designed
    };
    const Caso casos[] = {
        {&l->RelDanfe, 112184, 2911, 103452},
        {&l->RelDanfePais, 151607, 2117, 91281},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.r->nome);
        const Documento d = Rodar(*c.r);
        ASSERT_EQ(d.paginas.size(), 1u);
        const Pagina& p = d.paginas[0];

        auto barras = Itens<ItemCodigoBarras>(p, "73");
        ASSERT_EQ(barras.size(), 1u);
        EXPECT_EQ(barras[0]->caixa.x, kMargem + c.barrasX);
        EXPECT_EQ(barras[0]->caixa.y, kMargem + 20373);
        EXPECT_EQ(barras[0]->modulos, 277);
        EXPECT_EQ(barras[0]->dados, "35131260891033000109550010000000011000000016");

        auto emitente = Itens<ItemRetangulo>(p, "1");
        ASSERT_EQ(emitente.size(), 1u);
        const Caixa g = c.r->BuscarElemento("1")->g;
        EXPECT_EQ(emitente[0]->caixa, (Caixa{kMargem + g.x, kMargem + g.y, g.w, g.h}));

        // Region6 and its cells move down by what the instalment list grew.
        auto imposto = Itens<ItemRetangulo>(p, "97");
        ASSERT_EQ(imposto.size(), 1u);
        EXPECT_EQ(imposto[0]->caixa.y, kMargem + c.retanguloImposto + c.deslocamento);

        // One page is the last: totals, closing blocks, no continuation footer.
        EXPECT_FALSE(Itens<ItemTexto>(p, "151").empty());
        EXPECT_TRUE(Itens<ItemTexto>(p, "213").empty());
        EXPECT_TRUE(Itens<ItemTexto>(p, "Rodape16").empty());
        EXPECT_FALSE(Itens<ItemRetangulo>(p, "Sumario2").empty());
        EXPECT_TRUE(Itens<ItemTexto>(p, "93").empty());  // print time off
        EXPECT_TRUE(Itens<ItemTexto>(p, "92").empty());  // production, normal issue
    }
}

// An invoice with one item more than a page takes: the first page ends with
// the continuation footer and the masks, the second carries the last row, the
// totals and the closing blocks.
TEST_F(Amostra, PaginaDeContinuacaoEUltimaPagina) {
    struct Caso {
        Relatorio* r;
        size_t linhas;  // item rows a page takes
        Mm rodape;      // height of the continuation footer
        Mm alturaPapel;
    };
    const Caso casos[] = {{&l->RelDanfe, 26, 43921, 297000}, {&l->RelDanfePais, 10, 31485, 210000}};
    for (const auto& c : casos) {
        SCOPED_TRACE(c.r->nome);
        tabelas.cdsNFE.Esvaziar();
        tabelas.cdsNFE_Itens.Esvaziar();
        tabelas.cdsCobranca.Esvaziar();
        tabelas.cdsNFE.Adicionar();
        tabelas.cdsNFE.DefinirTexto("nNF", "7");
        tabelas.cdsNFE.DefinirDecimal("ValorTotNota", Decimal::DeInteiro(1234));
        tabelas.cdsNFE.Gravar();
        for (size_t i = 0; i <= c.linhas; ++i) {
            tabelas.cdsNFE_Itens.Adicionar();
            tabelas.cdsNFE_Itens.DefinirTexto("nNF", "7");
            tabelas.cdsNFE_Itens.DefinirTexto("ItemCodigo", "P" + std::to_string(i + 1));
            tabelas.cdsNFE_Itens.DefinirTexto("ItemDescricao", "Produto");
            tabelas.cdsNFE_Itens.Gravar();
        }
        flags.ImprimirHora = true;
        flags.Homologacao = true;

        const Documento d = Rodar(*c.r);
        ASSERT_EQ(d.paginas.size(), 2u);
        const Pagina& p1 = d.paginas[0];
        const Pagina& p2 = d.paginas[1];

        EXPECT_EQ(Itens<ItemTexto>(p1, "Item3").size(), c.linhas);  // product codes
        auto ultimo = Itens<ItemTexto>(p2, "Item3");
        ASSERT_EQ(ultimo.size(), 1u);
        EXPECT_EQ(ultimo[0]->texto, "P" + std::to_string(c.linhas + 1));

        EXPECT_FALSE(Itens<ItemTexto>(p1, "Rodape16").empty());  // "CONTINUA NA PRÓXIMA FOLHA...."
        EXPECT_FALSE(Itens<ItemTexto>(p1, "218").empty());       // mask over the invoice total
        EXPECT_TRUE(Itens<ItemTexto>(p1, "160").empty());
        EXPECT_TRUE(Itens<ItemRetangulo>(p1, "Sumario2").empty());
        auto linha = Itens<ItemLinha>(p1, "Rodape15");  // the footer's top line, its band height above the margin
        ASSERT_EQ(linha.size(), 1u);
        EXPECT_EQ(linha[0]->caixa.y, c.alturaPapel - kMargem - c.rodape);

        EXPECT_TRUE(Itens<ItemTexto>(p2, "Rodape16").empty());
        EXPECT_TRUE(Itens<ItemTexto>(p2, "218").empty());
        auto total = Itens<ItemTexto>(p2, "160");
        ASSERT_EQ(total.size(), 1u);
        EXPECT_EQ(total[0]->texto, "1,234.00");
        EXPECT_FALSE(Itens<ItemRetangulo>(p2, "Sumario2").empty());

        for (const Pagina* p : {&p1, &p2}) {
            auto hora = Itens<ItemTexto>(*p, "93");
            ASSERT_EQ(hora.size(), 1u);
            EXPECT_EQ(hora[0]->texto, "10:00:00");
            EXPECT_FALSE(Itens<ItemTexto>(*p, "92").empty());  // "Sem Valor Fiscal"
            auto paginas = Itens<ItemTexto>(*p, "91");
            ASSERT_EQ(paginas.size(), 1u);
            EXPECT_EQ(paginas[0]->texto, "2");
        }
    }
}

}  // namespace
