#include "render/desenho.h"

#include <cairo-ft.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <variant>
#include <vector>

#include "base/texto.h"
#include "fontes/faces.h"

namespace corvexa::render {
namespace {

using report::Caixa;
using report::Mm;

constexpr double kContorno = 265;             // 0.75 pt, the outline of shapes
constexpr double kMmPorPonto = 25400.0 / 72;  // thousandths of a millimetre per point

// cairo faces over the loaded font files, made once; they live as long as
// the FreeType faces they read, which is the process.
struct FacesCairo {
    cairo_font_face_t* faces[3][2] = {};
    cairo_font_options_t* opcoes = nullptr;

    FacesCairo() {
        for (int f = 0; f < 3; ++f)
            for (int n = 0; n < 2; ++n) {
                const fontes::Face& face = fontes::FaceDe({static_cast<fontes::Familia>(f), 8, n == 1});
                faces[f][n] = cairo_ft_font_face_create_for_ft_face(face.ft, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
            }
        // Outlines as designed: no hinting, and advances never snapped to
        // pixels, so glyphs sit where the metrics put them.
        opcoes = cairo_font_options_create();
        cairo_font_options_set_hint_style(opcoes, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(opcoes, CAIRO_HINT_METRICS_OFF);
    }

    static const FacesCairo& Instancia() {
        static const FacesCairo* f = new FacesCairo();
        return *f;
    }

    cairo_font_face_t* De(const fontes::Fonte& f) const {
        const int i = static_cast<int>(f.familia);
        return faces[i >= 0 && i < 3 ? i : 0][f.negrito ? 1 : 0];
    }
};

struct Retangulo {
    double x0, y0, x1, y1;
    double Largura() const { return x1 - x0; }
    double Altura() const { return y1 - y0; }
};

class Desenhista {
public:
    Desenhista(cairo_t* cr, const OpcoesDesenho& o) : cr_(cr), grade_(o.gradePixels) {}

    void operator()(const report::ItemTexto& t) { Texto(t); }
    void operator()(const report::ItemRetangulo& r) { Forma(r); }
    void operator()(const report::ItemLinha& l) { Linha(l); }
    void operator()(const report::ItemImagem& i) { Figura(i); }
    void operator()(const report::ItemCodigoBarras& b) { Barras(b); }

private:
    // A box in user space; on a pixel grid its edges are moved to the nearest
    // device pixel boundary, keeping at least one pixel each way when `minimo`.
    Retangulo Ajustar(double x0, double y0, double x1, double y1, bool minimo) const {
        if (!grade_) return {x0, y0, x1, y1};
        cairo_user_to_device(cr_, &x0, &y0);
        cairo_user_to_device(cr_, &x1, &y1);
        x0 = std::round(x0), y0 = std::round(y0), x1 = std::round(x1), y1 = std::round(y1);
        if (minimo) {
            if (x1 <= x0) x1 = x0 + 1;
            if (y1 <= y0) y1 = y0 + 1;
        }
        cairo_device_to_user(cr_, &x0, &y0);
        cairo_device_to_user(cr_, &x1, &y1);
        return {x0, y0, x1, y1};
    }
    Retangulo Ajustar(const Caixa& c, bool minimo) const {
        return Ajustar(c.x, c.y, static_cast<double>(c.x) + c.w, static_cast<double>(c.y) + c.h, minimo);
    }

    // A length in user units as a whole number of device pixels (at least one).
    double Espessura(double comprimento) const {
        if (!grade_) return comprimento;
        double dx = comprimento, dy = 0;
        cairo_user_to_device_distance(cr_, &dx, &dy);
        const double px = std::max(1.0, std::round(std::hypot(dx, dy)));
        return comprimento * px / std::hypot(dx, dy);
    }

    void Cor(double v) { cairo_set_source_rgb(cr_, v, v, v); }

    // Rounded corners: arcs of a circle whose diameter is a quarter of the
    // shorter side (an ellipse as wide as high).
    void Caminho(const Retangulo& r, double raio) {
        if (raio <= 0) {
            cairo_rectangle(cr_, r.x0, r.y0, r.Largura(), r.Altura());
            return;
        }
        cairo_new_sub_path(cr_);
        cairo_arc(cr_, r.x1 - raio, r.y0 + raio, raio, -M_PI / 2, 0);
        cairo_arc(cr_, r.x1 - raio, r.y1 - raio, raio, 0, M_PI / 2);
        cairo_arc(cr_, r.x0 + raio, r.y1 - raio, raio, M_PI / 2, M_PI);
        cairo_arc(cr_, r.x0 + raio, r.y0 + raio, raio, M_PI, 3 * M_PI / 2);
        cairo_close_path(cr_);
    }

    void Forma(const report::ItemRetangulo& f) {
        if (f.caixa.w <= 0 || f.caixa.h <= 0) return;
        const Retangulo r = Ajustar(f.caixa, true);
        const double raio = f.arredondado ? std::min(r.Largura(), r.Altura()) / 8 : 0;
        Cor(1);
        Caminho(r, raio);
        cairo_fill(cr_);
        if (!f.contorno) return;
        // The outline lies inside the box: the ring between the box and the
        // box inset by the pen width.
        const double e = Espessura(kContorno);
        Cor(0);
        Caminho(r, raio);
        if (r.Largura() > 2 * e && r.Altura() > 2 * e) {
            Caminho({r.x0 + e, r.y0 + e, r.x1 - e, r.y1 - e}, std::max(0.0, raio - e));
            cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
        }
        cairo_fill(cr_);
        cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    }

    void Linha(const report::ItemLinha& l) {
        if (l.caixa.w <= 0 || l.caixa.h <= 0) return;
        const Retangulo r = Ajustar(l.caixa, true);
        Cor(0);
        if (!l.pontilhada) {
            cairo_rectangle(cr_, r.x0, r.y0, r.Largura(), r.Altura());
            cairo_fill(cr_);
            return;
        }
        // Square dots as long as the stroke is thick, with gaps of the same size.
        const bool horizontal = r.Largura() >= r.Altura();
        const double espessura = horizontal ? r.Altura() : r.Largura();
        cairo_save(cr_);
        cairo_set_line_width(cr_, espessura);
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
        const double traco[] = {espessura, espessura};
        cairo_set_dash(cr_, traco, 2, 0);
        if (horizontal) {
            const double y = (r.y0 + r.y1) / 2;
            cairo_move_to(cr_, r.x0, y);
            cairo_line_to(cr_, r.x1, y);
        } else {
            const double x = (r.x0 + r.x1) / 2;
            cairo_move_to(cr_, x, r.y0);
            cairo_line_to(cr_, x, r.y1);
        }
        cairo_stroke(cr_);
        cairo_restore(cr_);
    }

    void Texto(const report::ItemTexto& t) {
        if (t.texto.empty()) return;
        const fontes::Face& face = fontes::FaceDe(t.fonte);
        const std::string ansi = texto::Utf8ParaAnsi(t.texto);
        // Pen positions from the advances in font units, scaled like the
        // metrics do, so the drawn width is the measured width.
        const double k = face.Escala(t.fonte.pontos);
        const double base = t.caixa.y + fontes::UnidadesParaMm(face.ascendente, t.fonte.pontos, face.unidadesPorEm);
        glifos_.clear();
        int64_t unidades = 0;
        for (unsigned char c : ansi) {
            // A character the font lacks keeps its advance but draws no box.
            if (face.glifo[c] != 0) glifos_.push_back({face.glifo[c], t.caixa.x + unidades * k, base});
            unidades += face.avanco[c];
        }
        if (glifos_.empty()) return;
        if (!temFonte_ || !(fonte_ == t.fonte)) {
            const FacesCairo& fc = FacesCairo::Instancia();
            if (!temFonte_) cairo_set_font_options(cr_, fc.opcoes);
            cairo_set_font_face(cr_, fc.De(t.fonte));
            cairo_set_font_size(cr_, t.fonte.pontos * kMmPorPonto);
            fonte_ = t.fonte;
            temFonte_ = true;
        }
        Cor(0);
        if (t.recorte) {
            const Caixa& c = *t.recorte;
            if (c.w <= 0 || c.h <= 0) return;
            cairo_save(cr_);
            cairo_rectangle(cr_, c.x, c.y, c.w, c.h);
            cairo_clip(cr_);
            cairo_show_glyphs(cr_, glifos_.data(), static_cast<int>(glifos_.size()));
            cairo_restore(cr_);
        } else {
            cairo_show_glyphs(cr_, glifos_.data(), static_cast<int>(glifos_.size()));
        }
    }

    // A cairo surface over a picture's pixels, or null for an empty picture.
    static cairo_surface_t* Superficie(const std::shared_ptr<const report::Imagem>& imagem) {
        const report::Imagem* img = imagem.get();
        if (!img || img->largura <= 0 || img->altura <= 0 ||
            img->pixels.size() < static_cast<size_t>(img->largura) * img->altura)
            return nullptr;
        cairo_surface_t* s = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(img->pixels.data())), CAIRO_FORMAT_ARGB32,
            img->largura, img->altura, img->largura * 4);
        // The surface borrows the pixels: a device that keeps it past this
        // call (the PDF surface does, until the page is written) keeps the
        // picture alive through this reference.
        static const cairo_user_data_key_t kChave{};
        auto* dono = new std::shared_ptr<const report::Imagem>(imagem);
        if (cairo_surface_set_user_data(s, &kChave, dono, [](void* p) {
                delete static_cast<std::shared_ptr<const report::Imagem>*>(p);
            }) != CAIRO_STATUS_SUCCESS)
            delete dono;
        // The same picture on every page is stored once in a PDF.
        char id[32];
        const int n = std::snprintf(id, sizeof id, "corvexa-%p", static_cast<const void*>(img));
        unsigned char* copia = static_cast<unsigned char*>(std::malloc(n));
        if (copia) {
            std::copy(id, id + n, copia);
            if (cairo_surface_set_mime_data(s, CAIRO_MIME_TYPE_UNIQUE_ID, copia, n, std::free, copia) !=
                CAIRO_STATUS_SUCCESS)
                std::free(copia);
        }
        return s;
    }

    // A length of the current user space in device units. A vector picture's
    // text and bitmaps are drawn only at sizes the font engine and the
    // compositor take: beyond them the context goes into an error state that
    // loses the rest of the page.
    double NoDispositivo(double dx, double dy) const {
        cairo_user_to_device_distance(cr_, &dx, &dy);
        return std::hypot(dx, dy);
    }
    static bool Entre(double v, double menor, double maior) { return std::isfinite(v) && v >= menor && v <= maior; }

    // The picture stretched over the rectangle, proportions not kept.
    void Pintar(const std::shared_ptr<const report::Imagem>& imagem, double x, double y, double w, double h) {
        cairo_surface_t* s = Superficie(imagem);
        if (!s) return;
        cairo_save(cr_);
        cairo_rectangle(cr_, x, y, w, h);
        cairo_clip(cr_);
        cairo_translate(cr_, x, y);
        cairo_scale(cr_, w / imagem->largura, h / imagem->altura);
        cairo_set_source_surface(cr_, s, 0, 0);
        cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
        cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
        cairo_paint(cr_);
        cairo_restore(cr_);
        cairo_surface_destroy(s);
    }

    void Figura(const report::ItemImagem& i) {
        if (i.caixa.w <= 0 || i.caixa.h <= 0) return;
        if (i.vetorial) {
            Vetorial(i.caixa, *i.vetorial);
            return;
        }
        const Retangulo r = Ajustar(i.caixa, true);
        Pintar(i.imagem, r.x0, r.y0, r.Largura(), r.Altura());
    }

    // A vector picture: its bounds stretched onto the box, clipped to it.
    void Vetorial(const Caixa& caixa, const report::ImagemVetorial& v) {
        if (!(v.largura > 0) || !(v.altura > 0) || !std::isfinite(v.largura) || !std::isfinite(v.altura)) return;
        if (!std::isfinite(v.x) || !std::isfinite(v.y)) return;
        const Retangulo r = Ajustar(caixa, true);
        const double sx = r.Largura() / v.largura, sy = r.Altura() / v.altura;
        if (!Entre(sx, 1e-9, 1e9) || !Entre(sy, 1e-9, 1e9)) return;
        cairo_save(cr_);
        cairo_rectangle(cr_, r.x0, r.y0, r.Largura(), r.Altura());
        cairo_clip(cr_);
        cairo_get_matrix(cr_, &pagina_);
        cairo_translate(cr_, r.x0, r.y0);
        cairo_scale(cr_, sx, sy);
        cairo_translate(cr_, -v.x, -v.y);
        escalaTraco_ = std::sqrt(sx * sy);
        for (const report::ComandoVetorial& c : v.comandos) std::visit([this](const auto& k) { Comando(k); }, c);
        cairo_restore(cr_);
    }

    static void DefinirCor(cairo_t* cr, report::CorRgb c) { cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

    void Comando(const report::ComandoCaminho& c) {
        cairo_new_path(cr_);
        size_t p = 0;
        const auto& pt = c.pontos;
        for (const report::Segmento s : c.segmentos) {
            const size_t n = s == report::Segmento::Curva ? 3 : s == report::Segmento::Fechar ? 0 : 1;
            if (pt.size() - p < n) break;
            switch (s) {
                case report::Segmento::Mover: cairo_move_to(cr_, pt[p].x, pt[p].y); break;
                case report::Segmento::Linha: cairo_line_to(cr_, pt[p].x, pt[p].y); break;
                case report::Segmento::Curva:
                    cairo_curve_to(cr_, pt[p].x, pt[p].y, pt[p + 1].x, pt[p + 1].y, pt[p + 2].x, pt[p + 2].y);
                    break;
                case report::Segmento::Fechar: cairo_close_path(cr_); break;
            }
            p += n;
        }
        if (c.preenchimento) {
            DefinirCor(cr_, *c.preenchimento);
            cairo_set_fill_rule(cr_, c.parImpar ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
            cairo_fill_preserve(cr_);
            cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
        }
        if (c.traco) {
            // The pen is round whatever the box's proportions: stroked in page
            // units, at least as thin as the device's thinnest line.
            cairo_matrix_t figura;
            cairo_get_matrix(cr_, &figura);
            cairo_set_matrix(cr_, &pagina_);
            double ux = 1, uy = 0;
            cairo_device_to_user_distance(cr_, &ux, &uy);
            const double pixel = std::hypot(ux, uy);
            const double fino = grade_ ? pixel : std::min(pixel, 100.0);
            DefinirCor(cr_, c.traco->cor);
            const double largura = c.traco->espessura * escalaTraco_;
            cairo_set_line_width(cr_, std::isfinite(largura) ? std::clamp(largura, fino, 1e7) : fino);
            cairo_set_line_cap(cr_, c.traco->terminal == report::Terminal::Redondo    ? CAIRO_LINE_CAP_ROUND
                                    : c.traco->terminal == report::Terminal::Quadrado ? CAIRO_LINE_CAP_SQUARE
                                                                                      : CAIRO_LINE_CAP_BUTT);
            cairo_set_line_join(cr_, c.traco->juncao == report::Juncao::Redonda     ? CAIRO_LINE_JOIN_ROUND
                                     : c.traco->juncao == report::Juncao::Chanfrada ? CAIRO_LINE_JOIN_BEVEL
                                                                                    : CAIRO_LINE_JOIN_MITER);
            cairo_stroke_preserve(cr_);
            cairo_set_matrix(cr_, &figura);
        }
        cairo_new_path(cr_);
    }

    void Comando(const report::ComandoTexto& t) {
        // An em from a hundredth of a pixel to 30000 pixels each way.
        if (t.texto.empty() || !Entre(NoDispositivo(t.tamanho, 0), 0.01, 3e4) ||
            !Entre(NoDispositivo(0, t.tamanho), 0.01, 3e4) || !std::isfinite(t.origem.x) || !std::isfinite(t.origem.y))
            return;
        const fontes::Fonte fonte{t.familia, 8, t.negrito};
        const fontes::Face& face = fontes::FaceDe(fonte);
        const std::string ansi = texto::Utf8ParaAnsi(t.texto);
        const bool avancos = t.avancos.size() == ansi.size();
        const double k = t.tamanho / face.unidadesPorEm;
        glifos_.clear();
        double x = t.origem.x;
        for (size_t i = 0; i < ansi.size(); ++i) {
            const auto c = static_cast<unsigned char>(ansi[i]);
            if (face.glifo[c] != 0) glifos_.push_back({face.glifo[c], x, t.origem.y});
            x += avancos ? t.avancos[i] : face.avanco[c] * k;
            if (!std::isfinite(x)) break;
        }
        if (glifos_.empty()) return;
        // The face and size are restored with the picture's state, so the
        // font the page's texts set stays as they left it.
        const FacesCairo& fc = FacesCairo::Instancia();
        cairo_set_font_options(cr_, fc.opcoes);
        cairo_set_font_face(cr_, fc.De(fonte));
        cairo_set_font_size(cr_, t.tamanho);
        DefinirCor(cr_, t.cor);
        cairo_show_glyphs(cr_, glifos_.data(), static_cast<int>(glifos_.size()));
    }

    void Comando(const report::ComandoBitmap& b) {
        // A bitmap pixel from a ten-thousandth of a device pixel to 30000 of them.
        if (!b.imagem || b.imagem->largura <= 0 || b.imagem->altura <= 0 || !std::isfinite(b.x) ||
            !std::isfinite(b.y) || !Entre(NoDispositivo(b.largura / b.imagem->largura, 0), 1e-4, 3e4) ||
            !Entre(NoDispositivo(0, b.altura / b.imagem->altura), 1e-4, 3e4))
            return;
        Pintar(b.imagem, b.x, b.y, b.largura, b.altura);
    }

    // Only the bars are painted; spaces stay as the page has them.
    void Barras(const report::ItemCodigoBarras& b) {
        if (b.barras.empty() || b.modulo <= 0 || b.caixa.h <= 0) return;
        Cor(0);
        if (!grade_) {
            int64_t modulos = 0;
            for (size_t k = 0; k < b.barras.size(); ++k) {
                if (k % 2 == 0)
                    cairo_rectangle(cr_, b.caixa.x + double(modulos) * b.modulo, b.caixa.y,
                                    double(b.barras[k]) * b.modulo, b.caixa.h);
                modulos += b.barras[k];
            }
            cairo_fill(cr_);
            return;
        }
        // On a pixel grid a module is a whole number of pixels, and every
        // bar edge falls on a pixel boundary.
        double dx = b.modulo, dy = 0;
        cairo_user_to_device_distance(cr_, &dx, &dy);
        const double modulo = std::max(1.0, std::round(std::hypot(dx, dy)));
        double x0 = b.caixa.x, y0 = b.caixa.y, x1 = b.caixa.x, y1 = static_cast<double>(b.caixa.y) + b.caixa.h;
        cairo_user_to_device(cr_, &x0, &y0);
        cairo_user_to_device(cr_, &x1, &y1);
        x0 = std::round(x0), y0 = std::round(y0), y1 = std::round(y1);
        if (y1 <= y0) y1 = y0 + 1;
        int64_t modulos = 0;
        for (size_t k = 0; k < b.barras.size(); ++k) {
            if (k % 2 == 0) {
                double ax = x0 + double(modulos) * modulo, ay = y0;
                double bx = ax + double(b.barras[k]) * modulo, by = y1;
                cairo_device_to_user(cr_, &ax, &ay);
                cairo_device_to_user(cr_, &bx, &by);
                cairo_rectangle(cr_, ax, ay, bx - ax, by - ay);
            }
            modulos += b.barras[k];
        }
        cairo_fill(cr_);
    }

    cairo_t* cr_;
    bool grade_;
    fontes::Fonte fonte_;  // the font set on the context, once temFonte_
    bool temFonte_ = false;
    std::vector<cairo_glyph_t> glifos_;
    cairo_matrix_t pagina_{};    // the page's transform, while a vector picture is drawn
    double escalaTraco_ = 1;     // page units per picture unit of a pen width
};

}  // namespace

void DesenharPagina(cairo_t* cr, const report::Pagina& pagina, const OpcoesDesenho& opcoes) {
    cairo_save(cr);
    cairo_scale(cr, opcoes.escala, opcoes.escala);
    Desenhista d(cr, opcoes);
    try {
        for (const report::Item& item : pagina.itens) std::visit(d, item);
    } catch (...) {
        cairo_restore(cr);
        throw;
    }
    cairo_restore(cr);
}

}  // namespace corvexa::render
