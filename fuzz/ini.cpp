// The INI reader over any bytes: it accepts everything, and every answer is
// read back as the render job reads the configuration.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace corvexa::platform;
    const std::string_view texto(reinterpret_cast<const char*>(dados), tamanho);
    const ArquivoIni ini = ArquivoIni::DeTexto(texto);
    size_t soma = 0;
    soma += ini.LerInteiro("DANFE", "Vias", 1);
    soma += ini.LerInteiro("DANFE", "ImprimeHora", 1);
    soma += ini.LerTexto("DANFE", "Impressora", "").size();
    if (auto v = ini.Ler("danfe", " vias ")) soma += v->size();
    if (auto n = LerNumeroIni(texto)) soma += static_cast<size_t>(*n);
    asm volatile("" : : "r"(soma));  // keeps the reads from being optimised away
    return 0;
}
