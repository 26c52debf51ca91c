#pragma once
// danfe's reading of NF-e files: their encodings, and NF-e kept inside other
// elements.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvexa::cli {

// The file as UTF-16 text: UTF-16 when it starts with a byte order mark
// (little or big endian), else UTF-8 with bytes that are not valid UTF-8 read
// as Windows-1252.
std::u16string LerArquivoXml(const std::string& caminho);

// The NF-e of a text that has none at the top level: the text of each "NFe"
// element found deeper (an "nfeProc" file: the NF-e with its authorisation
// protocol; a batch of several), in document order, side by side as the
// library reads them. Names are compared as the library's reader compares
// them (letter case ignored); an NF-e inside another one goes with it.
struct NFeEncontradas {
    std::string texto;       // 8-bit, as the library reads it
    size_t quantidade = 0;   // NF-e found
    std::string envolvente;  // the element around the first one ("nfeProc"), UTF-8
};

// Nothing when the text holds NF-e at the top level, holds none at all, or is
// no XML the library reads (it then reads the text as it stands).
std::optional<NFeEncontradas> DesembrulharNFe(std::string_view ansi);

}  // namespace corvexa::cli
