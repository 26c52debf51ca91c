#pragma once
// The one drawing routine of the devices: a display-list page onto any cairo
// context (PDF surface, raster image, preview window, printer).
#include <cairo.h>

#include "report/pagina.h"

namespace corvexa::render {

struct OpcoesDesenho {
    // Device units per thousandth of a millimetre, applied on top of the
    // context's current transform: 72/25400 for PDF points, dpi/25400 for pixels.
    double escala = 72.0 / 25400.0;
    // Raster output: shapes, rules and bars begin and end on whole device
    // pixels, and a barcode module is a whole number of pixels wide (2 at
    // 200 dpi), so edges stay sharp and bars keep their proportions.
    bool gradePixels = false;
};

// Draws the page's items in order. Paints no background: the page is left as
// the device has it (white paper, a white raster). The context's state is
// restored on return.
void DesenharPagina(cairo_t* cr, const report::Pagina& pagina, const OpcoesDesenho& opcoes);

}  // namespace corvexa::render
