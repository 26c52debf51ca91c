#pragma once
// Where the font files of the layouts' families are looked for.
#include <string>
#include <vector>

#include "fontes/metricas.h"

namespace corvexa::fontes {

struct ArquivosFonte {
    std::string nome;                   // shown when the font is missing
    std::vector<std::string> caminhos;  // first one that exists wins
};

const ArquivosFonte& ArquivosDe(Familia familia, bool negrito);

}  // namespace corvexa::fontes
