#include "platform/plataforma.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/falha.h"
#include "gtk/modulo.h"

namespace corvexa::platform {

// The rest of the headless platform is in sem_tela.cpp.
void PlataformaSemTela::Visualizar(const report::Documento&, const AcoesVisualizacao&) {
    throw Falha("Não há tela disponível para visualizar o DANFE (defina DISPLAY ou exporte em PDF).");
}

namespace {

// The folder of the file that holds this code (the library, or a program that
// links the stages in), where the GTK module is installed beside it.
std::string PastaDesteCodigo() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&PlataformaPadrao), &info) || !info.dli_fname) return {};
    std::string arquivo = info.dli_fname;
    // The main program is named as it was started (maybe without a folder).
    if (arquivo.find('/') == std::string::npos) {
        char exe[4096];
        const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n <= 0) return {};
        arquivo.assign(exe, static_cast<size_t>(n));
    }
    const auto barra = arquivo.rfind('/');
    return barra == std::string::npos ? std::string() : arquivo.substr(0, barra + 1);
}

// The GTK implementation, or null with the reason in `motivo`.
std::unique_ptr<Plataforma> CarregarGtk(std::string& motivo) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland)) {
        motivo = "não há tela (DISPLAY e WAYLAND_DISPLAY vazios)";
        return nullptr;
    }
    // Beside this code first, then wherever the loader finds it. The module is
    // never unloaded: GTK cannot be shut down and started again.
    const std::string junto = PastaDesteCodigo() + gtk::kArquivoModulo;
    void* modulo = dlopen(junto.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!modulo) {
        const char* e = dlerror();
        motivo = e ? e : junto;
        // A module that is there but cannot load (GTK missing) says why.
        const bool existe = access(junto.c_str(), F_OK) == 0;
        modulo = dlopen(gtk::kArquivoModulo, RTLD_NOW | RTLD_LOCAL);
        if (!modulo) {
            if (!existe)
                if (const char* e2 = dlerror()) motivo = e2;
            return nullptr;
        }
    }
    auto fabrica = reinterpret_cast<gtk::FabricaPlataforma>(dlsym(modulo, gtk::kNomeFabrica));
    if (!fabrica) {
        motivo = std::string(gtk::kArquivoModulo) + " não exporta " + gtk::kNomeFabrica;
        return nullptr;
    }
    gtk::LigacaoModulo ligacao;
    ligacao.pastaSemDialogo = &PastaSemDialogo;
    std::unique_ptr<Plataforma> p(fabrica(&ligacao));
    if (!p) motivo = ligacao.motivo.empty() ? std::string(gtk::kArquivoModulo) + " é de outra versão" : ligacao.motivo;
    return p;
}

Plataforma& Escolher() {
    std::string motivo;
    try {
        if (auto gtk = CarregarGtk(motivo)) return *gtk.release();
    } catch (const std::exception& e) {
        motivo = e.what();
    }
    static PlataformaSemTela semTela;
    PlataformaSemTela().MostrarMensagem("Corvexa: sem janelas, seguindo sem tela: " + motivo);
    return semTela;
}

}  // namespace

Plataforma& PlataformaPadrao() {
    // Decided once per process; the initialisation of a local static is
    // thread-safe. The GTK implementation lives as long as the process.
    static Plataforma& escolhida = Escolher();
    return escolhida;
}

}  // namespace corvexa::platform
