#pragma once
// The services of the desktop that a render job needs: message box, folder
// chooser, print dialog, progress dialog with cancel, preview window. The job
// talks to this interface only. A headless implementation is the default; a
// GTK implementation lives in a separate module (libcorvexa-gtk.so) that is
// loaded at run time only when a display is there, so that the library loads
// and runs on servers without GTK.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "report/pagina.h"

typedef struct _cairo cairo_t;

namespace corvexa::platform {

// What the print dialog shows and the user may change.
struct ConfigImpressao {
    std::string impressora;  // CUPS destination name; empty: the default destination
    int copias = 1;
    bool imprimirEmArquivo = true;  // the dialog may offer output to a file
};

// The progress of an output; `Avancar` returns false once the user cancelled.
class Progresso {
public:
    virtual ~Progresso() = default;
    virtual bool Avancar(int pagina, int total) = 0;
};

// What the preview window offers besides viewing the pages.
struct AcoesVisualizacao {
    // Draws page `indice` onto a cairo context whose unit is one thousandth of
    // a millimetre (the window sets the scale and the translation).
    std::function<void(cairo_t* cr, size_t indice)> desenhar;
    std::function<void()> imprimir;                          // prints (with the print dialog)
    std::function<void(const std::string& caminho)> salvarPdf;
    std::function<void()> enviarEmail;                       // empty: e-mail not offered
    bool maximizada = true;
    int zoom = 1;  // 0 whole page, 1 page width, 2 100 %
    std::string titulo = "Visualizar DANFE";
};

class Plataforma {
public:
    virtual ~Plataforma() = default;

    // A modal message to the user, text in UTF-8. Returns when the user has
    // seen it; the caller goes on afterwards (it is not a failure).
    virtual void MostrarMensagem(std::string_view textoUtf8) = 0;

    // The folder chooser: the chosen folder's path, or empty when the user
    // cancelled (or there is nobody to ask).
    virtual std::string EscolherPasta(std::string_view titulo, int flags) = 0;

    // The print dialog: true when the user confirmed (the configuration may
    // have been changed), false when cancelled.
    virtual bool DialogoImpressao(ConfigImpressao& config) = 0;

    // A progress dialog with a cancel button while output is produced.
    virtual std::unique_ptr<Progresso> MostrarProgresso(std::string_view titulo) = 0;

    // The modal preview window over the pages; returns when it is closed.
    // Fails (Falha) when there is no display.
    virtual void Visualizar(const report::Documento& documento, const AcoesVisualizacao& acoes) = 0;
};

// No windows: messages become one line each on stderr; the folder chooser
// returns the folder the host set beforehand (DefinirPastaSemDialogo), else
// nothing; the print dialog confirms the configuration as it is; progress is
// silent and never cancelled; the preview fails with a clear message.
class PlataformaSemTela : public Plataforma {
public:
    void MostrarMensagem(std::string_view textoUtf8) override;
    std::string EscolherPasta(std::string_view titulo, int flags) override;
    bool DialogoImpressao(ConfigImpressao& config) override;
    std::unique_ptr<Progresso> MostrarProgresso(std::string_view titulo) override;
    void Visualizar(const report::Documento& documento, const AcoesVisualizacao& acoes) override;
};

// For hosts without a user at the screen: the folder chooser of every
// implementation returns this folder without showing anything. Empty: back to
// the dialog (or, headless, to no folder).
void DefinirPastaSemDialogo(std::string pasta);
const std::string& PastaSemDialogo();

// The implementation in force for the process: the GTK one when a display is
// there (DISPLAY or WAYLAND_DISPLAY set) and its module loads, else headless.
Plataforma& PlataformaPadrao();

}  // namespace corvexa::platform
