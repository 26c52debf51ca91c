#pragma once
// The three DANFE tables and their report pipelines.
#include "data/tabela.h"

namespace corvexa::data {

struct TabelasDanfe {
    TabelasDanfe();
    TabelasDanfe(const TabelasDanfe&) = delete;
    TabelasDanfe& operator=(const TabelasDanfe&) = delete;

    Tabela cdsNFE;        // one record per NF-e, insertion order
    Tabela cdsNFE_Itens;  // one per product line, index idx_NF on nNF
    Tabela cdsCobranca;   // one per billing instalment, insertion order

    Pipeline PipelineNFE;        // "NFE"
    Pipeline PipelineNFE_Itens;  // "NFE_Itens", detail of PipelineNFE on nNF
    Pipeline PipelineCobranca;   // "Cobranca", detail of PipelineNFE on nNF

    std::vector<const Pipeline*> Pipelines() const { return {&PipelineNFE, &PipelineNFE_Itens, &PipelineCobranca}; }
};

}  // namespace corvexa::data
