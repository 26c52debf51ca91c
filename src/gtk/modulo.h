#pragma once
// The contract between the library and its GTK module (libcorvexa-gtk.so): the
// module's file name, its one exported factory and what the factory is given.
// The library loads the module with dlopen only when a display is there, so
// that it never needs GTK to load; this header is all the two share besides
// the Plataforma interface itself.
#include <string>

namespace corvexa::platform {
class Plataforma;
}

namespace corvexa::gtk {

inline constexpr const char* kArquivoModulo = "libcorvexa-gtk.so";
inline constexpr const char* kNomeFabrica = "corvexa_plataforma_gtk";

// Raised whenever Plataforma, AcoesVisualizacao or this struct change shape:
// a module left over from another build then refuses to start instead of
// calling through a vtable of another layout.
inline constexpr int kVersaoModulo = 1;

// What the loading library hands the module. `versao` comes first and is the
// only field read before it has been checked.
struct LigacaoModulo {
    int versao = kVersaoModulo;
    // The folder that the host set for the folder chooser (it lives in the
    // library, the module has no copy of that state).
    const std::string& (*pastaSemDialogo)() = nullptr;
    // Filled by the module when it returns no implementation: why, in UTF-8.
    std::string motivo;
};

// The factory's type: a new GTK implementation owned by the caller, or null
// (with `motivo` filled) when GTK cannot open the display.
using FabricaPlataforma = platform::Plataforma* (*)(LigacaoModulo* ligacao);

}  // namespace corvexa::gtk
