#pragma once
// The two DANFE layouts, RelDanfe (A4 portrait) and RelDanfePais (A4
// landscape): twins described once, with both coordinate sets, and built into
// two report models whose page and band handlers read the job flags.
#include <memory>

#include "report/modelo.h"

namespace corvexa::layouts {

// Job flags read by the handlers (written by the render job).
struct FlagsDanfe {
    bool Homologacao = false;
    bool Contingencia = false;
    bool ImprimirHora = false;
};

// The handlers of each layout hold pointers into its own elements and bands:
// the layouts stay where CriarLayouts put them and are not copied.
struct LayoutsDanfe {
    LayoutsDanfe() = default;
    LayoutsDanfe(const LayoutsDanfe&) = delete;
    LayoutsDanfe& operator=(const LayoutsDanfe&) = delete;

    report::Relatorio RelDanfe;
    report::Relatorio RelDanfePais;
};

// Builds both layouts and binds their handlers to `flags`, which must outlive them.
std::unique_ptr<LayoutsDanfe> CriarLayouts(const FlagsDanfe& flags);

// Names of the elements that the render job addresses (the same in both layouts).
inline constexpr const char* NomeImagemEmitente = "82";  // the logo goes here

// The emitter image's picture until a logo is loaded (shared by both layouts).
std::shared_ptr<const report::Imagem> ImagemPadraoEmitente();

}  // namespace corvexa::layouts
