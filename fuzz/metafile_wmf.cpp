// A WMF file played, and the picture drawn onto a small raster page.
#include <cstddef>
#include <cstdint>

#include "base/falha.h"
#include "metafile/metafile.h"
#include "render/dispositivos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace corvexa;
    metafile::Figura figura;
    try {
        figura = metafile::LerWmf({dados, tamanho});
    } catch (const Falha&) {
        return 0;  // a file refused with a message
    }
    // Whatever the file held, the page draws: a failure here is a fault.
    report::Pagina pagina;
    pagina.largura = pagina.altura = 12700;
    pagina.itens.push_back(report::ItemImagem{{0, 0, 12700, 12700}, nullptr, "", figura});
    render::RasterizarPagina(pagina, 72);
    return 0;
}
