#include "job/uDM_Danfe.h"

#include "base/texto.h"
#include "fontes/metricas.h"
#include "report/motor.h"

namespace corvexa::job {

TDM_Danfe::TDM_Danfe() : layouts(layouts::CriarLayouts(flags)) {}

TDM_Danfe::~TDM_Danfe() = default;

report::Relatorio& TDM_Danfe::Layout(int tipoImpressao) { return LayoutDoTipo(*layouts, tipoImpressao); }

report::Documento TDM_Danfe::Produzir(report::Relatorio& layout) { return ProduzirDanfe(layout, tabelas); }

report::Documento ProduzirDanfe(report::Relatorio& layout, const data::TabelasDanfe& tabelas, int segundosDoDia) {
    report::OpcoesMotor opcoes;
    opcoes.segundosDoDia = segundosDoDia;
    opcoes.separadores = report::Separadores::DoAmbiente();
    return report::Gerar(layout, tabelas.Pipelines(), fontes::Metricas::Padrao(), opcoes);
}

void DerivarFlags(const data::TabelasDanfe& tabelas, layouts::FlagsDanfe& flags) {
    // An empty table has no current record: both texts are empty.
    const auto& nfe = tabelas.cdsNFE;
    flags.Homologacao = texto::IgualSemCaixa(nfe.LerTexto("tpAmb"), "2");
    flags.Contingencia = texto::IgualSemCaixa(nfe.LerTexto("tpEmis"), "2");
}

report::Relatorio& LayoutDoTipo(layouts::LayoutsDanfe& layouts, int tipoImpressao) {
    return tipoImpressao == 2 ? layouts.RelDanfePais : layouts.RelDanfe;
}

}  // namespace corvexa::job
