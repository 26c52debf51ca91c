#pragma once
// The display list as JSON: what `danfe paginas` prints and the layout tests
// compare. Lengths are integers in thousandths of a millimetre, page-absolute.
//
//   {"layout": "RelDanfe", "pages": [
//     {"width": 210000, "height": 297000, "group": 1, "pageNo": 1, "pageCount": 2,
//      "items": [
//        {"kind": "text", "x": 86783, "y": 22490, "w": 16739, "h": 5518, "text": "DANFE",
//         "font": "Arial", "size": 14, "bold": false, "id": "70"},
//        {"kind": "rect", "x": 0, "y": 0, "w": 0, "h": 0, "rounded": false, "id": "69"}]}]}
//
// Kinds: "text" (with "clip": [x, y, w, h] when clipped), "rect" (with
// "outline": false for a region's fill), "line" ("dotted"), "image",
// "barcode" ("modules", "data"). "id" is left out when empty. Texts are UTF-8.
#include <string>

#include "report/pagina.h"

namespace corvexa::report {

std::string DocumentoParaJson(const Documento& documento);

}  // namespace corvexa::report
