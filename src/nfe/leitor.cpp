#include "nfe/leitor.h"

#include "base/falha.h"
#include "base/limites.h"
#include "base/texto.h"
#include "nfe/uFuncoesNFe.h"

namespace corvexa::nfe {
namespace {

// "a , b": the street line of an address.
std::string Endereco(const std::string& logradouro, const std::string& numero) {
    return logradouro + " , " + numero;
}

}  // namespace

void LeitorNFe::LimparTabelas() {
    tabelas_->cdsNFE.Esvaziar();
    tabelas_->cdsCobranca.Esvaziar();
    tabelas_->cdsNFE_Itens.Esvaziar();
}

void LeitorNFe::CarregarXml(std::string texto) { doc_.Carregar(std::move(texto)); }

void LeitorNFe::LerNotas() {
    if (!doc_.TemElementoRaiz()) throw Falha("XML não carregado.");
    LimparTabelas();
    auto& nfe = tabelas_->cdsNFE;
    size_t lidas = 0;
    for (const xml::No no : doc_.NosTopo()) {
        // Only elements count: a processing instruction named NFe is no invoice.
        if (no.Tipo() != xml::TipoNo::Elemento || !texto::IgualSemCaixa(no.Nome(), "NFe")) continue;
        if (++lidas > limites::kNotasPorDocumento)
            throw Falha("O XML tem mais de " + std::to_string(limites::kNotasPorDocumento) +
                        " NF-e. Por favor, divida o arquivo.");
        nfe.Adicionar();
        // LerIdentificacao writes nNF, which LerItens and LerCobranca copy.
        LerEmitente(no);
        LerDestinatario(no);
        LerIdentificacao(no);
        LerTotais(no);
        LerTransporte(no);
        LerVeiculo(no);
        LerVolumes(no);
        LerChave(no);
        LerItens(no);
        LerInfAdicionais(no);
        LerISSQN(no);
        LerCobranca(no);
        nfe.Gravar();
    }
}

std::string LeitorNFe::LerValorTag(std::string_view tag, xml::No inicio) const {
    const xml::No no = doc_.PrimeiroDescendente(inicio, tag);
    return no ? doc_.TextoProprio(no) : std::string();
}

void LeitorNFe::LerChave(xml::No nfe) {
    const xml::No inf = doc_.PrimeiroDescendente(nfe, "infNFe");
    if (!inf) throw Falha("Existe Nota sem Chave (ID). Por favor, verifique e tente novamente.");
    const std::string id = doc_.Atributo(inf, "Id");
    // "NFe" followed by the 44 digits of the key.
    tabelas_->cdsNFE.DefinirTexto("CodBarra", id.size() > 3 ? std::string_view(id).substr(3) : std::string_view());
}

void LeitorNFe::LerEmitente(xml::No nfe) {
    auto& t = tabelas_->cdsNFE;
    const xml::No emit = doc_.PrimeiroDescendente(nfe, "emit");
    if (!emit) return;
    t.DefinirTexto("EmitNome", LerValorTag("xNome", emit));
    t.DefinirTexto("EmitCNPJ", LerValorTag("CNPJ", emit));
    t.DefinirTexto("EmitIE", LerValorTag("IE", emit));
    t.DefinirTexto("EmitIEST", LerValorTag("IEST", emit));
    t.DefinirTexto("EmitIM", LerValorTag("IM", emit));
    t.DefinirTexto("EmitFone", LerValorTag("fone", emit));
    // Built from the stored phone, so from its first 30 characters. Without a
    // phone the caption is left out too.
    const std::string fone = t.LerTexto("EmitFone");
    if (!TextoVazio(fone)) t.DefinirTexto("EmitFoneStr", "Fone / FAX: " + fone);

    const xml::No ender = doc_.PrimeiroDescendente(nfe, "enderEmit");
    if (!ender) return;
    t.DefinirTexto("EmitEnd", Endereco(LerValorTag("xLgr", ender), LerValorTag("nro", ender)));
    t.DefinirTexto("EmitBairro", LerValorTag("xBairro", ender));
    t.DefinirTexto("EmitMun", LerValorTag("xMun", ender));
    t.DefinirTexto("EmitUF", LerValorTag("UF", ender));
    t.DefinirTexto("EmitCEP", LerValorTag("CEP", ender));
    // City and state; kept with the separator when only one is known, so
    // that neither is lost, and empty when both are missing.
    const std::string mun = t.LerTexto("EmitMun"), uf = t.LerTexto("EmitUF");
    if (!TextoVazio(mun) || !TextoVazio(uf)) t.DefinirTexto("EmitMunUF", mun + " - " + uf);
}

void LeitorNFe::LerDestinatario(xml::No nfe) {
    auto& t = tabelas_->cdsNFE;
    const xml::No dest = doc_.PrimeiroDescendente(nfe, "dest");
    if (!dest) return;
    const std::string cnpj = LerValorTag("CNPJ", dest);
    t.DefinirTexto("DestCNPJ", !TextoVazio(cnpj) ? cnpj : LerValorTag("CPF", dest));
    t.DefinirTexto("DestIE", LerValorTag("IE", dest));
    t.DefinirTexto("DestNome", LerValorTag("xNome", dest));

    const xml::No ender = doc_.PrimeiroDescendente(dest, "enderDest");
    if (!ender) return;
    t.DefinirTexto("DestEnd", Endereco(LerValorTag("xLgr", ender), LerValorTag("nro", ender)));
    t.DefinirTexto("DestBairro", LerValorTag("xBairro", ender));
    t.DefinirTexto("DestMun", LerValorTag("xMun", ender));
    t.DefinirTexto("DestUF", LerValorTag("UF", ender));
    t.DefinirTexto("DestCEP", LerValorTag("CEP", ender));
    t.DefinirTexto("DestFoneFax", LerValorTag("fone", ender));
}

void LeitorNFe::LerIdentificacao(xml::No nfe) {
    auto& t = tabelas_->cdsNFE;
    // Without "ide" the tags are taken from wherever they occur in the NF-e.
    const xml::No ideNo = doc_.PrimeiroDescendente(nfe, "ide");
    const xml::No ide = ideNo ? ideNo : nfe;

    tipoImpressao_ = LerTipoImpressao(LerValorTag("tpImp", ide));
    t.DefinirTexto("NatOper", LerValorTag("natOp", ide));
    t.DefinirTexto("Serie", LerValorTag("serie", ide));
    // Layouts 3.10 and 4.00 carry date and time with zone in "dhEmi" and
    // "dhSaiEnt"; their first ten characters are the date.
    const auto data = [&](std::string_view tag, std::string_view tagComHora) {
        std::string v = LerValorTag(tag, ide);
        if (TextoVazio(v)) {
            const std::string comHora = LerValorTag(tagComHora, ide);
            if (!TextoVazio(comHora)) v = comHora.substr(0, 10);
        }
        return v;
    };
    t.DefinirData("DtEmissao", LerData(data("dEmi", "dhEmi")));
    const std::string saida = data("dSaiEnt", "dhSaiEnt");
    if (!TextoVazio(saida))
        t.DefinirData("DtSaida", LerData(saida));
    else
        t.LimparCampo("DtSaida");
    t.DefinirTexto("nNF", LerValorTag("nNF", ide));
    // Converted by the integer field itself, which rejects a blank text.
    t.DefinirTexto("tpAmb", LerValorTag("tpAmb", ide));
    t.DefinirTexto("tpEmis", LerValorTag("tpEmis", ide));
    // Exact codes only: 0 (entry) prints 2, 1 (exit) prints 1.
    const std::string tpNF = LerValorTag("tpNF", ide);
    if (tpNF == "0")
        t.DefinirTexto("nTpNF", "2");
    else if (tpNF == "1")
        t.DefinirTexto("nTpNF", "1");
}

void LeitorNFe::LerTotais(xml::No nfe) {
    const xml::No tot = doc_.PrimeiroDescendente(nfe, "ICMSTot");
    if (!tot) return;
    static constexpr std::pair<const char*, const char*> kTotais[] = {
        {"vBC", "BaseCalcICMS"}, {"vICMS", "ValorICMS"},   {"vBCST", "BaseCalcICMSSubs"},
        {"vST", "ValorICMSSubs"}, {"vProd", "ValorTotProd"}, {"vFrete", "ValorFrete"},
        {"vSeg", "ValorSeguro"},  {"vDesc", "Desconto"},     {"vOutro", "OutrasDesp"},
        {"vIPI", "ValorIPI"},     {"vNF", "ValorTotNota"},
    };
    for (const auto& [tag, campo] : kTotais)
        tabelas_->cdsNFE.DefinirDecimal(campo, LerDecimal(LerValorTag(tag, tot)));
}

void LeitorNFe::LerTransporte(xml::No nfe) {
    auto& t = tabelas_->cdsNFE;
    if (const xml::No transp = doc_.PrimeiroDescendente(nfe, "transp")) {
        // Who pays the freight: emitter 1, recipient 2.
        const std::string mod = LerValorTag("modFrete", transp);
        if (mod == "0")
            t.DefinirTexto("TraModFrete", "1");
        else if (mod == "1")
            t.DefinirTexto("TraModFrete", "2");
    }
    const xml::No tra = doc_.PrimeiroDescendente(nfe, "transporta");
    if (!tra) return;
    const std::string cnpj = LerValorTag("CNPJ", tra);
    t.DefinirTexto("TraCNPJ", TextoVazio(cnpj) ? LerValorTag("CPF", tra) : cnpj);
    t.DefinirTexto("TraNome", LerValorTag("xNome", tra));
    t.DefinirTexto("TraIE", LerValorTag("IE", tra));
    t.DefinirTexto("TraEnd", LerValorTag("xEnder", tra));
    t.DefinirTexto("TraMun", LerValorTag("xMun", tra));
    t.DefinirTexto("TraUF", LerValorTag("UF", tra));
}

void LeitorNFe::LerVeiculo(xml::No nfe) {
    auto& t = tabelas_->cdsNFE;
    const xml::No vei = doc_.PrimeiroDescendente(nfe, "veicTransp");
    if (!vei) return;
    t.DefinirTexto("VeiCodigoANTT", LerValorTag("RNTC", vei));
    t.DefinirTexto("VeiPlaca", LerValorTag("placa", vei));
    t.DefinirTexto("VeiUF", LerValorTag("UF", vei));
}

void LeitorNFe::LerVolumes(xml::No nfe) {
    auto& t = tabelas_->cdsNFE;
    // Only the first volume group is printed.
    const xml::No vol = doc_.PrimeiroDescendente(nfe, "vol");
    if (!vol) return;
    t.DefinirTexto("VolQuantidade", LerValorTag("qVol", vol));
    t.DefinirTexto("VolEspecie", LerValorTag("esp", vol));
    t.DefinirTexto("VolMarca", LerValorTag("marca", vol));
    t.DefinirTexto("VolNumeracao", LerValorTag("nVol", vol));
    t.DefinirDecimal("VolPesoBruto", LerDecimal(LerValorTag("pesoB", vol)));
    t.DefinirDecimal("VolPesoLiquido", LerDecimal(LerValorTag("pesoL", vol)));
}

void LeitorNFe::LerItens(xml::No nfe) {
    const std::vector<xml::No> dets = doc_.TodosDescendentes(nfe, "det");
    if (dets.empty()) throw Falha("Nota Sem Itens, por favor verifique.");
    if (dets.size() > limites::kItensPorNota)
        throw Falha("Existe Nota com mais de " + std::to_string(limites::kItensPorNota) +
                    " itens. Por favor, verifique.");
    auto& it = tabelas_->cdsNFE_Itens;
    const std::string nNF = tabelas_->cdsNFE.LerTexto("nNF");
    const auto decimal = [&](const char* campo, std::string_view tag, xml::No det) {
        it.DefinirDecimal(campo, LerDecimal(LerValorTag(tag, det)));
    };
    for (const xml::No det : dets) {
        it.Adicionar();
        it.DefinirTexto("nNF", nNF);
        it.DefinirTexto("ItemCodigo", LerValorTag("cProd", det));
        it.DefinirTexto("ItemNCM", LerValorTag("NCM", det));
        it.DefinirTexto("ItemDescricao", LerValorTag("xProd", det));
        // Simples Nacional items carry "CSOSN" in their ICMS group instead of
        // "CST"; the first "CST" of the item would then be another tax's.
        const xml::No icms = doc_.PrimeiroDescendente(det, "ICMS");
        if (icms && doc_.PrimeiroDescendente(icms, "CSOSN"))
            it.DefinirTexto("ItemCST", LerValorTag("orig", icms) + LerValorTag("CSOSN", icms));
        else
            it.DefinirTexto("ItemCST", LerValorTag("orig", det) + LerValorTag("CST", det));
        it.DefinirTexto("ItemCFOP", LerValorTag("CFOP", det));
        it.DefinirTexto("ItemUnidade", LerValorTag("uCom", det));
        decimal("ItemQuantidade", "qCom", det);
        decimal("ItemVUnit", "vUnCom", det);
        decimal("ItemVTotal", "vProd", det);

        // These ICMS situations carry no base of their own for the item.
        const bool semBase = doc_.PrimeiroDescendente(det, "ICMS30") || doc_.PrimeiroDescendente(det, "ICMS40") ||
                             doc_.PrimeiroDescendente(det, "ICMS60");
        if (semBase)
            it.DefinirDecimal("ItemBCalcIcms", Decimal{});
        else
            decimal("ItemBCalcIcms", "vBC", det);
        decimal("ItemVICMS", "vICMS", det);
        decimal("ItemAliqICMS", "pICMS", det);

        // IPI charged per unit has no vIPI of its own: rate times quantity.
        const std::string vIPI = LerValorTag("vIPI", det);
        if (!TextoVazio(vIPI)) {
            it.DefinirDecimal("ItemVIPI", LerDecimal(vIPI));
        } else {
            const std::string vUnid = LerValorTag("vUnid", det), qUnid = LerValorTag("qUnid", det);
            if (!TextoVazio(vUnid) && !TextoVazio(qUnid))
                it.DefinirDecimal("ItemVIPI", MultiplicarOuMenos99(vUnid, qUnid));
            else
                it.DefinirDecimal("ItemVIPI", Decimal{});
        }
        decimal("ItemAliqIPI", "pIPI", det);
        it.Gravar();
    }
}

void LeitorNFe::LerInfAdicionais(xml::No nfe) {
    auto& t = tabelas_->cdsNFE;
    t.DefinirTexto("ObsFisco", LerValorTag("infAdFisco", nfe));
    t.DefinirTexto("ObsContribuinte", LerValorTag("infCpl", nfe));
}

void LeitorNFe::LerISSQN(xml::No nfe) {
    auto& t = tabelas_->cdsNFE;
    // The service totals of the invoice; a file without them falls back to
    // the first item's service-tax group, which carries only a base.
    xml::No grupo = doc_.PrimeiroDescendente(nfe, "ISSQNtot");
    if (!grupo) grupo = doc_.PrimeiroDescendente(nfe, "ISSQN");
    if (!grupo) {
        t.DefinirDecimal("ValorTotServ", Decimal{});
        t.DefinirDecimal("BaseCalcISSQN", Decimal{});
        t.DefinirDecimal("ValorTotISSQN", Decimal{});
        return;
    }
    t.DefinirDecimal("ValorTotServ", LerDecimal(LerValorTag("vServ", grupo)));
    t.DefinirDecimal("BaseCalcISSQN", LerDecimal(LerValorTag("vBC", grupo)));
    t.DefinirDecimal("ValorTotISSQN", LerDecimal(LerValorTag("vISS", grupo)));
}

void LeitorNFe::LerCobranca(xml::No nfe) {
    const std::vector<xml::No> dups = doc_.TodosDescendentes(nfe, "dup");
    if (dups.size() > limites::kDuplicatasPorNota)
        throw Falha("Existe Nota com mais de " + std::to_string(limites::kDuplicatasPorNota) +
                    " duplicatas. Por favor, verifique.");
    auto& c = tabelas_->cdsCobranca;
    const std::string nNF = tabelas_->cdsNFE.LerTexto("nNF");
    for (const xml::No dup : dups) {
        c.Adicionar();
        c.DefinirTexto("nNF", nNF);
        c.DefinirTexto("NumDuplicata", LerValorTag("nDup", dup));
        // yyyy-mm-dd rearranged into dd/mm/yyyy by position; the date field
        // itself rejects whatever does not name a date. Text after the first
        // ten characters (a time of day) is not used.
        const std::string venc = LerValorTag("dVenc", dup);
        const auto parte = [&](size_t ini, size_t n) {
            return ini < venc.size() ? std::string_view(venc).substr(ini, n) : std::string_view();
        };
        std::string data;
        data.append(parte(8, 2)).append("/").append(parte(5, 2)).append("/").append(parte(0, 4));
        c.DefinirTexto("DtVencimento", data);
        c.DefinirDecimal("ValorDuplicata", LerDecimal(LerValorTag("vDup", dup)));
        c.Gravar();
    }
}

}  // namespace corvexa::nfe
