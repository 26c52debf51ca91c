#pragma once
// The banded report engine: runs a Relatorio over its pipelines and produces
// the page display list. Two passes: a counting pass that lays out the whole
// document to learn every group's page count, then the output pass.
#include <string>
#include <string_view>
#include <vector>

#include "data/tabela.h"
#include "fontes/metricas.h"
#include "report/formatos.h"
#include "report/modelo.h"
#include "report/pagina.h"

namespace corvexa::report {

struct OpcoesMotor {
    // Time of day printed by time variables; negative: the clock at production.
    int segundosDoDia = -1;
    Separadores separadores;
};

// The run seen by event handlers.
class Execucao {
public:
    virtual ~Execucao() = default;
    virtual Relatorio& Layout() = 0;
    // The text a system variable would print now (page number or page count
    // within the current group; the count is true in the output pass).
    virtual std::string TextoVariavel(const Elemento& variavel) const = 0;
    virtual bool PassoDeSaida() const = 0;
};

// Produces the document. `pipelines` resolves the pipeline names the layout
// uses (case-insensitive). An empty master pipeline gives one blank page.
Documento Gerar(Relatorio& relatorio, const std::vector<const data::Pipeline*>& pipelines,
                const fontes::Metricas& metricas, const OpcoesMotor& opcoes = {});

}  // namespace corvexa::report
