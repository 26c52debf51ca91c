#pragma once
// The PDF device written by hand from the display list, without a drawing
// library in between: one Flate-compressed content stream per page, the fonts
// embedded as TrueType subsets (CID-keyed, Identity-H, glyph ids as codes)
// whose widths are the advances the metrics sum, with a ToUnicode map so the
// text can be searched and copied; pictures as image objects stored once.
//
// What does not depend on the document (the font files and their glyph
// tables, the subsetter's prepared faces, recently encoded pictures and font
// subsets) is kept for the life of the process and shared between threads;
// several documents may be written at the same time. So are the compressors
// and the scratch buffers a document is written with, each lent to one
// document at a time.
#include <string>

#include "render/dispositivos.h"

namespace corvexa::render {

// The whole PDF file. Fails with a Falha for a page without size or a font
// that cannot be read or subset.
std::string GerarPdfDireto(const report::Documento& documento, const PropriedadesPdf& propriedades = {});

}  // namespace corvexa::render
