// Writes the seed corpus of the metafile fuzz targets: the logos of the
// tests and files that use the other records the player knows.
//   fuzz_gerar_sementes <folder>   (writes <folder>/wmf/*.wmf and <folder>/emf/*.emf)
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "amostras.h"

using namespace amostras;

namespace {

uint32_t Real(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return u;
}

Bytes WmfFiguras() {
    Wmf w;
    w.ModoMapa(8).JanelaOrg(0, 1000).JanelaExt(1000, -1000);
    w.R(0x001E, {});                                          // SaveDC
    w.Caneta(Rgb(0, 0, 128), 12, 0x2200).Pincel(Rgb(255, 200, 0)).Selecionar(0).Selecionar(1);
    w.R(0x0817, {900, 100, 900, 300, 700, 300, 900, 100});    // Arc
    w.R(0x081A, {500, 600, 500, 800, 400, 600, 600, 400});    // Pie
    w.R(0x0830, {300, 100, 300, 300, 100, 300, 300, 100});    // Chord
    w.R(0x061C, {80, 80, 100, 900, 300, 600});                // RoundRect
    w.R(0x0106, {2});                                          // winding
    w.R(0x0538, {2, 4, 3, 0, 0, 200, 0, 200, 200, 0, 200, 50, 50, 150, 50, 100, 150});  // PolyPolygon
    w.R(0x0127, {-1});                                         // RestoreDC
    w.R(0x0214, {500, 500}).R(0x0213, {900, 900});            // MoveTo, LineTo
    w.R(0x0325, {3, 10, 10, 20, 40, 30, 10});                 // Polyline
    w.R(0x061D, {0x0021, 0x00F0, 50, 50, 950, 950});          // PatBlt PATCOPY
    Bytes t;
    for (int v : {700, 100, 5, 0x0002, 100, 690, 400, 720}) U16(t, static_cast<uint32_t>(v));  // y, x, len, ETO_OPAQUE, rect
    for (char c : std::string("Texto")) t.push_back(static_cast<uint8_t>(c));
    t.push_back(0);
    for (int v : {50, 50, 50, 50, 50}) U16(t, static_cast<uint32_t>(v));
    w.Fonte(-60, 400, "Courier New").Selecionar(2).Bruto(0x0A32, t);  // ExtTextOut
    Bytes pincel;
    U16(pincel, 5), U16(pincel, 0);
    const Bytes padrao = Dib(2, 2, 24, {0xFF0000, 0x0000FF, 0x0000FF, 0xFF0000});
    pincel.insert(pincel.end(), padrao.begin(), padrao.end());
    w.Bruto(0x0142, pincel).Selecionar(3).Retangulo(600, 100, 900, 200);  // DIB pattern brush
    w.Apagar(3).Apagar(0);
    Bytes blt;
    U32(blt, 0x00CC0020);
    for (int v : {0, 0, 2, 2, 10, 10}) U16(blt, static_cast<uint32_t>(v));
    blt.insert(blt.end(), padrao.begin(), padrao.end());
    w.Bruto(0x0940, blt);                                      // DIBBITBLT
    Bytes stretch;
    U32(stretch, 0x00EE0086);
    for (int v : {2, 2, 0, 0, 100, 100, 800, 800}) U16(stretch, static_cast<uint32_t>(v));
    stretch.insert(stretch.end(), padrao.begin(), padrao.end());
    w.Bruto(0x0B41, stretch);                                  // DIBSTRETCHBLT, SRCPAINT
    return w.Arquivo(false);
}

Bytes WmfBitmaps() {
    Wmf w;
    const std::vector<uint32_t> px = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000};
    const std::vector<uint32_t> paleta = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000};
    int x = 0;
    for (int bits : {1, 4, 8, 24, 32}) {
        const bool indexado = bits <= 8;
        const auto cores = bits == 1 ? std::vector<uint32_t>{0xFF0000, 0x000000} : paleta;
        const auto pixels = bits == 1 ? std::vector<uint32_t>{0xFF0000, 0x000000, 0x000000, 0xFF0000} : px;
        w.StretchDib(x, 0, 180, 1000, Dib(2, 2, bits, pixels, indexado ? cores : std::vector<uint32_t>{}, bits % 2 == 0),
                     2, 2);
        x += 200;
    }
    return w.Arquivo(true, 0, 0, 1000, 1000, 1440);
}

Bytes EmfCaminhos() {
    Emf e;
    e.ModoMapa(7).JanelaExt(2000, 2000).VisorExt(1000, 1000).JanelaOrg(0, 0);
    e.R(35, {Real(1), Real(0.1f), Real(-0.1f), Real(1), Real(20), Real(10)});  // SetWorldTransform
    e.R(95, {1, 0, 0, 0, 0, 0x00012200, 30, 0, Rgb(0, 128, 0), 0, 0});          // ExtCreatePen
    e.Pincel(2, Rgb(200, 0, 200)).Selecionar(1).Selecionar(2);
    e.IniciarCaminho();
    e.R(27, {100, 100});                                                             // MoveToEx
    e.R(88, {0, 0, 0, 0, 3, 300 | 100 << 16, 500 | 400 << 16, 100 | 600 << 16});  // PolyBezierTo16
    e.R(89, {0, 0, 0, 0, 1, 50 | 300 << 16});                                       // PolylineTo16
    e.R(61, {});                                                                     // CloseFigure
    e.R(91, {0, 0, 0, 0, 2, 7, 3, 4, 0, 800 << 16, 400 | 800 << 16, 900 | 900 << 16, 950 | 950 << 16, 1000 | 950 << 16, 1000 | 1000 << 16});
    e.TerminarCaminho().R(63, {0, 0, 0, 0});                                        // StrokeAndFillPath
    e.R(36, {Real(1), 0, 0, Real(1), 0, 0, 1});                                     // ModifyWorldTransform: identity
    e.R(57, {2});                                                                    // clockwise arcs
    e.R(45, {1000, 1000, 1400, 1400, 1400, 1200, 1200, 1000});                     // Arc
    e.R(46, {1000, 1500, 1400, 1900, 1400, 1700, 1200, 1500});                     // Chord
    e.R(47, {1500, 1000, 1900, 1400, 1900, 1200, 1700, 1000});                     // Pie
    e.R(55, {1500, 1500, 1900, 1900, 1900, 1700, 1700, 1500});                     // ArcTo
    e.R(41, {300, 1500, 200, Real(30), Real(240)});                                 // AngleArc
    e.R(44, {100, 1100, 700, 1400, 100, 60});                                        // RoundRect
    e.R(92, {0, 0, 0, 0, 4, 10 | 10 << 16, 20 | 40 << 16, 30 | 10 << 16, 40 | 40 << 16, 0x03020206});  // PolyDraw16
    e.Salvar().ModoMapa(8).VisorExt(500, -500).Elipse(0, 0, 500, 500).Restaurar(-1);
    e.ModoMapa(2).Retangulo(0, 0, 100, -100).ModoMapa(1);
    e.R(2, {0, 0, 0, 0, 4, 0, 0, 100, 300, 200, -100, 300, 200});                   // PolyBezier
    e.R(7, {0, 0, 0, 0, 2, 4, 2, 2, 0, 0, 10, 10, 20, 0, 30, 10});                  // PolyPolyline
    e.Apagar(1).Apagar(2);
    return e.Arquivo(0, 0, 1000, 1000);
}

Bytes EmfTextos() {
    Emf e;
    e.Fonte(1, -80, 700, u"Tahoma").Selecionar(1).CorTexto(Rgb(0, 0, 160));
    e.R(25, {Rgb(255, 255, 200)});                            // SetBkColor
    e.ModoFundo(2).AlinhamentoTexto(6 | 24).Texto(500, 200, u"Centro", {40, 40, 40, 40, 40, 40});
    e.ModoFundo(1).AlinhamentoTexto(2 | 8).Texto(950, 400, u"Direita\U0001F600");
    e.Fonte(2, 60, 400, u"Courier New").Selecionar(2).AlinhamentoTexto(1).R(27, {50, 600});
    e.Texto(0, 0, u"Atual").Texto(0, 0, u"Segue");
    Bytes a;
    for (int i = 0; i < 4; ++i) U32(a, 0);
    for (uint32_t v : {1u, 0u, 0u, 50u, 800u, 5u, 76u, 2u, 40u, 780u, 400u, 830u, 0u}) U32(a, v);  // ETO_OPAQUE rect
    for (char c : std::string("Ansi\xE7")) a.push_back(static_cast<uint8_t>(c));
    e.Bruto(83, a);                                           // ExtTextOutA
    e.Fonte(3, -50, 400, u"Wingdings", 2).Selecionar(3).Texto(0, 900, u"x");
    return e.Arquivo(0, 0, 1000, 1000);
}

Bytes EmfBitmaps() {
    Emf e;
    const std::vector<uint32_t> px = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    int x = 0;
    for (int bits : {1, 4, 8, 24, 32}) {
        const bool indexado = bits <= 8;
        const auto cores = bits == 1 ? std::vector<uint32_t>{0xFF0000, 0xFFFFFF} : px;
        const auto pixels = bits == 1 ? std::vector<uint32_t>{0xFF0000, 0xFFFFFF, 0xFFFFFF, 0xFF0000} : px;
        e.StretchDib(x, 0, 180, 300, Dib(2, 2, bits, pixels, indexado ? cores : std::vector<uint32_t>{}, bits == 8), 2, 2);
        x += 200;
    }
    const Bytes dib = Dib(2, 2, 32, px);
    auto blt = [&](uint32_t tipo, std::initializer_list<uint32_t> antes, uint32_t rop, bool esticar) {
        Bytes p;
        for (int i = 0; i < 4; ++i) U32(p, 0);
        for (uint32_t v : antes) U32(p, v);
        U32(p, rop);
        U32(p, 0), U32(p, 0);                                  // source origin
        for (float v : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}) U32(p, Real(v));
        U32(p, 0), U32(p, 0);                                  // background, DIB_RGB_COLORS
        const uint32_t inicio = esticar ? 108 : 100;
        U32(p, inicio), U32(p, 40), U32(p, inicio + 40), U32(p, static_cast<uint32_t>(dib.size() - 40));
        if (esticar) U32(p, 2), U32(p, 2);
        p.insert(p.end(), dib.begin(), dib.end());
        e.Bruto(tipo, p);
    };
    blt(76, {0, 400, 2, 2}, 0x00CC0020, false);                // BitBlt
    blt(77, {100, 400, 300, 200}, 0x00CC0020, true);           // StretchBlt
    blt(114, {500, 400, 300, 200}, 0x01800000, true);          // AlphaBlend, constant alpha 128, per-pixel alpha
    e.Pincel(1, Rgb(0, 100, 0)).Selecionar(1);
    e.R(76, {0, 0, 0, 0, 0, 700, 100, 100, 0x00F00021, 0, 0, Real(1), 0, 0, Real(1), 0, 0, 0, 0, 0, 0, 0, 0});  // PatBlt form
    e.R(71, {0, 0, 0, 0, 64, 1, 32, 1, 2, 32, 0, 0, 0, 0, 200, 700, 300, 800, 400, 700, 500, 800});  // FillRgn
    Bytes pincel;
    U32(pincel, 2), U32(pincel, 0), U32(pincel, 32), U32(pincel, 40), U32(pincel, 72), U32(pincel, 16);
    const Bytes padrao = Dib(2, 2, 24, {0xFF0000, 0x0000FF, 0x0000FF, 0xFF0000});
    pincel.insert(pincel.end(), padrao.begin(), padrao.end());
    e.Bruto(94, pincel).Selecionar(2).Elipse(600, 700, 900, 950);  // DIB pattern brush
    return e.Arquivo(0, 0, 1000, 1000);
}

void Gravar(const std::filesystem::path& p, const Bytes& b) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "uso: %s <pasta>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path pasta = argv[1];
    Gravar(pasta / "wmf" / "logo.wmf", LogoWmf());
    Gravar(pasta / "wmf" / "figuras.wmf", WmfFiguras());
    Gravar(pasta / "wmf" / "bitmaps.wmf", WmfBitmaps());
    Gravar(pasta / "emf" / "logo.emf", LogoEmf());
    Gravar(pasta / "emf" / "caminhos.emf", EmfCaminhos());
    Gravar(pasta / "emf" / "textos.emf", EmfTextos());
    Gravar(pasta / "emf" / "bitmaps.emf", EmfBitmaps());
    return 0;
}
