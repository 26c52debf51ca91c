#include "platform/plataforma.h"

#include <cstdio>

namespace corvexa::platform {

void PlataformaSemTela::MostrarMensagem(std::string_view textoUtf8) {
    // One message, one line: line breaks inside the text (a path may hold
    // them) must not split it or forge further lines.
    std::string linha(textoUtf8);
    for (char& c : linha)
        if (c == '\n' || c == '\r') c = ' ';
    linha.push_back('\n');
    std::fwrite(linha.data(), 1, linha.size(), stderr);
    std::fflush(stderr);
}

Plataforma& PlataformaPadrao() {
    static PlataformaSemTela semTela;
    return semTela;
}

}  // namespace corvexa::platform
