#pragma once
// The loaded font files behind Metricas::Padrao(), for the drawing devices:
// they place glyphs with the same advances that the metrics sum, so a drawn
// text is exactly as wide as the engine measured it.
#include <array>
#include <cstdint>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "fontes/metricas.h"

namespace corvexa::fontes {

struct Face {
    std::string arquivo;
    FT_Face ft = nullptr;  // open for the whole process; never used by the metrics after loading
    int unidadesPorEm = 2048;
    int ascendente = 0;    // usWinAscent, font units
    int descendente = 0;   // usWinDescent, font units
    // Per Windows-1252 byte: the glyph and its unhinted advance in font units.
    std::array<uint32_t, 256> glifo{};
    std::array<uint16_t, 256> avanco{};

    // Thousandths of a millimetre per font unit at a point size.
    double Escala(int pontos) const { return pontos * 25400.0 / (72.0 * unidadesPorEm); }
};

// The face serving a font (family and weight; the size does not matter).
// Loads every face on first use; fails with a Falha naming a missing font.
const Face& FaceDe(const Fonte& f);

// Font units at a point size in thousandths of a millimetre, rounded to the nearest.
int32_t UnidadesParaMm(int64_t unidades, int pontos, int unidadesPorEm);

}  // namespace corvexa::fontes
