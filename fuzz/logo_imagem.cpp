// The raster logo decoders over any bytes. The first byte chooses the
// decoder, so that each kind is also fed the others' files.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/falha.h"
#include "job/logotipo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace corvexa;
    if (tamanho == 0) return 0;
    static constexpr std::string_view kTipos[] = {"bmp", "ico", "png", "jpeg"};
    const std::string_view tipo = kTipos[dados[0] % 4];
    const std::string_view bytes(reinterpret_cast<const char*>(dados) + 1, tamanho - 1);
    try {
        const auto imagem = job::DecodificarImagemLogo(bytes, tipo, "<fuzz>");
        if (!imagem) __builtin_trap();
    } catch (const Falha&) {
    }
    return 0;
}
