#include "job/saida.h"
#include "platform/impressora.h"

namespace corvexa::job {

ServicoImpressao ServicoImpressao::Cups() {
    return {platform::ImprimirPdf, platform::ImpressoraExiste};
}

}  // namespace corvexa::job
