#include "data/tabelas_danfe.h"

namespace corvexa::data {
namespace {

DefCampo T(const char* nome, int tamanho = 255) { return {nome, TipoCampo::Texto, tamanho}; }
DefCampo D(const char* nome) { return {nome, TipoCampo::Data, 0}; }
DefCampo N(const char* nome) { return {nome, TipoCampo::Decimal, 0}; }
DefCampo I(const char* nome) { return {nome, TipoCampo::Inteiro, 0}; }

// Field order is the published order; the layouts address fields by name.
std::vector<DefCampo> CamposNFE() {
    return {
        T("CodBarra"), T("NatOper"), T("Serie", 20), D("DtEmissao"), D("DtSaida"), T("nNF"), T("nTpNF"),
        T("EmitNome"), T("EmitCNPJ"), T("EmitIE"), T("EmitIEST"), T("EmitEnd"), T("EmitBairro"),
        T("EmitMun"), T("EmitUF"), T("EmitCEP"), T("EmitIM"), T("EmitFone", 30), T("EmitMunUF", 150),
        T("EmitFoneStr", 50), T("LogotipoEmitente"),
        T("DestNome"), T("DestCNPJ"), T("DestIE"), T("DestEnd"), T("DestBairro"), T("DestMun"),
        T("DestUF"), T("DestCEP"), T("DestFoneFax"),
        I("QtdeItem"), T("Item"),
        N("BaseCalcICMS"), N("ValorICMS"), N("BaseCalcICMSSubs"), N("ValorICMSSubs"), N("ValorTotProd"),
        N("ValorFrete"), N("ValorSeguro"), N("Desconto"), N("OutrasDesp"), N("ValorIPI"), N("ValorTotNota"),
        N("BaseCalcISSQN"), N("ValorTotServ"), N("ValorTotISSQN"),
        T("TraModFrete"), T("TraCNPJ"), T("TraNome"), T("TraIE"), T("TraEnd"), T("TraMun"), T("TraUF"),
        T("VeiCodigoANTT"), T("VeiPlaca"), T("VeiUF"),
        T("VolQuantidade"), T("VolEspecie"), T("VolMarca"), T("VolNumeracao"), N("VolPesoBruto"),
        N("VolPesoLiquido"),
        T("ObsFisco", 5000), T("ObsContribuinte", 5000),
        I("tpAmb"), T("tpEmis", 1),
    };
}

std::vector<DefCampo> CamposItens() {
    return {
        T("nNF"), T("ItemCodigo"), T("ItemNCM"), T("ItemDescricao"), T("ItemCST"), T("ItemCFOP"),
        T("ItemUnidade"), N("ItemQuantidade"), N("ItemVUnit"), N("ItemVTotal"), N("ItemBCalcIcms"),
        N("ItemVICMS"), N("ItemVIPI"), N("ItemAliqICMS"), N("ItemAliqIPI"),
    };
}

std::vector<DefCampo> CamposCobranca() {
    return {T("nNF", 20), T("NumDuplicata", 20), D("DtVencimento"), N("ValorDuplicata")};
}

}  // namespace

TabelasDanfe::TabelasDanfe()
    : cdsNFE("cdsNFE", CamposNFE()),
      cdsNFE_Itens("cdsNFE_Itens", CamposItens(), "nNF"),
      cdsCobranca("cdsCobranca", CamposCobranca()),
      PipelineNFE("PipelineNFE", "NFE", cdsNFE),
      PipelineNFE_Itens("PipelineNFE_Itens", "NFE_Itens", cdsNFE_Itens, PipelineNFE, "nNF", "nNF"),
      PipelineCobranca("PipelineCobranca", "Cobranca", cdsCobranca, PipelineNFE, "nNF", "nNF") {}

}  // namespace corvexa::data
