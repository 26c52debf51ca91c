#include "nfe/leitor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "base/falha.h"

using namespace corvexa;
using namespace corvexa::data;
using namespace corvexa::nfe;

namespace {

const std::string kChave = "35131260891033000109550010000000011000000016";

// A small NF-e: `ide` holds the identification tags after nNF, `resto` the
// groups after "ide" (at least one "det" unless a test wants none).
std::string NFe(const std::string& nNF = "1", const std::string& resto = "<det><prod><cProd>A</cProd></prod></det>",
                const std::string& ide = "<dEmi>2009-03-17</dEmi><tpAmb>1</tpAmb>") {
    return "<NFe><infNFe Id=\"NFe" + kChave + "\"><ide><nNF>" + nNF + "</nNF>" + ide + "</ide>" + resto +
           "</infNFe></NFe>";
}

std::string Det(const std::string& conteudo) { return "<det>" + conteudo + "</det>"; }

struct Leitura {
    TabelasDanfe t;
    LeitorNFe leitor{t};

    void Ler(std::string xml) {
        leitor.LimparTabelas();
        leitor.CarregarXml(std::move(xml));
        leitor.LerNotas();
    }
    // The failure message of reading the text, or "(no failure)".
    std::string Falhar(std::string xml) {
        try {
            Ler(std::move(xml));
        } catch (const Falha& e) {
            return e.what();
        }
        return "(no failure)";
    }
    std::string Nota(const char* campo, size_t i = 0) const { return Texto(t.cdsNFE, campo, i); }
    std::string ItemT(const char* campo, size_t i = 0) const { return Texto(t.cdsNFE_Itens, campo, i); }
    static std::string Texto(const Tabela& tab, const char* campo, size_t i) {
        return ValorComoTexto(tab.Registro(i)[tab.IndiceCampo(campo)]);
    }
    bool NotaNula(const char* campo, size_t i = 0) const {
        return std::holds_alternative<std::monostate>(t.cdsNFE.Registro(i)[t.cdsNFE.IndiceCampo(campo)]);
    }
};

std::string LerArquivo(const std::string& nome) {
    std::ifstream f(std::string(CORVEXA_SAMPLES) + "/" + nome, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

TEST(LeitorNFe, NotaCompleta) {
    const std::string resto =
        "<emit><CNPJ>60891033000109</CNPJ><xNome>Kron &amp; Cia</xNome><enderEmit><xLgr>Rua A</xLgr><nro>278</nro>"
        "<xBairro>Socorro</xBairro><xMun>SAO PAULO</xMun><UF>SP</UF><CEP>04760020</CEP><fone>1155252000</fone>"
        "</enderEmit><IE>111</IE><IEST>222</IEST><IM>333</IM></emit>"
        "<dest><CNPJ></CNPJ><CPF>12345678909</CPF><xNome>Maria</xNome><enderDest><xLgr>Av B</xLgr><nro>1</nro>"
        "<xBairro>Centro</xBairro><xMun>SUMARE</xMun><UF>SP</UF><CEP>13171320</CEP><fone>1921046300</fone>"
        "</enderDest></dest>" +
        Det("<prod><cProd>P1</cProd><xProd>Tijolo</xProd><NCM>69041000</NCM><CFOP>6101</CFOP><uCom>MI</uCom>"
            "<qCom>2.00</qCom><vUnCom>1.23456789</vUnCom><vProd>20.00</vProd></prod><imposto><ICMS><ICMS00>"
            "<orig>0</orig><CST>00</CST><vBC>100.00</vBC><pICMS>18.00</pICMS><vICMS>18.00</vICMS></ICMS00></ICMS>"
            "<IPI><IPITrib><CST>50</CST><vIPI>5.5</vIPI><pIPI>10</pIPI></IPITrib></IPI></imposto>") +
        "<total><ICMSTot><vBC>100.00</vBC><vICMS>18.00</vICMS><vBCST>0</vBCST><vST>0</vST><vProd>20.00</vProd>"
        "<vSeg>0</vSeg><vDesc>1.5</vDesc><vIPI>5.5</vIPI><vOutro>0</vOutro><vNF>25.50</vNF></ICMSTot>"
        "<ISSQNtot><vServ>300</vServ><vBC>250</vBC><vISS>12.5</vISS></ISSQNtot></total>"
        "<transp><modFrete>1</modFrete><transporta><CPF>98765432100</CPF><xNome>Trans</xNome><IE>ISENTO</IE>"
        "<xEnder>Rua C</xEnder><xMun>Campinas</xMun><UF>SP</UF></transporta>"
        "<veicTransp><placa>ABC1234</placa><UF>MG</UF><RNTC>999</RNTC></veicTransp>"
        "<vol><qVol>007</qVol><esp>CAIXA</esp><marca>K</marca><nVol>1</nVol><pesoL>10.5</pesoL><pesoB>11.25</pesoB>"
        "</vol><vol><qVol>1</qVol><esp>SACO</esp><pesoB>99</pesoB></vol></transp>"
        "<cobr><dup><nDup>001</nDup><dVenc>2009-04-17</dVenc><vDup>12.75</vDup></dup></cobr>"
        "<infAdic><infAdFisco>Fisco</infAdFisco><infCpl>  Obs &amp; mais  </infCpl></infAdic>";
    const std::string ide =
        "<natOp>Venda</natOp><serie>1</serie><dEmi>2009-03-17</dEmi><dSaiEnt>2009-03-18</dSaiEnt><tpNF>0</tpNF>"
        "<tpImp>2</tpImp><tpEmis>2</tpEmis><tpAmb>2</tpAmb>";
    Leitura l;
    l.Ler("<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- nota -->" + NFe("123", resto, ide));
    ASSERT_EQ(l.t.cdsNFE.Quantidade(), 1u);
    struct Caso {
        const char* campo;
        const char* valor;
    };
    const Caso casos[] = {
        {"CodBarra", kChave.c_str()}, {"NatOper", "Venda"}, {"Serie", "1"}, {"DtEmissao", "17/03/2009"},
        {"DtSaida", "18/03/2009"}, {"nNF", "123"}, {"nTpNF", "2"}, {"tpAmb", "2"}, {"tpEmis", "2"},
        {"EmitNome", "Kron & Cia"}, {"EmitCNPJ", "60891033000109"}, {"EmitIE", "111"}, {"EmitIEST", "222"},
        {"EmitIM", "333"}, {"EmitFone", "1155252000"}, {"EmitFoneStr", "Fone / FAX: 1155252000"},
        {"EmitEnd", "Rua A , 278"}, {"EmitBairro", "Socorro"}, {"EmitMun", "SAO PAULO"}, {"EmitUF", "SP"},
        {"EmitCEP", "04760020"}, {"EmitMunUF", "SAO PAULO - SP"},
        {"DestCNPJ", "12345678909"}, {"DestNome", "Maria"}, {"DestIE", ""}, {"DestEnd", "Av B , 1"},
        {"DestBairro", "Centro"}, {"DestMun", "SUMARE"}, {"DestUF", "SP"}, {"DestCEP", "13171320"},
        {"DestFoneFax", "1921046300"},
        {"BaseCalcICMS", "100"}, {"ValorICMS", "18"}, {"ValorTotProd", "20"}, {"ValorFrete", "0"},
        {"Desconto", "1.5"}, {"ValorIPI", "5.5"}, {"ValorTotNota", "25.5"},
        {"ValorTotServ", "300"}, {"BaseCalcISSQN", "250"}, {"ValorTotISSQN", "12.5"},
        {"TraModFrete", "2"}, {"TraCNPJ", "98765432100"}, {"TraNome", "Trans"}, {"TraIE", "ISENTO"},
        {"TraEnd", "Rua C"}, {"TraMun", "Campinas"}, {"TraUF", "SP"},
        {"VeiCodigoANTT", "999"}, {"VeiPlaca", "ABC1234"}, {"VeiUF", "MG"},
        {"VolQuantidade", "007"}, {"VolEspecie", "CAIXA"}, {"VolMarca", "K"}, {"VolNumeracao", "1"},
        {"VolPesoBruto", "11.25"}, {"VolPesoLiquido", "10.5"},
        {"ObsFisco", "Fisco"}, {"ObsContribuinte", "  Obs & mais  "},
        {"QtdeItem", ""}, {"Item", ""}, {"LogotipoEmitente", ""},
    };
    for (const auto& c : casos) EXPECT_EQ(l.Nota(c.campo), c.valor) << c.campo;
    EXPECT_EQ(l.leitor.TipoImpressao(), 2);

    ASSERT_EQ(l.t.cdsNFE_Itens.Quantidade(), 1u);
    const Caso itens[] = {
        {"nNF", "123"}, {"ItemCodigo", "P1"}, {"ItemNCM", "69041000"}, {"ItemDescricao", "Tijolo"},
        {"ItemCST", "000"}, {"ItemCFOP", "6101"}, {"ItemUnidade", "MI"}, {"ItemQuantidade", "2"},
        {"ItemVUnit", "1.2346"}, {"ItemVTotal", "20"}, {"ItemBCalcIcms", "100"}, {"ItemVICMS", "18"},
        {"ItemAliqICMS", "18"}, {"ItemVIPI", "5.5"}, {"ItemAliqIPI", "10"},
    };
    for (const auto& c : itens) EXPECT_EQ(l.ItemT(c.campo), c.valor) << c.campo;

    ASSERT_EQ(l.t.cdsCobranca.Quantidade(), 1u);
    const auto& dup = l.t.cdsCobranca.Registro(0);
    EXPECT_EQ(ValorComoTexto(dup[0]), "123");
    EXPECT_EQ(ValorComoTexto(dup[1]), "001");
    EXPECT_EQ(std::get<Data>(dup[2]), (Data{2009, 4, 17}));
    EXPECT_EQ(ValorComoTexto(dup[3]), "12.75");
}

TEST(LeitorNFe, SoElementosNFeDoNivelDeCimaSaoLidos) {
    struct Caso {
        std::string xml;
        std::vector<std::string> notas;  // nNF of the records, in order
    };
    const Caso casos[] = {
        {NFe("1"), {"1"}},
        {"<?xml version=\"1.0\"?><!-- c --><?pi x?>" + NFe("1"), {"1"}},
        {"<nfeProc>" + NFe("1") + "<protNFe/></nfeProc>", {}},
        {NFe("2") + "<protNFe/>" + NFe("1"), {"2", "1"}},
        {"<nfe><infNFe Id=\"NFe1\"><nNF>7</nNF><dEmi>2009-03-17</dEmi><tpAmb>1</tpAmb><det/></infNFe></nfe>", {"7"}},
        {"<ns:NFe><infNFe/></ns:NFe>", {}},
    };
    for (const auto& c : casos) {
        Leitura l;
        l.Ler(c.xml);
        std::vector<std::string> lidas;
        for (size_t i = 0; i < l.t.cdsNFE.Quantidade(); ++i) lidas.push_back(l.Nota("nNF", i));
        EXPECT_EQ(lidas, c.notas) << c.xml;
    }
}

TEST(LeitorNFe, FalhasDaCargaEDoPercurso) {
    Leitura l;
    // Loading fails before the walk: the tables stay empty.
    l.Ler(NFe("1"));
    EXPECT_NE(l.Falhar(""), "(no failure)");
    EXPECT_EQ(l.t.cdsNFE.Quantidade(), 0u);
    EXPECT_NE(l.Falhar("so texto"), "(no failure)");
    EXPECT_NE(l.Falhar("<NFe><infNFe></NFe>"), "(no failure)");

    LeitorNFe semDocumento(l.t);
    try {
        semDocumento.LerNotas();
        FAIL() << "no failure";
    } catch (const Falha& e) {
        EXPECT_STREQ(e.what(), "XML não carregado.");
    }
    EXPECT_EQ(l.Falhar("<NFe><ide><dEmi>2009-03-17</dEmi><tpAmb>1</tpAmb></ide><det/></NFe>"),
              "Existe Nota sem Chave (ID). Por favor, verifique e tente novamente.");
    EXPECT_EQ(l.Falhar(NFe("1", "<emit/>")), "Nota Sem Itens, por favor verifique.");
}

TEST(LeitorNFe, Chave) {
    struct Caso {
        const char* infNFe;
        const char* codBarra;
    };
    const Caso casos[] = {
        {"<infNFe Id=\"NFe35131260891033000109550010000000011000000016\">", "35131260891033000109550010000000011000000016"},
        {"<infNFe id=\"XYZ123\">", "123"},
        {"<infNFe Id=\"NFe\">", ""},
        {"<infNFe Id=\"NF\">", ""},
        {"<infNFe>", ""},
    };
    for (const auto& c : casos) {
        Leitura l;
        l.Ler(std::string("<NFe>") + c.infNFe +
              "<ide><dEmi>2009-03-17</dEmi><tpAmb>1</tpAmb></ide><det/></infNFe></NFe>");
        EXPECT_EQ(l.Nota("CodBarra"), c.codBarra) << c.infNFe;
    }
}

TEST(LeitorNFe, TextoProprioDosElementos) {
    struct Caso {
        const char* emit;
        const char* nome;
    };
    const Caso casos[] = {
        {"<xNome>  A &amp; B  </xNome>", "  A & B  "},
        {"<xNome><![CDATA[A]]></xNome>", ""},
        {"<xNome/>", ""},
        {"<xNome></xNome>", ""},
        {"<xFant>A</xFant>", ""},
        {"<XNOME>A</XNOME>", "A"},
        {"<ender><xNome>A</xNome></ender><xNome>B</xNome>", "A"},  // first in document order, any depth
        {"<xNome>A<b/>B</xNome>", "A"},
    };
    for (const auto& c : casos) {
        Leitura l;
        l.Ler(NFe("1", std::string("<emit>") + c.emit + "</emit><det/>"));
        EXPECT_EQ(l.Nota("EmitNome"), c.nome) << c.emit;
    }
}

TEST(LeitorNFe, EmitenteEDestinatario) {
    struct Caso {
        std::string grupos;
        std::vector<std::pair<const char*, std::string>> campos;
    };
    const Caso casos[] = {
        // The phone is cut to 30 before the phone line is built.
        {"<emit><enderEmit><fone>" + std::string(32, '9') + "</fone></enderEmit></emit>",
         {{"EmitFone", "999999999999999999999999999999"},
          {"EmitFoneStr", "Fone / FAX: 999999999999999999999999999999"}}},
        {"<emit><xNome>X</xNome></emit>", {{"EmitFone", ""}, {"EmitFoneStr", ""}, {"EmitEnd", ""}, {"EmitMunUF", ""}}},
        {"<emit/><enderEmit><xLgr>Rua</xLgr><xMun>Recife</xMun></enderEmit>",
         {{"EmitEnd", "Rua , "}, {"EmitMunUF", "Recife - "}}},
        {"<emit/><enderEmit><UF>PE</UF></enderEmit>", {{"EmitEnd", " , "}, {"EmitMunUF", " - PE"}}},
        {"<emit><IE>1</IE></emit><dest><xNome>D</xNome><CNPJ>  </CNPJ></dest>", {{"DestIE", ""}, {"DestCNPJ", ""}}},
        {"<emit><CNPJ>1</CNPJ></emit><dest><CNPJ>2</CNPJ><CPF>3</CPF><enderDest><xLgr>R</xLgr></enderDest></dest>",
         {{"DestCNPJ", "2"}, {"DestEnd", "R , "}}},
        {"<dest><CPF>3</CPF></dest><enderDest><xLgr>R</xLgr></enderDest>", {{"DestCNPJ", "3"}, {"DestEnd", ""}}},
    };
    for (const auto& c : casos) {
        Leitura l;
        l.Ler(NFe("1", c.grupos + "<det/>"));
        for (const auto& [campo, valor] : c.campos) EXPECT_EQ(l.Nota(campo), valor) << c.grupos << " " << campo;
    }
}

TEST(LeitorNFe, Identificacao) {
    struct Caso {
        std::string ide;
        std::string falha;  // empty when the reading succeeds
        std::vector<std::pair<const char*, std::string>> campos;
    };
    const std::string amb = "<tpAmb>1</tpAmb>";
    const Caso casos[] = {
        {"<dEmi>2009-03-17</dEmi>" + amb, "", {{"DtEmissao", "17/03/2009"}, {"DtSaida", ""}, {"nTpNF", ""}}},
        {"<dEmi>2009-03-17</dEmi><dSaiEnt> </dSaiEnt><tpNF>1</tpNF>" + amb, "", {{"DtSaida", ""}, {"nTpNF", "1"}}},
        {"<dEmi>2009-03-17</dEmi><tpNF> 0</tpNF><tpEmis>21</tpEmis>" + amb, "", {{"nTpNF", ""}, {"tpEmis", "2"}}},
        {"<dEmi>2009-03-17</dEmi><tpAmb> 2</tpAmb><serie>" + std::string(25, '1') + "</serie>", "",
         {{"tpAmb", "2"}, {"Serie", std::string(20, '1')}}},
        {amb, "'' is not a valid date", {}},
        // Layouts 3.10 and 4.00: the date from the first ten characters of
        // "dhEmi" / "dhSaiEnt", through the same readings and messages.
        {"<dhEmi>2020-01-01T12:00:00-03:00</dhEmi><dhSaiEnt>2020-01-02T08:00:00-03:00</dhSaiEnt>" + amb, "",
         {{"DtEmissao", "01/01/2020"}, {"DtSaida", "02/01/2020"}}},
        {"<dEmi>2009-03-17</dEmi><dhEmi>2020-01-01T12:00:00-03:00</dhEmi>" + amb, "", {{"DtEmissao", "17/03/2009"}}},
        {"<dEmi> </dEmi><dhEmi>2020-02-30T12:00:00-03:00</dhEmi>" + amb, "'30/02/2020' is not a valid date", {}},
        {"<dhEmi>2020-1-1</dhEmi>" + amb, "Erro na conversão de datas: data inválida", {}},
        {"<dEmi>2009-02-30</dEmi>" + amb, "'30/02/2009' is not a valid date", {}},
        {"<dEmi>17/03/2009</dEmi>" + amb, "Erro na conversão de datas: ano inválido", {}},
        {"<dEmi>2009-03-17</dEmi><dSaiEnt>2009-3-18</dSaiEnt>" + amb, "Erro na conversão de datas: data inválida", {}},
        {"<dEmi>2009-03-17</dEmi>", "Invalid value for field 'tpAmb'", {}},
        {"<dEmi>2009-03-17</dEmi><tpAmb>x</tpAmb>", "Invalid value for field 'tpAmb'", {}},
    };
    for (const auto& c : casos) {
        Leitura l;
        const std::string xml = NFe("1", "<det/>", c.ide);
        EXPECT_EQ(l.Falhar(xml), c.falha.empty() ? "(no failure)" : c.falha) << c.ide;
        if (!c.falha.empty()) continue;
        for (const auto& [campo, valor] : c.campos) EXPECT_EQ(l.Nota(campo), valor) << c.ide << " " << campo;
    }
    // Without "ide" the tags are searched in the whole NF-e.
    Leitura l;
    l.Ler("<NFe><infNFe Id=\"NFe1\"><x><nNF>5</nNF><dEmi>2009-03-17</dEmi></x><tpAmb>2</tpAmb><det/></infNFe></NFe>");
    EXPECT_EQ(l.Nota("nNF"), "5");
    EXPECT_EQ(l.Nota("tpAmb"), "2");
}

TEST(LeitorNFe, TipoDeImpressaoDaUltimaNota) {
    const auto nota = [](const char* nNF, const char* tpImp) {
        return NFe(nNF, "<det/>", std::string("<dEmi>2009-03-17</dEmi><tpAmb>1</tpAmb><tpImp>") + tpImp + "</tpImp>");
    };
    struct Caso {
        std::string xml;
        int tipo;
    };
    const Caso casos[] = {
        {nota("1", "2"), 2}, {nota("1", "1"), 1}, {nota("1", "A"), 1}, {nota("1", ""), 1},
        {nota("1", "2") + nota("2", "1"), 1}, {nota("1", "1") + nota("2", "2"), 2},
    };
    for (const auto& c : casos) {
        Leitura l;
        l.Ler(c.xml);
        EXPECT_EQ(l.leitor.TipoImpressao(), c.tipo) << c.xml;
    }
    EXPECT_EQ(Leitura{}.leitor.TipoImpressao(), 0);
}

TEST(LeitorNFe, Itens) {
    struct Caso {
        std::string det;
        std::vector<std::pair<const char*, std::string>> campos;
    };
    const Caso casos[] = {
        {"<ICMS><ICMS60><orig>1</orig><CST>60</CST></ICMS60></ICMS><PIS><CST>01</CST><vBC>50</vBC></PIS>",
         {{"ItemBCalcIcms", "0"}, {"ItemVICMS", "0"}, {"ItemAliqICMS", "0"}, {"ItemCST", "160"}}},
        {"<ICMS><ICMS40><CST>40</CST><vBC>50</vBC></ICMS40></ICMS>", {{"ItemBCalcIcms", "0"}, {"ItemCST", "40"}}},
        // Simples Nacional: "CSOSN" in the ICMS group, the IPI's "CST" comes later.
        {"<ICMS><ICMSSN101><orig>2</orig><CSOSN>101</CSOSN></ICMSSN101></ICMS><IPI><CST>99</CST></IPI>",
         {{"ItemCST", "2101"}}},
        {"<ICMS><ICMSSN500><CSOSN>500</CSOSN></ICMSSN500></ICMS><orig>5</orig>", {{"ItemCST", "500"}}},
        {"<ICMS><ICMS20><vBC>50.123456</vBC></ICMS20></ICMS>", {{"ItemBCalcIcms", "50.1235"}}},
        {"<IPI><vIPI></vIPI><vUnid>1.5</vUnid><qUnid>10</qUnid></IPI>", {{"ItemVIPI", "15"}}},
        {"<IPI><vUnid>1,5</vUnid><qUnid>10</qUnid></IPI>", {{"ItemVIPI", "-99"}}},
        {"<IPI><vUnid>1.5</vUnid><qUnid>abc</qUnid></IPI>", {{"ItemVIPI", "-99"}}},
        {"<IPI><vUnid>1.5</vUnid></IPI>", {{"ItemVIPI", "0"}}},
        {"<IPI><vUnid>0.12345</vUnid><qUnid>0.5</qUnid></IPI>", {{"ItemVIPI", "0.0617"}}},  // 0.061725 exactly
        {"<IPI><vIPI>2</vIPI><vUnid>1.5</vUnid><qUnid>10</qUnid></IPI>", {{"ItemVIPI", "2"}}},
        {"", {{"ItemQuantidade", "0"}, {"ItemVIPI", "0"}, {"ItemAliqIPI", "0"}, {"ItemCST", ""}, {"ItemCodigo", ""}}},
        {"<xProd>" + std::string(300, 'x') + "</xProd>", {{"ItemDescricao", std::string(255, 'x')}}},
    };
    for (const auto& c : casos) {
        Leitura l;
        l.Ler(NFe("1", Det(c.det)));
        ASSERT_EQ(l.t.cdsNFE_Itens.Quantidade(), 1u) << c.det;
        for (const auto& [campo, valor] : c.campos) EXPECT_EQ(l.ItemT(campo), valor) << c.det << " " << campo;
    }
    // An NF-e without nNF links its items with the empty text.
    Leitura l;
    l.Ler("<NFe><infNFe Id=\"NFe1\"><dEmi>2009-03-17</dEmi><tpAmb>1</tpAmb><det/><det/></infNFe></NFe>");
    ASSERT_EQ(l.t.cdsNFE_Itens.Quantidade(), 2u);
    EXPECT_EQ(l.ItemT("nNF", 1), "");
}

TEST(LeitorNFe, TotaisTransporteVolumesEISSQN) {
    struct Caso {
        std::string grupos;
        std::vector<std::pair<const char*, std::string>> campos;
    };
    const Caso casos[] = {
        {"", {{"ValorFrete", ""}, {"ValorTotNota", ""}, {"BaseCalcISSQN", "0"}, {"ValorTotServ", "0"},
              {"ValorTotISSQN", "0"}, {"TraModFrete", ""}, {"VolQuantidade", ""}, {"VolPesoBruto", ""}}},
        {"<ICMSTot><vNF>10</vNF></ICMSTot>", {{"ValorFrete", "0"}, {"ValorTotNota", "10"}}},
        {"<transp><modFrete>0</modFrete></transp>", {{"TraModFrete", "1"}}},
        {"<transp><modFrete>9</modFrete><transporta><CNPJ> </CNPJ><CPF>1</CPF></transporta></transp>",
         {{"TraModFrete", ""}, {"TraCNPJ", "1"}}},
        {"<transporta><CNPJ>2</CNPJ><CPF>1</CPF></transporta>", {{"TraCNPJ", "2"}}},
        {"<vol><pesoB></pesoB></vol>", {{"VolPesoBruto", "0"}, {"VolPesoLiquido", "0"}, {"VolEspecie", ""}}},
        // Without the service totals, the first item's service-tax group.
        {"<det><ISSQN><vBC>80</vBC><vAliq>5</vAliq><vISSQN>4</vISSQN></ISSQN></det>",
         {{"BaseCalcISSQN", "80"}, {"ValorTotServ", "0"}, {"ValorTotISSQN", "0"}}},
        {"<det><ISSQN><vBC>80</vBC></ISSQN></det><ISSQNtot><vServ>100</vServ><vISS>4</vISS></ISSQNtot>",
         {{"BaseCalcISSQN", "0"}, {"ValorTotServ", "100"}, {"ValorTotISSQN", "4"}}},
        {"<infCpl>" + std::string(6000, 'c') + "</infCpl><infAdFisco>f</infAdFisco>",
         {{"ObsContribuinte", std::string(5000, 'c')}, {"ObsFisco", "f"}}},
    };
    for (const auto& c : casos) {
        Leitura l;
        l.Ler(NFe("1", c.grupos + "<det/>"));
        for (const auto& [campo, valor] : c.campos) EXPECT_EQ(l.Nota(campo), valor) << c.grupos << " " << campo;
    }
    Leitura l;
    l.Ler(NFe("1"));
    EXPECT_TRUE(l.NotaNula("ValorIPI"));  // no totals group: empty, not 0
    EXPECT_EQ(l.Falhar(NFe("1", "<ICMSTot><vFrete>1.0.0</vFrete></ICMSTot><det/>")),
              "'1.0.0' is not a valid floating point value");
    EXPECT_EQ(l.Falhar(NFe("1", "<ISSQNtot><vISS>x</vISS></ISSQNtot><det/>")),
              "'x' is not a valid floating point value");
}

TEST(LeitorNFe, Duplicatas) {
    struct Caso {
        std::string dup;
        std::string falha;
        const char* vencimento;
        const char* valor;
    };
    const Caso casos[] = {
        {"<dVenc>2009-04-17</dVenc><vDup>10</vDup>", "", "17/04/2009", "10"},
        {"<dVenc>2009-04-17T10:00:00</dVenc>", "", "17/04/2009", "0"},
        {"<dVenc>2009-4-17</dVenc>", "Invalid value for field 'DtVencimento'", "", ""},
        {"<dVenc>2009-02-30</dVenc>", "Invalid value for field 'DtVencimento'", "", ""},
        {"<vDup>10</vDup>", "Invalid value for field 'DtVencimento'", "", ""},
        {"<dVenc></dVenc>", "Invalid value for field 'DtVencimento'", "", ""},
        {"<dVenc>2009-04-17</dVenc><vDup>10,00</vDup>", "'10,00' is not a valid floating point value", "", ""},
    };
    for (const auto& c : casos) {
        Leitura l;
        const std::string xml = NFe("1", "<det/><cobr><dup>" + c.dup + "</dup></cobr>");
        EXPECT_EQ(l.Falhar(xml), c.falha.empty() ? "(no failure)" : c.falha) << c.dup;
        if (!c.falha.empty()) {
            EXPECT_EQ(l.t.cdsCobranca.Quantidade(), 0u);
            continue;
        }
        ASSERT_EQ(l.t.cdsCobranca.Quantidade(), 1u);
        EXPECT_EQ(ValorComoTexto(l.t.cdsCobranca.Registro(0)[2]), c.vencimento) << c.dup;
        EXPECT_EQ(ValorComoTexto(l.t.cdsCobranca.Registro(0)[3]), c.valor) << c.dup;
    }
    // Numbers are cut to 20; three instalments keep their order.
    Leitura l;
    l.Ler(NFe(std::string(25, '7'), "<det/><cobr><dup><nDup>" + std::string(25, 'n') +
                                        "</nDup><dVenc>2009-01-01</dVenc></dup><dup><nDup>2</nDup>"
                                        "<dVenc>2009-01-02</dVenc></dup><dup><nDup>3</nDup><dVenc>2009-01-03</dVenc>"
                                        "</dup></cobr>"));
    ASSERT_EQ(l.t.cdsCobranca.Quantidade(), 3u);
    EXPECT_EQ(ValorComoTexto(l.t.cdsCobranca.Registro(0)[0]), std::string(20, '7'));
    EXPECT_EQ(ValorComoTexto(l.t.cdsCobranca.Registro(0)[1]), std::string(20, 'n'));
    EXPECT_EQ(ValorComoTexto(l.t.cdsCobranca.Registro(2)[1]), "3");
}

TEST(LeitorNFe, DuasNotasComItensEDuplicatas) {
    const auto nota = [](const char* nNF, const char* a, const char* b) {
        return NFe(nNF, Det(std::string("<cProd>") + a + "</cProd>") + Det(std::string("<cProd>") + b + "</cProd>") +
                            "<dup><nDup>" + a + "</nDup><dVenc>2009-01-01</dVenc></dup>");
    };
    Leitura l;
    l.Ler(nota("9", "a", "b") + nota("10", "c", "d"));
    ASSERT_EQ(l.t.cdsNFE.Quantidade(), 2u);
    EXPECT_EQ(l.Nota("nNF", 0), "9");
    EXPECT_EQ(l.t.cdsNFE.LerTexto("nNF"), "10");  // the last NF-e stays current
    // Items of "10" sort before those of "9"; each NF-e still finds its own.
    std::vector<std::string> todos;
    for (size_t i = 0; i < l.t.cdsNFE_Itens.Quantidade(); ++i)
        todos.push_back(l.ItemT("nNF", i) + l.ItemT("ItemCodigo", i));
    EXPECT_EQ(todos, (std::vector<std::string>{"10c", "10d", "9a", "9b"}));
    const auto itensDe = [&](size_t nota) {
        std::vector<std::string> r;
        for (size_t p : l.t.PipelineNFE_Itens.Registros(&l.t.cdsNFE.Registro(nota))) r.push_back(l.ItemT("ItemCodigo", p));
        return r;
    };
    EXPECT_EQ(itensDe(0), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(itensDe(1), (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(l.t.PipelineCobranca.Registros(&l.t.cdsNFE.Registro(1)), (std::vector<size_t>{1}));
}

TEST(LeitorNFe, FalhaNoMeioDeixaOQueJaFoiGravado) {
    const std::string boa = NFe("1", Det("<cProd>a</cProd>"));
    const std::string ruim =
        NFe("2", Det("<cProd>b</cProd>") + Det("<cProd>c</cProd><qCom>x</qCom>") + Det("<cProd>d</cProd>"));
    Leitura l;
    EXPECT_EQ(l.Falhar(boa + ruim), "'x' is not a valid floating point value");
    ASSERT_EQ(l.t.cdsNFE.Quantidade(), 1u);
    EXPECT_TRUE(l.t.cdsNFE.TemPendente());
    EXPECT_EQ(l.t.cdsNFE.LerTexto("nNF"), "2");  // the pending record, not stored
    ASSERT_EQ(l.t.cdsNFE_Itens.Quantidade(), 2u);
    EXPECT_EQ(l.ItemT("ItemCodigo", 1), "b");
    EXPECT_TRUE(l.t.cdsNFE_Itens.TemPendente());

    const std::string dups = NFe("3", "<det/><dup><dVenc>2009-01-01</dVenc></dup><dup><dVenc>x</dVenc></dup>");
    EXPECT_EQ(l.Falhar(dups), "Invalid value for field 'DtVencimento'");
    EXPECT_EQ(l.t.cdsNFE.Quantidade(), 0u);
    EXPECT_EQ(l.t.cdsCobranca.Quantidade(), 1u);

    // The next job starts from empty tables.
    l.Ler(boa);
    EXPECT_EQ(l.t.cdsNFE.Quantidade(), 1u);
    EXPECT_EQ(l.t.cdsNFE_Itens.Quantidade(), 1u);
    EXPECT_EQ(l.t.cdsCobranca.Quantidade(), 0u);
    EXPECT_FALSE(l.t.cdsNFE_Itens.TemPendente());
}

TEST(LeitorNFe, Amostras) {
    {
        Leitura l;
        l.Ler(LerArquivo("br_danfe-v200-simples-nacional.xml"));
        ASSERT_EQ(l.t.cdsNFE.Quantidade(), 1u);
        EXPECT_EQ(l.Nota("CodBarra"), "35131260891033000109550010000000011000000016");
        EXPECT_EQ(l.Nota("DtEmissao"), "28/12/2013");
        EXPECT_EQ(l.Nota("EmitMunUF"), "SAO PAULO - SP");
        EXPECT_EQ(l.Nota("EmitFoneStr"), "Fone / FAX: 1155252000");
        EXPECT_EQ(l.Nota("DestCNPJ"), "82743287000880");
        EXPECT_EQ(l.Nota("ValorTotNota"), "200");
        EXPECT_EQ(l.Nota("TraModFrete"), "1");
        EXPECT_EQ(l.leitor.TipoImpressao(), 1);
        ASSERT_EQ(l.t.cdsNFE_Itens.Quantidade(), 3u);
        EXPECT_EQ(l.ItemT("ItemCST", 0), "0102");  // Simples Nacional: origin and CSOSN of the ICMS group
        EXPECT_EQ(l.ItemT("ItemVTotal", 1), "60");
        ASSERT_EQ(l.t.cdsCobranca.Quantidade(), 5u);
        EXPECT_EQ(ValorComoTexto(l.t.cdsCobranca.Registro(4)[2]), "27/05/2014");
    }
    // Wrapped with the authorisation protocol: nothing at the top level to read.
    for (const char* nome : {"br_danfe-v200-nfeproc-15itens.xml", "sped-da-v400-nfeproc-41itens.xml"}) {
        Leitura l;
        l.Ler(LerArquivo(nome));
        EXPECT_EQ(l.t.cdsNFE.Quantidade(), 0u) << nome;
        EXPECT_EQ(l.t.cdsNFE_Itens.Quantidade(), 0u) << nome;
    }
    // Layout 4.00: the dates come from "dhEmi" and "dhSaiEnt".
    Leitura l;
    l.Ler(LerArquivo("bfr-v400-paisagem-29itens.xml"));
    EXPECT_EQ(l.leitor.TipoImpressao(), 2);
    ASSERT_EQ(l.t.cdsNFE.Quantidade(), 1u);
    EXPECT_EQ(l.Nota("DtEmissao"), "01/01/2020");
    EXPECT_EQ(l.Nota("DtSaida"), "01/01/2020");
    EXPECT_EQ(l.t.cdsNFE_Itens.Quantidade(), 29u);
}
