#include "metafile/jogador.h"

#include <algorithm>
#include <cmath>

#include "base/texto.h"

namespace corvexa::metafile {
namespace {

using report::CorRgb;
using report::PontoV;
using report::Segmento;

constexpr double kPi = 3.14159265358979323846;
// Control-point distance of a quarter ellipse drawn as one cubic Bézier.
constexpr double kQuarto = 0.5522847498307936;
// Output coordinates beyond this are garbage from a hostile transform.
constexpr double kMaiorCoordenada = 1e12;
// The em of a font at 100 points, in thousandths of a millimetre, to turn
// the metrics' lengths into fractions of the em.
constexpr double kEm100 = 100 * 25400.0 / 72.0;
// The em of a font whose LOGFONT asks for no particular height.
constexpr double kEmPadrao = 12;

constexpr uint32_t kTaAtualizar = 1, kTaDireita = 2, kTaCentro = 6, kTaBaixo = 8, kTaBase = 24;
constexpr uint32_t kEtoOpaco = 2;

bool Finito(double v) { return std::isfinite(v) && std::fabs(v) <= kMaiorCoordenada; }

bool CaminhoFinito(const report::ComandoCaminho& c) {
    return std::all_of(c.pontos.begin(), c.pontos.end(), [](const PontoV& p) { return Finito(p.x) && Finito(p.y); });
}

}  // namespace

bool Matriz::Finita() const {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) && std::isfinite(e) &&
           std::isfinite(f);
}

CorRgb CorDe(uint32_t colorref) {
    return {static_cast<uint8_t>(colorref & 0xFF), static_cast<uint8_t>(colorref >> 8 & 0xFF),
            static_cast<uint8_t>(colorref >> 16 & 0xFF)};
}

Objeto ObjetoDeEstoque(uint32_t n) {
    auto cinza = [](uint8_t v) { return Pincel{false, {v, v, v}}; };
    switch (n) {
        case 0x00: return cinza(255);   // WHITE_BRUSH
        case 0x01: return cinza(192);   // LTGRAY_BRUSH
        case 0x02: return cinza(128);   // GRAY_BRUSH
        case 0x03: return cinza(64);    // DKGRAY_BRUSH
        case 0x04: return cinza(0);     // BLACK_BRUSH
        case 0x05: return Pincel{true, {}};  // NULL_BRUSH
        case 0x06: return CanetaDe(0, 0, {255, 255, 255});  // WHITE_PEN
        case 0x07: return CanetaDe(0, 0, {0, 0, 0});        // BLACK_PEN
        case 0x08: return CanetaDe(5, 0, {0, 0, 0});        // NULL_PEN
        case 0x0A: case 0x0B: case 0x10:                     // fixed-pitch fonts
            return FonteLogica{0, fontes::Familia::CourierNew};
        case 0x0C: case 0x0D: case 0x0E: case 0x11:
            return FonteLogica{};
        case 0x12: return cinza(255);   // DC_BRUSH, white until set
        case 0x13: return CanetaDe(0, 0, {0, 0, 0});  // DC_PEN, black until set
        default: return std::monostate{};
    }
}

FonteLogica FonteDe(double altura, int peso, std::u16string_view face, uint8_t conjunto) {
    FonteLogica f;
    f.altura = altura;
    f.negrito = peso >= 600;
    f.simbolo = conjunto == 2;  // SYMBOL_CHARSET
    const auto fim = face.find(u'\0');
    const std::string nome(texto::Aparar(texto::Utf16ParaAnsi(face.substr(0, fim))));
    if (texto::IgualSemCaixa(nome, "Tahoma"))
        f.familia = fontes::Familia::Tahoma;
    else if (texto::IgualSemCaixa(nome, "Courier New"))
        f.familia = fontes::Familia::CourierNew;
    else
        f.familia = fontes::Familia::Arial;
    return f;
}

Pincel PincelDe(uint32_t estilo, CorRgb cor) {
    switch (estilo) {
        case 0: return {false, cor};  // BS_SOLID
        case 2: {
            // BS_HATCHED: thin lines of the colour every few pixels; drawn as
            // a quarter of the colour over white, which is what the eye sees.
            auto mistura = [](uint8_t c) { return static_cast<uint8_t>((c + 3 * 255 + 2) / 4); };
            return {false, {mistura(cor.r), mistura(cor.g), mistura(cor.b)}};
        }
        default: return {true, {}};  // BS_NULL and kinds without a colour of their own
    }
}

Caneta CanetaDe(uint32_t estilo, double largura, CorRgb cor) {
    Caneta c;
    c.cor = cor;
    if ((estilo & 0x0F) == 5) c.nula = true;  // PS_NULL
    c.largura = std::isfinite(largura) && largura > 0 ? largura : 0;
    switch (estilo & 0x0F00) {
        case 0x0100: c.terminal = report::Terminal::Quadrado; break;
        case 0x0200: c.terminal = report::Terminal::Reto; break;
        default: break;
    }
    switch (estilo & 0xF000) {
        case 0x1000: c.juncao = report::Juncao::Chanfrada; break;
        case 0x2000: c.juncao = report::Juncao::Aguda; break;
        default: break;
    }
    return c;
}

Jogador::Jogador(Orcamento& orcamento) : orcamento_(orcamento) {
    e_.fonte = std::get<FonteLogica>(ObjetoDeEstoque(0x0D));
    Recalcular();
}

// ---- Mapping

// Output units per logical unit of a fixed mapping mode (y up in the metric ones).
Ponto Jogador::EscalaFixa(int modo) const {
    double mm;
    switch (modo) {
        case kLoMetrico: mm = 0.1; break;
        case kHiMetrico: mm = 0.01; break;
        case kLoIngles: mm = 0.254; break;
        case kHiIngles: mm = 0.0254; break;
        case kTwips: mm = 25.4 / 1440; break;
        default: return {1, 1};
    }
    return {pxPorMm_ * mm, -pxPorMm_ * mm};
}

void Jogador::Recalcular() {
    Ponto s = EscalaFixa(e_.modo);
    if (e_.modo == kIsotropico || e_.modo == kAnisotropico) {
        s = {e_.visorExt.x / e_.janelaExt.x, e_.visorExt.y / e_.janelaExt.y};
        if (e_.modo == kIsotropico) {
            // One scale for both axes, the smaller one, each keeping its sign.
            const double k = std::min(std::fabs(s.x), std::fabs(s.y));
            s = {std::copysign(k, s.x), std::copysign(k, s.y)};
        }
    }
    const Matriz pagina{s.x, 0, 0, s.y, e_.visorOrg.x - e_.janelaOrg.x * s.x, e_.visorOrg.y - e_.janelaOrg.y * s.y};
    m_ = e_.mundo.Depois(pagina);
}

void Jogador::ModoMapeamento(int modo) {
    if (modo < kTexto || modo > kAnisotropico) return;
    e_.modo = modo;
    if (modo != kIsotropico && modo != kAnisotropico) {
        // A fixed mode has fixed extents, which an (an)isotropic mode set next starts from.
        e_.janelaExt = {1, 1};
        e_.visorExt = EscalaFixa(modo);
    }
    Recalcular();
}

void Jogador::OrigemJanela(double x, double y) {
    e_.janelaOrg = {x, y};
    Recalcular();
}
void Jogador::OrigemVisor(double x, double y) {
    e_.visorOrg = {x, y};
    Recalcular();
}
void Jogador::ExtensaoJanela(double w, double h) {
    if (e_.modo != kIsotropico && e_.modo != kAnisotropico) return;
    if (w == 0 || h == 0 || !std::isfinite(w) || !std::isfinite(h)) return;
    e_.janelaExt = {w, h};
    Recalcular();
}
void Jogador::ExtensaoVisor(double w, double h) {
    if (e_.modo != kIsotropico && e_.modo != kAnisotropico) return;
    if (w == 0 || h == 0 || !std::isfinite(w) || !std::isfinite(h)) return;
    e_.visorExt = {w, h};
    Recalcular();
}
void Jogador::DeslocarJanela(double dx, double dy) { OrigemJanela(e_.janelaOrg.x + dx, e_.janelaOrg.y + dy); }
void Jogador::DeslocarVisor(double dx, double dy) { OrigemVisor(e_.visorOrg.x + dx, e_.visorOrg.y + dy); }
void Jogador::EscalarJanela(double xn, double xd, double yn, double yd) {
    if (xd == 0 || yd == 0) return;
    ExtensaoJanela(e_.janelaExt.x * xn / xd, e_.janelaExt.y * yn / yd);
}
void Jogador::EscalarVisor(double xn, double xd, double yn, double yd) {
    if (xd == 0 || yd == 0) return;
    ExtensaoVisor(e_.visorExt.x * xn / xd, e_.visorExt.y * yn / yd);
}

void Jogador::Mundo(const Matriz& m) {
    if (!m.Finita()) return;
    e_.mundo = m;
    Recalcular();
}

void Jogador::ModificarMundo(const Matriz& m, uint32_t modo) {
    switch (modo) {
        case 1: e_.mundo = {}; break;                                   // MWT_IDENTITY
        case 2: if (m.Finita()) e_.mundo = m.Depois(e_.mundo); break;   // MWT_LEFTMULTIPLY
        case 3: if (m.Finita()) e_.mundo = e_.mundo.Depois(m); break;   // MWT_RIGHTMULTIPLY
        case 4: if (m.Finita()) e_.mundo = m; break;                    // MWT_SET
        default: return;
    }
    if (!e_.mundo.Finita()) e_.mundo = {};
    Recalcular();
}

// ---- State

void Jogador::Salvar() {
    // Saves past the limit are counted, not kept, so that their restores
    // still pair up with them.
    if (pilha_.size() >= static_cast<size_t>(std::max(0, orcamento_.Limite().niveisEstado))) {
        ++salvosIgnorados_;
        return;
    }
    pilha_.push_back(e_);
}

void Jogador::Restaurar(int32_t n) {
    // n < 0: that many levels back; n > 0: back to the state of the n-th save.
    const int64_t real = static_cast<int64_t>(pilha_.size());
    const int64_t total = real + static_cast<int64_t>(salvosIgnorados_);
    const int64_t alvo = n < 0 ? total + n : n > 0 ? int64_t{n} - 1 : -1;
    if (alvo < 0 || alvo >= total) return;
    if (alvo >= real) {
        // A level past the limit was not kept: the nearest state kept stands for it.
        salvosIgnorados_ = static_cast<size_t>(alvo - real);
        e_ = pilha_.back();
    } else {
        salvosIgnorados_ = 0;
        e_ = pilha_[static_cast<size_t>(alvo)];
        pilha_.resize(static_cast<size_t>(alvo));
    }
    Recalcular();
}

void Jogador::Selecionar(const Objeto& o) {
    if (const auto* c = std::get_if<Caneta>(&o))
        e_.caneta = *c;
    else if (const auto* p = std::get_if<Pincel>(&o))
        e_.pincel = *p;
    else if (const auto* f = std::get_if<FonteLogica>(&o))
        e_.fonte = *f;
}

void Jogador::ModoFundo(int modo) {
    if (modo == 1) e_.fundoOpaco = false;       // TRANSPARENT
    else if (modo == 2) e_.fundoOpaco = true;   // OPAQUE
}

void Jogador::ModoPreenchimento(int modo) {
    if (modo == 1) e_.parImpar = true;          // ALTERNATE
    else if (modo == 2) e_.parImpar = false;    // WINDING
}

void Jogador::DirecaoArco(int direcao) {
    if (direcao == 1) e_.antiHorario = true;
    else if (direcao == 2) e_.antiHorario = false;
}

// ---- Figures

PontoV Jogador::Saida(Ponto p) const {
    const Ponto q = m_.Aplicar(p);
    return {q.x, q.y};
}

void Jogador::Mover(report::ComandoCaminho& c, Ponto p) const {
    c.segmentos.push_back(Segmento::Mover);
    c.pontos.push_back(Saida(p));
}
void Jogador::Linha(report::ComandoCaminho& c, Ponto p) const {
    c.segmentos.push_back(Segmento::Linha);
    c.pontos.push_back(Saida(p));
}
void Jogador::Curva(report::ComandoCaminho& c, Ponto c1, Ponto c2, Ponto p) const {
    c.segmentos.push_back(Segmento::Curva);
    c.pontos.push_back(Saida(c1));
    c.pontos.push_back(Saida(c2));
    c.pontos.push_back(Saida(p));
}
void Jogador::Fechar(report::ComandoCaminho& c) const { c.segmentos.push_back(Segmento::Fechar); }

// An arc of the ellipse centred at `centro`, from angle a0 (radians,
// counter-clockwise as seen with y down) through `varredura`, as Béziers of
// at most a quarter turn each. Begins with a move, or a line when continuing.
void Jogador::ArcoEliptico(report::ComandoCaminho& c, Ponto centro, double rx, double ry, double a0,
                           double varredura, bool continuar) const {
    auto em = [&](double a) { return Ponto{centro.x + rx * std::cos(a), centro.y - ry * std::sin(a)}; };
    if (continuar)
        Linha(c, em(a0));
    else
        Mover(c, em(a0));
    const int partes = std::max(1, static_cast<int>(std::ceil(std::fabs(varredura) / (kPi / 2) - 1e-9)));
    const double passo = varredura / partes;
    const double k = 4.0 / 3.0 * std::tan(passo / 4);
    double a = a0;
    for (int i = 0; i < partes; ++i) {
        const double b = a + passo;
        const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        Curva(c, {centro.x + rx * (ca - k * sa), centro.y - ry * (sa + k * ca)},
              {centro.x + rx * (cb + k * sb), centro.y - ry * (sb - k * cb)}, em(b));
        a = b;
    }
}

void Jogador::Desenhar(report::ComandoCaminho&& figura, bool preencher, bool tracar) {
    if (figura.segmentos.empty()) return;
    Gastar(figura.pontos.size() + 1);
    if (emCaminho_) {
        for (size_t i = 0, p = 0; i < figura.segmentos.size(); ++i) {
            const Segmento s = figura.segmentos[i];
            caminho_.segmentos.push_back(s);
            const size_t n = s == Segmento::Curva ? 3 : s == Segmento::Fechar ? 0 : 1;
            caminho_.pontos.insert(caminho_.pontos.end(), figura.pontos.begin() + p, figura.pontos.begin() + p + n);
            p += n;
        }
        figuraAberta_ = figura.segmentos.back() != Segmento::Fechar;
        return;
    }
    if (preencher && !e_.pincel.nulo) {
        figura.preenchimento = e_.pincel.cor;
        figura.parImpar = e_.parImpar;
    }
    if (tracar && !e_.caneta.nula) {
        const double escala = std::sqrt(std::fabs(m_.a * m_.d - m_.b * m_.c));
        figura.traco = report::Traco{e_.caneta.cor, e_.caneta.largura * escala, e_.caneta.terminal, e_.caneta.juncao};
    }
    if (!figura.preenchimento && !figura.traco) return;
    Emitir(std::move(figura));
}

void Jogador::Emitir(report::ComandoVetorial&& c) {
    if (auto* caminho = std::get_if<report::ComandoCaminho>(&c)) {
        if (!CaminhoFinito(*caminho)) return;
        for (const PontoV& p : caminho->pontos) Estender(p.x, p.y);
    }
    saida_.comandos.push_back(std::move(c));
}

void Jogador::Estender(double x, double y) {
    if (!temExtensao_) {
        minX_ = maxX_ = x;
        minY_ = maxY_ = y;
        temExtensao_ = true;
        return;
    }
    minX_ = std::min(minX_, x), maxX_ = std::max(maxX_, x);
    minY_ = std::min(minY_, y), maxY_ = std::max(maxY_, y);
}

void Jogador::MoverPara(Ponto p) {
    e_.atual = p;
    if (emCaminho_) {
        report::ComandoCaminho f;
        Mover(f, p);
        Desenhar(std::move(f), false, false);
    }
}

void Jogador::LinhaPara(Ponto p) {
    report::ComandoCaminho f;
    if (!emCaminho_ || !figuraAberta_) Mover(f, e_.atual);
    Linha(f, p);
    e_.atual = p;
    Desenhar(std::move(f), false, true);
}

void Jogador::Polilinha(std::span<const Ponto> pts) {
    if (pts.size() < 2) return;
    report::ComandoCaminho f;
    Mover(f, pts[0]);
    for (size_t i = 1; i < pts.size(); ++i) Linha(f, pts[i]);
    Desenhar(std::move(f), false, true);
}

void Jogador::PolilinhaAte(std::span<const Ponto> pts) {
    if (pts.empty()) return;
    report::ComandoCaminho f;
    if (!emCaminho_ || !figuraAberta_) Mover(f, e_.atual);
    for (const Ponto& p : pts) Linha(f, p);
    e_.atual = pts.back();
    Desenhar(std::move(f), false, true);
}

void Jogador::Bezier(std::span<const Ponto> pts) {
    if (pts.size() < 4) return;
    report::ComandoCaminho f;
    Mover(f, pts[0]);
    for (size_t i = 1; i + 2 < pts.size(); i += 3) Curva(f, pts[i], pts[i + 1], pts[i + 2]);
    Desenhar(std::move(f), false, true);
}

void Jogador::BezierAte(std::span<const Ponto> pts) {
    if (pts.size() < 3) return;
    report::ComandoCaminho f;
    if (!emCaminho_ || !figuraAberta_) Mover(f, e_.atual);
    size_t i = 0;
    for (; i + 2 < pts.size(); i += 3) Curva(f, pts[i], pts[i + 1], pts[i + 2]);
    e_.atual = pts[i - 1];
    Desenhar(std::move(f), false, true);
}

void Jogador::PoliDesenho(std::span<const Ponto> pts, std::span<const uint8_t> tipos) {
    constexpr uint8_t kFechar = 1, kLinha = 2, kBezier = 4, kMover = 6;
    report::ComandoCaminho f;
    bool aberta = emCaminho_ && figuraAberta_;
    Ponto atual = e_.atual;
    for (size_t i = 0; i < pts.size() && i < tipos.size(); ++i) {
        const uint8_t t = tipos[i] & ~kFechar;
        if (t == kMover) {
            Mover(f, pts[i]);
            aberta = true;
        } else if (t == kLinha || (t == kBezier && i + 2 < pts.size() && (tipos[i + 1] & ~kFechar) == kBezier &&
                                   (tipos[i + 2] & ~kFechar) == kBezier)) {
            if (!aberta) Mover(f, atual);
            aberta = true;
            if (t == kLinha) {
                Linha(f, pts[i]);
            } else {
                Curva(f, pts[i], pts[i + 1], pts[i + 2]);
                i += 2;
            }
        } else {
            return;  // a malformed point list draws nothing, as PolyDraw fails
        }
        atual = pts[i];
        if (tipos[i] & kFechar) {
            Fechar(f);
            aberta = false;
        }
    }
    e_.atual = atual;
    Desenhar(std::move(f), false, true);
}

void Jogador::Poligono(std::span<const Ponto> pts) {
    if (pts.size() < 2) return;
    report::ComandoCaminho f;
    Mover(f, pts[0]);
    for (size_t i = 1; i < pts.size(); ++i) Linha(f, pts[i]);
    Fechar(f);
    Desenhar(std::move(f), true, true);
}

void Jogador::PoliPoligono(std::span<const Ponto> pts, std::span<const uint32_t> contagens) {
    report::ComandoCaminho f;
    size_t p = 0;
    for (const uint32_t n : contagens) {
        if (n > pts.size() - p) return;
        if (n >= 2) {
            Mover(f, pts[p]);
            for (size_t i = 1; i < n; ++i) Linha(f, pts[p + i]);
            Fechar(f);
        }
        p += n;
    }
    Desenhar(std::move(f), true, true);
}

void Jogador::PoliPolilinha(std::span<const Ponto> pts, std::span<const uint32_t> contagens) {
    report::ComandoCaminho f;
    size_t p = 0;
    for (const uint32_t n : contagens) {
        if (n > pts.size() - p) return;
        if (n >= 2) {
            Mover(f, pts[p]);
            for (size_t i = 1; i < n; ++i) Linha(f, pts[p + i]);
        }
        p += n;
    }
    Desenhar(std::move(f), false, true);
}

void Jogador::RetanguloDe(const Retangulo& r) {
    report::ComandoCaminho f;
    Mover(f, {r.l, r.t});
    Linha(f, {r.r, r.t});
    Linha(f, {r.r, r.b});
    Linha(f, {r.l, r.b});
    Fechar(f);
    Desenhar(std::move(f), true, true);
}

void Jogador::RetanguloArredondado(const Retangulo& r, double largura, double altura) {
    const double l = std::min(r.l, r.r), rr = std::max(r.l, r.r), t = std::min(r.t, r.b), b = std::max(r.t, r.b);
    const double rx = std::min(std::fabs(largura) / 2, (rr - l) / 2), ry = std::min(std::fabs(altura) / 2, (b - t) / 2);
    if (rx <= 0 || ry <= 0) {
        RetanguloDe({l, t, rr, b});
        return;
    }
    const double kx = rx * kQuarto, ky = ry * kQuarto;
    report::ComandoCaminho f;
    Mover(f, {l + rx, t});
    Linha(f, {rr - rx, t});
    Curva(f, {rr - rx + kx, t}, {rr, t + ry - ky}, {rr, t + ry});
    Linha(f, {rr, b - ry});
    Curva(f, {rr, b - ry + ky}, {rr - rx + kx, b}, {rr - rx, b});
    Linha(f, {l + rx, b});
    Curva(f, {l + rx - kx, b}, {l, b - ry + ky}, {l, b - ry});
    Linha(f, {l, t + ry});
    Curva(f, {l, t + ry - ky}, {l + rx - kx, t}, {l + rx, t});
    Fechar(f);
    Desenhar(std::move(f), true, true);
}

void Jogador::Elipse(const Retangulo& r) {
    const Ponto c{(r.l + r.r) / 2, (r.t + r.b) / 2};
    const double rx = std::fabs(r.r - r.l) / 2, ry = std::fabs(r.b - r.t) / 2;
    if (rx == 0 && ry == 0) return;
    report::ComandoCaminho f;
    ArcoEliptico(f, c, rx, ry, 0, 2 * kPi, false);
    Fechar(f);
    Desenhar(std::move(f), true, true);
}

void Jogador::Arco(TipoArco tipo, const Retangulo& r, Ponto inicio, Ponto fim) {
    const Ponto c{(r.l + r.r) / 2, (r.t + r.b) / 2};
    const double rx = std::fabs(r.r - r.l) / 2, ry = std::fabs(r.b - r.t) / 2;
    if (rx == 0 || ry == 0) return;
    const double a0 = std::atan2(-(inicio.y - c.y) / ry, (inicio.x - c.x) / rx);
    const double a1 = std::atan2(-(fim.y - c.y) / ry, (fim.x - c.x) / rx);
    double varredura = a1 - a0;
    if (e_.antiHorario) {
        if (varredura <= 0) varredura += 2 * kPi;
    } else if (varredura >= 0) {
        varredura -= 2 * kPi;
    }
    report::ComandoCaminho f;
    switch (tipo) {
        case TipoArco::Arco:
            ArcoEliptico(f, c, rx, ry, a0, varredura, false);
            Desenhar(std::move(f), false, true);
            break;
        case TipoArco::ArcoAte:
            if (!emCaminho_ || !figuraAberta_) Mover(f, e_.atual);
            ArcoEliptico(f, c, rx, ry, a0, varredura, true);
            e_.atual = {c.x + rx * std::cos(a0 + varredura), c.y - ry * std::sin(a0 + varredura)};
            Desenhar(std::move(f), false, true);
            break;
        case TipoArco::Corda:
            ArcoEliptico(f, c, rx, ry, a0, varredura, false);
            Fechar(f);
            Desenhar(std::move(f), true, true);
            break;
        case TipoArco::Pizza:
            Mover(f, c);
            ArcoEliptico(f, c, rx, ry, a0, varredura, true);
            Fechar(f);
            Desenhar(std::move(f), true, true);
            break;
    }
}

void Jogador::AnguloArco(Ponto centro, double raio, double inicio, double varredura) {
    if (!std::isfinite(inicio) || !std::isfinite(varredura) || !(raio > 0)) return;
    varredura = std::clamp(varredura, -360.0, 360.0);
    const double a0 = std::fmod(inicio, 360.0) * kPi / 180, v = varredura * kPi / 180;
    report::ComandoCaminho f;
    if (!emCaminho_ || !figuraAberta_) Mover(f, e_.atual);
    if (v != 0)
        ArcoEliptico(f, centro, raio, raio, a0, v, true);
    else
        Linha(f, {centro.x + raio * std::cos(a0), centro.y - raio * std::sin(a0)});
    e_.atual = {centro.x + raio * std::cos(a0 + v), centro.y - raio * std::sin(a0 + v)};
    Desenhar(std::move(f), false, true);
}

void Jogador::Preencher(const Retangulo& r, const Pincel& p) {
    if (p.nulo || emCaminho_) return;
    report::ComandoCaminho f;
    Mover(f, {r.l, r.t});
    Linha(f, {r.r, r.t});
    Linha(f, {r.r, r.b});
    Linha(f, {r.l, r.b});
    Fechar(f);
    Gastar(5);
    f.preenchimento = p.cor;
    Emitir(std::move(f));
}

void Jogador::Padrao(const Retangulo& r, uint32_t rop) {
    switch (rop) {
        case 0x00F00021: Preencher(r, e_.pincel); break;             // PATCOPY
        case 0x00000042: Preencher(r, {false, {0, 0, 0}}); break;    // BLACKNESS
        case 0x00FF0062: Preencher(r, {false, {255, 255, 255}}); break;  // WHITENESS
        default: break;
    }
}

void Jogador::PreencherSaida(double x, double y, double w, double h, CorRgb cor) {
    report::ComandoCaminho f;
    f.segmentos = {Segmento::Mover, Segmento::Linha, Segmento::Linha, Segmento::Linha, Segmento::Fechar};
    f.pontos = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
    f.preenchimento = cor;
    Emitir(std::move(f));
}

// ---- Text

void Jogador::Texto(Ponto referencia, std::u16string_view s, std::span<const double> dx, uint32_t opcoes,
                    const std::optional<Retangulo>& retangulo) {
    Gastar(s.size() + 1);
    if (retangulo && (opcoes & kEtoOpaco)) Preencher(*retangulo, {false, e_.corFundo});
    if (s.empty() || e_.fonte.simbolo) return;

    // Code points, their advances (a surrogate pair's two advances summed),
    // the text as UTF-8 for the devices and as the code page for measuring.
    const bool temDx = dx.size() >= s.size();
    report::ComandoTexto t;
    std::string ansi;
    std::vector<double> avancos;
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        double a = temDx ? dx[i] : 0;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            if (temDx) a += dx[i + 1];
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        texto::AcrescentarUtf8(t.texto, c);
        const int b = texto::UnicodeParaAnsi(c);
        ansi.push_back(static_cast<char>(b < 0 ? '?' : b));
        avancos.push_back(a);
    }

    const auto& metricas = fontes::Metricas::Padrao();
    const fontes::Fonte f100{e_.fonte.familia, 100, e_.fonte.negrito};
    const double linhaEm = metricas.AlturaLinha(f100) / kEm100;
    const double ascEm = metricas.Ascendente(f100) / kEm100;
    const double descEm = linhaEm - ascEm;
    double emLogico = e_.fonte.altura < 0 ? -e_.fonte.altura : e_.fonte.altura > 0 ? e_.fonte.altura / linhaEm : kEmPadrao;

    const double sx = std::hypot(m_.a, m_.b), sy = std::hypot(m_.c, m_.d);
    const double em = emLogico * sy;
    if (!(em > 0) || !Finito(em) || !(sx > 0)) return;
    double largura;
    if (temDx) {
        largura = 0;
        for (double& a : avancos) {
            a *= sx;
            largura += a;
        }
        t.avancos = std::move(avancos);
    } else {
        largura = metricas.Largura(f100, ansi) / kEm100 * em;
    }
    const double asc = ascEm * em, desc = descEm * em;

    const bool atualizar = e_.alinhamento & kTaAtualizar;
    const Ponto q = m_.Aplicar(atualizar ? e_.atual : referencia);
    const uint32_t h = e_.alinhamento & kTaCentro, v = e_.alinhamento & kTaBase;
    const double x0 = q.x - (h == kTaCentro ? largura / 2 : h == kTaDireita ? largura : 0);
    const double base = q.y + (v == kTaBase ? 0 : v == kTaBaixo ? -desc : asc);
    if (!Finito(x0) || !Finito(base) || !Finito(largura)) return;
    if (atualizar && h != kTaCentro) e_.atual.x += (h == kTaDireita ? -largura : largura) / sx;

    if (e_.fundoOpaco && !emCaminho_) PreencherSaida(x0, base - asc, largura, asc + desc, e_.corFundo);
    t.origem = {x0, base};
    t.familia = e_.fonte.familia;
    t.negrito = e_.fonte.negrito;
    t.tamanho = em;
    t.cor = e_.corTexto;
    Estender(x0, base - asc);
    Estender(x0 + largura, base + desc);
    saida_.comandos.push_back(std::move(t));
}

// ---- Bitmaps

void Jogador::Bitmap(std::shared_ptr<const report::Imagem> imagem, Retangulo o, Retangulo d, Mistura mistura) {
    if (!imagem || emCaminho_) return;
    const double sw = o.r - o.l, sh = o.b - o.t, dw = d.r - d.l, dh = d.b - d.t;
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
    // The part of the source inside the bitmap, and where it lands.
    const double x0 = std::max(0.0, std::min(o.l, o.r)), x1 = std::min<double>(imagem->largura, std::max(o.l, o.r));
    const double y0 = std::max(0.0, std::min(o.t, o.b)), y1 = std::min<double>(imagem->altura, std::max(o.t, o.b));
    if (!(x1 > x0) || !(y1 > y0)) return;
    const int cx0 = static_cast<int>(std::floor(x0)), cx1 = static_cast<int>(std::ceil(x1));
    const int cy0 = static_cast<int>(std::floor(y0)), cy1 = static_cast<int>(std::ceil(y1));
    auto destinoX = [&](double c) { return d.l + (c - o.l) / sw * dw; };
    auto destinoY = [&](double c) { return d.t + (c - o.t) / sh * dh; };
    const Ponto p0 = m_.Aplicar({destinoX(cx0), destinoY(cy0)});
    const Ponto p1 = m_.Aplicar({destinoX(cx1), destinoY(cy1)});
    if (!Finito(p0.x) || !Finito(p0.y) || !Finito(p1.x) || !Finito(p1.y)) return;
    const bool espelharX = p1.x < p0.x, espelharY = p1.y < p0.y;

    const int w = cx1 - cx0, h = cy1 - cy0;
    const bool inteira = cx0 == 0 && cy0 == 0 && w == imagem->largura && h == imagem->altura;
    if (!inteira || espelharX || espelharY || mistura == Mistura::PretoTransparente) {
        orcamento_.Pixels(static_cast<uint64_t>(w) * static_cast<uint64_t>(h));
        auto nova = std::make_shared<report::Imagem>();
        nova->largura = w;
        nova->altura = h;
        nova->pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int sx = cx0 + (espelharX ? w - 1 - x : x), sy = cy0 + (espelharY ? h - 1 - y : y);
                uint32_t px = imagem->pixels[static_cast<size_t>(sy) * imagem->largura + sx];
                // OR-ing a picture onto the page leaves the page where it is black.
                if (mistura == Mistura::PretoTransparente && (px & 0xFFFFFF) == 0) px = 0;
                nova->pixels[static_cast<size_t>(y) * w + x] = px;
            }
        imagem = std::move(nova);
    }
    Gastar(1);
    report::ComandoBitmap b;
    b.imagem = std::move(imagem);
    b.x = std::min(p0.x, p1.x);
    b.y = std::min(p0.y, p1.y);
    b.largura = std::fabs(p1.x - p0.x);
    b.altura = std::fabs(p1.y - p0.y);
    Estender(b.x, b.y);
    Estender(b.x + b.largura, b.y + b.altura);
    saida_.comandos.push_back(std::move(b));
}

// ---- Paths

void Jogador::IniciarCaminho() {
    caminho_ = {};
    emCaminho_ = true;
    figuraAberta_ = false;
}

void Jogador::FecharFigura() {
    if (emCaminho_ && figuraAberta_) {
        caminho_.segmentos.push_back(Segmento::Fechar);
        figuraAberta_ = false;
    }
}

void Jogador::DescartarCaminho() {
    caminho_ = {};
    emCaminho_ = false;
    figuraAberta_ = false;
}

void Jogador::UsarCaminho(bool preencher, bool tracar) {
    if (emCaminho_) return;  // only a closed bracket's path is used
    report::ComandoCaminho c = std::move(caminho_);
    caminho_ = {};
    figuraAberta_ = false;
    if (c.segmentos.empty()) return;
    // Filling closes every open figure.
    if (preencher && !tracar) {
        report::ComandoCaminho fechado;
        for (size_t i = 0, p = 0; i < c.segmentos.size(); ++i) {
            const Segmento s = c.segmentos[i];
            if (s == Segmento::Mover && i > 0 && fechado.segmentos.back() != Segmento::Fechar)
                fechado.segmentos.push_back(Segmento::Fechar);
            fechado.segmentos.push_back(s);
            const size_t n = s == Segmento::Curva ? 3 : s == Segmento::Fechar ? 0 : 1;
            fechado.pontos.insert(fechado.pontos.end(), c.pontos.begin() + p, c.pontos.begin() + p + n);
            p += n;
        }
        c = std::move(fechado);
    }
    // The path is already in output units: drawn as it stands.
    if (preencher && !e_.pincel.nulo) {
        c.preenchimento = e_.pincel.cor;
        c.parImpar = e_.parImpar;
    }
    if (tracar && !e_.caneta.nula) {
        const double escala = std::sqrt(std::fabs(m_.a * m_.d - m_.b * m_.c));
        c.traco = report::Traco{e_.caneta.cor, e_.caneta.largura * escala, e_.caneta.terminal, e_.caneta.juncao};
    }
    if (!c.preenchimento && !c.traco) return;
    Emitir(std::move(c));
}

report::ImagemVetorial Jogador::Terminar(std::optional<Retangulo> limites) {
    report::ImagemVetorial v = std::move(saida_);
    saida_ = {};
    const bool validos = limites && Finito(limites->l) && Finito(limites->t) && Finito(limites->r) &&
                         Finito(limites->b) && limites->r != limites->l && limites->b != limites->t;
    if (validos) {
        v.x = std::min(limites->l, limites->r);
        v.y = std::min(limites->t, limites->b);
        v.largura = std::fabs(limites->r - limites->l);
        v.altura = std::fabs(limites->b - limites->t);
    } else if (temExtensao_ && maxX_ > minX_ && maxY_ > minY_) {
        v.x = minX_, v.y = minY_, v.largura = maxX_ - minX_, v.altura = maxY_ - minY_;
    } else {
        v.x = temExtensao_ ? minX_ : 0;
        v.y = temExtensao_ ? minY_ : 0;
        v.largura = std::max(1.0, maxX_ - minX_);
        v.altura = std::max(1.0, maxY_ - minY_);
    }
    return v;
}

}  // namespace corvexa::metafile
