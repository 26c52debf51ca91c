// The preview window: one page at a time on a grey desk, a toolbar with the
// page navigation, the zoom, and the actions of the caller (print, save as
// PDF, e-mail). Modal: Visualizar runs a main loop of its own and returns when
// the window is closed.
#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <set>
#include <string>

#include "base/falha.h"
#include "gtk/plataforma_gtk.h"

namespace corvexa::gtk {

namespace {

enum Zoom { kPaginaInteira = 0, kLarguraPagina = 1, kTamanhoReal = 2 };

constexpr int kMargem = 16;  // pixels of desk around the page
constexpr double kCinza = 0.55;

class Visualizacao {
public:
    Visualizacao(const report::Documento& documento, const platform::AcoesVisualizacao& acoes,
                 GtkWindow*& donoDaPlataforma)
        : doc_(documento), acoes_(acoes), donoDaPlataforma_(donoDaPlataforma) {
        zoom_ = acoes.zoom == kPaginaInteira || acoes.zoom == kTamanhoReal ? acoes.zoom : kLarguraPagina;
    }

    ~Visualizacao() {
        if (idleTamanho_) g_source_remove(idleTamanho_);
        if (idleFalha_) g_source_remove(idleFalha_);
        if (cache_) cairo_surface_destroy(cache_);
        if (janela_) {
            g_signal_handlers_disconnect_by_data(janela_, this);
            if (!fechada_) gtk_widget_destroy(janela_);
            g_object_unref(janela_);
        }
        if (laco_) g_main_loop_unref(laco_);
    }

    void Executar() {
        Montar();
        GtkWindow* donoAnterior = donoDaPlataforma_;
        donoDaPlataforma_ = GTK_WINDOW(janela_);
        laco_ = g_main_loop_new(nullptr, FALSE);
        gtk_widget_show_all(janela_);
        gtk_widget_set_visible(botaoEmail_, static_cast<bool>(acoes_.enviarEmail));
        MostrarPagina(0);
        // Left only by closing the window ("destroy" quits the loop).
        g_main_loop_run(laco_);
        donoDaPlataforma_ = donoAnterior;
        Escoar();
    }

private:
    // ---- building the window

    GtkWidget* Botao(const char* icone, const char* rotulo, const char* dica, void (*acao)(Visualizacao*)) {
        GtkWidget* b = rotulo ? gtk_button_new_with_mnemonic(rotulo) : gtk_button_new();
        if (icone) {
            gtk_button_set_image(GTK_BUTTON(b), gtk_image_new_from_icon_name(icone, GTK_ICON_SIZE_BUTTON));
            gtk_button_set_always_show_image(GTK_BUTTON(b), TRUE);
        }
        if (dica) gtk_widget_set_tooltip_text(b, dica);
        gtk_widget_set_focus_on_click(b, FALSE);
        g_object_set_data(G_OBJECT(b), "corvexa-acao", reinterpret_cast<gpointer>(acao));
        g_signal_connect(b, "clicked", G_CALLBACK(+[](GtkButton* botao, gpointer p) {
                             auto acao = reinterpret_cast<void (*)(Visualizacao*)>(
                                 g_object_get_data(G_OBJECT(botao), "corvexa-acao"));
                             acao(static_cast<Visualizacao*>(p));
                         }),
                         this);
        gtk_box_pack_start(GTK_BOX(barra_), b, FALSE, FALSE, 0);
        return b;
    }

    GtkWidget* BotaoZoom(GtkWidget* grupo, const char* rotulo, int zoom) {
        GtkWidget* b = grupo ? gtk_radio_button_new_with_mnemonic_from_widget(GTK_RADIO_BUTTON(grupo), rotulo)
                             : gtk_radio_button_new_with_mnemonic(nullptr, rotulo);
        gtk_toggle_button_set_mode(GTK_TOGGLE_BUTTON(b), FALSE);
        gtk_widget_set_focus_on_click(b, FALSE);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(b), zoom == zoom_);
        g_object_set_data(G_OBJECT(b), "corvexa-zoom", GINT_TO_POINTER(zoom));
        g_signal_connect(b, "toggled", G_CALLBACK(+[](GtkToggleButton* t, gpointer p) {
                             if (gtk_toggle_button_get_active(t))
                                 static_cast<Visualizacao*>(p)->MudarZoom(
                                     GPOINTER_TO_INT(g_object_get_data(G_OBJECT(t), "corvexa-zoom")));
                         }),
                         this);
        gtk_box_pack_start(GTK_BOX(barra_), b, FALSE, FALSE, 0);
        return b;
    }

    void Separador() {
        gtk_box_pack_start(GTK_BOX(barra_), gtk_separator_new(GTK_ORIENTATION_VERTICAL), FALSE, FALSE, 6);
    }

    void Montar() {
        IdiomaPortugues idioma;
        janela_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        g_object_ref(janela_);
        gtk_window_set_title(GTK_WINDOW(janela_), Utf8Valido(acoes_.titulo).c_str());
        gtk_window_set_modal(GTK_WINDOW(janela_), TRUE);
        Dimensionar();

        GtkWidget* caixa = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_container_add(GTK_CONTAINER(janela_), caixa);

        barra_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
        gtk_container_set_border_width(GTK_CONTAINER(barra_), 4);
        gtk_box_pack_start(GTK_BOX(caixa), barra_, FALSE, FALSE, 0);

        Botao("document-print", "_Imprimir", "Imprimir o DANFE", [](Visualizacao* v) { v->Imprimir(); });
        Botao("document-save", "_Salvar PDF", "Salvar o DANFE em um arquivo PDF",
              [](Visualizacao* v) { v->SalvarPdf(); });
        botaoEmail_ = Botao("mail-send", "Enviar por _e-mail", "Enviar o DANFE por e-mail",
                            [](Visualizacao* v) { v->EnviarEmail(); });
        Separador();
        GtkWidget* g = BotaoZoom(nullptr, "_Página inteira", kPaginaInteira);
        BotaoZoom(g, "_Largura da página", kLarguraPagina);
        BotaoZoom(g, "_100 %", kTamanhoReal);
        Separador();
        primeira_ = Botao("go-first", nullptr, "Primeira página", [](Visualizacao* v) { v->MostrarPagina(0); });
        anterior_ = Botao("go-previous", nullptr, "Página anterior",
                          [](Visualizacao* v) { v->MostrarPagina(v->pagina_ - 1); });
        rotuloPagina_ = gtk_label_new("");
        gtk_label_set_width_chars(GTK_LABEL(rotuloPagina_), 16);
        gtk_box_pack_start(GTK_BOX(barra_), rotuloPagina_, FALSE, FALSE, 4);
        proxima_ = Botao("go-next", nullptr, "Próxima página",
                         [](Visualizacao* v) { v->MostrarPagina(v->pagina_ + 1); });
        ultima_ = Botao("go-last", nullptr, "Última página",
                        [](Visualizacao* v) { v->MostrarPagina(v->Paginas() - 1); });
        GtkWidget* fechar = Botao("window-close", "_Fechar", "Fechar a visualização",
                                  [](Visualizacao* v) { v->Fechar(); });
        gtk_box_set_child_packing(GTK_BOX(barra_), fechar, FALSE, FALSE, 0, GTK_PACK_END);

        gtk_box_pack_start(GTK_BOX(caixa), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE, FALSE, 0);

        rolagem_ = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(rolagem_), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
        gtk_box_pack_start(GTK_BOX(caixa), rolagem_, TRUE, TRUE, 0);
        area_ = gtk_drawing_area_new();
        gtk_container_add(GTK_CONTAINER(rolagem_), area_);

        g_signal_connect(area_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer p) -> gboolean {
                             static_cast<Visualizacao*>(p)->Desenhar(cr);
                             return TRUE;
                         }),
                         this);
        g_signal_connect(rolagem_, "size-allocate", G_CALLBACK(+[](GtkWidget*, GdkRectangle*, gpointer p) {
                             static_cast<Visualizacao*>(p)->AgendarTamanho();
                         }),
                         this);
        g_signal_connect(janela_, "key-press-event",
                         G_CALLBACK(+[](GtkWidget*, GdkEventKey* e, gpointer p) -> gboolean {
                             return static_cast<Visualizacao*>(p)->Tecla(e);
                         }),
                         this);
        // Closing is refused while an action runs: the action's own dialogs
        // and the pages it reads belong to this window.
        g_signal_connect(janela_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer p) -> gboolean {
                             return static_cast<Visualizacao*>(p)->ocupada_;
                         }),
                         this);
        g_signal_connect(janela_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer p) {
                             auto* v = static_cast<Visualizacao*>(p);
                             v->fechada_ = true;
                             if (v->laco_) g_main_loop_quit(v->laco_);
                         }),
                         this);
    }

    // Maximised: the monitor's work area, which is also what a window manager
    // would give; without one the window is simply that large.
    void Dimensionar() {
        GdkRectangle area{0, 0, 1024, 768};
        GdkDisplay* tela = gdk_display_get_default();
        if (GdkMonitor* m = tela ? gdk_display_get_primary_monitor(tela) : nullptr) gdk_monitor_get_workarea(m, &area);
        else if (tela && gdk_display_get_n_monitors(tela) > 0)
            gdk_monitor_get_workarea(gdk_display_get_monitor(tela, 0), &area);
        if (acoes_.maximizada) {
            gtk_window_set_default_size(GTK_WINDOW(janela_), area.width, area.height);
            gtk_window_move(GTK_WINDOW(janela_), area.x, area.y);
            gtk_window_maximize(GTK_WINDOW(janela_));
        } else {
            gtk_window_set_default_size(GTK_WINDOW(janela_), std::max(640, area.width * 3 / 4),
                                        std::max(480, area.height * 3 / 4));
            gtk_window_set_position(GTK_WINDOW(janela_), GTK_WIN_POS_CENTER);
        }
    }

    // ---- pages and zoom

    long Paginas() const { return static_cast<long>(doc_.paginas.size()); }

    const report::Pagina* Atual() const {
        return pagina_ >= 0 && pagina_ < Paginas() ? &doc_.paginas[static_cast<size_t>(pagina_)] : nullptr;
    }

    void MostrarPagina(long p) {
        pagina_ = Paginas() == 0 ? 0 : std::clamp(p, 0L, Paginas() - 1);
        gchar* t = g_strdup_printf("Página %ld de %ld", Paginas() == 0 ? 0L : pagina_ + 1, Paginas());
        gtk_label_set_text(GTK_LABEL(rotuloPagina_), t);
        g_free(t);
        gtk_widget_set_sensitive(primeira_, pagina_ > 0);
        gtk_widget_set_sensitive(anterior_, pagina_ > 0);
        gtk_widget_set_sensitive(proxima_, pagina_ + 1 < Paginas());
        gtk_widget_set_sensitive(ultima_, pagina_ + 1 < Paginas());
        AtualizarTamanho();
        gtk_adjustment_set_value(gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(rolagem_)), 0);
        gtk_adjustment_set_value(gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(rolagem_)), 0);
        gtk_widget_queue_draw(area_);
    }

    void MudarZoom(int zoom) {
        if (zoom == zoom_) return;
        zoom_ = zoom;
        AtualizarTamanho();
        gtk_widget_queue_draw(area_);
    }

    // The room for the page: the scrolled window, less a scroll bar that
    // takes room of its own (reserved whether it shows or not, so that the
    // page width does not depend on whether the page needs it).
    void Vista(int& w, int& h) const {
        w = gtk_widget_get_allocated_width(rolagem_);
        h = gtk_widget_get_allocated_height(rolagem_);
        if (!gtk_scrolled_window_get_overlay_scrolling(GTK_SCROLLED_WINDOW(rolagem_))) {
            int barra = 0;
            gtk_widget_get_preferred_width(gtk_scrolled_window_get_vscrollbar(GTK_SCROLLED_WINDOW(rolagem_)), nullptr,
                                           &barra);
            w -= barra;
        }
    }

    // Pixels per millimetre on the screen for the current page and zoom.
    double Escala() const {
        const report::Pagina* p = Atual();
        if (!p || p->largura <= 0 || p->altura <= 0) return 1.0;
        const double wmm = p->largura / 1000.0, hmm = p->altura / 1000.0;
        int vw = 0, vh = 0;
        Vista(vw, vh);
        const double livreW = std::max(1, vw - 2 * kMargem), livreH = std::max(1, vh - 2 * kMargem);
        double s;
        switch (zoom_) {
            case kPaginaInteira: s = std::min(livreW / wmm, livreH / hmm); break;
            case kTamanhoReal: {
                double dpi = gdk_screen_get_resolution(gtk_widget_get_screen(area_));
                if (dpi <= 0) dpi = 96;
                s = dpi / 25.4;
                break;
            }
            default: s = livreW / wmm; break;
        }
        return std::clamp(s, 0.05, 40.0);
    }

    void TamanhoPagina(double s, int& w, int& h) const {
        const report::Pagina* p = Atual();
        w = p ? std::max(1, static_cast<int>(std::lround(p->largura / 1000.0 * s))) : 0;
        h = p ? std::max(1, static_cast<int>(std::lround(p->altura / 1000.0 * s))) : 0;
    }

    // The drawing area asks for the room the page needs beyond the visible
    // part: nothing in the fitting zooms' fitting direction (it fills the view).
    void AtualizarTamanho() {
        int pw = 0, ph = 0;
        TamanhoPagina(Escala(), pw, ph);
        int w = 1, h = 1;
        if (Atual()) {
            if (zoom_ == kTamanhoReal) {
                w = pw + 2 * kMargem;
                h = ph + 2 * kMargem;
            } else if (zoom_ == kLarguraPagina) {
                h = ph + 2 * kMargem;
            }
        }
        int aw = 0, ah = 0;
        gtk_widget_get_size_request(area_, &aw, &ah);
        if (aw != w || ah != h) gtk_widget_set_size_request(area_, w, h);
    }

    // A new size of the view changes the fitting zooms; the new request waits
    // for the allocation to be over.
    void AgendarTamanho() {
        if (idleTamanho_) return;
        idleTamanho_ = g_idle_add(
            +[](gpointer p) -> gboolean {
                auto* v = static_cast<Visualizacao*>(p);
                v->idleTamanho_ = 0;
                v->AtualizarTamanho();
                return G_SOURCE_REMOVE;
            },
            this);
    }

    // ---- drawing

    void Desenhar(cairo_t* cr) {
        const int W = gtk_widget_get_allocated_width(area_), H = gtk_widget_get_allocated_height(area_);
        cairo_set_source_rgb(cr, kCinza, kCinza, kCinza);
        cairo_paint(cr);
        if (!Atual()) return;
        const double s = Escala();
        int pw = 0, ph = 0;
        TamanhoPagina(s, pw, ph);
        const int x = std::max(kMargem, (W - pw) / 2);
        const int y = zoom_ == kPaginaInteira ? std::max(kMargem, (H - ph) / 2) : kMargem;
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        cairo_rectangle(cr, x + 3, y + 3, pw, ph);
        cairo_fill(cr);
        cairo_surface_t* pagina = Pagina(s, pw, ph);
        if (pagina) {
            cairo_set_source_surface(cr, pagina, x, y);
        } else {
            cairo_set_source_rgb(cr, 1, 1, 1);
        }
        cairo_rectangle(cr, x, y, pw, ph);
        cairo_fill(cr);
    }

    // The current page drawn by the caller at scale `s`, kept until the page
    // or the scale changes, so that scrolling does not draw it again.
    cairo_surface_t* Pagina(double s, int pw, int ph) {
        const int fator = std::max(1, gtk_widget_get_scale_factor(area_));
        if (cache_ && cachePagina_ == pagina_ && cacheEscala_ == s && cacheFator_ == fator) return cache_;
        if (cache_) cairo_surface_destroy(cache_);
        cache_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, pw * fator, ph * fator);
        cachePagina_ = pagina_;
        cacheEscala_ = s;
        cacheFator_ = fator;
        if (cairo_surface_status(cache_) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(cache_);
            cache_ = nullptr;
            return nullptr;
        }
        cairo_surface_set_device_scale(cache_, fator, fator);
        cairo_t* cr = cairo_create(cache_);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        if (acoes_.desenhar) {
            // One user unit of the caller is a thousandth of a millimetre.
            cairo_scale(cr, s / 1000.0, s / 1000.0);
            std::string falha;
            try {
                acoes_.desenhar(cr, static_cast<size_t>(pagina_));
            } catch (const std::exception& e) {
                falha = e.what();
            } catch (...) {
                falha = "Falha desconhecida.";
            }
            // Said once per page, and not from inside the drawing.
            if (!falha.empty() && paginasComFalha_.insert(pagina_).second) MostrarFalhaDepois(falha);
        }
        cairo_destroy(cr);
        cairo_surface_flush(cache_);
        return cache_;
    }

    void MostrarFalhaDepois(std::string falha) {
        falhaPendente_ = std::move(falha);
        if (idleFalha_) return;
        idleFalha_ = g_idle_add(
            +[](gpointer p) -> gboolean {
                auto* v = static_cast<Visualizacao*>(p);
                v->idleFalha_ = 0;
                v->Agir([v] { throw Falha(v->falhaPendente_); });
                return G_SOURCE_REMOVE;
            },
            this);
    }

    // ---- actions

    // Runs an action of the caller: the window stays, refuses to close and
    // takes no clicks while it runs; a failure is shown and the window stays.
    template <class F>
    void Agir(F&& acao) {
        if (ocupada_ || fechada_) return;
        ocupada_ = true;
        gtk_widget_set_sensitive(barra_, FALSE);
        std::string falha;
        try {
            acao();
        } catch (const std::exception& e) {
            falha = e.what();
            if (falha.empty()) falha = "Falha desconhecida.";
        } catch (...) {
            falha = "Falha desconhecida.";
        }
        if (!falha.empty() && !fechada_) Mensagem(GTK_WINDOW(janela_), GTK_MESSAGE_ERROR, "Erro", falha);
        ocupada_ = false;
        if (!fechada_) gtk_widget_set_sensitive(barra_, TRUE);
    }

    void Imprimir() {
        Agir([this] {
            if (acoes_.imprimir) acoes_.imprimir();
        });
    }

    void EnviarEmail() {
        Agir([this] {
            if (acoes_.enviarEmail) acoes_.enviarEmail();
        });
    }

    void SalvarPdf() {
        Agir([this] {
            if (!acoes_.salvarPdf) return;
            const std::string caminho = EscolherArquivoPdf();
            if (!caminho.empty()) acoes_.salvarPdf(caminho);
        });
    }

    std::string EscolherArquivoPdf() {
        IdiomaPortugues idioma;
        GtkWidget* d = gtk_file_chooser_dialog_new("Salvar PDF", GTK_WINDOW(janela_), GTK_FILE_CHOOSER_ACTION_SAVE,
                                                   "_Cancelar", GTK_RESPONSE_CANCEL, "_Salvar", GTK_RESPONSE_ACCEPT,
                                                   nullptr);
        gtk_window_set_modal(GTK_WINDOW(d), TRUE);
        gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_ACCEPT);
        GtkFileChooser* fc = GTK_FILE_CHOOSER(d);
        gtk_file_chooser_set_local_only(fc, TRUE);
        gtk_file_chooser_set_do_overwrite_confirmation(fc, TRUE);
        gtk_file_chooser_set_current_name(fc, "DANFE.pdf");
        GtkFileFilter* pdf = gtk_file_filter_new();
        gtk_file_filter_set_name(pdf, "Arquivos PDF (*.pdf)");
        gtk_file_filter_add_pattern(pdf, "*.[pP][dD][fF]");
        gtk_file_chooser_add_filter(fc, pdf);
        GtkFileFilter* todos = gtk_file_filter_new();
        gtk_file_filter_set_name(todos, "Todos os arquivos");
        gtk_file_filter_add_pattern(todos, "*");
        gtk_file_chooser_add_filter(fc, todos);
        gtk_file_chooser_set_filter(fc, pdf);
        std::string caminho;
        if (gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_ACCEPT) {
            if (gchar* f = gtk_file_chooser_get_filename(fc)) {
                caminho = f;
                g_free(f);
            }
        }
        gtk_widget_destroy(d);
        Escoar();
        return caminho;
    }

    void Fechar() {
        if (!ocupada_ && !fechada_) gtk_window_close(GTK_WINDOW(janela_));
    }

    gboolean Tecla(GdkEventKey* e) {
        if (ocupada_) return FALSE;
        if (e->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) return FALSE;
        GtkAdjustment* v = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(rolagem_));
        switch (e->keyval) {
            case GDK_KEY_Escape: Fechar(); return TRUE;
            case GDK_KEY_Page_Down:
            case GDK_KEY_KP_Page_Down: MostrarPagina(pagina_ + 1); return TRUE;
            case GDK_KEY_Page_Up:
            case GDK_KEY_KP_Page_Up: MostrarPagina(pagina_ - 1); return TRUE;
            case GDK_KEY_Home:
            case GDK_KEY_KP_Home: MostrarPagina(0); return TRUE;
            case GDK_KEY_End:
            case GDK_KEY_KP_End: MostrarPagina(Paginas() - 1); return TRUE;
            case GDK_KEY_Down:
            case GDK_KEY_KP_Down:
                gtk_adjustment_set_value(v, gtk_adjustment_get_value(v) + gtk_adjustment_get_step_increment(v));
                return TRUE;
            case GDK_KEY_Up:
            case GDK_KEY_KP_Up:
                gtk_adjustment_set_value(v, gtk_adjustment_get_value(v) - gtk_adjustment_get_step_increment(v));
                return TRUE;
            default: return FALSE;
        }
    }

    const report::Documento& doc_;
    const platform::AcoesVisualizacao& acoes_;
    GtkWindow*& donoDaPlataforma_;

    GtkWidget* janela_ = nullptr;
    GtkWidget* barra_ = nullptr;
    GtkWidget* rolagem_ = nullptr;
    GtkWidget* area_ = nullptr;
    GtkWidget* rotuloPagina_ = nullptr;
    GtkWidget *primeira_ = nullptr, *anterior_ = nullptr, *proxima_ = nullptr, *ultima_ = nullptr;
    GtkWidget* botaoEmail_ = nullptr;
    GMainLoop* laco_ = nullptr;

    long pagina_ = 0;
    int zoom_ = kLarguraPagina;
    bool ocupada_ = false;
    bool fechada_ = false;

    cairo_surface_t* cache_ = nullptr;
    long cachePagina_ = -1;
    double cacheEscala_ = 0;
    int cacheFator_ = 0;

    std::set<long> paginasComFalha_;
    std::string falhaPendente_;
    guint idleTamanho_ = 0;
    guint idleFalha_ = 0;
};

}  // namespace

void PlataformaGtk::Visualizar(const report::Documento& documento, const platform::AcoesVisualizacao& acoes) {
    Visualizacao v(documento, acoes, dono_);
    v.Executar();
}

}  // namespace corvexa::gtk
