// Builds the two report models from the rows: the same rows, read once with
// the portrait geometry and once with the landscape one.
#include <algorithm>
#include <stdexcept>
#include <string>

#include "layouts/danfe.h"
#include "layouts/eventos.h"
#include "layouts/linhas.h"

namespace corvexa::layouts {

namespace {

using namespace linhas;
using report::TipoElemento;

std::shared_ptr<report::SubRelatorio> CriarSub(const DescSub& d, const std::string& nome, bool pais);

report::Elemento CriarElemento(const Linha& l, std::string nome, const DescBanda& banda, bool pais) {
    report::Elemento e;
    const Geo& g = pais ? l.p : l.r;
    e.nome = std::move(nome);
    e.g = {g.l, g.t, g.w, g.h};
    e.fonte = pais && l.fonteP ? *l.fonteP : l.fonte;
    e.alinhamento = pais && l.alP ? *l.alP : l.al;
    e.visivel = !(l.aj & Oculto);
    e.wordWrap = l.aj & Quebra;
    e.linhaEsquerda = l.aj & Esquerda;
    e.pontilhada = l.aj & Pontilhada;
    e.parentWidth = l.aj & LarguraPai;
    e.parentHeight = l.aj & AlturaPai;
    e.stretchWithParent = l.aj & EsticaPai;
    e.esticar = l.aj & Estica;
    if (l.formato) e.formato = l.formato;

    auto ligar = [&] {
        e.pipeline = banda.pipeline;
        e.campo = l.texto;
    };
    switch (l.tipo) {
        case Tipo::Rotulo:
            e.tipo = TipoElemento::Rotulo;
            e.texto = pais && l.textoP ? l.textoP : l.texto;
            e.autoSize = !(l.aj & Fixo);
            break;
        case Tipo::Dados:
            e.tipo = TipoElemento::TextoDados;
            ligar();
            e.autoSize = l.aj & Auto;
            break;
        case Tipo::Memo:
            e.tipo = TipoElemento::Memo;
            ligar();
            break;
        case Tipo::Retangulo:
        case Tipo::Arredondado:
            e.tipo = TipoElemento::Retangulo;
            e.arredondado = l.tipo == Tipo::Arredondado;
            break;
        case Tipo::Traco:
            e.tipo = TipoElemento::Linha;
            break;
        case Tipo::Variavel:
            e.tipo = TipoElemento::VariavelSistema;
            e.variavel = l.var;
            e.autoSize = !(l.aj & Fixo);
            break;
        case Tipo::Imagem:
            e.tipo = TipoElemento::Imagem;
            e.imagem = ImagemPadraoEmitente();
            break;
        case Tipo::Barras:
            e.tipo = TipoElemento::CodigoBarras;
            ligar();
            break;
        case Tipo::Regiao:
            e.tipo = TipoElemento::Regiao;
            if (l.relativoA) e.deslocarRelativoA = l.relativoA;
            break;
        case Tipo::Sub:
            e.tipo = TipoElemento::SubRelatorio;
            e.sub = CriarSub(*l.sub, e.nome, pais);
            break;
    }
    return e;
}

// Elements draw in the order of their numbers where the rows are numbered,
// else in the order listed; a region's elements go into the region.
void MontarBanda(report::Banda& b, std::string nome, const DescBanda& d, bool pais) {
    b.nome = std::move(nome);
    b.altura = pais ? d.alturaP : d.alturaR;
    b.dinamica = d.dinamica;
    b.printCount = pais ? d.printCountP : d.printCountR;

    struct Posto {
        const Linha* linha;
        std::string nome;
    };
    std::vector<Posto> ordem;
    for (size_t i = 0; i < d.linhas.size(); ++i) {
        const Linha& l = d.linhas[i];
        if (pais && l.soRetrato) continue;
        std::string n = l.nome ? l.nome : l.n ? std::to_string(l.n) : std::string(d.prefixo) + std::to_string(i + 1);
        ordem.push_back({&l, std::move(n)});
    }
    std::stable_sort(ordem.begin(), ordem.end(), [](const Posto& a, const Posto& b) { return a.linha->n < b.linha->n; });

    for (auto& [l, n] : ordem) {
        report::Elemento e = CriarElemento(*l, std::move(n), d, pais);
        if (!l->em) {
            b.elementos.push_back(std::move(e));
            continue;
        }
        // A structured binding cannot be captured by clang 14 (the fuzz builds).
        const char* em = l->em;
        auto regiao = std::find_if(b.elementos.begin(), b.elementos.end(), [&](const report::Elemento& r) {
            return r.tipo == TipoElemento::Regiao && r.nome == em;
        });
        if (regiao == b.elementos.end()) throw std::logic_error("region " + std::string(l->em) + " drawn after its elements");
        regiao->filhos.push_back(std::move(e));
    }
}

std::shared_ptr<report::SubRelatorio> CriarSub(const DescSub& d, const std::string& nome, bool pais) {
    auto s = std::make_shared<report::SubRelatorio>();
    s->nome = nome;
    s->pipeline = d.pipeline;
    s->keepTogether = d.keepTogether;
    s->colunas.assign(d.colunas.begin(), d.colunas.end());
    s->larguraColuna = d.larguraColuna;
    MontarBanda(s->titulo, "Titulo", d.titulo, pais);
    MontarBanda(s->cabecalhoColuna, "CabecalhoColuna", d.cabecalhoColuna, pais);
    MontarBanda(s->detalhe, "Detalhe", d.detalhe, pais);
    MontarBanda(s->rodapeColuna, "RodapeColuna", d.rodapeColuna, pais);
    MontarBanda(s->sumario, "Sumario", d.sumario, pais);
    return s;
}

void MontarRelatorio(report::Relatorio& r, bool pais) {
    r.nome = pais ? "RelDanfePais" : "RelDanfe";
    r.nomeTrabalho = pais ? "DANFE" : "Report";
    r.larguraPapel = pais ? 297000 : 210000;
    r.alturaPapel = pais ? 210000 : 297000;
    r.margemSuperior = r.margemInferior = r.margemEsquerda = r.margemDireita = 6350;
    r.pipelineMestre = "PipelineNFE";
    r.campoQuebra = "nNF";

    r.cabecalhoPagina.nome = "CabecalhoPagina";
    r.cabecalhoPagina.dinamica = false;
    MontarBanda(r.cabecalhoGrupo, pais ? "ppGroupHeaderBand1" : "ppGroupHeaderBand2", kCabecalhoGrupo, pais);
    MontarBanda(r.detalhe, "Detalhe", kDetalhe, pais);
    r.rodapeGrupo.nome = "RodapeGrupo";
    MontarBanda(r.rodapePagina, "RodapePagina", kRodapePagina, pais);
}

}  // namespace

std::unique_ptr<LayoutsDanfe> CriarLayouts(const FlagsDanfe& flags) {
    auto l = std::make_unique<LayoutsDanfe>();
    MontarRelatorio(l->RelDanfe, false);
    MontarRelatorio(l->RelDanfePais, true);

    // The layouts are complete: the handlers' targets no longer move.
    const FlagsDanfe* f = &flags;
    const AlvosDanfe retrato = ResolverAlvos(l->RelDanfe);
    l->RelDanfe.antesGerarCabecalhoGrupo = [retrato, f](report::Execucao&) {
        ppGroupHeaderBand2BeforeGenerate(retrato, *f);
    };
    l->RelDanfe.aoIniciarPagina = [retrato, f](report::Execucao& e) { RelDanfeStartPage(retrato, *f, e); };

    const AlvosDanfe paisagem = ResolverAlvos(l->RelDanfePais);
    l->RelDanfePais.antesGerarCabecalhoGrupo = [paisagem, f](report::Execucao&) {
        ppGroupHeaderBand1BeforeGenerate(paisagem, *f);
    };
    l->RelDanfePais.aoIniciarPagina = [paisagem, f](report::Execucao& e) { RelDanfePaisStartPage(paisagem, *f, e); };
    return l;
}

}  // namespace corvexa::layouts
