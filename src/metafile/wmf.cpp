// Windows metafiles: an optional placeable header, the metafile header, then
// records of 16-bit words whose parameters are stored last argument first.
#include <cmath>
#include <set>
#include <string>

#include "base/texto.h"
#include "metafile/dib.h"
#include "metafile/jogador.h"
#include "metafile/metafile.h"

namespace corvexa::metafile {
namespace {

constexpr uint32_t kChavePosicionavel = 0x9AC6CDD7;
constexpr size_t kMaximoObjetos = 65535;

enum : uint16_t {
    kEof = 0x0000,
    kSaveDc = 0x001E,
    kCreatePalette = 0x00F7,
    kSetBkMode = 0x0102,
    kSetMapMode = 0x0103,
    kSetPolyFillMode = 0x0106,
    kRestoreDc = 0x0127,
    kSelectObject = 0x012D,
    kSetTextAlign = 0x012E,
    kDibCreatePatternBrush = 0x0142,
    kDeleteObject = 0x01F0,
    kCreatePatternBrush = 0x01F9,
    kSetBkColor = 0x0201,
    kSetTextColor = 0x0209,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kOffsetWindowOrg = 0x020F,
    kOffsetViewportOrg = 0x0211,
    kLineTo = 0x0213,
    kMoveTo = 0x0214,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kPolygon = 0x0324,
    kPolyline = 0x0325,
    kScaleWindowExt = 0x0410,
    kScaleViewportExt = 0x0412,
    kEllipse = 0x0418,
    kRectangle = 0x041B,
    kTextOut = 0x0521,
    kPolyPolygon = 0x0538,
    kRoundRect = 0x061C,
    kPatBlt = 0x061D,
    kCreateRegion = 0x06FF,
    kArc = 0x0817,
    kPie = 0x081A,
    kChord = 0x0830,
    kDibBitBlt = 0x0940,
    kExtTextOut = 0x0A32,
    kDibStretchBlt = 0x0B41,
    kStretchDib = 0x0F43,
};

constexpr uint32_t kSrcCopy = 0x00CC0020, kSrcPaint = 0x00EE0086;

// The object table: a created object takes the lowest free slot. Slots are
// handed out in order, and freed ones kept sorted, so no create scans the table.
class Objetos {
public:
    void Criar(Objeto o) {
        size_t i;
        if (!livres_.empty()) {
            i = *livres_.begin();
            livres_.erase(livres_.begin());
        } else if (tabela_.size() < kMaximoObjetos) {
            // The header's object count is not enforced: files that make
            // more objects are drawn, up to the largest index a record can name.
            i = tabela_.size();
            tabela_.emplace_back();
        } else {
            return;  // the table is full: the object is not made
        }
        tabela_[i] = std::move(o);
    }
    const Objeto* De(size_t i) const { return i < tabela_.size() ? &tabela_[i] : nullptr; }
    void Apagar(size_t i) {
        if (i >= tabela_.size() || std::holds_alternative<std::monostate>(tabela_[i])) return;
        tabela_[i] = std::monostate{};
        livres_.insert(i);
    }

private:
    std::vector<Objeto> tabela_;
    std::set<size_t> livres_;
};

struct Registro {
    size_t posicao = 0;
    uint64_t tamanho = 0;  // bytes
    uint16_t funcao = 0;
};

// Walks the record stream; a record whose size is impossible ends the file
// with a failure.
class Registros {
public:
    Registros(const Bytes& b, size_t inicio) : b_(b), pos_(inicio) {}

    bool Proximo(Registro& r) {
        if (pos_ >= b_.Tamanho()) return false;
        ++numero_;
        if (!b_.Cabe(pos_, 6)) throw Falha(Onde() + " truncado");
        const uint64_t palavras = b_.U32(pos_);
        if (palavras < 3) throw Falha(Onde() + " com tamanho inválido (" + std::to_string(palavras) + " palavras)");
        if (!b_.Cabe(pos_, palavras * 2)) throw Falha(Onde() + " ultrapassa o fim do arquivo");
        r = {pos_, palavras * 2, b_.U16(pos_ + 4)};
        pos_ += palavras * 2;
        return true;
    }

private:
    std::string Onde() const {
        return "registro " + std::to_string(numero_) + " (deslocamento " + std::to_string(pos_) + ")";
    }
    const Bytes& b_;
    size_t pos_;
    uint64_t numero_ = 0;
};

class LeitorWmf {
public:
    LeitorWmf(std::span<const uint8_t> dados, const Limites& limites)
        : b_(dados), orcamento_(limites), jogador_(orcamento_) {}

    report::ImagemVetorial Ler() {
        if (b_.Tamanho() == 0) throw Falha("arquivo vazio");
        size_t pos = 0;
        std::optional<Retangulo> caixa;
        double polegada = 0;
        if (b_.Tamanho() >= 4 && b_.U32(0) == kChavePosicionavel) {
            if (b_.Tamanho() < 22) throw Falha("cabeçalho posicionável truncado");
            const Retangulo r{double(b_.I16(6)), double(b_.I16(8)), double(b_.I16(10)), double(b_.I16(12))};
            if (r.r != r.l && r.b != r.t) caixa = r;
            polegada = b_.U16(14);
            pos = 22;
        }
        if (!b_.Cabe(pos, 18)) throw Falha("cabeçalho do metarquivo truncado");
        const uint16_t tipo = b_.U16(pos), palavrasCabecalho = b_.U16(pos + 2);
        if ((tipo != 1 && tipo != 2) || palavrasCabecalho < 9)
            throw Falha("não é um metarquivo do Windows (cabeçalho inválido)");
        pos += size_t{palavrasCabecalho} * 2;
        if (pos > b_.Tamanho()) throw Falha("cabeçalho do metarquivo truncado");

        // The picture is the window the file draws in: the placeable box, or
        // else the first window the records set. It maps onto an output
        // rectangle of its own size at the origin, y down.
        if (!caixa) caixa = JanelaDosRegistros(pos);
        std::optional<Retangulo> limites;
        jogador_.ModoMapeamento(Jogador::kAnisotropico);
        if (caixa) {
            const double w = caixa->r - caixa->l, h = caixa->b - caixa->t;
            jogador_.OrigemJanela(caixa->l, caixa->t);
            jogador_.ExtensaoJanela(w, h);
            jogador_.OrigemVisor(0, 0);
            jogador_.ExtensaoVisor(std::fabs(w), std::fabs(h));
            limites = Retangulo{0, 0, std::fabs(w), std::fabs(h)};
        }
        jogador_.PixelsPorMilimetro(polegada > 0 ? polegada / 25.4 : 96 / 25.4);

        Registros registros(b_, pos);
        Registro r;
        while (registros.Proximo(r)) {
            orcamento_.Registro();
            if (r.funcao == kEof) break;
            try {
                Tocar(r);
            } catch (const Curto&) {
                // A record too short for what it says it holds draws nothing.
            }
        }
        return jogador_.Terminar(limites);
    }

private:
    std::optional<Retangulo> JanelaDosRegistros(size_t pos) const {
        Registros registros(b_, pos);
        Registro r;
        std::optional<Ponto> origem, extensao;
        try {
            while ((!origem || !extensao) && registros.Proximo(r) && r.funcao != kEof) {
                if (r.tamanho < 10) continue;
                const Bytes p = b_.Parte(r.posicao + 6, r.tamanho - 6);
                if (r.funcao == kSetWindowOrg && !origem) origem = Ponto{double(p.I16(2)), double(p.I16(0))};
                if (r.funcao == kSetWindowExt && !extensao) extensao = Ponto{double(p.I16(2)), double(p.I16(0))};
            }
        } catch (const Falha&) {
            // The stream's faults are reported by the drawing pass.
        }
        if (!extensao || extensao->x == 0 || extensao->y == 0) return std::nullopt;
        const Ponto o = origem.value_or(Ponto{});
        return Retangulo{o.x, o.y, o.x + extensao->x, o.y + extensao->y};
    }

    static Ponto P(const Bytes& p, size_t o) { return {double(p.I16(o + 2)), double(p.I16(o))}; }  // y, x
    static Retangulo Ret(const Bytes& p, size_t o) {  // bottom, right, top, left
        return {double(p.I16(o + 6)), double(p.I16(o + 4)), double(p.I16(o + 2)), double(p.I16(o))};
    }

    std::vector<Ponto> Pontos(const Bytes& p, size_t o, uint64_t n) {
        p.Exigir(o, n * 4);
        jogador_.Gastar(n);
        std::vector<Ponto> v(n);
        for (uint64_t i = 0; i < n; ++i) v[i] = {double(p.I16(o + 4 * i)), double(p.I16(o + 4 * i + 2))};
        return v;
    }

    void Selecionar(size_t i) {
        if (const Objeto* o = objetos_.De(i)) jogador_.Selecionar(*o);
    }

    void Texto(Ponto ref, const Bytes& p, size_t o, size_t n, uint32_t opcoes, const std::optional<Retangulo>& ret,
               size_t oDx) {
        p.Exigir(o, n);
        std::u16string s(n, u'\0');
        for (size_t i = 0; i < n; ++i) s[i] = static_cast<char16_t>(texto::AnsiParaUnicode(p.U8(o + i)));
        std::vector<double> dx;
        if (oDx && p.Cabe(oDx, uint64_t{n} * 2)) {
            dx.resize(n);
            for (size_t i = 0; i < n; ++i) dx[i] = p.I16(oDx + 2 * i);
        }
        jogador_.Texto(ref, s, dx, opcoes, ret);
    }

    static std::optional<Jogador::Mistura> MisturaDe(uint32_t rop) {
        if (rop == kSrcCopy) return Jogador::Mistura::Copiar;
        if (rop == kSrcPaint) return Jogador::Mistura::PretoTransparente;
        return std::nullopt;
    }

    void Bitmap(const Bytes& dib, uint32_t rop, UsoCores uso, Retangulo origem, const Retangulo& destino,
                bool origemNoDib) {
        const auto mistura = MisturaDe(rop);
        if (!mistura) return;
        auto img = DecodificarDibCompacto(dib, {uso, false}, orcamento_);
        if (!img) return;
        if (origemNoDib && DibDeBaixoParaCima(dib)) {
            // StretchDIBits counts source rows from the bottom of a bottom-up DIB.
            const double h = origem.b - origem.t, topo = img->altura - origem.t - h;
            origem.t = topo;
            origem.b = topo + h;
        }
        jogador_.Bitmap(std::move(img), origem, destino, *mistura);
    }

    void Tocar(const Registro& r) {
        const Bytes p = b_.Parte(r.posicao + 6, r.tamanho - 6);
        switch (r.funcao) {
            case kSetBkColor: jogador_.CorFundo(CorDe(p.U32(0))); break;
            case kSetTextColor: jogador_.CorTexto(CorDe(p.U32(0))); break;
            case kSetBkMode: jogador_.ModoFundo(p.U16(0)); break;
            case kSetMapMode: jogador_.ModoMapeamento(p.U16(0)); break;
            case kSetPolyFillMode: jogador_.ModoPreenchimento(p.U16(0)); break;
            case kSetTextAlign: jogador_.AlinhamentoTexto(p.U16(0)); break;
            case kSetWindowOrg: jogador_.OrigemJanela(p.I16(2), p.I16(0)); break;
            case kSetWindowExt: jogador_.ExtensaoJanela(p.I16(2), p.I16(0)); break;
            case kSetViewportOrg: jogador_.OrigemVisor(p.I16(2), p.I16(0)); break;
            case kSetViewportExt: jogador_.ExtensaoVisor(p.I16(2), p.I16(0)); break;
            case kOffsetWindowOrg: jogador_.DeslocarJanela(p.I16(2), p.I16(0)); break;
            case kOffsetViewportOrg: jogador_.DeslocarVisor(p.I16(2), p.I16(0)); break;
            case kScaleWindowExt: jogador_.EscalarJanela(p.I16(6), p.I16(4), p.I16(2), p.I16(0)); break;
            case kScaleViewportExt: jogador_.EscalarVisor(p.I16(6), p.I16(4), p.I16(2), p.I16(0)); break;
            case kSaveDc: jogador_.Salvar(); break;
            case kRestoreDc: jogador_.Restaurar(p.I16(0)); break;

            case kCreatePenIndirect:
                objetos_.Criar(CanetaDe(p.U16(0), p.I16(2) < 0 ? 0 : p.I16(2), CorDe(p.U32(6))));
                break;
            case kCreateBrushIndirect: objetos_.Criar(PincelDe(p.U16(0), CorDe(p.U32(2)))); break;
            case kCreateFontIndirect: {
                std::u16string face;
                for (size_t i = 18; i < 18 + 32 && p.Cabe(i, 1); ++i) {
                    const uint8_t c = p.U8(i);
                    if (c == 0) break;
                    face.push_back(static_cast<char16_t>(texto::AnsiParaUnicode(c)));
                }
                objetos_.Criar(FonteDe(p.I16(0), p.I16(8), face, p.U8(13)));
                break;
            }
            case kDibCreatePatternBrush: {
                // A picture brush is drawn as its mean colour.
                Pincel pincel{true, {}};
                if (p.U16(0) != 3) {  // BS_PATTERN holds a device-dependent bitmap
                    const UsoCores uso = p.U16(2) == 1 ? UsoCores::Paleta : UsoCores::Rgb;
                    if (auto img = DecodificarDibCompacto(p.Resto(4), {uso, false}, orcamento_))
                        pincel = {false, CorMedia(*img)};
                }
                objetos_.Criar(pincel);
                break;
            }
            case kCreatePatternBrush: objetos_.Criar(Pincel{true, {}}); break;
            case kCreatePalette:
            case kCreateRegion: objetos_.Criar(OutroObjeto{}); break;
            case kSelectObject: Selecionar(p.U16(0)); break;
            case kDeleteObject: objetos_.Apagar(p.U16(0)); break;

            case kMoveTo: jogador_.MoverPara(P(p, 0)); break;
            case kLineTo: jogador_.LinhaPara(P(p, 0)); break;
            case kPolyline:
            case kPolygon: {
                const int16_t n = p.I16(0);
                if (n <= 0) break;
                const auto pts = Pontos(p, 2, static_cast<uint64_t>(n));
                if (r.funcao == kPolygon)
                    jogador_.Poligono(pts);
                else
                    jogador_.Polilinha(pts);
                break;
            }
            case kPolyPolygon: {
                const uint16_t poligonos = p.U16(0);
                p.Exigir(2, uint64_t{poligonos} * 2);
                std::vector<uint32_t> contagens(poligonos);
                uint64_t total = 0;
                for (size_t i = 0; i < poligonos; ++i) total += contagens[i] = p.U16(2 + 2 * i);
                const auto pts = Pontos(p, 2 + size_t{poligonos} * 2, total);
                jogador_.PoliPoligono(pts, contagens);
                break;
            }
            case kRectangle: jogador_.RetanguloDe(Ret(p, 0)); break;
            case kEllipse: jogador_.Elipse(Ret(p, 0)); break;
            case kRoundRect: jogador_.RetanguloArredondado(Ret(p, 4), p.I16(2), p.I16(0)); break;
            case kArc:
            case kPie:
            case kChord: {
                const auto tipo = r.funcao == kArc   ? Jogador::TipoArco::Arco
                                  : r.funcao == kPie ? Jogador::TipoArco::Pizza
                                                     : Jogador::TipoArco::Corda;
                jogador_.Arco(tipo, Ret(p, 8), P(p, 4), P(p, 0));
                break;
            }
            case kPatBlt: {
                const double x = p.I16(10), y = p.I16(8), w = p.I16(6), h = p.I16(4);
                jogador_.Padrao({x, y, x + w, y + h}, p.U32(0));
                break;
            }

            case kTextOut: {
                const int16_t n = p.I16(0);
                if (n <= 0) break;
                const size_t o = 2 + ((static_cast<size_t>(n) + 1) & ~size_t{1});
                Texto(P(p, o), p, 2, static_cast<size_t>(n), 0, std::nullopt, 0);
                break;
            }
            case kExtTextOut: {
                const Ponto ref = P(p, 0);
                const int16_t n = p.I16(4);
                const uint16_t opcoes = p.U16(6);
                size_t o = 8;
                std::optional<Retangulo> ret;
                if (opcoes & 0x0006) {  // ETO_OPAQUE, ETO_CLIPPED
                    ret = Retangulo{double(p.I16(8)), double(p.I16(10)), double(p.I16(12)), double(p.I16(14))};
                    o = 16;
                }
                const size_t len = n > 0 ? static_cast<size_t>(n) : 0;
                const size_t oDx = o + ((len + 1) & ~size_t{1});
                Texto(ref, p, o, len, opcoes, ret, oDx);
                break;
            }

            case kDibBitBlt: {
                // Without a bitmap the record is one word longer than its
                // function's high byte says and fills with the brush.
                if (r.tamanho == (size_t{r.funcao} >> 8) * 2 + 6) {
                    const double x = p.I16(16), y = p.I16(14), w = p.I16(12), h = p.I16(10);
                    jogador_.Padrao({x, y, x + w, y + h}, p.U32(0));
                    break;
                }
                const double xs = p.I16(6), ys = p.I16(4), h = p.I16(8), w = p.I16(10);
                const double xd = p.I16(14), yd = p.I16(12);
                Bitmap(p.Resto(16), p.U32(0), UsoCores::Rgb, {xs, ys, xs + w, ys + h}, {xd, yd, xd + w, yd + h}, false);
                break;
            }
            case kDibStretchBlt: {
                if (r.tamanho == (size_t{r.funcao} >> 8) * 2 + 6) {
                    const double x = p.I16(20), y = p.I16(18), w = p.I16(16), h = p.I16(14);
                    jogador_.Padrao({x, y, x + w, y + h}, p.U32(0));
                    break;
                }
                const double hs = p.I16(4), ws = p.I16(6), ys = p.I16(8), xs = p.I16(10);
                const double hd = p.I16(12), wd = p.I16(14), yd = p.I16(16), xd = p.I16(18);
                Bitmap(p.Resto(20), p.U32(0), UsoCores::Rgb, {xs, ys, xs + ws, ys + hs}, {xd, yd, xd + wd, yd + hd},
                       false);
                break;
            }
            case kStretchDib: {
                const UsoCores uso = p.U16(4) == 1 ? UsoCores::Paleta : UsoCores::Rgb;
                const double hs = p.I16(6), ws = p.I16(8), ys = p.I16(10), xs = p.I16(12);
                const double hd = p.I16(14), wd = p.I16(16), yd = p.I16(18), xd = p.I16(20);
                Bitmap(p.Resto(22), p.U32(0), uso, {xs, ys, xs + ws, ys + hs}, {xd, yd, xd + wd, yd + hd}, true);
                break;
            }
            default: break;
        }
    }

    Bytes b_;
    Orcamento orcamento_;
    Jogador jogador_;
    Objetos objetos_;
};

}  // namespace

Figura LerWmf(std::span<const uint8_t> dados, const Limites& limites) {
    try {
        return std::make_shared<report::ImagemVetorial>(LeitorWmf(dados, limites).Ler());
    } catch (const Curto&) {
        throw Falha("metarquivo truncado");
    }
}

}  // namespace corvexa::metafile
