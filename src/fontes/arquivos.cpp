#include "fontes/arquivos.h"

namespace corvexa::fontes {

// Arial and Courier New are served by Liberation Sans and Mono, which share
// their advances; Tahoma by Wine's Tahoma, which lives outside fontconfig's
// folders and is therefore loaded by path.
const ArquivosFonte& ArquivosDe(Familia familia, bool negrito) {
    static const ArquivosFonte kCandidatos[3][2] = {
        {{"Arial (Liberation Sans)",
          {"/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
           "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
           "/usr/share/fonts/liberation-sans/LiberationSans-Regular.ttf",
           "/usr/share/fonts/liberation/LiberationSans-Regular.ttf",
           "/usr/share/fonts/TTF/LiberationSans-Regular.ttf"}},
         {"Arial negrito (Liberation Sans Bold)",
          {"/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf",
           "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
           "/usr/share/fonts/liberation-sans/LiberationSans-Bold.ttf",
           "/usr/share/fonts/liberation/LiberationSans-Bold.ttf",
           "/usr/share/fonts/TTF/LiberationSans-Bold.ttf"}}},
        {{"Tahoma (Wine)", {"/usr/share/wine/fonts/tahoma.ttf"}},
         {"Tahoma negrito (Wine)", {"/usr/share/wine/fonts/tahomabd.ttf"}}},
        {{"Courier New (Liberation Mono)",
          {"/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
           "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
           "/usr/share/fonts/liberation-mono/LiberationMono-Regular.ttf",
           "/usr/share/fonts/liberation/LiberationMono-Regular.ttf",
           "/usr/share/fonts/TTF/LiberationMono-Regular.ttf"}},
         {"Courier New negrito (Liberation Mono Bold)",
          {"/usr/share/fonts/truetype/liberation/LiberationMono-Bold.ttf",
           "/usr/share/fonts/truetype/liberation2/LiberationMono-Bold.ttf",
           "/usr/share/fonts/liberation-mono/LiberationMono-Bold.ttf",
           "/usr/share/fonts/liberation/LiberationMono-Bold.ttf",
           "/usr/share/fonts/TTF/LiberationMono-Bold.ttf"}}},
    };
    return kCandidatos[static_cast<int>(familia)][negrito ? 1 : 0];
}

}  // namespace corvexa::fontes
