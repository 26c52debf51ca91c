#include "layouts/eventos.h"

#include <stdexcept>
#include <string>

#include "base/texto.h"

namespace corvexa::layouts {

namespace {

report::Elemento* Exigir(report::Relatorio& layout, std::string_view nome) {
    auto* e = layout.BuscarElemento(nome);
    if (!e) throw std::logic_error("DANFE layout without element " + std::string(nome));
    return e;
}

// Both forms of a page follow from one comparison of the two hidden variables'
// texts, as the engine would print them on this page.
void IniciarPagina(const AlvosDanfe& a, const FlagsDanfe& flags, report::Execucao& execucao) {
    a.horaSaida->visivel = flags.ImprimirHora;

    const bool ultima = texto::IgualSemCaixa(execucao.TextoVariavel(*a.numeroPagina),
                                             execucao.TextoVariavel(*a.totalPaginas));
    a.rodapePagina->visivel = !ultima;
    a.sumarioItens->visivel = !a.rodapePagina->visivel;
    for (auto* m : a.mascaras) m->visivel = !ultima;
    for (auto* t : a.totais) t->visivel = ultima;
}

void AntesGerarCabecalho(const AlvosDanfe& a, const FlagsDanfe& flags) {
    a.semValorFiscal->visivel = flags.Homologacao;
    a.contingencia->visivel = flags.Contingencia;
}

}  // namespace

AlvosDanfe ResolverAlvos(report::Relatorio& layout) {
    AlvosDanfe a;
    a.semValorFiscal = Exigir(layout, "92");
    a.contingencia = Exigir(layout, "228");
    a.horaSaida = Exigir(layout, "93");
    a.numeroPagina = Exigir(layout, "SystemVariable4");
    a.totalPaginas = Exigir(layout, "SystemVariable5");
    a.rodapePagina = &layout.rodapePagina;

    auto* itens = Exigir(layout, "SubReport1");
    if (!itens->sub) throw std::logic_error("DANFE layout without the items sub-report");
    a.sumarioItens = &itens->sub->sumario;

    // Masks over BaseCalcICMS, ValorICMS, BaseCalcICMSSubs, ValorICMSSubs,
    // ValorTotProd, ValorTotNota, ValorIPI, OutrasDesp, Desconto, ValorFrete, ValorSeguro.
    const char* mascaras[] = {"213", "214", "215", "216", "217", "218", "219", "220", "221", "222", "223"};
    // BaseCalcICMS, ValorICMS, BaseCalcICMSSubs, ValorICMSSubs, ValorTotProd,
    // ValorFrete, Desconto, ValorSeguro, OutrasDesp, ValorTotNota, ValorIPI.
    const char* totais[] = {"151", "152", "153", "154", "155", "156", "157", "158", "159", "160", "170"};
    for (size_t i = 0; i < a.mascaras.size(); ++i) {
        a.mascaras[i] = Exigir(layout, mascaras[i]);
        a.totais[i] = Exigir(layout, totais[i]);
    }
    return a;
}

void ppGroupHeaderBand2BeforeGenerate(const AlvosDanfe& alvos, const FlagsDanfe& flags) {
    AntesGerarCabecalho(alvos, flags);
}

void ppGroupHeaderBand1BeforeGenerate(const AlvosDanfe& alvos, const FlagsDanfe& flags) {
    AntesGerarCabecalho(alvos, flags);
}

void RelDanfeStartPage(const AlvosDanfe& alvos, const FlagsDanfe& flags, report::Execucao& execucao) {
    IniciarPagina(alvos, flags, execucao);
}

void RelDanfePaisStartPage(const AlvosDanfe& alvos, const FlagsDanfe& flags, report::Execucao& execucao) {
    IniciarPagina(alvos, flags, execucao);
}

}  // namespace corvexa::layouts
