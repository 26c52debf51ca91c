#pragma once
// The drawing state both metafile kinds are played into: a small model of a
// Windows device context (mapping, transform, selected objects, current
// position, path bracket) whose output is a vector picture. Coordinates given
// to it are logical; it emits commands in the picture's units.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "metafile/orcamento.h"
#include "report/pagina.h"

namespace corvexa::metafile {

struct Ponto {
    double x = 0, y = 0;
};

struct Retangulo {
    double l = 0, t = 0, r = 0, b = 0;
};

// x' = a x + c y + e, y' = b x + d y + f (the layout of a world transform).
struct Matriz {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    Ponto Aplicar(Ponto p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    // This transform, then `depois`.
    Matriz Depois(const Matriz& m) const {
        return {a * m.a + b * m.c, a * m.b + b * m.d, c * m.a + d * m.c,
                c * m.b + d * m.d, e * m.a + f * m.c + m.e, e * m.b + f * m.d + m.f};
    }
    bool Finita() const;
};

// Drawing objects as records create them.
struct Caneta {
    bool nula = false;
    report::CorRgb cor;
    double largura = 0;  // logical units; 0 for the one-pixel (cosmetic) pen
    report::Terminal terminal = report::Terminal::Redondo;
    report::Juncao juncao = report::Juncao::Redonda;
};
struct Pincel {
    bool nulo = false;
    report::CorRgb cor{255, 255, 255};
};
struct FonteLogica {
    double altura = 0;  // LOGFONT height: < 0 the em, > 0 the cell, 0 a default size
    fontes::Familia familia = fontes::Familia::Arial;
    bool negrito = false;
    bool simbolo = false;  // symbol character set: its codes are not letters
};
struct OutroObjeto {};  // palettes, regions: they take a slot and draw nothing
using Objeto = std::variant<std::monostate, Caneta, Pincel, FonteLogica, OutroObjeto>;

// Stock object number n (without the high bit that marks it); monostate for none.
Objeto ObjetoDeEstoque(uint32_t n);

// A font by its face name: Arial, Tahoma and Courier New as themselves,
// any other face as Arial. Bold from weight 600.
FonteLogica FonteDe(double altura, int peso, std::u16string_view face, uint8_t conjunto);

// How a brush style is drawn as one solid colour.
Pincel PincelDe(uint32_t estilo, report::CorRgb cor);
// A pen from its style bits (line kind, end cap, join), width in logical
// units (0 for a one-pixel pen) and colour.
Caneta CanetaDe(uint32_t estilo, double largura, report::CorRgb cor);

report::CorRgb CorDe(uint32_t colorref);

class Jogador {
public:
    explicit Jogador(Orcamento& orcamento);

    // Mapping: mode, window and viewport, world transform.
    enum Modo { kTexto = 1, kLoMetrico, kHiMetrico, kLoIngles, kHiIngles, kTwips, kIsotropico, kAnisotropico };
    void ModoMapeamento(int modo);
    void OrigemJanela(double x, double y);
    void ExtensaoJanela(double w, double h);
    void OrigemVisor(double x, double y);
    void ExtensaoVisor(double w, double h);
    void DeslocarJanela(double dx, double dy);
    void DeslocarVisor(double dx, double dy);
    void EscalarJanela(double xn, double xd, double yn, double yd);
    void EscalarVisor(double xn, double xd, double yn, double yd);
    void Mundo(const Matriz& m);
    void ModificarMundo(const Matriz& m, uint32_t modo);
    // Output units per millimetre, for the metric mapping modes.
    void PixelsPorMilimetro(double px) {
        if (px > 0 && px < 1e6) pxPorMm_ = px;
        Recalcular();
    }

    // State
    void Salvar();
    void Restaurar(int32_t n);
    void Selecionar(const Objeto& o);
    void CorTexto(report::CorRgb c) { e_.corTexto = c; }
    void CorFundo(report::CorRgb c) { e_.corFundo = c; }
    void ModoFundo(int modo);
    void AlinhamentoTexto(uint32_t a) { e_.alinhamento = a; }
    void ModoPreenchimento(int modo);
    void DirecaoArco(int direcao);
    const Pincel& PincelAtual() const { return e_.pincel; }

    // Drawing, in logical coordinates.
    void MoverPara(Ponto p);
    void LinhaPara(Ponto p);
    void Polilinha(std::span<const Ponto> pts);
    void PolilinhaAte(std::span<const Ponto> pts);
    void Bezier(std::span<const Ponto> pts);
    void BezierAte(std::span<const Ponto> pts);
    // PolyDraw: each point with its kind (move, line, Bézier; bit 1 closes).
    void PoliDesenho(std::span<const Ponto> pts, std::span<const uint8_t> tipos);
    void Poligono(std::span<const Ponto> pts);
    void PoliPoligono(std::span<const Ponto> pts, std::span<const uint32_t> contagens);
    void PoliPolilinha(std::span<const Ponto> pts, std::span<const uint32_t> contagens);
    void RetanguloDe(const Retangulo& r);
    void RetanguloArredondado(const Retangulo& r, double largura, double altura);
    void Elipse(const Retangulo& r);
    enum class TipoArco { Arco, ArcoAte, Corda, Pizza };
    void Arco(TipoArco tipo, const Retangulo& r, Ponto inicio, Ponto fim);
    // AngleArc: a line from the current position to the start of an arc of
    // the circle, angles in degrees counter-clockwise.
    void AnguloArco(Ponto centro, double raio, double inicio, double varredura);
    // A rectangle filled with a brush (or a colour), without outline.
    void Preencher(const Retangulo& r, const Pincel& p);
    // A rectangle filled as a raster operation without source does it:
    // PATCOPY with the brush, BLACKNESS and WHITENESS; others are skipped.
    void Padrao(const Retangulo& r, uint32_t rop);

    // Text at a reference point. `dx` (logical advances, one per UTF-16 unit)
    // may be empty. ETO_OPAQUE fills `retangulo` with the background colour.
    void Texto(Ponto referencia, std::u16string_view texto, std::span<const double> dx, uint32_t opcoes,
               const std::optional<Retangulo>& retangulo);

    // A bitmap: the source rectangle in pixels from the top-left corner of
    // `imagem` (signed extents) stretched onto the destination rectangle in
    // logical units (signed extents mirror the picture).
    enum class Mistura { Copiar, PretoTransparente };
    void Bitmap(std::shared_ptr<const report::Imagem> imagem, Retangulo origem, Retangulo destino, Mistura m);

    // Path bracket
    void IniciarCaminho();
    void TerminarCaminho() { emCaminho_ = false; }
    void FecharFigura();
    void PreencherCaminho() { UsarCaminho(true, false); }
    void TracarCaminho() { UsarCaminho(false, true); }
    void TracarEPreencherCaminho() { UsarCaminho(true, true); }
    void DescartarCaminho();

    void Gastar(uint64_t n) { orcamento_.Trabalho(n); }
    Orcamento& Orc() { return orcamento_; }

    // The picture: `limites` are its bounds in output units, or (when
    // absent or empty) the extent of what was drawn.
    report::ImagemVetorial Terminar(std::optional<Retangulo> limites);

private:
    struct Estado {
        int modo = kTexto;
        Ponto janelaOrg{0, 0}, janelaExt{1, 1}, visorOrg{0, 0}, visorExt{1, 1};
        Matriz mundo;
        Caneta caneta;
        Pincel pincel;
        FonteLogica fonte;
        report::CorRgb corTexto{0, 0, 0}, corFundo{255, 255, 255};
        bool fundoOpaco = true;
        uint32_t alinhamento = 0;
        bool parImpar = true;
        bool antiHorario = true;
        Ponto atual;
    };

    void Recalcular();
    Ponto EscalaFixa(int modo) const;
    report::PontoV Saida(Ponto p) const;
    void Mover(report::ComandoCaminho& c, Ponto p) const;
    void Linha(report::ComandoCaminho& c, Ponto p) const;
    void Curva(report::ComandoCaminho& c, Ponto c1, Ponto c2, Ponto p) const;
    void Fechar(report::ComandoCaminho& c) const;
    void ArcoEliptico(report::ComandoCaminho& c, Ponto centro, double rx, double ry, double a0, double varredura,
                      bool continuar) const;
    // Draws a figure with the current brush and/or pen, or adds it to the
    // open path.
    void Desenhar(report::ComandoCaminho&& figura, bool preencher, bool tracar);
    void UsarCaminho(bool preencher, bool tracar);
    void Emitir(report::ComandoVetorial&& c);
    void Estender(double x, double y);
    void PreencherSaida(double x, double y, double w, double h, report::CorRgb cor);

    Orcamento& orcamento_;
    Estado e_;
    std::vector<Estado> pilha_;
    size_t salvosIgnorados_ = 0;
    Matriz m_;  // logical to output: world, then page
    double pxPorMm_ = 96 / 25.4;

    bool emCaminho_ = false;
    bool figuraAberta_ = false;
    report::ComandoCaminho caminho_;

    report::ImagemVetorial saida_;
    double minX_ = 0, minY_ = 0, maxX_ = 0, maxY_ = 0;
    bool temExtensao_ = false;
};

}  // namespace corvexa::metafile
