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

struct LayoutsDanfe {
    report::Relatorio RelDanfe;
    report::Relatorio RelDanfePais;
};

// Builds both layouts and binds their handlers to `flags`, which must outlive them.
std::unique_ptr<LayoutsDanfe> CriarLayouts(const FlagsDanfe& flags);

}  // namespace corvexa::layouts
