#pragma once
// A vector picture: a metafile logo played once into plain drawing commands
// that every device replays, scaled to the box of the item that shows it.
//
// Coordinates are the picture's own units, y down; the picture's bounds are
// the rectangle (x, y, largura, altura), which a device maps onto the item's
// box (both axes scaled on their own, proportions not kept) and clips to.
// Commands are drawn in list order.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "fontes/metricas.h"

namespace corvexa::report {

struct Imagem;

struct CorRgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const CorRgb&) const = default;
};

struct PontoV {
    double x = 0, y = 0;
    bool operator==(const PontoV&) const = default;
};

// Path segments: Mover and Linha take one point, Curva three (two control
// points and the end of a cubic Bézier), Fechar none.
enum class Segmento : uint8_t { Mover, Linha, Curva, Fechar };

enum class Terminal : uint8_t { Redondo, Quadrado, Reto };
enum class Juncao : uint8_t { Redonda, Chanfrada, Aguda };

struct Traco {
    CorRgb cor;
    // Pen width in picture units, the same along both axes of the box (the
    // device scales it by the geometric mean of the two scales); 0 is the
    // thinnest line the device draws.
    double espessura = 0;
    Terminal terminal = Terminal::Redondo;
    Juncao juncao = Juncao::Redonda;
};

// A path filled, stroked, or both (fill first, then the stroke over it).
struct ComandoCaminho {
    std::vector<Segmento> segmentos;
    std::vector<PontoV> pontos;
    std::optional<CorRgb> preenchimento;
    bool parImpar = true;  // fill rule: even-odd, else nonzero winding
    std::optional<Traco> traco;
};

// A run of text on one baseline, never rotated.
struct ComandoTexto {
    PontoV origem;                 // left end of the baseline
    std::string texto;             // UTF-8
    fontes::Familia familia = fontes::Familia::Arial;
    bool negrito = false;
    double tamanho = 0;            // em height in picture units
    CorRgb cor;
    // The advance of each character (code point) in picture units; empty
    // for the font's own advances at `tamanho`.
    std::vector<double> avancos;
};

// A raster picture stretched onto a rectangle of the picture.
struct ComandoBitmap {
    std::shared_ptr<const Imagem> imagem;
    double x = 0, y = 0, largura = 0, altura = 0;
};

using ComandoVetorial = std::variant<ComandoCaminho, ComandoTexto, ComandoBitmap>;

struct ImagemVetorial {
    double x = 0, y = 0, largura = 0, altura = 0;  // bounds, positive sizes
    std::vector<ComandoVetorial> comandos;
};

}  // namespace corvexa::report
