// An EMF file played, and the picture drawn onto a small raster page.
#include <cstddef>
#include <cstdint>

#include "base/falha.h"
#include "metafile/metafile.h"
#include "render/dispositivos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace corvexa;
    try {
        const auto figura = metafile::LerEmf({dados, tamanho});
        report::Pagina pagina;
        pagina.largura = pagina.altura = 12700;
        pagina.itens.push_back(report::ItemImagem{{0, 0, 12700, 12700}, nullptr, "", figura});
        render::RasterizarPagina(pagina, 72);
    } catch (const Falha&) {
    }
    return 0;
}
