#pragma once
// The output devices: PDF documents and raster pictures of pages.
//
// Files are written to a temporary file in the same folder and renamed when
// complete, so a failure never leaves a partial file behind (nor touches an
// existing file of that name). Failures are a Falha with a readable message.
#include <string>

#include "report/pagina.h"

namespace corvexa::render {

// Document properties of a PDF, UTF-8; empty ones are left out.
struct PropriedadesPdf {
    std::string autor;
    std::string palavrasChave;
    std::string assunto;
    std::string titulo;
};

// One PDF page per display-list page, at the page's own size; fonts embedded
// as subsets; no bookmarks. A document without pages gives one blank A4 page.
// `caminho` is a file-system path.
void EscreverPdf(const report::Documento& documento, const std::string& caminho,
                 const PropriedadesPdf& propriedades = {});
// The same PDF in memory (e-mail attachments).
std::string GerarPdf(const report::Documento& documento, const PropriedadesPdf& propriedades = {});
// The same pages through cairo's PDF surface: slower, kept as the reference
// that the PDF above is checked against.
void EscreverPdfCairo(const report::Documento& documento, const std::string& caminho,
                      const PropriedadesPdf& propriedades = {});
std::string GerarPdfCairo(const report::Documento& documento, const PropriedadesPdf& propriedades = {});

// Pixels of a length at a resolution, to the nearest (A4 at 200 dpi: 1654 x 2339).
int Pixels(report::Mm comprimento, int dpi);

// The page on white, 32-bit premultiplied ARGB (opaque). Fails for a
// resolution under 1 dpi or an image side over 32767 pixels.
report::Imagem RasterizarPagina(const report::Pagina& pagina, int dpi = 200);

void EscreverPng(const report::Pagina& pagina, const std::string& caminho, int dpi = 200);
// `qualidade` 1..100 (values outside are clamped). The JFIF header carries the resolution.
void EscreverJpeg(const report::Pagina& pagina, const std::string& caminho, int dpi = 200, int qualidade = 90);
std::string GerarJpeg(const report::Pagina& pagina, int dpi = 200, int qualidade = 90);

}  // namespace corvexa::render
