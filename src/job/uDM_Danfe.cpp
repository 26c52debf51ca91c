#include "job/uDM_Danfe.h"

#include "fontes/metricas.h"
#include "report/motor.h"

namespace corvexa::job {

TDM_Danfe::TDM_Danfe() : layouts(layouts::CriarLayouts(flags)) {}

TDM_Danfe::~TDM_Danfe() = default;

report::Relatorio& TDM_Danfe::Layout(int tipoImpressao) {
    return tipoImpressao == 2 ? layouts->RelDanfePais : layouts->RelDanfe;
}

report::Documento TDM_Danfe::Produzir(report::Relatorio& layout) {
    report::OpcoesMotor opcoes;
    opcoes.separadores = report::Separadores::DoAmbiente();
    return report::Gerar(layout, tabelas.Pipelines(), fontes::Metricas::Padrao(), opcoes);
}

}  // namespace corvexa::job
