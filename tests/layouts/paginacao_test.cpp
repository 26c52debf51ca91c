// The DANFE's page logic on invoices built in the test: the instalment list
// growing the header, rows per page, where the closing blocks go, numbering
// per invoice and long additional data.
#include <gtest/gtest.h>

#include <string>

#include "base/texto.h"
#include "data/tabelas_danfe.h"
#include "layouts/danfe.h"
#include "report/motor.h"

using namespace corvexa;
using namespace corvexa::report;

namespace {

constexpr Mm kMargem = 6350;

const Elemento* PorCampo(const std::vector<Elemento>& els, std::string_view campo) {
    for (const auto& e : els) {
        if (e.tipo != TipoElemento::Regiao && e.tipo != TipoElemento::SubRelatorio && e.campo == campo) return &e;
        if (auto* f = PorCampo(e.filhos, campo)) return f;
        if (e.sub)
            for (const Banda* b : {&e.sub->titulo, &e.sub->cabecalhoColuna, &e.sub->detalhe, &e.sub->sumario})
                if (auto* f = PorCampo(b->elementos, campo)) return f;
    }
    return nullptr;
}

// The name of the element that shows a field (the id of its items).
std::string Id(const Relatorio& r, std::string_view campo) {
    for (const Banda* b : {&r.cabecalhoGrupo, &r.detalhe, &r.rodapePagina})
        if (auto* e = PorCampo(b->elementos, campo)) return e->nome;
    ADD_FAILURE() << "no element shows " << campo;
    return {};
}

template <class T>
std::vector<const T*> Itens(const Pagina& p, const std::string& id) {
    std::vector<const T*> r;
    for (const auto& i : p.itens)
        if (auto* t = std::get_if<T>(&i); t && t->id == id) r.push_back(t);
    return r;
}

struct Paginacao : ::testing::Test {
    data::TabelasDanfe t;
    layouts::FlagsDanfe flags;
    std::unique_ptr<layouts::LayoutsDanfe> l = layouts::CriarLayouts(flags);

    void Nota(const std::string& nnf, int itens, int duplicatas = 0, const std::string& obs = {},
              const std::string& descricao = "Produto") {
        t.cdsNFE.Adicionar();
        t.cdsNFE.DefinirTexto("nNF", nnf);
        t.cdsNFE.DefinirDecimal("ValorTotNota", Decimal::DeInteiro(100));
        t.cdsNFE.DefinirTexto("ObsContribuinte", obs);
        t.cdsNFE.Gravar();
        for (int i = 0; i < itens; ++i) {
            t.cdsNFE_Itens.Adicionar();
            t.cdsNFE_Itens.DefinirTexto("nNF", nnf);
            t.cdsNFE_Itens.DefinirTexto("ItemCodigo", nnf + "." + std::to_string(i + 1));
            t.cdsNFE_Itens.DefinirTexto("ItemDescricao", descricao);
            t.cdsNFE_Itens.DefinirDecimal("ItemVTotal", Decimal::DeInteiro(i));
            t.cdsNFE_Itens.Gravar();
        }
        for (int i = 0; i < duplicatas; ++i) {
            t.cdsCobranca.Adicionar();
            t.cdsCobranca.DefinirTexto("nNF", nnf);
            t.cdsCobranca.DefinirTexto("NumDuplicata", std::to_string(i + 1));
            t.cdsCobranca.DefinirData("DtVencimento", Data{2009, 4, 17});
            t.cdsCobranca.DefinirDecimal("ValorDuplicata", Decimal::DeInteiro(1000 + i));
            t.cdsCobranca.Gravar();
        }
    }

    Documento Rodar(Relatorio& r) {
        OpcoesMotor o;
        o.segundosDoDia = 0;
        return Gerar(r, t.Pipelines(), fontes::Metricas::Padrao(), o);
    }

    // (page number, page count) of every page.
    static std::vector<std::pair<int, int>> Numeracao(const Documento& d) {
        std::vector<std::pair<int, int>> r;
        for (const auto& p : d.paginas) r.push_back({p.numero, p.total});
        return r;
    }
};

TEST_F(Paginacao, DuplicatasEmSeisColunasEmpurramARegion6) {
    struct Caso {
        int duplicatas;
        Mm retrato, paisagem;  // how far Region6 moves down
    };
    const Caso casos[] = {{1, 2911, 2117}, {7, 6086, 5292}, {13, 9261, 8467}, {40, 21961, 21167}};
    const Mm colunas[] = {2000, 34000, 65000, 96000, 127000, 158000};
    for (const auto& c : casos) {
        for (Relatorio* r : {&l->RelDanfe, &l->RelDanfePais}) {
            SCOPED_TRACE(r->nome + " com " + std::to_string(c.duplicatas) + " duplicatas");
            const bool retrato = r == &l->RelDanfe;
            t.cdsNFE.Esvaziar();
            t.cdsNFE_Itens.Esvaziar();
            t.cdsCobranca.Esvaziar();
            Nota("1", 1, c.duplicatas);
            // (In landscape, 40 instalments leave too little room for the
            // closing blocks, which then go to a second page.)
            const Documento d = Rodar(*r);
            ASSERT_GE(d.paginas.size(), 1u);
            const Pagina& p = d.paginas[0];
            const Mm crescimento = retrato ? c.retrato : c.paisagem;
            const Mm topoRegion6 = retrato ? 98425 : 87048;
            auto fill = Itens<ItemRetangulo>(p, "Region6");
            ASSERT_EQ(fill.size(), 1u);
            EXPECT_EQ(fill[0]->caixa.y, kMargem + topoRegion6 + crescimento);
            // The header band grows as much: the first row starts below it.
            auto codigo = Itens<ItemTexto>(p, Id(*r, "ItemCodigo"));
            ASSERT_EQ(codigo.size(), 1u);
            EXPECT_EQ(codigo[0]->caixa.y, kMargem + (retrato ? 157427 : 135467) + crescimento);

            // Instalments fill the six columns left to right, then the next row.
            const Mm topoSub = retrato ? 89959 : 79640;
            const Mm topoLinhas = topoSub + 794 + (retrato ? 3704 : 2910);
            auto numeros = Itens<ItemTexto>(p, Id(*r, "NumDuplicata"));
            ASSERT_EQ(numeros.size(), static_cast<size_t>(c.duplicatas));
            for (int k = 0; k < c.duplicatas; ++k) {
                EXPECT_EQ(numeros[k]->texto, std::to_string(k + 1));
                EXPECT_EQ(numeros[k]->caixa.x, kMargem + colunas[k % 6] + 265) << k;
                EXPECT_EQ(numeros[k]->caixa.y, kMargem + topoLinhas + (k / 6) * 3175) << k;
            }
            // The frame is drawn whole from the list's top; Region6's fill,
            // drawn later, covers what lies below its top.
            auto moldura = Itens<ItemRetangulo>(p, "Fatura1");
            ASSERT_EQ(moldura.size(), 1u);
            EXPECT_EQ(moldura[0]->caixa, (Caixa{kMargem, kMargem + topoSub, retrato ? 188913 : 274638, 24606}));
            const auto pos = [&](const void* item) {
                for (size_t i = 0; i < p.itens.size(); ++i)
                    if (std::visit([](const auto& x) -> const void* { return &x; }, p.itens[i]) == item) return i;
                return p.itens.size();
            };
            EXPECT_LT(pos(moldura[0]), pos(fill[0]));
        }
    }
}

TEST_F(Paginacao, LinhasPorPaginaEOndeFicaOSumario) {
    struct Caso {
        bool retrato;
        int itens;
        std::vector<size_t> linhas;  // item rows on each page
        size_t paginaDoSumario;
    };
    const Caso casos[] = {
        {true, 26, {26}, 0},        {true, 27, {26, 1}, 1},    {false, 7, {7}, 0},
        {false, 8, {8, 0}, 1},      {false, 10, {10, 0}, 1},   {false, 11, {10, 1}, 1},
    };
    for (const auto& c : casos) {
        Relatorio& r = c.retrato ? l->RelDanfe : l->RelDanfePais;
        SCOPED_TRACE(r.nome + " com " + std::to_string(c.itens) + " itens");
        t.cdsNFE.Esvaziar();
        t.cdsNFE_Itens.Esvaziar();
        t.cdsCobranca.Esvaziar();
        Nota("5", c.itens);
        const Documento d = Rodar(r);
        ASSERT_EQ(d.paginas.size(), c.linhas.size());
        const std::string codigo = Id(r, "ItemCodigo"), total = Id(r, "ValorTotNota");
        const std::string sumario = "Sumario6";  // "CÁLCULO DO ISSQN" of the closing blocks
        const Mm fundoPapel = r.alturaPapel - kMargem;
        for (size_t i = 0; i < d.paginas.size(); ++i) {
            const Pagina& p = d.paginas[i];
            EXPECT_EQ(p.total, static_cast<int>(d.paginas.size()));
            EXPECT_EQ(Itens<ItemTexto>(p, codigo).size(), c.linhas[i]) << "página " << i + 1;
            const bool ultima = i + 1 == d.paginas.size();
            EXPECT_EQ(Itens<ItemTexto>(p, total).size(), ultima ? 1u : 0u) << "página " << i + 1;
            EXPECT_EQ(Itens<ItemTexto>(p, "218").size(), ultima ? 0u : 1u) << "página " << i + 1;  // mask
            EXPECT_EQ(Itens<ItemTexto>(p, "Rodape16").size(), ultima ? 0u : 1u) << "página " << i + 1;
            EXPECT_EQ(Itens<ItemTexto>(p, sumario).size(), i == c.paginaDoSumario ? 1u : 0u) << "página " << i + 1;
            for (const auto& item : p.itens)
                std::visit([&](const auto& x) { EXPECT_LE(x.caixa.y + x.caixa.h, fundoPapel + 1); }, item);
        }
        // Moved to a page of its own, the summary band starts right below the header.
        if (c.linhas.back() == 0) {
            auto linha = Itens<ItemLinha>(d.paginas.back(), "Sumario1");
            ASSERT_EQ(linha.size(), 1u);
            EXPECT_EQ(linha[0]->caixa.y, kMargem + 135467);
        }
    }
}

TEST_F(Paginacao, DescricaoSemEspacosQuebraPorCaractereEAlongaALinha) {
    Nota("3", 2, 0, {}, std::string(255, 'W'));
    Relatorio& r = l->RelDanfe;
    const Documento d = Rodar(r);
    ASSERT_EQ(d.paginas.size(), 1u);
    const Pagina& p = d.paginas[0];
    const std::string memo = Id(r, "ItemDescricao");
    auto linhas = Itens<ItemTexto>(p, memo);
    const fontes::Fonte a6{fontes::Familia::Arial, 6, false};
    const Mm lh = fontes::Metricas::Padrao().AlturaLinha(a6);
    ASSERT_GT(linhas.size(), 2u);
    ASSERT_EQ(linhas.size() % 2, 0u);
    const size_t porItem = linhas.size() / 2;
    std::string junto;
    for (size_t i = 0; i < porItem; ++i) {
        EXPECT_LE(linhas[i]->caixa.w, 49742);
        EXPECT_EQ(linhas[i]->caixa.y, linhas[0]->caixa.y + static_cast<Mm>(i) * lh);
        junto += linhas[i]->texto;
    }
    EXPECT_EQ(junto, std::string(255, 'W'));
    // Every rule of the first row spans the grown row; the second row starts below it.
    const Mm altura = static_cast<Mm>(porItem) * lh;
    int regras = 0;
    for (const auto& i : p.itens)
        if (auto* q = std::get_if<ItemLinha>(&i); q && q->caixa.y == linhas[0]->caixa.y && q->caixa.w == 265) {
            EXPECT_EQ(q->caixa.h, altura);
            ++regras;
        }
    EXPECT_EQ(regras, 15);
    EXPECT_EQ(linhas[porItem]->caixa.y, linhas[0]->caixa.y + altura);
}

TEST_F(Paginacao, DuasNotasRecomecamANumeracaoECadaUltimaTemTotais) {
    Nota("1", 30);
    Nota("2", 1);
    Relatorio& r = l->RelDanfe;
    const Documento d = Rodar(r);
    const std::vector<std::pair<int, int>> esperado = {{1, 2}, {2, 2}, {1, 1}};
    ASSERT_EQ(Numeracao(d), esperado);
    const std::string total = Id(r, "ValorTotNota");
    EXPECT_TRUE(Itens<ItemTexto>(d.paginas[0], total).empty());
    EXPECT_EQ(Itens<ItemTexto>(d.paginas[1], total).size(), 1u);
    EXPECT_EQ(Itens<ItemTexto>(d.paginas[2], total).size(), 1u);
    // "Folha: n / N" as printed.
    for (const auto& p : d.paginas) {
        EXPECT_EQ(Itens<ItemTexto>(p, "42").at(0)->texto, std::to_string(p.numero));
        EXPECT_EQ(Itens<ItemTexto>(p, "91").at(0)->texto, std::to_string(p.total));
    }
}

TEST_F(Paginacao, DadosAdicionaisLongosContinuamSemPerderLinhas) {
    std::string obs;
    while (obs.size() < 5000) obs += "Informacao complementar numero " + std::to_string(obs.size()) + ". ";
    obs.resize(5000);
    for (Relatorio* r : {&l->RelDanfe, &l->RelDanfePais}) {
        SCOPED_TRACE(r->nome);
        t.cdsNFE.Esvaziar();
        t.cdsNFE_Itens.Esvaziar();
        Nota("9", 5, 0, obs);
        const Documento d = Rodar(*r);
        ASSERT_GE(d.paginas.size(), 2u);
        const std::string memo = Id(*r, "ObsContribuinte"), total = Id(*r, "ValorTotNota");
        std::string junto;
        for (size_t i = 0; i < d.paginas.size(); ++i) {
            const Pagina& p = d.paginas[i];
            EXPECT_EQ(p.numero, static_cast<int>(i) + 1);
            EXPECT_EQ(p.total, static_cast<int>(d.paginas.size()));
            const bool ultima = i + 1 == d.paginas.size();
            EXPECT_EQ(Itens<ItemTexto>(p, total).size(), ultima ? 1u : 0u);
            EXPECT_EQ(Itens<ItemTexto>(p, "Rodape16").size(), ultima ? 0u : 1u);
            // The memo never runs into the continuation footer.
            const Mm fundo = r->alturaPapel - kMargem - (ultima ? 0 : r->rodapePagina.altura);
            for (auto* linha : Itens<ItemTexto>(p, memo)) {
                EXPECT_LE(linha->caixa.y + linha->caixa.h, fundo);
                junto += linha->texto;
            }
        }
        EXPECT_EQ(junto, texto::AnsiParaUtf8(obs));
    }
}

}  // namespace
