#pragma once
// Windows metafiles (WMF, with or without the placeable header, and EMF)
// played into vector pictures for the devices.
//
// Only what logos hold is drawn: mapping modes, window and viewport, saved
// states, pens, brushes, fonts and stock objects, lines, polygons, Béziers,
// rectangles, ellipses, arcs, chords, pies, paths, text and device-independent
// bitmaps. Any other record is skipped. Simplified on purpose: text is
// drawn level (escapement ignored) and without clipping, clip regions are
// not applied (the device clips to the picture's box), dashed pens draw
// solid, picture brushes fill with their mean colour and hatched brushes
// with a quarter of theirs, and bitmaps are drawn for the copy and the
// OR raster operations only (the OR one with black as transparent, as a
// mask-then-paint pair shows). Every record is read within its own
// bounds; a record too short for what it claims is skipped, while a damaged
// record stream (a record size of zero or beyond the data), a missing
// header, or a file past the work limits fails with a Falha that says what
// is wrong (the caller puts the file's name in front of it).
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "report/pagina.h"

namespace corvexa::metafile {

// Caps on what one file may make us do, so that a hostile file cannot hang
// the call or exhaust memory. A logo is far below every one of them.
struct Limites {
    uint32_t registros = 1'000'000;     // records played
    uint64_t trabalho = 4'000'000;      // points, characters and records drawn
    uint64_t pixels = 32'000'000;       // bitmap pixels decoded, all bitmaps together
    int ladoBitmap = 10'000;            // largest side of one bitmap
    int niveisEstado = 1'000;           // saved drawing states (further saves are ignored)
    uint64_t tamanhoArquivo = 64u << 20;  // bytes of a file read by CarregarMetarquivo
};

using Figura = std::shared_ptr<const report::ImagemVetorial>;

Figura LerWmf(std::span<const uint8_t> dados, const Limites& limites = {});
Figura LerEmf(std::span<const uint8_t> dados, const Limites& limites = {});

// The file at `caminho` played as the kind `tipo` ("wmf" or "emf", letter
// case ignored), whatever its bytes claim. The Falha says what is wrong
// without naming the file.
Figura CarregarMetarquivo(const std::string& caminho, std::string_view tipo, const Limites& limites = {});

}  // namespace corvexa::metafile
