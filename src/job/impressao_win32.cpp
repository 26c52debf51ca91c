#include "job/saida.h"
#include "platform/impressora.h"
#include "platform/windows/impressao_gdi.h"

namespace corvexa::job {

// Windows: the system's spooler, which takes the pages drawn on the printer
// (the name is the one the jobs know the spooler by).
ServicoImpressao ServicoImpressao::Cups() {
    ServicoImpressao s{platform::ImprimirPdf, platform::ImpressoraExiste, {}};
    s.imprimirPaginas = platform::ImprimirPaginasGdi;
    return s;
}

}  // namespace corvexa::job
