// The two DANFE layouts as report models: geometry, the differences between
// the twins, structure and bindings, and the page and band handlers.
#include "layouts/danfe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "data/tabelas_danfe.h"
#include "report/motor.h"

using namespace corvexa;
using namespace corvexa::report;
using corvexa::layouts::CriarLayouts;
using corvexa::layouts::FlagsDanfe;

namespace {

Elemento& Achar(Relatorio& r, const std::string& nome) {
    Elemento* e = r.BuscarElemento(nome);
    if (!e) throw std::runtime_error(r.nome + " has no element " + nome);
    return *e;
}

// Every element of a band in drawing order, regions' elements after their region.
void Achatar(const std::vector<Elemento>& es, std::vector<const Elemento*>& saida) {
    for (const auto& e : es) {
        saida.push_back(&e);
        Achatar(e.filhos, saida);
    }
}

// Every band of a layout with the pipeline its bound elements must name.
std::vector<std::pair<const Banda*, std::string>> Bandas(const Relatorio& r) {
    std::vector<std::pair<const Banda*, std::string>> b = {
        {&r.cabecalhoPagina, ""}, {&r.cabecalhoGrupo, "PipelineNFE"}, {&r.detalhe, ""},
        {&r.rodapeGrupo, ""},     {&r.rodapePagina, ""}};
    for (size_t i = 0; i < b.size(); ++i) {
        std::vector<const Elemento*> es;
        Achatar(b[i].first->elementos, es);
        for (const Elemento* e : es) {
            if (!e->sub) continue;
            const SubRelatorio& s = *e->sub;
            for (const Banda* sb : {&s.titulo, &s.cabecalhoColuna, &s.detalhe, &s.rodapeColuna})
                b.push_back({sb, s.pipeline});
            b.push_back({&s.sumario, "PipelineNFE"});  // the closing blocks read the NF-e record
        }
    }
    return b;
}

struct Layouts : ::testing::Test {
    FlagsDanfe flags;
    std::unique_ptr<layouts::LayoutsDanfe> l = CriarLayouts(flags);
    Relatorio& R() { return l->RelDanfe; }
    Relatorio& P() { return l->RelDanfePais; }
};

TEST_F(Layouts, GeometriaDeUmaAmostraDeCadaBloco) {
    struct Caso {
        const char* nome;
        Caixa retrato;
        std::optional<Caixa> paisagem;
    };
    const Caso casos[] = {
        {"65", {265, 0, 144727, 7408}, Caixa{1058, 0, 230982, 7408}},                   // receipt stub
        {"85", {175155, 10054, 1905, 3351}, Caixa{262155, 10054, 1764, 3387}},          // its series
        {"82", {1323, 18785, 25400, 22754}, Caixa{1588, 18785, 25400, 22754}},          // emitter image
        {"83", {30692, 16933, 39423, 8202}, Caixa{30956, 16669, 71967, 8202}},          // emitter name
        {"42", {102659, 35454, 2646, 2822}, Caixa{136790, 35454, 2646, 2822}},          // page number
        {"73", {112184, 20373, 58632, 9525}, Caixa{151607, 20373, 123825, 9525}},       // barcode
        {"SystemVariable5", {187325, 37042, 10054, 5292}, Caixa{274325, 37042, 10054, 5292}},
        {"47", {1852, 47361, 185473, 3175}, Caixa{27517, 44715, 246857, 3175}},         // nature of operation
        {"11", {102129, 52123, 68792, 2117}, Caixa{113242, 48948, 68792, 2117}},        // access key caption
        {"93", {163777, 82550, 10583, 3175}, Caixa{250777, 72496, 10583, 3175}},        // print time
        {"RegFatura1", {0, 89694, 197300, 5027}, Caixa{0, 79375, 284300, 5027}},
        {"SubReport2", {0, 89959, 197300, 3704}, Caixa{0, 79640, 284300, 3704}},
        {"FaturaColuna1", {265, 529, 7408, 2469}, Caixa{265, 0, 7408, 2469}},           // "N. Dup."
        {"Region6", {0, 98425, 197300, 59002}, Caixa{0, 87048, 284300, 48419}},
        {"212", {0, 99220, 189708, 795}, Caixa{0, 87842, 276755, 794}},                 // rule closing the frame
        {"213", {11377, 106627, 15875, 3175}, Caixa{11377, 93927, 21431, 3175}},        // first mask
        {"169", {103188, 125677, 3440, 3175}, Caixa{177007, 110067, 3440, 3175}},       // freight mode
        {"179", {164042, 141288, 24606, 3175}, Caixa{234421, 123031, 39688, 3175}},     // net weight
        {"211", {1323, 153988, 5503, 1940}, std::nullopt},                               // "PROD."
        {"SubReport1", {0, 0, 197300, 3440}, Caixa{0, 0, 284300, 3440}},
        {"Item19", {182298, 0, 265, 3704}, Caixa{268023, 0, 1323, 2910}},               // rule before ALIQ. IPI
        {"Item24", {120915, 0, 12435, 2999}, Caixa{206640, 0, 12435, 2999}},            // item total
        {"RegInfoFisco1", {92075, 17727, 98161, 21431}, Caixa{128588, 17727, 147373, 21431}},
        {"Sumario1", {0, 0, 190500, 1852}, Caixa{0, 0, 275961, 1852}},                  // line closing the grid
        {"Rodape1", {92075, 18785, 97631, 25135}, Caixa{134409, 18785, 139965, 12171}},
        {"Rodape16", {17198, 29104, 47413, 3175}, Caixa{37042, 24342, 47361, 3175}},    // "CONTINUA ..."
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        EXPECT_EQ(Achar(R(), c.nome).g, c.retrato);
        Elemento* p = P().BuscarElemento(c.nome);
        if (c.paisagem) {
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p->g, *c.paisagem);
        } else {
            EXPECT_EQ(p, nullptr);
        }
    }
}

TEST_F(Layouts, DiferencasEntreRetratoEPaisagem) {
    EXPECT_EQ(Achar(R(), "196").texto, "COD.");
    EXPECT_EQ(Achar(P(), "196").texto, "CODIGO PRODUTO");
    EXPECT_EQ(Achar(R(), "211").texto, "PROD.");

    EXPECT_EQ(Achar(R(), "80").alinhamento, Alinhamento::Esquerda);  // "CONTROLE DO FISCO"
    EXPECT_EQ(Achar(P(), "80").alinhamento, Alinhamento::Centro);
    EXPECT_EQ(Achar(R(), "80").fonte, (fontes::Fonte{fontes::Familia::CourierNew, 8, false}));

    const fontes::Fonte a6{fontes::Familia::Arial, 6, false}, a7{fontes::Familia::Arial, 7, false},
        a8{fontes::Familia::Arial, 8, false}, a7b{fontes::Familia::Arial, 7, true}, a8b{fontes::Familia::Arial, 8, true};
    EXPECT_EQ(Achar(R(), "83").fonte, a7b);  // emitter name and address
    EXPECT_EQ(Achar(P(), "83").fonte, a8b);
    EXPECT_EQ(Achar(R(), "62").fonte, a6);
    EXPECT_EQ(Achar(P(), "62").fonte, a8);
    EXPECT_EQ(Achar(R(), "227").fonte, a6);
    EXPECT_EQ(Achar(P(), "227").fonte, a7);

    EXPECT_EQ(R().nomeTrabalho, "Report");
    EXPECT_EQ(P().nomeTrabalho, "DANFE");
    EXPECT_EQ(R().larguraPapel, 210000);
    EXPECT_EQ(P().larguraPapel, 297000);
    EXPECT_EQ(R().cabecalhoGrupo.altura, 157427);
    EXPECT_EQ(P().cabecalhoGrupo.altura, 135467);
    EXPECT_EQ(R().rodapePagina.altura, 43921);
    EXPECT_EQ(P().rodapePagina.altura, 31485);
    EXPECT_EQ(Achar(R(), "SubReport1").sub->detalhe.printCount, 26);
    EXPECT_EQ(Achar(P(), "SubReport1").sub->detalhe.printCount, 10);
    EXPECT_EQ(Achar(R(), "SubReport2").sub->cabecalhoColuna.altura, 3704);
    EXPECT_EQ(Achar(P(), "SubReport2").sub->cabecalhoColuna.altura, 2910);
}

// The header band draws in the order of its element numbers, regions' elements
// included; names are unique in each layout.
TEST_F(Layouts, OrdemDeDesenhoENomes) {
    const std::map<std::string, int> componentes = {{"RegFatura1", 87}, {"SubReport2", 88}, {"Region6", 94},
                                                    {"SystemVariable4", 224}, {"SystemVariable5", 225}};
    for (Relatorio* r : {&R(), &P()}) {
        SCOPED_TRACE(r->nome);
        std::vector<const Elemento*> es;
        Achatar(r->cabecalhoGrupo.elementos, es);
        std::vector<int> numeros;
        for (const Elemento* e : es) {
            auto c = componentes.find(e->nome);
            numeros.push_back(c != componentes.end() ? c->second : std::stoi(e->nome));
        }
        EXPECT_TRUE(std::is_sorted(numeros.begin(), numeros.end()));
        EXPECT_EQ(es.size(), r == &R() ? 228u : 227u);

        std::set<std::string> nomes;
        for (auto& [banda, pipeline] : Bandas(*r)) {
            std::vector<const Elemento*> todos;
            Achatar(banda->elementos, todos);
            for (const Elemento* e : todos) EXPECT_TRUE(nomes.insert(e->nome).second) << "repeated name " << e->nome;
        }
    }
}

// Every bound element names its band's pipeline and a field that pipeline's table has.
TEST_F(Layouts, LigacoesAosCamposDasTabelas) {
    data::TabelasDanfe t;
    std::map<std::string, const data::Tabela*> tabelas = {
        {"PipelineNFE", &t.cdsNFE}, {"PipelineNFE_Itens", &t.cdsNFE_Itens}, {"PipelineCobranca", &t.cdsCobranca}};
    for (Relatorio* r : {&R(), &P()}) {
        for (auto& [banda, pipeline] : Bandas(*r)) {
            std::vector<const Elemento*> es;
            Achatar(banda->elementos, es);
            for (const Elemento* e : es) {
                const bool ligado = e->tipo == TipoElemento::TextoDados || e->tipo == TipoElemento::Memo ||
                                    e->tipo == TipoElemento::CodigoBarras;
                if (!ligado) continue;
                SCOPED_TRACE(r->nome + " " + e->nome + " " + e->campo);
                EXPECT_EQ(e->pipeline, pipeline);
                ASSERT_TRUE(tabelas.count(e->pipeline));
                EXPECT_GE(tabelas[e->pipeline]->IndiceCampo(e->campo), 0);
            }
        }
    }
    EXPECT_EQ(R().pipelineMestre, "PipelineNFE");
    EXPECT_EQ(R().campoQuebra, "nNF");
}

TEST_F(Layouts, RegioesESubRelatorios) {
    for (Relatorio* r : {&R(), &P()}) {
        SCOPED_TRACE(r->nome);
        const Elemento& fatura = Achar(*r, "RegFatura1");
        ASSERT_EQ(fatura.filhos.size(), 1u);
        EXPECT_EQ(fatura.filhos[0].nome, "SubReport2");
        EXPECT_TRUE(fatura.esticar);

        const Elemento& r6 = Achar(*r, "Region6");
        EXPECT_EQ(r6.deslocarRelativoA, "RegFatura1");
        EXPECT_TRUE(r6.esticar && r6.parentWidth);
        EXPECT_EQ(r6.filhos.front().nome, "95");

        const SubRelatorio& dup = *Achar(*r, "SubReport2").sub;
        EXPECT_EQ(dup.pipeline, "PipelineCobranca");
        EXPECT_EQ(dup.colunas, (std::vector<Mm>{2000, 34000, 65000, 96000, 127000, 158000}));
        EXPECT_EQ(dup.larguraColuna, 32883);
        EXPECT_FALSE(dup.keepTogether);
        EXPECT_FALSE(dup.detalhe.dinamica);

        const SubRelatorio& itens = *Achar(*r, "SubReport1").sub;
        EXPECT_EQ(itens.pipeline, "PipelineNFE_Itens");
        EXPECT_TRUE(itens.keepTogether);
        EXPECT_TRUE(itens.colunas.empty());
        EXPECT_EQ(itens.sumario.altura, 39423);

        // The item description wraps; the rules follow the row's height.
        EXPECT_EQ(Achar(*r, "Item1").tipo, TipoElemento::Memo);
        const Elemento& regra = Achar(*r, "Item2");
        EXPECT_TRUE(regra.linhaEsquerda && regra.stretchWithParent);
        EXPECT_TRUE(Achar(*r, "68").pontilhada);

        EXPECT_FALSE(r->rodapePagina.dinamica);
        EXPECT_FALSE(Achar(*r, "SystemVariable4").visivel);
    }
}

TEST_F(Layouts, FiguraPadraoDoEmitente) {
    const Elemento& r = Achar(R(), layouts::NomeImagemEmitente);
    const Elemento& p = Achar(P(), layouts::NomeImagemEmitente);
    ASSERT_EQ(r.tipo, TipoElemento::Imagem);
    ASSERT_TRUE(r.imagem);
    EXPECT_EQ(r.imagem, p.imagem);
    EXPECT_EQ(r.imagem->largura, 42);
    EXPECT_EQ(r.imagem->altura, 41);
    ASSERT_EQ(r.imagem->pixels.size(), 42u * 41u);
    std::set<uint32_t> cores(r.imagem->pixels.begin(), r.imagem->pixels.end());
    EXPECT_TRUE(cores.count(0xFFFFFFFFu));  // white ground
    EXPECT_TRUE(cores.count(0xFF1F4E9Cu));  // blue
    EXPECT_TRUE(cores.count(0xFF2E9A3Eu));  // green
    for (uint32_t c : cores) EXPECT_EQ(c >> 24, 0xFFu);  // opaque
}

// The engine's view of a run: the texts of the two hidden page variables
// are set by the test; any other variable reads as a text that never matches.
class ExecucaoFalsa : public Execucao {
public:
    ExecucaoFalsa(Relatorio& r, std::string numero, std::string total)
        : r_(r), numero_(std::move(numero)), total_(std::move(total)) {}
    Relatorio& Layout() override { return r_; }
    std::string TextoVariavel(const Elemento& v) const override {
        if (v.nome == "SystemVariable4") return numero_;
        if (v.nome == "SystemVariable5") return total_;
        return "?" + v.nome;
    }
    bool PassoDeSaida() const override { return true; }

private:
    Relatorio& r_;
    std::string numero_, total_;
};

const char* const kMascaras[] = {"213", "214", "215", "216", "217", "218", "219", "220", "221", "222", "223"};
const char* const kTotais[] = {"151", "152", "153", "154", "155", "156", "157", "158", "159", "160", "170"};

TEST_F(Layouts, InicioDePaginaAlternaUltimaPaginaEContinuacao) {
    struct Caso {
        const char* numero;
        const char* total;
        bool ultima;
        bool hora;
    };
    const Caso casos[] = {
        {"1", "1", true, false}, {"1", "3", false, true}, {"2", "3", false, false},
        {"3", "3", true, true},  {"1", "10", false, false}, {"10", "10", true, false},
    };
    for (Relatorio* r : {&R(), &P()}) {
        for (const auto& c : casos) {
            SCOPED_TRACE(r->nome + " page " + c.numero + "/" + c.total);
            flags.ImprimirHora = c.hora;  // read at every page start, not when the layouts were built
            ExecucaoFalsa e(*r, c.numero, c.total);
            ASSERT_TRUE(r->aoIniciarPagina);
            r->aoIniciarPagina(e);

            EXPECT_EQ(r->rodapePagina.visivel, !c.ultima);
            EXPECT_EQ(Achar(*r, "SubReport1").sub->sumario.visivel, c.ultima);
            for (const char* m : kMascaras) EXPECT_EQ(Achar(*r, m).visivel, !c.ultima) << "mask " << m;
            for (const char* t : kTotais) EXPECT_EQ(Achar(*r, t).visivel, c.ultima) << "total " << t;
            EXPECT_EQ(Achar(*r, "93").visivel, c.hora);
        }
    }
}

TEST_F(Layouts, CabecalhoDeGrupoMostraOsAvisosPelasFlags) {
    for (bool homologacao : {false, true}) {
        for (bool contingencia : {false, true}) {
            flags.Homologacao = homologacao;
            flags.Contingencia = contingencia;
            for (Relatorio* r : {&R(), &P()}) {
                SCOPED_TRACE(r->nome);
                ExecucaoFalsa e(*r, "1", "1");
                ASSERT_TRUE(r->antesGerarCabecalhoGrupo);
                r->antesGerarCabecalhoGrupo(e);
                EXPECT_EQ(Achar(*r, "92").visivel, homologacao);   // "Sem Valor Fiscal"
                EXPECT_EQ(Achar(*r, "228").visivel, contingencia);  // "DANFE EM CONTINGÊNCIA"
            }
        }
    }
}

// Each layout's handlers switch that layout's own elements only.
TEST_F(Layouts, CadaLayoutSoMexeNosSeusElementos) {
    ExecucaoFalsa e(R(), "1", "2");
    R().aoIniciarPagina(e);
    EXPECT_TRUE(R().rodapePagina.visivel);
    EXPECT_FALSE(Achar(R(), "151").visivel);
    EXPECT_TRUE(Achar(P(), "151").visivel);  // as stored

    flags.Homologacao = false;
    R().antesGerarCabecalhoGrupo(e);
    EXPECT_FALSE(Achar(R(), "92").visivel);
    EXPECT_TRUE(Achar(P(), "92").visivel);
}

}  // namespace
