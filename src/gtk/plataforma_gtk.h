#pragma once
// The GTK 3 implementation of the platform services. Everything runs on the
// calling thread; every dialog is modal and returns when it is closed. Built
// only into libcorvexa-gtk.so, never into the library itself.
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#include <locale.h>

#include <string>
#include <string_view>

#include "gtk/modulo.h"
#include "platform/plataforma.h"

namespace corvexa::gtk {

class PlataformaGtk : public platform::Plataforma {
public:
    // Opens the display; null (with `ligacao.motivo` filled) when it cannot.
    static PlataformaGtk* Criar(LigacaoModulo& ligacao);

    void MostrarMensagem(std::string_view textoUtf8) override;
    std::string EscolherPasta(std::string_view titulo, int flags) override;
    bool DialogoImpressao(platform::ConfigImpressao& config) override;
    std::unique_ptr<platform::Progresso> MostrarProgresso(std::string_view titulo) override;
    void Visualizar(const report::Documento& documento, const platform::AcoesVisualizacao& acoes) override;

private:
    explicit PlataformaGtk(const std::string& (*pastaSemDialogo)()) : pastaSemDialogo_(pastaSemDialogo) {}

    const std::string& (*pastaSemDialogo_)();
    // The preview window while it is open: the dialogs raised from its
    // buttons (print, progress, messages) stay on top of it.
    GtkWindow* dono_ = nullptr;
};

// ---- shared by the dialogs and the preview window

// Valid UTF-8 for GTK: bytes that are not become U+FFFD.
std::string Utf8Valido(std::string_view s);

// Lets GTK draw and react until nothing is pending.
void Escoar();

// A modal message over `dono` (may be null); returns when it is closed.
void Mensagem(GtkWindow* dono, GtkMessageType tipo, const char* titulo, std::string_view textoUtf8);

// GTK's own texts in Brazilian Portuguese while an object of this lives, for
// this thread only: the message catalogue (and character type) of the
// thread's locale is switched, the process-wide locale (and with it the
// host's number formats) is left as it is. Without a pt_BR locale on the
// machine nothing changes.
class IdiomaPortugues {
public:
    IdiomaPortugues();
    ~IdiomaPortugues();
    IdiomaPortugues(const IdiomaPortugues&) = delete;
    IdiomaPortugues& operator=(const IdiomaPortugues&) = delete;

private:
    locale_t local_ = nullptr;
    locale_t anterior_ = nullptr;
};

}  // namespace corvexa::gtk
