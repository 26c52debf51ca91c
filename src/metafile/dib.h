#pragma once
// Device-independent bitmaps as metafiles embed them: a BITMAPINFO (header,
// then colour table or bit masks) and the pixel rows.
#include <cstdint>
#include <memory>

#include "metafile/bytes.h"
#include "metafile/orcamento.h"
#include "report/pagina.h"

namespace corvexa::metafile {

// How a DIB's colour table is to be read: RGB quads, or (DIB_PAL_COLORS)
// 16-bit indices into a logical palette, which we do not keep.
enum class UsoCores : uint8_t { Rgb, Paleta };

struct OpcoesDib {
    UsoCores uso = UsoCores::Rgb;
    bool alfa = false;  // 32-bit pixels carry premultiplied alpha (alpha blending)
};

// The bitmap top row first, as opaque (or, with `alfa`, translucent)
// premultiplied ARGB. `info` holds the BITMAPINFO, `bits` the rows. Returns
// null for what cannot be drawn (compressed rows, palette indices, sizes
// beyond the limits, bits shorter than the rows); the pixel budget is
// charged before any pixel memory is taken.
std::shared_ptr<report::Imagem> DecodificarDib(const Bytes& info, const Bytes& bits, const OpcoesDib& opcoes,
                                               Orcamento& orcamento);

// A packed DIB (the BITMAPINFO immediately followed by the rows), as WMF
// records and brushes carry it.
std::shared_ptr<report::Imagem> DecodificarDibCompacto(const Bytes& dib, const OpcoesDib& opcoes,
                                                       Orcamento& orcamento);

// Whether the rows of the DIB whose BITMAPINFO is `info` are stored bottom
// row first (the usual case), which turns the source rectangle of
// StretchDIBits upside down.
bool DibDeBaixoParaCima(const Bytes& info);

// The mean colour of a picture, as a pattern brush is approximated.
report::CorRgb CorMedia(const report::Imagem& imagem);

}  // namespace corvexa::metafile
