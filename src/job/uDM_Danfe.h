#pragma once
// The process-wide data module of the library: a thin aggregate of the parts
// that outlive a render job. Each part stands on its own and is tested alone;
// the data module only keeps them together for the jobs to borrow.
#include <memory>

#include "data/tabelas_danfe.h"
#include "layouts/danfe.h"
#include "report/pagina.h"

namespace corvexa::job {

struct TDM_Danfe {
    TDM_Danfe();
    ~TDM_Danfe();
    TDM_Danfe(const TDM_Danfe&) = delete;
    TDM_Danfe& operator=(const TDM_Danfe&) = delete;

    // cdsNFE, cdsNFE_Itens, cdsCobranca and their pipelines; emptied and
    // refilled by every job, kept between calls.
    data::TabelasDanfe tabelas;

    // Homologacao, Contingencia, ImprimirHora: false at creation, written by
    // the jobs, read by the page and band handlers of the layouts.
    layouts::FlagsDanfe flags;

    // RelDanfe and RelDanfePais, whose handlers read `flags` (declared above,
    // so that it outlives them).
    std::unique_ptr<layouts::LayoutsDanfe> layouts;

    // The portrait layout, or the landscape one for print format 2.
    report::Relatorio& Layout(int tipoImpressao);
    // Runs a layout over the tables as they are: the pages of the DANFE.
    report::Documento Produzir(report::Relatorio& layout);
};

// What the data module and the library's C++ functions share, so that both
// read and lay out alike.

// Runs a layout over tables: the pages of the DANFE, with the separators of
// the user's locale; the print time is `segundosDoDia`, or the clock when
// negative.
report::Documento ProduzirDanfe(report::Relatorio& layout, const data::TabelasDanfe& tabelas,
                                int segundosDoDia = -1);

// Homologacao and Contingencia from the current NF-e record (the last one
// read): "tpAmb" 2 and "tpEmis" 2; both false for empty tables. ImprimirHora
// is left as it is.
void DerivarFlags(const data::TabelasDanfe& tabelas, layouts::FlagsDanfe& flags);

// The layout of a print format: the landscape one for 2, else the portrait one.
report::Relatorio& LayoutDoTipo(layouts::LayoutsDanfe& layouts, int tipoImpressao);

}  // namespace corvexa::job
