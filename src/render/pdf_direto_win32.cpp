#include "render/pdf_direto.h"

namespace corvexa::render {

// The Windows build has no HarfBuzz subsetter: its PDF files come from
// cairo's PDF surface (fonts embedded as subsets there too).
std::string GerarPdfDireto(const report::Documento& documento, const PropriedadesPdf& propriedades) {
    return GerarPdfCairo(documento, propriedades);
}

}  // namespace corvexa::render
