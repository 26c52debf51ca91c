#pragma once
// The limits that keep the library alive under hostile input. Each is far
// above what any real invoice needs, and each is checked where the resource
// grows, so that a forged text or picture fails at once with a message
// instead of taking all memory or minutes of work.
#include <cstddef>
#include <cstdint>

namespace corvexa::limites {

// Characters of the XML text (UTF-16 code units as the host passes them, or
// bytes of an 8-bit or UTF-8 text). An NF-e of 990 items is some 1.5 MB; a
// file of many NF-e stays well below this. Checked before the text is copied
// or converted, so a text of gigabytes is refused in milliseconds.
inline constexpr size_t kTamanhoXml = 64u * 1024 * 1024;

// Elements open at once. An NF-e nests about ten deep (a signed nfeProc
// about twelve).
inline constexpr size_t kProfundidadeXml = 1000;

// Attributes of one element. NF-e elements carry at most four (xmlns,
// versao, Id, nItem).
inline constexpr size_t kAtributosPorElemento = 256;

// Nodes (elements, and comments and the like at the top level) of one text.
// An NF-e of 990 items has some 60 000; each node costs the reader about 30 bytes.
inline constexpr size_t kNosXml = 2'000'000;

// Top-level NF-e read from one text.
inline constexpr size_t kNotasPorDocumento = 10'000;

// Product lines ("det") of one NF-e: the schema allows 990.
inline constexpr size_t kItensPorNota = 10'000;

// Billing instalments ("dup") of one NF-e: the schema allows 120.
inline constexpr size_t kDuplicatasPorNota = 1'000;

// Pages of one laid-out document. 990 items of long descriptions fill a few
// hundred pages; a batch of many NF-e counts each on its own pages.
inline constexpr size_t kPaginasPorDocumento = 50'000;

// Logo pictures: pixels per side, and in all (a 10 x 5 cm logo at 600 dpi
// is 2362 x 1181, under three million). Checked from the header, before any
// pixel memory is taken.
inline constexpr int kLadoLogo = 10'000;
inline constexpr int64_t kPixelsLogo = 16'000'000;

}  // namespace corvexa::limites

namespace corvexa::limites {

// The message of a text over kTamanhoXml, wherever it is caught.
inline constexpr const char* kMensagemTamanhoXml = "O texto do XML excede o limite de 64 MiB.";

}  // namespace corvexa::limites
