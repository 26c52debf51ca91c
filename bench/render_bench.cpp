// Output speed: a many-page synthetic document, shaped like DANFE pages
// (boxes, captions, item rows, rules, the access-key barcode), to PDF and
// to raster images.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "base/texto.h"
#include "fontes/metricas.h"
#include "render/dispositivos.h"
#include "report/code128.h"

using namespace corvexa;
using namespace corvexa::report;
using fontes::Familia;

namespace {

ItemTexto Texto(Mm x, Mm y, const std::string& ansi, fontes::Fonte f) {
    const auto& m = fontes::Metricas::Padrao();
    ItemTexto t;
    t.texto = texto::AnsiParaUtf8(ansi);
    t.fonte = f;
    t.caixa = {x, y, m.Largura(f, ansi), m.AlturaLinha(f)};
    return t;
}

Pagina PaginaSintetica(int numero, int total) {
    Pagina p;
    p.largura = 210000;
    p.altura = 297000;
    p.grupo = 1;
    p.numero = numero;
    p.total = total;
    // Header: boxes with captions and values.
    for (int linha = 0; linha < 12; ++linha)
        for (int coluna = 0; coluna < 5; ++coluna) {
            const Mm x = 6350 + coluna * 39460, y = 60000 + linha * 7000;
            ItemRetangulo r;
            r.caixa = {x, y, 39460, 7000};
            r.arredondado = linha % 3 == 0;
            p.itens.push_back(r);
            p.itens.push_back(Texto(x + 500, y + 300, "BASE DE C\xC1LCULO DO ICMS", {Familia::Arial, 5, false}));
            p.itens.push_back(Texto(x + 500, y + 3000, "1,234,567.89", {Familia::Arial, 8, true}));
        }
    const SimboloCode128 s = CodificarCode128("35240612345678000199550010000001231000001234");
    ItemCodigoBarras b;
    b.caixa = {112184, 20373, s.modulos * 254, 10554};
    b.barras = s.barras;
    b.modulos = s.modulos;
    b.dados = "35240612345678000199550010000001231000001234";
    p.itens.push_back(b);
    // Item rows: a rule under each, text in every column.
    for (int i = 0; i < 26; ++i) {
        const Mm y = 150000 + i * 3704;
        p.itens.push_back(Texto(6600, y, "000" + std::to_string(i), {Familia::Arial, 6, false}));
        ItemTexto d = Texto(20000, y, "PRODUTO DE DEMONSTRA\xC7\xC3O COM DESCRI\xC7\xC3O LONGA " + std::to_string(i),
                            {Familia::Tahoma, 6, false});
        d.recorte = Caixa{20000, y, 50000, 2500};
        p.itens.push_back(d);
        for (int c = 0; c < 10; ++c)
            p.itens.push_back(Texto(72000 + c * 12500, y, "12,345.67", {Familia::Arial, 6, false}));
        ItemLinha l;
        l.caixa = {6350, y + 3439, 197300, 265};
        l.pontilhada = i % 5 == 4;
        p.itens.push_back(l);
    }
    return p;
}

Documento DocumentoSintetico(int paginas) {
    Documento d;
    d.layout = "RelDanfe";
    for (int i = 1; i <= paginas; ++i) d.paginas.push_back(PaginaSintetica(i, paginas));
    return d;
}

void BM_PdfNaMemoria(benchmark::State& state) {
    const Documento d = DocumentoSintetico(static_cast<int>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string pdf = render::GerarPdf(d, {"Autor", "NFe, DANFE", "NFe - DANFE", "NFe - DANFE"});
        bytes = pdf.size();
        benchmark::DoNotOptimize(pdf.data());
    }
    state.counters["pages/s"] = benchmark::Counter(double(state.iterations() * state.range(0)), benchmark::Counter::kIsRate);
    state.counters["KB/page"] = double(bytes) / 1024.0 / double(state.range(0));
}
BENCHMARK(BM_PdfNaMemoria)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_PdfNoArquivo(benchmark::State& state) {
    const Documento d = DocumentoSintetico(static_cast<int>(state.range(0)));
    const std::string caminho = "/tmp/corvexa-bench-" + std::to_string(getpid()) + ".pdf";
    for (auto _ : state) render::EscreverPdf(d, caminho);
    std::remove(caminho.c_str());
    state.counters["pages/s"] = benchmark::Counter(double(state.iterations() * state.range(0)), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PdfNoArquivo)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_RasterizarPagina(benchmark::State& state) {
    const Pagina p = PaginaSintetica(1, 1);
    for (auto _ : state) {
        const Imagem img = render::RasterizarPagina(p, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(img.pixels.data());
    }
}
BENCHMARK(BM_RasterizarPagina)->Arg(96)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_Jpeg(benchmark::State& state) {
    const Pagina p = PaginaSintetica(1, 1);
    for (auto _ : state) {
        const std::string jpeg = render::GerarJpeg(p, 200, 90);
        benchmark::DoNotOptimize(jpeg.data());
    }
}
BENCHMARK(BM_Jpeg)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
