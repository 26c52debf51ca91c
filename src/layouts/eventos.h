#pragma once
// The page and band handlers of the DANFE layouts. Each layout resolves once,
// when it is built, the elements and bands its handlers switch.
#include <array>

#include "layouts/danfe.h"
#include "report/motor.h"

namespace corvexa::layouts {

struct AlvosDanfe {
    report::Elemento* semValorFiscal = nullptr;  // homologation notice
    report::Elemento* contingencia = nullptr;    // contingency notice
    report::Elemento* horaSaida = nullptr;       // print-time variable
    const report::Elemento* numeroPagina = nullptr;  // hidden page-number variable
    const report::Elemento* totalPaginas = nullptr;  // hidden page-count variable
    report::Banda* rodapePagina = nullptr;
    report::Banda* sumarioItens = nullptr;
    // The masks in the order they are switched, then the totals in theirs.
    std::array<report::Elemento*, 11> mascaras{};
    std::array<report::Elemento*, 11> totais{};
};

// Finds the handlers' elements in a layout built from the rows.
AlvosDanfe ResolverAlvos(report::Relatorio& layout);

// Before every generation of the invoice header band: the notices.
void ppGroupHeaderBand2BeforeGenerate(const AlvosDanfe& alvos, const FlagsDanfe& flags);  // RelDanfe
void ppGroupHeaderBand1BeforeGenerate(const AlvosDanfe& alvos, const FlagsDanfe& flags);  // RelDanfePais

// At the start of every page: print time, and the continuation or last-page form.
void RelDanfeStartPage(const AlvosDanfe& alvos, const FlagsDanfe& flags, report::Execucao& execucao);
void RelDanfePaisStartPage(const AlvosDanfe& alvos, const FlagsDanfe& flags, report::Execucao& execucao);

}  // namespace corvexa::layouts
