#include "platform/plataforma.h"

#include <cstdio>

#include "base/falha.h"

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

void PlataformaSemTela::Visualizar(const report::Documento&, const AcoesVisualizacao&) {
    throw Falha("Não há tela disponível para visualizar o DANFE (defina DISPLAY ou exporte em PDF).");
}

Plataforma& PlataformaPadrao() {
    static PlataformaSemTela semTela;
    return semTela;
}

}  // namespace corvexa::platform
