// The headless platform's services that are the same on every system: the
// message on standard error, the folder set by the host, no print dialog and
// a silent progress. Showing a preview is each system's own (plataforma.cpp).
#include <cstdio>
#include <memory>

#include "platform/plataforma.h"

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

namespace {
std::string& Pasta() {
    static std::string pasta;
    return pasta;
}
}  // namespace

void DefinirPastaSemDialogo(std::string pasta) { Pasta() = std::move(pasta); }
const std::string& PastaSemDialogo() { return Pasta(); }

std::string PlataformaSemTela::EscolherPasta(std::string_view, int) { return PastaSemDialogo(); }

bool PlataformaSemTela::DialogoImpressao(ConfigImpressao&) { return true; }

std::unique_ptr<Progresso> PlataformaSemTela::MostrarProgresso(std::string_view) {
    struct Silencioso : Progresso {
        bool Avancar(int, int) override { return true; }
    };
    return std::make_unique<Silencioso>();
}

}  // namespace corvexa::platform
