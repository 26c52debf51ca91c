#pragma once
// Reading of NF-e XML text into the DANFE tables: the load, the walk over the
// top-level NF-e elements and the section readers.
#include <string>
#include <string_view>

#include "data/tabelas_danfe.h"
#include "xml/documento.h"

namespace corvexa::nfe {

class LeitorNFe {
public:
    explicit LeitorNFe(data::TabelasDanfe& tabelas) : tabelas_(&tabelas) {}

    // Empties cdsNFE, then cdsCobranca, then cdsNFE_Itens.
    void LimparTabelas();
    // Parses the 8-bit text into the document (replacing what it held).
    void CarregarXml(std::string texto);
    // The walk: fails with "XML não carregado." without a root element.
    void LerNotas();

    // The print format of the last NF-e read: 0 before any, 1 when "tpImp"
    // is blank or not an integer.
    int TipoImpressao() const { return tipoImpressao_; }

    // The own text of the first descendant named `tag` (letter case ignored).
    std::string LerValorTag(std::string_view tag, xml::No inicio) const;

private:
    void LerChave(xml::No nfe);
    void LerEmitente(xml::No nfe);
    void LerDestinatario(xml::No nfe);
    void LerIdentificacao(xml::No nfe);
    void LerTotais(xml::No nfe);
    void LerTransporte(xml::No nfe);
    void LerVeiculo(xml::No nfe);
    void LerVolumes(xml::No nfe);
    void LerItens(xml::No nfe);
    void LerInfAdicionais(xml::No nfe);
    void LerISSQN(xml::No nfe);
    void LerCobranca(xml::No nfe);

    xml::Documento doc_;
    data::TabelasDanfe* tabelas_;
    int tipoImpressao_ = 0;
};

}  // namespace corvexa::nfe
