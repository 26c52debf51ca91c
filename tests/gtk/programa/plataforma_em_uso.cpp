// Prints which implementation of the platform services the process gets
// ("gtk" or "sem-tela"), then what its folder chooser returns once the host
// has set a folder: it must come back at once, with no dialog to answer.
#include <cstdio>

#include "platform/plataforma.h"

int main() {
    using namespace corvexa::platform;
    Plataforma& p = PlataformaPadrao();
    std::printf("%s\n", dynamic_cast<PlataformaSemTela*>(&p) ? "sem-tela" : "gtk");
    DefinirPastaSemDialogo("/pasta/definida pelo host");
    std::printf("%s\n", p.EscolherPasta("Escolha a pasta", 65).c_str());
    // Asked again, the process keeps the implementation it chose.
    std::printf("%s\n", &PlataformaPadrao() == &p ? "mesma" : "outra");
    return 0;
}
