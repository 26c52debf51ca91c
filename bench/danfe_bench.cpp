// The DANFE path stage by stage, for invoices of 1, 30 and 200 items, in one
// warm process: XML text -> tables -> display list -> PDF, and the whole way.
// The peak resident memory of the process is reported with each run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "base/texto.h"
#include "job/uDM_Danfe.h"
#include "job/uDanfeUtils.h"
#include "platform/plataforma.h"
#include "render/dispositivos.h"

using namespace corvexa;

namespace {

std::string Item(int n) {
    const std::string i = std::to_string(n);
    return "<det nItem=\"" + i + "\"><prod><cProd>PRD-" + i +
           "</cProd><xProd>PARAFUSO SEXTAVADO ZINCADO M8 X 40 MM CAIXA COM 100 UNIDADES LOTE " + i +
           "</xProd><NCM>73181500</NCM><CFOP>6102</CFOP><uCom>CX</uCom><qCom>12.0000</qCom>"
           "<vUnCom>38.5000</vUnCom><vProd>462.00</vProd></prod><imposto><ICMS><ICMS00><orig>0</orig>"
           "<CST>00</CST><vBC>462.00</vBC><pICMS>12.00</pICMS><vICMS>55.44</vICMS></ICMS00></ICMS>"
           "<IPI><IPITrib><CST>50</CST><vBC>462.00</vBC><pIPI>5.00</pIPI><vIPI>23.10</vIPI></IPITrib></IPI>"
           "</imposto></det>";
}

// A layout 2.00 NF-e with `itens` items and three instalments.
std::u16string NotaSintetica(int itens) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><NFe><infNFe Id=\"NFe35240612345678000195550010000012341000012349\">"
        "<ide><natOp>VENDA DE MERCADORIA</natOp><serie>1</serie><nNF>1234</nNF><dEmi>2024-06-10</dEmi>"
        "<dSaiEnt>2024-06-11</dSaiEnt><tpNF>1</tpNF><tpImp>1</tpImp><tpEmis>1</tpEmis><tpAmb>1</tpAmb></ide>"
        "<emit><CNPJ>12345678000195</CNPJ><xNome>Oficina Exemplo de Ferragens Ltda</xNome><enderEmit>"
        "<xLgr>Rua das Acácias</xLgr><nro>1500</nro><xBairro>Jardim Paulista</xBairro><xMun>São Paulo</xMun>"
        "<UF>SP</UF><CEP>01415002</CEP><fone>1133334444</fone></enderEmit><IE>111222333444</IE></emit>"
        "<dest><CNPJ>98765432000110</CNPJ><xNome>Construtora Horizonte Azul S.A.</xNome><enderDest>"
        "<xLgr>Avenida Brasil</xLgr><nro>250</nro><xBairro>Centro</xBairro><xMun>Rio de Janeiro</xMun>"
        "<UF>RJ</UF><CEP>20040002</CEP></enderDest><IE>87654321</IE></dest>";
    for (int i = 1; i <= itens; ++i) x += Item(i);
    x += "<total><ICMSTot><vBC>586.50</vBC><vICMS>70.38</vICMS><vBCST>0.00</vBCST><vST>0.00</vST>"
         "<vProd>856.50</vProd><vFrete>35.00</vFrete><vSeg>0.00</vSeg><vDesc>10.00</vDesc><vIPI>29.33</vIPI>"
         "<vOutro>0.00</vOutro><vNF>910.83</vNF></ICMSTot></total><transp><modFrete>0</modFrete></transp>"
         "<cobr><dup><nDup>1</nDup><dVenc>2024-07-10</dVenc><vDup>303.61</vDup></dup>"
         "<dup><nDup>2</nDup><dVenc>2024-08-09</dVenc><vDup>303.61</vDup></dup>"
         "<dup><nDup>3</nDup><dVenc>2024-09-08</dVenc><vDup>303.61</vDup></dup></cobr>"
         "<infAdic><infCpl>Pedido de compra 4587/2024.</infCpl></infAdic></infNFe></NFe>";
    return texto::Utf8ParaUtf16(x);
}

void PicoDeMemoria(benchmark::State& estado) {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    estado.counters["pico_MiB"] = static_cast<double>(u.ru_maxrss) / 1024.0;
}

void XmlParaTabelas(benchmark::State& estado) {
    const auto xml = NotaSintetica(static_cast<int>(estado.range(0)));
    job::TDM_Danfe dm;
    for (auto _ : estado) {
        job::TDanfeUtils danfe(dm, platform::PlataformaPadrao());
        danfe.Ler(xml);
        benchmark::DoNotOptimize(dm.tabelas.cdsNFE_Itens.Quantidade());
    }
    PicoDeMemoria(estado);
}

void TabelasParaPaginas(benchmark::State& estado) {
    job::TDM_Danfe dm;
    job::TDanfeUtils danfe(dm, platform::PlataformaPadrao());
    danfe.Ler(NotaSintetica(static_cast<int>(estado.range(0))));
    size_t paginas = 0;
    for (auto _ : estado) {
        const auto doc = dm.Produzir(dm.Layout(1));
        paginas = doc.paginas.size();
        benchmark::DoNotOptimize(paginas);
    }
    estado.counters["paginas"] = static_cast<double>(paginas);
    PicoDeMemoria(estado);
}

void PaginasParaPdf(benchmark::State& estado) {
    job::TDM_Danfe dm;
    job::TDanfeUtils danfe(dm, platform::PlataformaPadrao());
    danfe.Ler(NotaSintetica(static_cast<int>(estado.range(0))));
    const auto doc = dm.Produzir(dm.Layout(1));
    for (auto _ : estado) benchmark::DoNotOptimize(render::GerarPdf(doc).size());
    PicoDeMemoria(estado);
}

void XmlParaPdf(benchmark::State& estado) {
    const auto xml = NotaSintetica(static_cast<int>(estado.range(0)));
    job::TDM_Danfe dm;
    for (auto _ : estado) {
        job::TDanfeUtils danfe(dm, platform::PlataformaPadrao());
        danfe.Ler(xml);
        benchmark::DoNotOptimize(render::GerarPdf(dm.Produzir(dm.Layout(danfe.TipoImpressao()))).size());
    }
    PicoDeMemoria(estado);
}

}  // namespace

BENCHMARK(XmlParaTabelas)->Arg(1)->Arg(30)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(TabelasParaPaginas)->Arg(1)->Arg(30)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(PaginasParaPdf)->Arg(1)->Arg(30)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(XmlParaPdf)->Arg(1)->Arg(30)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
