#include <cairo-pdf.h>

#include <memory>

#include "base/falha.h"
#include "base/texto.h"
#include "render/arquivo.h"
#include "render/desenho.h"
#include "render/dispositivos.h"
#include "render/pdf_direto.h"

namespace corvexa::render {
namespace {

constexpr double kPontosPorMm = 72.0 / 25400.0;  // points per thousandth of a millimetre

struct DestruirSuperficie {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct DestruirContexto {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

std::string Utf8(const std::string& s) { return texto::EhUtf8Valido(s) ? s : texto::AnsiParaUtf8(s); }

void Metadado(cairo_surface_t* s, cairo_pdf_metadata_t m, const std::string& valor) {
    if (!valor.empty()) cairo_pdf_surface_set_metadata(s, m, Utf8(valor).c_str());
}

// Writes the document through a cairo stream; returns cairo's final status.
cairo_status_t Produzir(const report::Documento& doc, const PropriedadesPdf& props, cairo_write_func_t escrever,
                        void* destino) {
    report::Mm largura = 210000, altura = 297000;
    if (!doc.paginas.empty()) largura = doc.paginas[0].largura, altura = doc.paginas[0].altura;
    for (const auto& p : doc.paginas)
        if (p.largura <= 0 || p.altura <= 0) throw Falha("Página sem tamanho no documento");

    std::unique_ptr<cairo_surface_t, DestruirSuperficie> s(
        cairo_pdf_surface_create_for_stream(escrever, destino, largura * kPontosPorMm, altura * kPontosPorMm));
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) return cairo_surface_status(s.get());
    Metadado(s.get(), CAIRO_PDF_METADATA_TITLE, props.titulo);
    Metadado(s.get(), CAIRO_PDF_METADATA_AUTHOR, props.autor);
    Metadado(s.get(), CAIRO_PDF_METADATA_SUBJECT, props.assunto);
    Metadado(s.get(), CAIRO_PDF_METADATA_KEYWORDS, props.palavrasChave);
    cairo_pdf_surface_set_metadata(s.get(), CAIRO_PDF_METADATA_CREATOR, "Corvexa");

    std::unique_ptr<cairo_t, DestruirContexto> cr(cairo_create(s.get()));
    const OpcoesDesenho opcoes{kPontosPorMm, false};
    if (doc.paginas.empty()) cairo_show_page(cr.get());
    for (const report::Pagina& p : doc.paginas) {
        cairo_pdf_surface_set_size(s.get(), p.largura * kPontosPorMm, p.altura * kPontosPorMm);
        DesenharPagina(cr.get(), p, opcoes);
        cairo_show_page(cr.get());
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return cairo_status(cr.get());
    }
    cr.reset();
    cairo_surface_finish(s.get());
    return cairo_surface_status(s.get());
}

cairo_status_t EscreverNoArquivo(void* destino, const unsigned char* dados, unsigned int tamanho) {
    return static_cast<ArquivoAtomico*>(destino)->Escrever(dados, tamanho) ? CAIRO_STATUS_SUCCESS
                                                                            : CAIRO_STATUS_WRITE_ERROR;
}

cairo_status_t EscreverNaMemoria(void* destino, const unsigned char* dados, unsigned int tamanho) {
    static_cast<std::string*>(destino)->append(reinterpret_cast<const char*>(dados), tamanho);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

void EscreverPdfCairo(const report::Documento& documento, const std::string& caminho, const PropriedadesPdf& propriedades) {
    ArquivoAtomico arquivo(caminho);
    const cairo_status_t st = Produzir(documento, propriedades, EscreverNoArquivo, &arquivo);
    if (st == CAIRO_STATUS_WRITE_ERROR) arquivo.Falhar();
    if (st != CAIRO_STATUS_SUCCESS) arquivo.Falhar(cairo_status_to_string(st));
    arquivo.Concluir();
}

std::string GerarPdfCairo(const report::Documento& documento, const PropriedadesPdf& propriedades) {
    std::string pdf;
    const cairo_status_t st = Produzir(documento, propriedades, EscreverNaMemoria, &pdf);
    if (st != CAIRO_STATUS_SUCCESS) throw Falha(std::string("Erro ao gerar o PDF: ") + cairo_status_to_string(st));
    return pdf;
}

// The PDF written directly from the display list.
void EscreverPdf(const report::Documento& documento, const std::string& caminho, const PropriedadesPdf& propriedades) {
    ArquivoAtomico arquivo(caminho);
    const std::string pdf = GerarPdfDireto(documento, propriedades);
    if (!arquivo.Escrever(pdf.data(), pdf.size())) arquivo.Falhar();
    arquivo.Concluir();
}

std::string GerarPdf(const report::Documento& documento, const PropriedadesPdf& propriedades) {
    return GerarPdfDireto(documento, propriedades);
}

}  // namespace corvexa::render
