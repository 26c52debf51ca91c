// The banded engine on small layouts built here, with fixed metrics (every
// character 1 mm wide, lines 3 mm high) so that positions are easy to follow.
#include "report/motor.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace corvexa;
using namespace corvexa::report;

namespace {

class MetricasFixas : public fontes::Metricas {
public:
    int32_t Largura(const fontes::Fonte&, std::string_view s) const override {
        return static_cast<int32_t>(s.size()) * 1000;
    }
    int32_t LarguraCaractere(const fontes::Fonte&, unsigned char) const override { return 1000; }
    int32_t AlturaLinha(const fontes::Fonte&) const override { return 3000; }
    int32_t Ascendente(const fontes::Fonte&) const override { return 2400; }
    const std::string& Arquivo(const fontes::Fonte&) const override { return arquivo_; }

private:
    std::string arquivo_;
};

Elemento Rotulo(std::string nome, Caixa g, std::string texto) {
    Elemento e;
    e.tipo = TipoElemento::Rotulo;
    e.nome = std::move(nome);
    e.g = g;
    e.texto = std::move(texto);
    e.autoSize = true;
    return e;
}

Elemento Dados(std::string nome, Caixa g, std::string pipeline, std::string campo) {
    Elemento e;
    e.tipo = TipoElemento::TextoDados;
    e.nome = std::move(nome);
    e.g = g;
    e.pipeline = std::move(pipeline);
    e.campo = std::move(campo);
    return e;
}

Elemento Memo(std::string nome, Caixa g, std::string pipeline, std::string campo) {
    Elemento e = Dados(std::move(nome), g, std::move(pipeline), std::move(campo));
    e.tipo = TipoElemento::Memo;
    return e;
}

Elemento Regra(std::string nome, Caixa g) {
    Elemento e;
    e.tipo = TipoElemento::Linha;
    e.nome = std::move(nome);
    e.g = g;
    e.linhaEsquerda = true;
    e.stretchWithParent = true;
    return e;
}

Elemento Variavel(std::string nome, Caixa g, TipoVariavel v) {
    Elemento e;
    e.tipo = TipoElemento::VariavelSistema;
    e.nome = std::move(nome);
    e.g = g;
    e.variavel = v;
    e.autoSize = true;
    return e;
}

// A master table of invoices and a detail table of their lines.
struct Dados2 {
    data::Tabela mestre{"M", {{"nNF", data::TipoCampo::Texto, 20}, {"Obs", data::TipoCampo::Texto, 5000}}};
    data::Tabela detalhe{"D", {{"nNF", data::TipoCampo::Texto, 20}, {"Desc", data::TipoCampo::Texto, 255}}, "nNF"};
    data::Pipeline pm{"PipelineM", "M", mestre};
    data::Pipeline pd{"PipelineD", "D", detalhe, pm, "nNF", "nNF"};

    void Nota(const std::string& nnf, int linhas, const std::string& obs = {}, const std::string& desc = "x") {
        mestre.Adicionar();
        mestre.DefinirTexto("nNF", nnf);
        mestre.DefinirTexto("Obs", obs);
        mestre.Gravar();
        for (int i = 0; i < linhas; ++i) {
            detalhe.Adicionar();
            detalhe.DefinirTexto("nNF", nnf);
            detalhe.DefinirTexto("Desc", desc == "x" ? nnf + "-" + std::to_string(i + 1) : desc);
            detalhe.Gravar();
        }
    }
    std::vector<const data::Pipeline*> Pipelines() const { return {&pm, &pd}; }
};

// Page 100 x 100 mm, margins 5 mm; a group header of 20 mm with page
// number/count; an items sub-report with 5 mm rows; a summary band with a memo;
// a 10 mm page footer switched by the page-start handler.
Relatorio Layout(int printCount = 0) {
    Relatorio r;
    r.nome = "Teste";
    r.larguraPapel = r.alturaPapel = 100000;
    r.margemSuperior = r.margemInferior = r.margemEsquerda = r.margemDireita = 5000;
    r.pipelineMestre = "PipelineM";
    r.campoQuebra = "nNF";
    r.cabecalhoGrupo.altura = 20000;
    r.cabecalhoGrupo.elementos = {Dados("cab", {0, 0, 20000, 3000}, "PipelineM", "nNF"),
                                  Variavel("num", {30000, 0, 5000, 3000}, TipoVariavel::NumeroPagina),
                                  Variavel("tot", {40000, 0, 5000, 3000}, TipoVariavel::TotalPaginas),
                                  Rotulo("fimcab", {0, 17000, 5000, 3000}, "h")};
    auto sub = std::make_shared<SubRelatorio>();
    sub->nome = "Sub";
    sub->pipeline = "PipelineD";
    sub->detalhe.altura = 5000;
    sub->detalhe.printCount = printCount;
    sub->detalhe.elementos = {Memo("desc", {0, 0, 10000, 5000}, "PipelineD", "Desc"),
                              [] {
                                  // A fixed-size text 5 mm high sets the row's height.
                                  Elemento f = Rotulo("fixo", {20000, 0, 3000, 5000}, "f");
                                  f.autoSize = false;
                                  return f;
                              }(),
                              Regra("regra", {60000, 0, 265, 5000})};
    sub->sumario.nome = "Sumario";
    sub->sumario.altura = 10000;
    sub->sumario.elementos = {Rotulo("sum", {0, 0, 3000, 3000}, "S"),
                              Memo("obs", {0, 3000, 10000, 7000}, "PipelineM", "Obs")};
    Elemento s;
    s.tipo = TipoElemento::SubRelatorio;
    s.nome = "Sub1";
    s.g = {0, 0, 90000, 3000};
    s.sub = sub;
    r.detalhe.altura = 3000;
    r.detalhe.elementos = {s};
    r.rodapePagina.nome = "Rodape";
    r.rodapePagina.altura = 10000;
    r.rodapePagina.dinamica = false;
    r.rodapePagina.elementos = {Rotulo("continua", {0, 0, 20000, 3000}, "CONTINUA")};
    // Footer on every page but the group's last; the summary only on the last.
    r.aoIniciarPagina = [](Execucao& x) {
        Relatorio& rel = x.Layout();
        const bool ultima =
            x.TextoVariavel(*rel.BuscarElemento("num")) == x.TextoVariavel(*rel.BuscarElemento("tot"));
        rel.rodapePagina.visivel = !ultima;
        rel.BuscarElemento("Sub1")->sub->sumario.visivel = ultima;
    };
    return r;
}

std::vector<const ItemTexto*> Textos(const Pagina& p, const std::string& id) {
    std::vector<const ItemTexto*> r;
    for (const auto& i : p.itens)
        if (auto* t = std::get_if<ItemTexto>(&i); t && t->id == id) r.push_back(t);
    return r;
}

std::vector<std::string> TextosDoDocumento(const Documento& d, const std::string& id) {
    std::vector<std::string> r;
    for (const auto& p : d.paginas)
        for (auto* t : Textos(p, id)) r.push_back(t->texto);
    return r;
}

const MetricasFixas kMetricas;

Documento Rodar(Relatorio& r, const Dados2& d) {
    OpcoesMotor o;
    o.segundosDoDia = 3600;
    return Gerar(r, d.Pipelines(), kMetricas, o);
}

}  // namespace

TEST(Motor, TabelaVaziaDaUmaPaginaEmBranco) {
    Dados2 d;
    Relatorio r = Layout();
    const auto doc = Rodar(r, d);
    ASSERT_EQ(doc.paginas.size(), 1u);
    EXPECT_TRUE(doc.paginas[0].itens.empty());
    EXPECT_EQ(doc.paginas[0].largura, 100000);
}

TEST(Motor, AlturasDinamicasMemoQuebraPorCaractereERegrasAcompanham) {
    Dados2 d;
    d.Nota("1", 0);
    d.detalhe.Adicionar();
    d.detalhe.DefinirTexto("nNF", "1");
    d.detalhe.DefinirTexto("Desc", std::string(25, 'A'));  // 10 characters a line: 3 lines
    d.detalhe.Gravar();
    d.detalhe.Adicionar();
    d.detalhe.DefinirTexto("nNF", "1");
    d.detalhe.DefinirTexto("Desc", "curto");
    d.detalhe.Gravar();
    Relatorio r = Layout();
    const auto doc = Rodar(r, d);
    ASSERT_EQ(doc.paginas.size(), 1u);
    const auto& p = doc.paginas[0];
    const auto desc = Textos(p, "desc");
    ASSERT_EQ(desc.size(), 4u);
    EXPECT_EQ(desc[0]->texto, "AAAAAAAAAA");
    EXPECT_EQ(desc[2]->texto, "AAAAA");
    const Mm topo = 5000 + 20000;  // body starts below the group header
    EXPECT_EQ(desc[0]->caixa.y, topo);
    EXPECT_EQ(desc[2]->caixa.y, topo + 6000);
    // The first row is 9 mm high (three memo lines), so the second starts there.
    EXPECT_EQ(desc[3]->caixa.y, topo + 9000);
    std::vector<Caixa> regras;
    for (const auto& i : p.itens)
        if (auto* l = std::get_if<ItemLinha>(&i)) regras.push_back(l->caixa);
    ASSERT_EQ(regras.size(), 2u);
    EXPECT_EQ(regras[0], (Caixa{65000, topo, 265, 9000}));
    EXPECT_EQ(regras[1], (Caixa{65000, topo + 9000, 265, 5000}));
    // The summary band follows the last row directly.
    EXPECT_EQ(Textos(p, "sum").at(0)->caixa.y, topo + 14000);
}

TEST(Motor, PrintCountQuebraPaginaEContagemVerdadeira) {
    Dados2 d;
    d.Nota("7", 5);
    Relatorio r = Layout(2);
    const auto doc = Rodar(r, d);
    ASSERT_EQ(doc.paginas.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(doc.paginas[i].numero, i + 1);
        EXPECT_EQ(doc.paginas[i].total, 3);
        EXPECT_EQ(Textos(doc.paginas[i], "tot").at(0)->texto, "3");
        EXPECT_EQ(Textos(doc.paginas[i], "num").at(0)->texto, std::to_string(i + 1));
        // The group header is reprinted on every page.
        EXPECT_EQ(Textos(doc.paginas[i], "cab").size(), 1u);
    }
    EXPECT_EQ(Textos(doc.paginas[0], "desc").size(), 2u);
    EXPECT_EQ(Textos(doc.paginas[2], "desc").size(), 1u);
    // Footer on the first two pages only; the summary on the last only.
    EXPECT_EQ(Textos(doc.paginas[0], "continua").size(), 1u);
    EXPECT_EQ(Textos(doc.paginas[0], "continua").at(0)->caixa.y, 100000 - 5000 - 10000);
    EXPECT_EQ(Textos(doc.paginas[1], "continua").size(), 1u);
    EXPECT_TRUE(Textos(doc.paginas[2], "continua").empty());
    EXPECT_EQ(TextosDoDocumento(doc, "sum").size(), 1u);
    EXPECT_EQ(Textos(doc.paginas[2], "sum").size(), 1u);
}

TEST(Motor, NumeracaoRecomecaPorGrupoComContagemDeCadaUm) {
    Dados2 d;
    d.Nota("1", 30);  // 5 mm rows: a page body of 70 mm (with footer) holds 14
    d.Nota("2", 1);
    Relatorio r = Layout();
    const auto doc = Rodar(r, d);
    std::vector<std::pair<int, int>> numeracao;
    for (const auto& p : doc.paginas) numeracao.push_back({p.numero, p.total});
    const std::vector<std::pair<int, int>> esperado = {{1, 3}, {2, 3}, {3, 3}, {1, 1}};
    ASSERT_EQ(numeracao, esperado);
    EXPECT_EQ(doc.paginas[3].grupo, 2);
    EXPECT_EQ(Textos(doc.paginas[3], "cab").at(0)->texto, "2");
    // Every row exactly once, in order.
    const auto linhas = TextosDoDocumento(doc, "desc");
    ASSERT_EQ(linhas.size(), 31u);
    EXPECT_EQ(linhas[0], "1-1");
    EXPECT_EQ(linhas[29], "1-30");
    EXPECT_EQ(linhas[30], "2-1");
    EXPECT_EQ(TextosDoDocumento(doc, "sum").size(), 2u);
}

TEST(Motor, MemoLongoContinuaNaPaginaSeguinteSemPerderLinhas) {
    Dados2 d;
    std::string obs;
    for (int i = 0; i < 40; ++i) obs += "linha " + std::to_string(i) + "\n";
    d.Nota("5", 3, obs);
    Relatorio r = Layout();
    const auto doc = Rodar(r, d);
    const auto linhas = TextosDoDocumento(doc, "obs");
    ASSERT_EQ(linhas.size(), 40u);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(linhas[i], "linha " + std::to_string(i));
    ASSERT_GE(doc.paginas.size(), 2u);
    for (const auto& p : doc.paginas) {
        EXPECT_EQ(p.total, static_cast<int>(doc.paginas.size()));
        // Nothing of the body below the page's body bottom.
        const Mm fundo = 95000 - (Textos(p, "continua").empty() ? 0 : 10000);
        for (auto* t : Textos(p, "obs")) EXPECT_LE(t->caixa.y + t->caixa.h, fundo);
        // Continued lines sit below the reprinted group header.
        for (auto* t : Textos(p, "obs")) EXPECT_GE(t->caixa.y, 25000);
    }
    EXPECT_TRUE(Textos(doc.paginas.back(), "continua").empty());
}

TEST(Motor, SumarioOcultoNaPaginaDeContinuacaoVaiInteiroParaAUltima) {
    // 12 rows fill a page with footer (60 mm); as the last page (70 mm) the
    // rows leave 10 mm, too little for the summary with a 4-line memo (15 mm).
    Dados2 d;
    d.Nota("9", 12, "a\nb\nc\nd");
    Relatorio r = Layout();
    const auto doc = Rodar(r, d);
    ASSERT_EQ(doc.paginas.size(), 2u);
    EXPECT_EQ(Textos(doc.paginas[0], "desc").size(), 12u);
    EXPECT_TRUE(Textos(doc.paginas[0], "sum").empty());
    EXPECT_EQ(Textos(doc.paginas[0], "continua").size(), 1u);
    EXPECT_EQ(Textos(doc.paginas[1], "sum").at(0)->caixa.y, 25000);
    EXPECT_EQ(Textos(doc.paginas[1], "obs").size(), 4u);
    EXPECT_TRUE(Textos(doc.paginas[1], "continua").empty());
}

TEST(Motor, RegiaoEsticaEDeslocaAOutraColunasDaEsquerdaParaADireita) {
    Dados2 d;
    d.Nota("3", 7);
    Relatorio r = Layout();
    // A region holding a three-column list of the lines, and a second region
    // below it that shifts down by what the first grows.
    auto lista = std::make_shared<SubRelatorio>();
    lista->pipeline = "PipelineD";
    lista->colunas = {0, 20000, 40000};
    lista->larguraColuna = 20000;
    lista->titulo.altura = 1000;
    lista->titulo.dinamica = false;
    lista->titulo.elementos = {[] {
        Elemento q;
        q.tipo = TipoElemento::Retangulo;
        q.nome = "moldura";
        q.g = {0, 0, 60000, 30000};  // drawn whole, taller than its band
        return q;
    }()};
    lista->cabecalhoColuna.altura = 2000;
    lista->cabecalhoColuna.dinamica = false;
    lista->cabecalhoColuna.elementos = {Rotulo("colcab", {0, 0, 3000, 2000}, "N")};
    lista->detalhe.altura = 3000;
    lista->detalhe.dinamica = false;
    lista->detalhe.elementos = {Dados("dup", {1000, 0, 10000, 3000}, "PipelineD", "Desc")};
    Elemento sub;
    sub.tipo = TipoElemento::SubRelatorio;
    sub.nome = "Lista";
    sub.g = {0, 5000, 90000, 2000};
    sub.sub = lista;
    Elemento r1;
    r1.tipo = TipoElemento::Regiao;
    r1.nome = "R1";
    r1.g = {0, 4000, 90000, 3000};
    r1.esticar = true;
    r1.filhos = {sub};
    Elemento r2;
    r2.tipo = TipoElemento::Regiao;
    r2.nome = "R2";
    r2.g = {0, 18000, 90000, 2000};
    r2.esticar = true;
    r2.deslocarRelativoA = "R1";
    r2.filhos = {Rotulo("abaixo", {1000, 18500, 5000, 1000}, "z")};
    r2.filhos[0].autoSize = false;
    r.cabecalhoGrupo.elementos.push_back(r1);
    r.cabecalhoGrupo.elementos.push_back(r2);
    r.cabecalhoGrupo.elementos.push_back(Rotulo("fundoR2", {0, 9000, 1000, 1000}, "."));
    const auto doc = Rodar(r, d);
    const auto& p = doc.paginas.at(0);
    // List: 1 (title) + 2 (heads) + 3 rows of 3 mm = 12 mm from 5 mm: R1 ends
    // at 17 mm instead of 7 mm, and R2 moves down by 10 mm.
    const auto dups = Textos(p, "dup");
    ASSERT_EQ(dups.size(), 7u);
    const Mm y0 = 5000 + 5000 + 1000 + 2000;
    const std::vector<std::pair<Mm, Mm>> esperado = {{6000, y0},         {26000, y0},        {46000, y0},
                                                     {6000, y0 + 3000},  {26000, y0 + 3000}, {46000, y0 + 3000},
                                                     {6000, y0 + 6000}};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(dups[i]->caixa.x, esperado[i].first) << i;
        EXPECT_EQ(dups[i]->caixa.y, esperado[i].second) << i;
    }
    EXPECT_EQ(Textos(p, "colcab").size(), 3u);
    EXPECT_EQ(Textos(p, "abaixo").at(0)->caixa.y, 5000 + 18500 + 10000);
    // An element outside the regions keeps its designed place.
    EXPECT_EQ(Textos(p, "fundoR2").at(0)->caixa.y, 5000 + 9000);
    // White fills: R1 grown to 13 mm, R2 shifted.
    std::vector<Caixa> fills;
    for (const auto& i : p.itens)
        if (auto* q = std::get_if<ItemRetangulo>(&i); q && !q->contorno) fills.push_back(q->caixa);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0], (Caixa{5000, 9000, 90000, 13000}));
    EXPECT_EQ(fills[1], (Caixa{5000, 33000, 90000, 2000}));
    // The frame is drawn whole although its band is 1 mm high.
    for (const auto& i : p.itens)
        if (auto* q = std::get_if<ItemRetangulo>(&i); q && q->id == "moldura") EXPECT_EQ(q->caixa.h, 30000);
    // The group header band grew by the same 10 mm: rows start below it.
    EXPECT_EQ(Textos(p, "desc").at(0)->caixa.y, 5000 + 20000 + 10000);
}

TEST(Motor, ManterJuntoComecaOSubRelatorioNaPaginaSeguinte) {
    // Two records in one group (same nNF): the second's items would not
    // finish on the page where the first ended, so they begin on the next.
    Dados2 d;
    d.Nota("4", 10);
    d.mestre.Adicionar();
    d.mestre.DefinirTexto("nNF", "4");
    d.mestre.Gravar();
    Relatorio r = Layout();
    r.aoIniciarPagina = nullptr;
    r.rodapePagina.visivel = false;
    r.BuscarElemento("Sub1")->sub->keepTogether = true;
    r.BuscarElemento("Sub1")->sub->sumario.visivel = false;
    // Each record sees the 10 rows of nNF 4: 10 + 10 rows of 5 mm, 70 mm body.
    const auto doc = Rodar(r, d);
    ASSERT_EQ(doc.paginas.size(), 2u);
    EXPECT_EQ(Textos(doc.paginas[0], "desc").size(), 10u);
    EXPECT_EQ(Textos(doc.paginas[1], "desc").size(), 10u);
    r.BuscarElemento("Sub1")->sub->keepTogether = false;
    const auto solto = Rodar(r, d);
    EXPECT_EQ(Textos(solto.paginas[0], "desc").size(), 14u);
}

TEST(Motor, ElementoMaiorQueAPaginaNaoTravaOMotor) {
    Dados2 d;
    d.Nota("8", 1);
    Relatorio r = Layout();
    r.aoIniciarPagina = nullptr;
    r.rodapePagina.visivel = false;
    auto& det = r.BuscarElemento("Sub1")->sub->detalhe;
    det.elementos.push_back(Rotulo("gigante", {0, 0, 1000, 500000}, "G"));
    det.elementos.back().autoSize = false;
    const auto doc = Rodar(r, d);
    EXPECT_LE(doc.paginas.size(), 3u);
    EXPECT_EQ(TextosDoDocumento(doc, "gigante").size(), 1u);
    EXPECT_EQ(TextosDoDocumento(doc, "desc").size(), 1u);
}
