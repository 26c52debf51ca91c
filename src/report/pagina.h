#pragma once
// The page display list: what the engine produces and the devices draw.
// Plain data: per page its size and numbering, then the drawing primitives in
// drawing order, with page-absolute positions in thousandths of a millimetre.
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/memoria.h"
#include "fontes/metricas.h"
#include "report/vetorial.h"

namespace corvexa::report {

using Mm = int32_t;  // thousandths of a millimetre

struct Caixa {
    Mm x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Caixa&) const = default;
};

// A raster picture, 32-bit premultiplied ARGB in native byte order, rows
// packed (stride = 4 * largura).
struct Imagem {
    int largura = 0, altura = 0;
    std::vector<uint32_t> pixels;
};

// One drawn line of text, black; `caixa` is the top-left of the drawn text
// (after alignment), its drawn width and its line height. The text is UTF-8.
struct ItemTexto {
    Caixa caixa;
    std::string texto;
    fontes::Fonte fonte;
    std::optional<Caixa> recorte;  // drawn clipped to this box (fixed-size texts)
    std::string id;
};

// A shape: filled white, and (with `contorno`) outlined in black 0.75 pt
// inside the box. Rounded corners are arcs of an ellipse a quarter of the
// shorter side wide and high. Regions give white fills without outline.
struct ItemRetangulo {
    Caixa caixa;
    bool arredondado = false;
    bool contorno = true;
    std::string id;
};

// A line: `caixa` is the stroke's own rectangle, filled black (dotted: dashes).
struct ItemLinha {
    Caixa caixa;
    bool pontilhada = false;
    std::string id;
};

// A picture stretched to fill the box: a raster `imagem` or a `vetorial`
// picture (a metafile), one of the two.
struct ItemImagem {
    Caixa caixa;
    std::shared_ptr<const Imagem> imagem;
    std::string id;
    std::shared_ptr<const ImagemVetorial> vetorial = nullptr;
};

// A Code 128 symbol: `barras` holds the widths, in modules, of alternating
// bars and spaces, starting with a bar; one module is `modulo` wide.
struct ItemCodigoBarras {
    Caixa caixa;
    std::string dados;
    std::vector<uint8_t> barras;
    int modulos = 0;
    Mm modulo = 254;
    std::string id;
};

using Item = std::variant<ItemTexto, ItemRetangulo, ItemLinha, ItemImagem, ItemCodigoBarras>;

struct Pagina {
    Mm largura = 0, altura = 0;
    int grupo = 0;        // 1-based invoice group
    int numero = 0;       // page number within the group
    int total = 0;        // page count of the group
    // Kept for the next document when this one is gone (see base/memoria.h).
    std::pmr::vector<Item> itens{memoria::Documentos()};
};

struct Documento {
    std::string layout;        // "RelDanfe" or "RelDanfePais"
    std::string nomeTrabalho;  // print job document name
    std::vector<Pagina> paginas;
};

}  // namespace corvexa::report
