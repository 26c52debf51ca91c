#pragma once
// The services of the desktop that a render job needs (message box, and later
// folder chooser, print dialogs, preview window). The job talks to this
// interface only; which implementation stands behind it is chosen by the host
// side: the headless one below unless a graphical one is loaded at run time.
#include <string>
#include <string_view>

namespace corvexa::platform {

class Plataforma {
public:
    virtual ~Plataforma() = default;

    // A modal message to the user, text in UTF-8. Returns when the user has
    // seen it; the caller goes on afterwards (it is not a failure).
    virtual void MostrarMensagem(std::string_view textoUtf8) = 0;
};

// No windows: each message becomes one line on stderr.
class PlataformaSemTela : public Plataforma {
public:
    void MostrarMensagem(std::string_view textoUtf8) override;
};

// The implementation in force for the process (the headless one by default).
Plataforma& PlataformaPadrao();

}  // namespace corvexa::platform
