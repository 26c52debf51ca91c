#include "gtk/plataforma_gtk.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <memory>
#include <type_traits>

namespace corvexa::gtk {

// ---- helpers

std::string Utf8Valido(std::string_view s) {
    if (g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr)) return std::string(s);
    gchar* v = g_utf8_make_valid(s.data(), static_cast<gssize>(s.size()));
    std::string r(v);
    g_free(v);
    return r;
}

void Escoar() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void Mensagem(GtkWindow* dono, GtkMessageType tipo, const char* titulo, std::string_view textoUtf8) {
    IdiomaPortugues idioma;
    const std::string texto = Utf8Valido(textoUtf8);
    GtkWidget* d = gtk_message_dialog_new(dono, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          tipo, GTK_BUTTONS_NONE, "%s", texto.c_str());
    gtk_dialog_add_button(GTK_DIALOG(d), "_OK", GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
    gtk_window_set_title(GTK_WINDOW(d), titulo);
    gtk_dialog_run(GTK_DIALOG(d));
    gtk_widget_destroy(d);
    Escoar();
}

namespace {

// The thread's locale with the message catalogue of Brazilian Portuguese, or
// null when the machine has no such locale. The character type goes along:
// system messages (strerror) come out in UTF-8 and not with '?' for accents.
locale_t LocalPortugues() {
    const locale_t atual = uselocale(static_cast<locale_t>(0));
    for (const char* nome : {"pt_BR.UTF-8", "pt_BR.utf8"}) {
        locale_t base = duplocale(atual);
        if (!base) return nullptr;
        if (locale_t l = newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, nome, base)) return l;
        freelocale(base);
    }
    return nullptr;
}

}  // namespace

IdiomaPortugues::IdiomaPortugues() : local_(LocalPortugues()) {
    if (local_) anterior_ = uselocale(local_);
}

IdiomaPortugues::~IdiomaPortugues() {
    if (!local_) return;
    uselocale(anterior_);
    freelocale(local_);
}

// ---- creation

PlataformaGtk* PlataformaGtk::Criar(LigacaoModulo& ligacao) {
    // A host that runs GTK itself has opened the display already; otherwise
    // GTK must not set the process's locale from the environment, which would
    // change how the host formats and reads numbers.
    if (!gdk_display_get_default()) {
        gtk_disable_setlocale();
        if (!gtk_init_check(nullptr, nullptr)) {
            const char* d = std::getenv("DISPLAY");
            const char* w = std::getenv("WAYLAND_DISPLAY");
            ligacao.motivo = std::string("o GTK não conseguiu abrir a tela (DISPLAY=") + (d ? d : "") +
                             ", WAYLAND_DISPLAY=" + (w ? w : "") + ")";
            return nullptr;
        }
    }
    return new PlataformaGtk(ligacao.pastaSemDialogo);
}

// ---- message box

void PlataformaGtk::MostrarMensagem(std::string_view textoUtf8) {
    Mensagem(dono_, GTK_MESSAGE_INFO, "Informação", textoUtf8);
}

// ---- folder chooser

std::string PlataformaGtk::EscolherPasta(std::string_view titulo, int flags) {
    if (pastaSemDialogo_) {
        const std::string& pasta = pastaSemDialogo_();
        if (!pasta.empty()) return pasta;
    }
    IdiomaPortugues idioma;
    const std::string t = titulo.empty() ? std::string("Procurar pasta") : Utf8Valido(titulo);
    GtkWidget* d = gtk_file_chooser_dialog_new(t.c_str(), dono_, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancelar",
                                               GTK_RESPONSE_CANCEL, "_Selecionar", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(d), TRUE);
    // Only folders of the file system have a path to hand back (the caller's
    // flag 1 asks for that anyway); 64, the newer dialog, offers a new folder.
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(d), TRUE);
    gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(d), (flags & 64) != 0);
    // From the working folder, not from GTK's list of recent files, where no
    // folder can be chosen.
    gchar* atual = g_get_current_dir();
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(d), atual);
    g_free(atual);
    std::string pasta;
    if (gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* f = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d))) {
            pasta = f;
            g_free(f);
        }
    }
    gtk_widget_destroy(d);
    Escoar();
    return pasta;
}

// ---- print dialog

namespace {

bool NomeDaPadrao(const std::string& nome) { return nome.empty() || g_ascii_strcasecmp(nome.c_str(), "Default") == 0; }

}  // namespace

bool PlataformaGtk::DialogoImpressao(platform::ConfigImpressao& config) {
    IdiomaPortugues idioma;
    GtkWidget* d = gtk_print_unix_dialog_new("Imprimir", dono_);
    GtkPrintUnixDialog* pd = GTK_PRINT_UNIX_DIALOG(d);
    gtk_window_set_modal(GTK_WINDOW(d), TRUE);

    GtkPrintSettings* ajustes = gtk_print_settings_new();
    // An empty name (or the layouts' "Default") leaves the choice to the
    // dialog, which selects the system's default printer.
    if (!NomeDaPadrao(config.impressora)) gtk_print_settings_set_printer(ajustes, config.impressora.c_str());
    gtk_print_settings_set_n_copies(ajustes, std::max(1, config.copias));
    gtk_print_unix_dialog_set_settings(pd, ajustes);
    g_object_unref(ajustes);
    // Copies are handed to the spooler with the job, whatever the printer.
    gtk_print_unix_dialog_set_manual_capabilities(pd, GTK_PRINT_CAPABILITY_COPIES);

    bool confirmado = false;
    for (;;) {
        if (gtk_dialog_run(GTK_DIALOG(d)) != GTK_RESPONSE_OK) break;
        GtkPrinter* impressora = gtk_print_unix_dialog_get_selected_printer(pd);
        if (!impressora) continue;
        // The job sends the document to a queue of the spooler by its name;
        // GTK's "print to file" is no queue, and confirming it would print on
        // paper instead. The PDF file is one button away in the preview.
        if (gtk_printer_is_virtual(impressora)) {
            Mensagem(GTK_WINDOW(d), GTK_MESSAGE_WARNING, "Impressora",
                     "Escolha uma impressora instalada. Para gravar o DANFE em arquivo, use \"Salvar PDF\".");
            continue;
        }
        GtkPrintSettings* escolhidos = gtk_print_unix_dialog_get_settings(pd);
        config.impressora = gtk_printer_get_name(impressora);
        config.copias = std::max(1, gtk_print_settings_get_n_copies(escolhidos));
        g_object_unref(escolhidos);
        confirmado = true;
        break;
    }
    gtk_widget_destroy(d);
    Escoar();
    return confirmado;
}

// ---- progress dialog

namespace {

class ProgressoGtk : public platform::Progresso {
public:
    ProgressoGtk(std::string_view titulo, GtkWindow* dono) {
        IdiomaPortugues idioma;
        const std::string t = titulo.empty() ? std::string("DANFE") : Utf8Valido(titulo);
        janela_ = gtk_dialog_new_with_buttons(t.c_str(), dono, GTK_DIALOG_MODAL, "_Cancelar", GTK_RESPONSE_CANCEL,
                                              nullptr);
        g_object_ref(janela_);
        gtk_window_set_default_size(GTK_WINDOW(janela_), 360, -1);
        GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(janela_));
        gtk_container_set_border_width(GTK_CONTAINER(area), 12);
        gtk_box_set_spacing(GTK_BOX(area), 8);
        barra_ = gtk_progress_bar_new();
        gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(barra_), TRUE);
        gtk_progress_bar_set_text(GTK_PROGRESS_BAR(barra_), "");
        gtk_box_pack_start(GTK_BOX(area), barra_, FALSE, FALSE, 0);
        // The button, Escape and the window's close box all cancel; the
        // dialog itself stays until the output is over.
        g_signal_connect(janela_, "response", G_CALLBACK(+[](GtkDialog*, gint, gpointer p) {
                             static_cast<ProgressoGtk*>(p)->cancelado_ = true;
                         }),
                         this);
        gtk_widget_show_all(janela_);
        Escoar();
    }

    ~ProgressoGtk() override {
        g_signal_handlers_disconnect_by_data(janela_, this);
        gtk_widget_destroy(janela_);
        g_object_unref(janela_);
        Escoar();
    }

    bool Avancar(int pagina, int total) override {
        if (!cancelado_) {
            IdiomaPortugues idioma;
            if (total > 0) {
                const double f = std::clamp(static_cast<double>(pagina) / total, 0.0, 1.0);
                gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(barra_), f);
                gchar* t = g_strdup_printf("Página %d de %d", pagina, total);
                gtk_progress_bar_set_text(GTK_PROGRESS_BAR(barra_), t);
                g_free(t);
            } else {
                gtk_progress_bar_pulse(GTK_PROGRESS_BAR(barra_));
            }
            Escoar();
        }
        return !cancelado_;
    }

private:
    GtkWidget* janela_ = nullptr;
    GtkWidget* barra_ = nullptr;
    bool cancelado_ = false;
};

}  // namespace

std::unique_ptr<platform::Progresso> PlataformaGtk::MostrarProgresso(std::string_view titulo) {
    return std::make_unique<ProgressoGtk>(titulo, dono_);
}

}  // namespace corvexa::gtk

// ---- the module's one export

extern "C" __attribute__((visibility("default"))) corvexa::platform::Plataforma* corvexa_plataforma_gtk(
    corvexa::gtk::LigacaoModulo* ligacao) {
    using corvexa::gtk::kVersaoModulo;
    if (!ligacao || ligacao->versao != kVersaoModulo) return nullptr;
    try {
        return corvexa::gtk::PlataformaGtk::Criar(*ligacao);
    } catch (const std::exception& e) {
        ligacao->motivo = e.what();
    } catch (...) {
        ligacao->motivo = "falha desconhecida ao iniciar o GTK";
    }
    return nullptr;
}

// The factory must keep the type that the library calls it through.
static_assert(std::is_same_v<decltype(&corvexa_plataforma_gtk), corvexa::gtk::FabricaPlataforma>);
