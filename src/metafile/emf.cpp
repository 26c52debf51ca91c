// Enhanced metafiles: a header record, then records of 32-bit words whose
// offsets count from the start of their record.
#include <cmath>
#include <string>

#include "base/texto.h"
#include "metafile/dib.h"
#include "metafile/jogador.h"
#include "metafile/metafile.h"

namespace corvexa::metafile {
namespace {

constexpr uint32_t kAssinatura = 0x464D4520;  // " EMF"
constexpr uint32_t kMaiorIndice = 65535;
constexpr uint32_t kEstoque = 0x80000000;

enum : uint32_t {
    kHeader = 1,
    kPolyBezier = 2,
    kPolygon = 3,
    kPolyline = 4,
    kPolyBezierTo = 5,
    kPolylineTo = 6,
    kPolyPolyline = 7,
    kPolyPolygon = 8,
    kSetWindowExtEx = 9,
    kSetWindowOrgEx = 10,
    kSetViewportExtEx = 11,
    kSetViewportOrgEx = 12,
    kEof = 14,
    kSetMapMode = 17,
    kSetBkMode = 18,
    kSetPolyFillMode = 19,
    kSetTextAlign = 22,
    kSetTextColor = 24,
    kSetBkColor = 25,
    kMoveToEx = 27,
    kScaleViewportExtEx = 31,
    kScaleWindowExtEx = 32,
    kSaveDc = 33,
    kRestoreDc = 34,
    kSetWorldTransform = 35,
    kModifyWorldTransform = 36,
    kSelectObject = 37,
    kCreatePen = 38,
    kCreateBrushIndirect = 39,
    kDeleteObject = 40,
    kAngleArc = 41,
    kEllipse = 42,
    kRectangle = 43,
    kRoundRect = 44,
    kArc = 45,
    kChord = 46,
    kPie = 47,
    kCreatePalette = 49,
    kLineTo = 54,
    kArcTo = 55,
    kPolyDraw = 56,
    kSetArcDirection = 57,
    kBeginPath = 59,
    kEndPath = 60,
    kCloseFigure = 61,
    kFillPath = 62,
    kStrokeAndFillPath = 63,
    kStrokePath = 64,
    kSelectClipPath = 67,
    kAbortPath = 68,
    kFillRgn = 71,
    kPaintRgn = 74,
    kBitBlt = 76,
    kStretchBlt = 77,
    kStretchDibits = 81,
    kExtCreateFontIndirectW = 82,
    kExtTextOutA = 83,
    kExtTextOutW = 84,
    kPolyBezier16 = 85,
    kPolygon16 = 86,
    kPolyline16 = 87,
    kPolyBezierTo16 = 88,
    kPolylineTo16 = 89,
    kPolyPolyline16 = 90,
    kPolyPolygon16 = 91,
    kPolyDraw16 = 92,
    kCreateMonoBrush = 93,
    kCreateDibPatternBrushPt = 94,
    kExtCreatePen = 95,
    kAlphaBlend = 114,
};

constexpr uint32_t kSrcCopy = 0x00CC0020, kSrcPaint = 0x00EE0086;
constexpr uint32_t kEtoGlyphIndex = 0x10, kEtoNoRect = 0x100, kEtoPdy = 0x2000;

class LeitorEmf {
public:
    LeitorEmf(std::span<const uint8_t> dados, const Limites& limites)
        : b_(dados), orcamento_(limites), jogador_(orcamento_) {}

    report::ImagemVetorial Ler() {
        if (b_.Tamanho() == 0) throw Falha("arquivo vazio");
        if (!b_.Cabe(0, 88)) throw Falha("cabeçalho do metarquivo truncado");
        const uint32_t tamanhoCabecalho = b_.U32(4);
        if (b_.U32(0) != kHeader || b_.U32(40) != kAssinatura)
            throw Falha("não é um metarquivo aprimorado (assinatura ausente)");
        if (tamanhoCabecalho < 88 || !b_.Cabe(0, tamanhoCabecalho))
            throw Falha("cabeçalho do metarquivo com tamanho inválido");

        // Records draw in the reference device's pixels; the picture is the
        // frame (hundredths of a millimetre) in those pixels.
        const double dispX = b_.I32(72), dispY = b_.I32(76), mmX = b_.I32(80), mmY = b_.I32(84);
        const bool referencia = dispX > 0 && dispY > 0 && mmX > 0 && mmY > 0;
        const double pxMmX = referencia ? dispX / mmX : 96 / 25.4, pxMmY = referencia ? dispY / mmY : 96 / 25.4;
        jogador_.PixelsPorMilimetro(pxMmX);
        std::optional<Retangulo> limites;
        const Retangulo quadro{b_.I32(24) * pxMmX / 100, b_.I32(28) * pxMmY / 100, b_.I32(32) * pxMmX / 100,
                               b_.I32(36) * pxMmY / 100};
        const Retangulo contorno{double(b_.I32(8)), double(b_.I32(12)), b_.I32(16) + 1.0, b_.I32(20) + 1.0};
        if (quadro.r > quadro.l && quadro.b > quadro.t)
            limites = quadro;
        else if (contorno.r > contorno.l && contorno.b > contorno.t)
            limites = contorno;

        size_t pos = tamanhoCabecalho;
        uint64_t numero = 1;
        while (pos < b_.Tamanho()) {
            ++numero;
            auto onde = [&] {
                return "registro " + std::to_string(numero) + " (deslocamento " + std::to_string(pos) + ")";
            };
            if (!b_.Cabe(pos, 8)) throw Falha(onde() + " truncado");
            const uint32_t tipo = b_.U32(pos), tamanho = b_.U32(pos + 4);
            if (tamanho < 8) throw Falha(onde() + " com tamanho inválido (" + std::to_string(tamanho) + " bytes)");
            if (!b_.Cabe(pos, tamanho)) throw Falha(onde() + " ultrapassa o fim do arquivo");
            orcamento_.Registro();
            if (tipo == kEof) break;
            try {
                Tocar(tipo, b_.Parte(pos, tamanho));
            } catch (const Curto&) {
                // A record too short for what it says it holds draws nothing.
            }
            pos += tamanho;
        }
        return jogador_.Terminar(limites);
    }

private:
    static Ponto P(const Bytes& r, size_t o) { return {double(r.I32(o)), double(r.I32(o + 4))}; }
    static Retangulo Ret(const Bytes& r, size_t o) {
        return {double(r.I32(o)), double(r.I32(o + 4)), double(r.I32(o + 8)), double(r.I32(o + 12))};
    }
    static Matriz Xform(const Bytes& r, size_t o) {
        return {r.F32(o), r.F32(o + 4), r.F32(o + 8), r.F32(o + 12), r.F32(o + 16), r.F32(o + 20)};
    }

    std::vector<Ponto> Pontos(const Bytes& r, size_t o, uint64_t n, bool curtos) {
        const uint64_t passo = curtos ? 4 : 8;
        r.Exigir(o, n * passo);
        jogador_.Gastar(n);
        std::vector<Ponto> v(n);
        for (uint64_t i = 0; i < n; ++i) {
            const uint64_t q = o + i * passo;
            v[i] = curtos ? Ponto{double(r.I16(q)), double(r.I16(q + 2))} : Ponto{double(r.I32(q)), double(r.I32(q + 4))};
        }
        return v;
    }

    // The object table, indexed by the records themselves (0 is reserved).
    void Guardar(uint32_t indice, Objeto o) {
        if (indice == 0 || indice > kMaiorIndice) return;
        if (indice >= objetos_.size()) objetos_.resize(size_t{indice} + 1);
        objetos_[indice] = std::move(o);
    }
    Objeto Objeto_(uint32_t indice) const {
        if (indice & kEstoque) return ObjetoDeEstoque(indice & ~kEstoque);
        return indice < objetos_.size() ? objetos_[indice] : Objeto{};
    }

    // A DIB given by offsets within its record.
    std::shared_ptr<report::Imagem> Dib(const Bytes& r, size_t o, UsoCores uso, bool alfa) {
        const uint32_t offBmi = r.U32(o), cbBmi = r.U32(o + 4), offBits = r.U32(o + 8), cbBits = r.U32(o + 12);
        if (cbBmi == 0) return nullptr;
        return DecodificarDib(r.Parte(offBmi, cbBmi), r.Parte(offBits, cbBits), {uso, alfa}, orcamento_);
    }

    static UsoCores Uso(uint32_t u) { return u == 1 ? UsoCores::Paleta : UsoCores::Rgb; }

    void Bitmap(const Bytes& r, uint32_t tipo) {
        if (tipo == kStretchDibits) {
            const double xd = r.I32(24), yd = r.I32(28), xs = r.I32(32), ys = r.I32(36);
            const double ws = r.I32(40), hs = r.I32(44), wd = r.I32(72), hd = r.I32(76);
            const uint32_t rop = r.U32(68);
            const Retangulo destino{xd, yd, xd + wd, yd + hd};
            if (r.U32(52) == 0) {
                jogador_.Padrao(destino, rop);
                return;
            }
            const auto mistura = Mistura(rop);
            if (!mistura) return;
            auto img = Dib(r, 48, Uso(r.U32(64)), false);
            if (!img) return;
            // StretchDIBits counts source rows from the bottom of a bottom-up DIB.
            double topo = ys;
            if (DibDeBaixoParaCima(r.Parte(r.U32(48), r.U32(52)))) topo = img->altura - ys - hs;
            jogador_.Bitmap(std::move(img), {xs, topo, xs + ws, topo + hs}, destino, *mistura);
            return;
        }
        // BitBlt, StretchBlt and AlphaBlend share their first fields.
        const double xd = r.I32(24), yd = r.I32(28), wd = r.I32(32), hd = r.I32(36);
        const Retangulo destino{xd, yd, xd + wd, yd + hd};
        const uint32_t rop = r.U32(40);
        const double xs = r.I32(44), ys = r.I32(48);
        double ws = wd, hs = hd;
        if (tipo != kBitBlt) ws = r.I32(100), hs = r.I32(104);
        if (tipo != kAlphaBlend && r.U32(88) == 0) {
            jogador_.Padrao(destino, rop);
            return;
        }
        std::optional<Jogador::Mistura> mistura = Jogador::Mistura::Copiar;
        bool alfa = false;
        uint8_t constante = 255;
        if (tipo == kAlphaBlend) {
            constante = r.U8(42);
            alfa = r.U8(43) & 1;  // AC_SRC_ALPHA
            if (constante == 0) return;
        } else {
            mistura = Mistura(rop);
            if (!mistura) return;
        }
        auto img = Dib(r, 84, Uso(r.U32(80)), alfa);
        if (!img) return;
        if (constante != 255)
            for (uint32_t& px : img->pixels) {
                uint32_t v = 0;
                for (int s = 0; s < 32; s += 8) v |= ((px >> s & 0xFF) * constante + 127) / 255 << s;
                px = v;
            }
        jogador_.Bitmap(std::move(img), {xs, ys, xs + ws, ys + hs}, destino, *mistura);
    }

    static std::optional<Jogador::Mistura> Mistura(uint32_t rop) {
        if (rop == kSrcCopy) return Jogador::Mistura::Copiar;
        if (rop == kSrcPaint) return Jogador::Mistura::PretoTransparente;
        return std::nullopt;
    }

    void Texto(const Bytes& r, bool largo) {
        const Ponto ref = P(r, 36);
        const uint32_t n = r.U32(44), offString = r.U32(48), opcoes = r.U32(52);
        if (opcoes & kEtoGlyphIndex) return;  // glyph numbers of a font we do not have
        std::optional<Retangulo> ret;
        size_t oDx = 72;
        if (opcoes & kEtoNoRect)
            oDx = 56;
        else
            ret = Ret(r, 56);
        const uint64_t unidade = largo ? 2 : 1;
        r.Exigir(offString, uint64_t{n} * unidade);
        std::u16string s(n, u'\0');
        for (uint32_t i = 0; i < n; ++i)
            s[i] = largo ? static_cast<char16_t>(r.U16(offString + 2 * uint64_t{i}))
                         : static_cast<char16_t>(texto::AnsiParaUnicode(r.U8(offString + i)));
        std::vector<double> dx;
        const uint32_t offDx = r.U32(oDx);
        const uint64_t passo = opcoes & kEtoPdy ? 8 : 4;
        if (offDx != 0 && r.Cabe(offDx, uint64_t{n} * passo)) {
            dx.resize(n);
            for (uint32_t i = 0; i < n; ++i) dx[i] = r.I32(offDx + passo * i);
        }
        jogador_.Texto(ref, s, dx, opcoes, ret);
    }

    void Regiao(const Bytes& r, size_t o, const Pincel& pincel) {
        const uint32_t tamanho = r.U32(24);
        const Bytes dados = r.Parte(o, tamanho);
        const uint32_t cabecalho = dados.U32(0), n = dados.U32(8);
        if (cabecalho < 32) return;
        dados.Exigir(cabecalho, uint64_t{n} * 16);
        jogador_.Gastar(n);
        for (uint32_t i = 0; i < n; ++i) jogador_.Preencher(Ret(dados, cabecalho + 16 * uint64_t{i}), pincel);
    }

    void Tocar(uint32_t tipo, const Bytes& r) {
        switch (tipo) {
            case kSetWindowExtEx: jogador_.ExtensaoJanela(r.I32(8), r.I32(12)); break;
            case kSetWindowOrgEx: jogador_.OrigemJanela(r.I32(8), r.I32(12)); break;
            case kSetViewportExtEx: jogador_.ExtensaoVisor(r.I32(8), r.I32(12)); break;
            case kSetViewportOrgEx: jogador_.OrigemVisor(r.I32(8), r.I32(12)); break;
            case kScaleViewportExtEx: jogador_.EscalarVisor(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
            case kScaleWindowExtEx: jogador_.EscalarJanela(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
            case kSetMapMode: jogador_.ModoMapeamento(static_cast<int>(r.U32(8))); break;
            case kSetBkMode: jogador_.ModoFundo(static_cast<int>(r.U32(8))); break;
            case kSetPolyFillMode: jogador_.ModoPreenchimento(static_cast<int>(r.U32(8))); break;
            case kSetTextAlign: jogador_.AlinhamentoTexto(r.U32(8)); break;
            case kSetTextColor: jogador_.CorTexto(CorDe(r.U32(8))); break;
            case kSetBkColor: jogador_.CorFundo(CorDe(r.U32(8))); break;
            case kSetArcDirection: jogador_.DirecaoArco(static_cast<int>(r.U32(8))); break;
            case kSaveDc: jogador_.Salvar(); break;
            case kRestoreDc: jogador_.Restaurar(r.I32(8)); break;
            case kSetWorldTransform: jogador_.Mundo(Xform(r, 8)); break;
            case kModifyWorldTransform: jogador_.ModificarMundo(Xform(r, 8), r.U32(32)); break;

            case kCreatePen: Guardar(r.U32(8), CanetaDe(r.U32(12), r.I32(16), CorDe(r.U32(24)))); break;
            case kExtCreatePen: {
                const uint32_t estilo = r.U32(28);
                const bool geometrica = (estilo & 0x000F0000) == 0x00010000;
                Caneta c = CanetaDe(estilo, geometrica ? double(r.U32(32)) : 0, CorDe(r.U32(40)));
                if (r.U32(36) == 1) c.nula = true;  // drawn with a hollow brush
                Guardar(r.U32(8), c);
                break;
            }
            case kCreateBrushIndirect: Guardar(r.U32(8), PincelDe(r.U32(12), CorDe(r.U32(16)))); break;
            case kCreateMonoBrush:
            case kCreateDibPatternBrushPt: {
                // A picture brush is drawn as its mean colour.
                Pincel p{true, {}};
                if (auto img = Dib(r, 16, Uso(r.U32(12)), false)) p = {false, CorMedia(*img)};
                Guardar(r.U32(8), p);
                break;
            }
            case kExtCreateFontIndirectW: {
                std::u16string face(32, u'\0');
                for (size_t i = 0; i < 32; ++i) face[i] = static_cast<char16_t>(r.U16(40 + 2 * i));
                Guardar(r.U32(8), FonteDe(r.I32(12), r.I32(28), face, r.U8(35)));
                break;
            }
            case kCreatePalette: Guardar(r.U32(8), OutroObjeto{}); break;
            case kSelectObject: jogador_.Selecionar(Objeto_(r.U32(8))); break;
            case kDeleteObject: {
                const uint32_t i = r.U32(8);
                if (!(i & kEstoque) && i < objetos_.size()) objetos_[i] = std::monostate{};
                break;
            }

            case kMoveToEx: jogador_.MoverPara(P(r, 8)); break;
            case kLineTo: jogador_.LinhaPara(P(r, 8)); break;
            case kPolyBezier: case kPolygon: case kPolyline: case kPolyBezierTo: case kPolylineTo:
            case kPolyBezier16: case kPolygon16: case kPolyline16: case kPolyBezierTo16: case kPolylineTo16: {
                const bool curtos = tipo >= kPolyBezier16;
                const auto pts = Pontos(r, 28, r.U32(24), curtos);
                switch (curtos ? tipo - kPolyBezier16 + kPolyBezier : tipo) {
                    case kPolyBezier: jogador_.Bezier(pts); break;
                    case kPolygon: jogador_.Poligono(pts); break;
                    case kPolyline: jogador_.Polilinha(pts); break;
                    case kPolyBezierTo: jogador_.BezierAte(pts); break;
                    default: jogador_.PolilinhaAte(pts); break;
                }
                break;
            }
            case kPolyPolyline: case kPolyPolygon: case kPolyPolyline16: case kPolyPolygon16: {
                const uint32_t n = r.U32(24), total = r.U32(28);
                r.Exigir(32, uint64_t{n} * 4);
                jogador_.Gastar(n);
                std::vector<uint32_t> contagens(n);
                uint64_t soma = 0;
                for (uint32_t i = 0; i < n; ++i) soma += contagens[i] = r.U32(32 + 4 * uint64_t{i});
                if (soma != total) break;
                const bool curtos = tipo == kPolyPolyline16 || tipo == kPolyPolygon16;
                const auto pts = Pontos(r, 32 + 4 * uint64_t{n}, total, curtos);
                if (tipo == kPolyPolygon || tipo == kPolyPolygon16)
                    jogador_.PoliPoligono(pts, contagens);
                else
                    jogador_.PoliPolilinha(pts, contagens);
                break;
            }
            case kPolyDraw:
            case kPolyDraw16: {
                const uint32_t n = r.U32(24);
                const bool curtos = tipo == kPolyDraw16;
                const auto pts = Pontos(r, 28, n, curtos);
                const uint64_t oTipos = 28 + uint64_t{n} * (curtos ? 4 : 8);
                r.Exigir(oTipos, n);
                jogador_.PoliDesenho(pts, r.Dados().subspan(oTipos, n));
                break;
            }
            case kRectangle: jogador_.RetanguloDe(Ret(r, 8)); break;
            case kRoundRect: jogador_.RetanguloArredondado(Ret(r, 8), r.I32(24), r.I32(28)); break;
            case kEllipse: jogador_.Elipse(Ret(r, 8)); break;
            case kArc: jogador_.Arco(Jogador::TipoArco::Arco, Ret(r, 8), P(r, 24), P(r, 32)); break;
            case kArcTo: jogador_.Arco(Jogador::TipoArco::ArcoAte, Ret(r, 8), P(r, 24), P(r, 32)); break;
            case kChord: jogador_.Arco(Jogador::TipoArco::Corda, Ret(r, 8), P(r, 24), P(r, 32)); break;
            case kPie: jogador_.Arco(Jogador::TipoArco::Pizza, Ret(r, 8), P(r, 24), P(r, 32)); break;
            case kAngleArc: jogador_.AnguloArco(P(r, 8), r.U32(16), r.F32(20), r.F32(24)); break;

            case kBeginPath: jogador_.IniciarCaminho(); break;
            case kEndPath: jogador_.TerminarCaminho(); break;
            case kCloseFigure: jogador_.FecharFigura(); break;
            case kFillPath: jogador_.PreencherCaminho(); break;
            case kStrokePath: jogador_.TracarCaminho(); break;
            case kStrokeAndFillPath: jogador_.TracarEPreencherCaminho(); break;
            case kAbortPath:
            case kSelectClipPath: jogador_.DescartarCaminho(); break;

            case kFillRgn: {
                const Objeto o = Objeto_(r.U32(28));
                if (const auto* p = std::get_if<Pincel>(&o)) Regiao(r, 32, *p);
                break;
            }
            case kPaintRgn: Regiao(r, 28, jogador_.PincelAtual()); break;

            case kBitBlt:
            case kStretchBlt:
            case kStretchDibits:
            case kAlphaBlend: Bitmap(r, tipo); break;

            case kExtTextOutA: Texto(r, false); break;
            case kExtTextOutW: Texto(r, true); break;
            default: break;
        }
    }

    Bytes b_;
    Orcamento orcamento_;
    Jogador jogador_;
    std::vector<Objeto> objetos_;
};

}  // namespace

Figura LerEmf(std::span<const uint8_t> dados, const Limites& limites) {
    try {
        return std::make_shared<report::ImagemVetorial>(LeitorEmf(dados, limites).Ler());
    } catch (const Curto&) {
        throw Falha("metarquivo truncado");
    }
}

}  // namespace corvexa::metafile
