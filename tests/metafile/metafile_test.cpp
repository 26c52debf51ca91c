#include "metafile/metafile.h"

#include <unistd.h>

#include <cairo.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "amostras.h"
#include "base/falha.h"
#include "fontes/metricas.h"
#include "render/dispositivos.h"

using namespace corvexa;
using namespace amostras;
using report::ComandoBitmap;
using report::ComandoCaminho;
using report::ComandoTexto;
namespace fs = std::filesystem;

namespace {

// The emitter box of the portrait layout, on a small page.
constexpr report::Caixa kCaixa{1323, 18785, 25400, 22754};
constexpr int kDpi = 254;  // 0.1 mm per pixel

metafile::Figura Ler(bool wmf, const Bytes& b, const metafile::Limites& l = {}) {
    return wmf ? metafile::LerWmf(b, l) : metafile::LerEmf(b, l);
}

report::Pagina PaginaCom(const metafile::Figura& f) {
    report::Pagina p;
    p.largura = 30000;
    p.altura = 45000;
    p.itens.push_back(report::ItemImagem{kCaixa, nullptr, "82", f});
    return p;
}

uint32_t Cor(const report::Imagem& img, double x, double y) {  // x, y in thousandths of a millimetre
    const int px = static_cast<int>(x * kDpi / 25400), py = static_cast<int>(y * kDpi / 25400);
    return img.pixels[static_cast<size_t>(py) * img.largura + px] & 0xFFFFFF;
}

// A point of a 1000 x 1000 picture in the emitter box, in page units.
double X(double u) { return kCaixa.x + u * kCaixa.w / 1000; }
double Y(double u) { return kCaixa.y + u * kCaixa.h / 1000; }

// Dark pixels in a rectangle of the picture's units.
int Escuros(const report::Imagem& img, double x0, double y0, double x1, double y1) {
    int n = 0;
    for (double y = y0; y < y1; y += 5)
        for (double x = x0; x < x1; x += 5) {
            const uint32_t c = Cor(img, X(x), Y(y));
            if ((c >> 16 & 0xFF) < 96 && (c >> 8 & 0xFF) < 96 && (c & 0xFF) < 96) ++n;
        }
    return n;
}

// Copies of the commands of a kind, so that they outlive the picture.
template <class T>
std::vector<T> Comandos(const report::ImagemVetorial& v) {
    std::vector<T> r;
    for (const auto& c : v.comandos)
        if (const T* t = std::get_if<T>(&c)) r.push_back(*t);
    return r;
}

std::string Falhou(const std::function<void()>& f) {
    try {
        f();
    } catch (const Falha& e) {
        return e.what();
    }
    return "";
}

bool TemFerramenta(const char* nome) {
    return std::system((std::string("command -v ") + nome + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Executar(const std::string& comando) {
    std::string saida;
    if (FILE* p = popen(comando.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) saida.append(buf, n);
        pclose(p);
    }
    return saida;
}

struct Pasta {
    fs::path caminho;
    Pasta() {
        char modelo[] = "/tmp/corvexa-metafile-XXXXXX";
        if (mkdtemp(modelo)) caminho = modelo;
    }
    ~Pasta() { fs::remove_all(caminho); }
    std::string Gravar(const std::string& nome, const Bytes& b) const {
        const fs::path p = caminho / nome;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return p.string();
    }
};

}  // namespace

// The same logo in both kinds lands where it is drawn, stretched over the
// whole emitter box and nothing outside it.
TEST(Metarquivo, LogoDesenhadoNaCaixaDoEmitente) {
    for (const bool wmf : {true, false}) {
        SCOPED_TRACE(wmf ? "wmf" : "emf");
        const auto figura = Ler(wmf, wmf ? LogoWmf() : LogoEmf());
        EXPECT_DOUBLE_EQ(figura->largura, 1000);
        EXPECT_DOUBLE_EQ(figura->altura, 1000);
        const report::Imagem img = render::RasterizarPagina(PaginaCom(figura), kDpi);

        EXPECT_EQ(Cor(img, X(250), Y(250)), 0xFF0000u);  // polygon
        EXPECT_EQ(Cor(img, X(60), Y(60)), 0xFF0000u);
        EXPECT_EQ(Cor(img, X(750), Y(250)), 0x0000FFu);  // ellipse
        EXPECT_EQ(Cor(img, X(560), Y(60)), 0xFFFFFFu);   // outside the ellipse, inside its box
        EXPECT_EQ(Cor(img, X(750), Y(750)), 0x00C000u);  // bitmap
        EXPECT_EQ(Cor(img, X(560), Y(940)), 0x00C000u);
        EXPECT_EQ(Cor(img, X(500), Y(500)), 0xFFFFFFu);
        // "LOGO", 200 units high on the baseline 900: ink above it, none below.
        EXPECT_GT(Escuros(img, 50, 760, 500, 900), 100);
        EXPECT_EQ(Escuros(img, 50, 910, 500, 1000), 0);
        EXPECT_EQ(Escuros(img, 50, 500, 500, 740), 0);
        // Nothing beyond the box.
        EXPECT_EQ(Cor(img, kCaixa.x - 200, Y(250)), 0xFFFFFFu);
        EXPECT_EQ(Cor(img, X(250), kCaixa.y - 200), 0xFFFFFFu);
    }
}

// A picture of any proportions fills the box, and what it draws beyond its
// own bounds is cut at the box's edge.
TEST(Metarquivo, EsticadaNaCaixaSemManterProporcao) {
    Wmf w;
    w.Pincel(kVermelho).Selecionar(0).Caneta(0, 0, 5).Selecionar(1);  // null pen
    w.Retangulo(-500, -500, 2500, 1000);
    const auto figura = metafile::LerWmf(w.Arquivo(true, 0, 0, 2000, 500));
    const report::Imagem img = render::RasterizarPagina(PaginaCom(figura), kDpi);
    const double x1 = kCaixa.x + kCaixa.w, y1 = kCaixa.y + kCaixa.h;
    for (auto [x, y] : {std::pair{kCaixa.x + 50.0, kCaixa.y + 50.0}, {x1 - 150.0, kCaixa.y + 50.0},
                        {kCaixa.x + 50.0, y1 - 150.0}, {x1 - 150.0, y1 - 150.0}})
        EXPECT_EQ(Cor(img, x, y), 0xFF0000u) << x << ", " << y;
    for (auto [x, y] : {std::pair{kCaixa.x - 150.0, kCaixa.y + 500.0}, {x1 + 150.0, kCaixa.y + 500.0},
                        {kCaixa.x + 500.0, kCaixa.y - 150.0}, {kCaixa.x + 500.0, y1 + 150.0}})
        EXPECT_EQ(Cor(img, x, y), 0xFFFFFFu) << x << ", " << y;
}

// In a PDF the picture stays vector: shapes and text, no image.
TEST(Metarquivo, PdfGuardaAFiguraComoVetor) {
    if (!TemFerramenta("pdfimages") || !TemFerramenta("pdftotext") || !TemFerramenta("pdftoppm"))
        GTEST_SKIP() << "poppler-utils missing";
    Wmf w;
    w.ModoMapa(8).JanelaExt(1000, 1000).ModoFundo(1);
    w.Pincel(kVermelho).Selecionar(0).Poligono({{50, 50}, {450, 50}, {450, 450}, {50, 450}});
    w.Fonte(-200, 400, "Arial").Selecionar(1).AlinhamentoTexto(24).Texto(50, 900, "LOGO");
    report::Documento d;
    d.paginas.push_back(PaginaCom(metafile::LerWmf(w.Arquivo(false))));
    Pasta pasta;
    const std::string pdf = (pasta.caminho / "logo.pdf").string();
    render::EscreverPdf(d, pdf);

    const std::string imagens = Executar("pdfimages -list '" + pdf + "'");
    EXPECT_NE(imagens.find("-----"), std::string::npos) << imagens;
    EXPECT_EQ(imagens.find("image"), std::string::npos) << imagens;
    EXPECT_NE(Executar("pdftotext '" + pdf + "' -").find("LOGO"), std::string::npos);

    // Drawn where the raster device draws it.
    const std::string png = (pasta.caminho / "logo").string();
    Executar("pdftoppm -r " + std::to_string(kDpi) + " -png -singlefile '" + pdf + "' '" + png + "'");
    cairo_surface_t* s = cairo_image_surface_create_from_png((png + ".png").c_str());
    ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
    const auto* dados = cairo_image_surface_get_data(s);
    const int passo = cairo_image_surface_get_stride(s);
    auto cor = [&](double x, double y) {
        const int px = static_cast<int>(x * kDpi / 25400), py = static_cast<int>(y * kDpi / 25400);
        return *reinterpret_cast<const uint32_t*>(dados + static_cast<ptrdiff_t>(py) * passo + 4 * px) & 0xFFFFFF;
    };
    EXPECT_EQ(cor(X(250), Y(250)), 0xFF0000u);
    EXPECT_EQ(cor(X(250), Y(500)), 0xFFFFFFu);
    cairo_surface_destroy(s);
}

// A picture whose parts land at absurd sizes on the page (a text metres
// high, a bitmap pixel thinner than any device pixel, a pen wider than the
// page) draws what it can and leaves the rest of the page drawn.
TEST(Metarquivo, FiguraExtremaNaoEstragaAPagina) {
    auto v = std::make_shared<report::ImagemVetorial>();
    v->largura = 1;
    v->altura = 30000;
    ComandoTexto t;
    t.texto = "LOGO";
    t.tamanho = 6000;
    t.origem = {0, 20000};
    auto img = std::make_shared<report::Imagem>();
    img->largura = img->altura = 1;
    img->pixels = {0xFF00FF00u};
    ComandoBitmap b{img, 0, 0, 1e-30, 1e-30};
    ComandoCaminho c;
    c.segmentos = {report::Segmento::Mover, report::Segmento::Linha};
    c.pontos = {{0, 0}, {1, 30000}};
    c.traco = report::Traco{{0, 0, 255}, 1e300};
    v->comandos = {t, b, c};
    report::Pagina p = PaginaCom(v);
    p.itens.push_back(report::ItemRetangulo{{20000, 1000, 5000, 5000}, false, true, ""});
    for (int dpi : {72, 600}) {
        report::Imagem r;
        ASSERT_NO_THROW(r = render::RasterizarPagina(p, dpi));
        const int x = 20130 * dpi / 25400, y = 3000 * dpi / 25400;
        EXPECT_EQ(r.pixels[static_cast<size_t>(y) * r.largura + x] & 0xFFFFFF, 0u) << dpi;  // the outline after it
    }
    report::Documento d;
    d.paginas.push_back(p);
    EXPECT_NO_THROW(render::GerarPdf(d));
}

// Mapping modes, window and viewport, world transform and saved states put
// the same figure where Windows puts it.
TEST(Metarquivo, MapeamentoEEstados) {
    // A y-up window: the square at the top of the window is at the top of the picture.
    {
        Wmf w;
        w.ModoMapa(8).JanelaOrg(0, 1000).JanelaExt(1000, -1000);
        w.Pincel(kAzul).Selecionar(0).Retangulo(0, 1000, 100, 900);
        const auto f = metafile::LerWmf(w.Arquivo(false));
        EXPECT_DOUBLE_EQ(f->altura, 1000);
        const auto c = Comandos<ComandoCaminho>(*f);
        ASSERT_EQ(c.size(), 1u);
        EXPECT_EQ(c[0].pontos[0], (report::PontoV{0, 0}));
        EXPECT_EQ(c[0].pontos[2], (report::PontoV{100, 100}));
    }
    struct Caso {
        const char* nome;
        std::function<void(Emf&)> mapa;
        report::PontoV esperado;  // where logical (10, 10) lands
    };
    const Caso casos[] = {
        {"texto", [](Emf& e) { e.JanelaOrg(5, -5); }, {5, 15}},
        {"isotropico", [](Emf& e) { e.ModoMapa(7).JanelaExt(100, 100).VisorExt(400, 200); }, {20, 20}},
        {"anisotropico", [](Emf& e) { e.ModoMapa(8).JanelaExt(100, 100).VisorExt(400, 200).VisorOrg(1, 2); }, {41, 22}},
        {"mundo",  // scale 2, then move by (100, 50)
         [](Emf& e) {
             Bytes x;
             for (float v : {2.0f, 0.0f, 0.0f, 2.0f, 100.0f, 50.0f}) {
                 uint32_t u;
                 std::memcpy(&u, &v, 4);
                 U32(x, u);
             }
             e.Bruto(35, x);
         },
         {120, 70}},
        {"estado restaurado", [](Emf& e) { e.Salvar().ModoMapa(8).JanelaExt(1, 1).VisorExt(9, 9).Restaurar(-1); }, {10, 10}},
        {"restauracao sem salvamento", [](Emf& e) { e.Restaurar(-1).Restaurar(3); }, {10, 10}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        Emf e;
        c.mapa(e);
        e.Pincel(1, kVermelho).Selecionar(1).Poligono({{10, 10}, {20, 10}, {20, 20}});
        const auto cmds = Comandos<ComandoCaminho>(*metafile::LerEmf(e.Arquivo()));
        ASSERT_EQ(cmds.size(), 1u);
        EXPECT_NEAR(cmds[0].pontos[0].x, c.esperado.x, 1e-6);
        EXPECT_NEAR(cmds[0].pontos[0].y, c.esperado.y, 1e-6);
    }
    // A restored state brings back the brush that was selected when saved.
    Emf e;
    e.Pincel(1, kVermelho).Pincel(2, kAzul).Selecionar(1).Salvar().Selecionar(2).Restaurar(-1);
    e.Retangulo(0, 0, 10, 10);
    const auto cmds = Comandos<ComandoCaminho>(*metafile::LerEmf(e.Arquivo()));
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].preenchimento, (report::CorRgb{255, 0, 0}));
}

// A path of two nested squares drawn the same way round: a hole with the
// alternate fill mode, filled through with winding.
TEST(Metarquivo, CaminhoComModoDePreenchimento) {
    for (const int modo : {1, 2}) {
        Emf e;
        e.ModoPreenchimento(modo).Pincel(1, kVermelho).Selecionar(1).IniciarCaminho();
        e.Poligono16({{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}});
        e.Poligono16({{300, 300}, {700, 300}, {700, 700}, {300, 700}});
        e.TerminarCaminho().PreencherCaminho();
        const auto f = metafile::LerEmf(e.Arquivo());
        ASSERT_EQ(Comandos<ComandoCaminho>(*f).size(), 1u);
        const report::Imagem img = render::RasterizarPagina(PaginaCom(f), kDpi);
        EXPECT_EQ(Cor(img, X(150), Y(150)), 0xFF0000u);
        EXPECT_EQ(Cor(img, X(500), Y(500)), modo == 1 ? 0xFFFFFFu : 0xFF0000u) << "modo " << modo;
    }
}

// Faces map to our three fonts, weight 600 and up is bold, symbol fonts
// draw nothing, and the reference point follows the text alignment.
TEST(Metarquivo, TextoComFonteEAlinhamento) {
    struct Caso {
        std::u16string face;
        int peso, conjunto, alinhamento;
        fontes::Familia familia;
        bool negrito, desenha;
    };
    const Caso casos[] = {
        {u"Arial", 400, 0, 0, fontes::Familia::Arial, false, true},
        {u"tahoma", 700, 0, 30, fontes::Familia::Tahoma, true, true},
        {u"Courier New", 600, 0, 2 | 8, fontes::Familia::CourierNew, true, true},
        {u"Verdana", 599, 0, 24, fontes::Familia::Arial, false, true},
        {u"Wingdings", 400, 2, 0, fontes::Familia::Arial, false, false},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(std::string(c.face.begin(), c.face.end()));
        Emf e;
        e.ModoFundo(1).Fonte(1, -100, c.peso, c.face, c.conjunto).Selecionar(1).AlinhamentoTexto(c.alinhamento);
        e.CorTexto(Rgb(0, 0, 128)).Texto(500, 500, u"Ação");
        const auto f = metafile::LerEmf(e.Arquivo());
        const auto t = Comandos<ComandoTexto>(*f);
        if (!c.desenha) {
            EXPECT_TRUE(f->comandos.empty());
            continue;
        }
        ASSERT_EQ(t.size(), 1u);
        EXPECT_EQ(t[0].texto, "Ação");
        EXPECT_EQ(t[0].familia, c.familia);
        EXPECT_EQ(t[0].negrito, c.negrito);
        EXPECT_DOUBLE_EQ(t[0].tamanho, 100);
        EXPECT_EQ(t[0].cor, (report::CorRgb{0, 0, 128}));
        const auto& m = fontes::Metricas::Padrao();
        const fontes::Fonte f100{c.familia, 100, c.negrito};
        const double em = 100 * 25400.0 / 72;
        const double largura = m.Largura(f100, "A\xE7\xE3o") / em * 100, asc = m.Ascendente(f100) / em * 100;
        const double desc = m.AlturaLinha(f100) / em * 100 - asc;
        const double x = c.alinhamento & 2 ? (c.alinhamento & 4 ? 500 - largura / 2 : 500 - largura) : 500;
        const double y = (c.alinhamento & 24) == 24 ? 500 : c.alinhamento & 8 ? 500 - desc : 500 + asc;
        EXPECT_NEAR(t[0].origem.x, x, 1e-6);
        EXPECT_NEAR(t[0].origem.y, y, 1e-6);
    }
    // Given advances are kept (a surrogate pair takes the sum of its two).
    Emf e;
    e.Fonte(1, -100, 400, u"Arial").Selecionar(1).Texto(0, 0, u"a\U0001F600b", {10, 20, 5, 30});
    const auto t = Comandos<ComandoTexto>(*metafile::LerEmf(e.Arquivo()));
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].avancos, (std::vector<double>{10, 25, 30}));
}

// Device-independent bitmaps of every depth, stored either way up, decode
// to the same pixels (rows of 3 pixels exercise the row padding).
TEST(Metarquivo, BitmapsDeTodasAsProfundidades) {
    const std::vector<uint32_t> px = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0xFFFFFF, 0x808080};
    const std::vector<uint32_t> paleta = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x808080};
    for (const int bits : {1, 4, 8, 24, 32})
        for (const bool deCima : {false, true}) {
            SCOPED_TRACE(std::to_string(bits) + (deCima ? " top-down" : " bottom-up"));
            std::vector<uint32_t> esperado = px;
            std::vector<uint32_t> cores = paleta;
            if (bits == 1) {  // two colours only
                esperado = {0xFFFFFF, 0x000000, 0xFFFFFF, 0x000000, 0x000000, 0xFFFFFF};
                cores = {0x000000, 0xFFFFFF};
            }
            const Bytes dib = Dib(3, 2, bits, esperado, bits <= 8 ? cores : std::vector<uint32_t>{}, deCima);
            for (const bool wmf : {true, false}) {
                const Bytes arq = wmf ? Wmf().StretchDib(0, 0, 300, 200, dib, 3, 2).Arquivo(true, 0, 0, 300, 200)
                                      : Emf().StretchDib(0, 0, 300, 200, dib, 3, 2).Arquivo(0, 0, 300, 200);
                const auto b = Comandos<ComandoBitmap>(*Ler(wmf, arq));
                ASSERT_EQ(b.size(), 1u);
                EXPECT_DOUBLE_EQ(b[0].largura, 300);
                EXPECT_DOUBLE_EQ(b[0].altura, 200);
                ASSERT_EQ(b[0].imagem->pixels.size(), 6u);
                for (size_t i = 0; i < 6; ++i) EXPECT_EQ(b[0].imagem->pixels[i], 0xFF000000u | esperado[i]) << i;
            }
        }
}

// Damaged and hostile files: a broken record stream or header fails with a
// message that says what is wrong; a record whose contents lie is skipped
// and the rest of the picture is drawn.
TEST(Metarquivo, ArquivosDanificados) {
    auto wmfCom = [](const std::function<void(Wmf&)>& antes) {
        Wmf w;
        antes(w);
        w.Pincel(kVermelho).R(0x012D, {0}).Poligono({{0, 0}, {10, 0}, {10, 10}});
        return w;
    };
    auto emfCom = [](const std::function<void(Emf&)>& antes) {
        Emf e;
        antes(e);
        e.Pincel(1, kVermelho).Selecionar(1).Poligono({{0, 0}, {10, 0}, {10, 10}});
        return e;
    };
    auto cortar = [](Bytes b, size_t n) {
        b.resize(n);
        return b;
    };
    auto com = [](Bytes b, size_t deslocamento, std::initializer_list<uint8_t> v) {
        std::copy(v.begin(), v.end(), b.begin() + static_cast<ptrdiff_t>(deslocamento));
        return b;
    };
    const Bytes wmf = wmfCom([](Wmf&) {}).Arquivo(false);  // header 18 bytes, then records
    const Bytes emf = emfCom([](Emf&) {}).Arquivo();       // header 88 bytes, then records
    const Bytes dibGigante = com(BitmapVerde(), 4, {0xFF, 0xFF, 0xFF, 0x7F});
    const Bytes dibCurto = cortar(BitmapVerde(), 44);

    struct Caso {
        const char* nome;
        bool wmf;
        Bytes arquivo;
        std::string falha;  // a piece of the message; empty: the polygon is drawn
    };
    const Caso casos[] = {
        {"wmf vazio", true, {}, "arquivo vazio"},
        {"wmf só o cabeçalho posicionável", true, cortar(Wmf().Arquivo(), 22), "cabeçalho do metarquivo truncado"},
        {"wmf cabeçalho de outro tipo", true, com(wmf, 0, {7}), "não é um metarquivo do Windows"},
        {"wmf registro de tamanho zero", true, com(wmf, 18, {0, 0, 0, 0}), "registro 1 (deslocamento 18) com tamanho inválido"},
        {"wmf registro além do fim", true, com(wmf, 18, {0xFF, 0xFF, 0xFF, 0x7F}), "ultrapassa o fim do arquivo"},
        {"wmf cortado no meio de um registro", true, cortar(wmf, wmf.size() - 9), "ultrapassa o fim do arquivo"},
        {"wmf sem registro de fim", true, cortar(wmf, wmf.size() - 6), ""},
        {"wmf polígono maior que o registro", true, wmfCom([](Wmf& w) { w.R(0x0324, {32767, 1, 1}); }).Arquivo(), ""},
        {"wmf polígono de contagem negativa", true, wmfCom([](Wmf& w) { w.R(0x0324, {-5, 1, 1}); }).Arquivo(), ""},
        {"wmf poli-polígono de 65535 partes", true, wmfCom([](Wmf& w) { w.R(0x0538, {0xFFFF, 3}); }).Arquivo(), ""},
        {"wmf texto maior que o registro", true, wmfCom([](Wmf& w) { w.R(0x0521, {32767, 0x4141}); }).Arquivo(), ""},
        {"wmf fonte sem fim de nome", true,
         wmfCom([](Wmf& w) { w.Bruto(0x02FB, Bytes(18 + 40, 'A')).Selecionar(0).Texto(0, 0, "x").Apagar(0); }).Arquivo(), ""},
        {"wmf bitmap gigante", true, wmfCom([&](Wmf& w) { w.StretchDib(0, 0, 9, 9, dibGigante, 2, 2); }).Arquivo(), ""},
        {"wmf bitmap sem as linhas", true, wmfCom([&](Wmf& w) { w.StretchDib(0, 0, 9, 9, dibCurto, 2, 2); }).Arquivo(), ""},
        {"wmf objetos inexistentes", true,
         wmfCom([](Wmf& w) { w.Selecionar(60000).Apagar(60000).Apagar(0).Selecionar(0xFFFF); }).Arquivo(), ""},
        {"wmf restaurações sem salvamento", true,
         wmfCom([](Wmf& w) { w.R(0x0127, {-32768}).R(0x0127, {5}).R(0x0127, {0}); }).Arquivo(), ""},
        {"wmf janela de extensão zero", true, wmfCom([](Wmf& w) { w.ModoMapa(8).JanelaExt(0, 0); }).Arquivo(), ""},

        {"emf vazio", false, {}, "arquivo vazio"},
        {"emf cabeçalho truncado", false, cortar(emf, 60), "cabeçalho do metarquivo truncado"},
        {"emf sem assinatura", false, com(emf, 40, {'X'}), "assinatura ausente"},
        {"emf cabeçalho maior que o arquivo", false, com(emf, 4, {0xFF, 0xFF, 0, 0}), "cabeçalho do metarquivo com tamanho inválido"},
        {"emf registro de tamanho zero", false, com(emf, 92, {0, 0, 0, 0}), "registro 2 (deslocamento 88) com tamanho inválido"},
        {"emf registro de tamanho 7", false, com(emf, 92, {7, 0, 0, 0}), "com tamanho inválido (7 bytes)"},
        {"emf registro além do fim", false, com(emf, 92, {0xF0, 0xFF, 0xFF, 0xFF}), "ultrapassa o fim do arquivo"},
        {"emf cortado no meio de um registro", false, cortar(emf, emf.size() - 22), "ultrapassa o fim do arquivo"},
        {"emf sem registro de fim", false, cortar(emf, emf.size() - 20), ""},
        {"emf polígono de 2^32-1 pontos", false, emfCom([](Emf& e) { e.R(3, {0, 0, 0, 0, 0xFFFFFFFF, 1, 1}); }).Arquivo(), ""},
        {"emf poli-polígono com somas que não batem", false,
         emfCom([](Emf& e) { e.R(8, {0, 0, 0, 0, 2, 3, 0xFFFFFFFF, 4, 0, 0}); }).Arquivo(), ""},
        {"emf poli-polígono de 2^32-1 partes", false, emfCom([](Emf& e) { e.R(8, {0, 0, 0, 0, 0xFFFFFFFF, 0}); }).Arquivo(), ""},
        {"emf texto com deslocamentos além do registro", false,
         emfCom([](Emf& e) { e.R(84, {0, 0, 0, 0, 1, 0, 0, 0, 0, 0x7FFFFFFF, 0xFFFFFFF0, 0, 0, 0, 0, 0, 0xFFFFFFFF}); }).Arquivo(), ""},
        {"emf bitmap com deslocamentos que transbordam", false,
         emfCom([](Emf& e) {
             e.R(81, {0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0xFFFFFFF0, 0x20, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0x00CC0020, 9, 9});
         }).Arquivo(), ""},
        {"emf transformação infinita", false,
         emfCom([](Emf& e) { e.R(35, {0x7F800000, 0, 0, 0x7F7FFFFF, 0x7FC00000, 0}); }).Arquivo(), ""},
        {"emf escala enorme", false,
         emfCom([](Emf& e) { e.ModoMapa(8).JanelaExt(1, 1).VisorExt(0x7FFFFFFF, 0x7FFFFFFF).R(35, {0x7F7FFFFF, 0, 0, 0x7F7FFFFF, 0, 0}).Poligono({{1 << 30, 1 << 30}, {0, 0}, {5, 5}}).R(35, {0x3F800000, 0, 0, 0x3F800000, 0, 0}).ModoMapa(1); }).Arquivo(), ""},
        {"emf objetos inexistentes", false,
         emfCom([](Emf& e) { e.Selecionar(0xFFFFFFFF).Selecionar(70000).Apagar(0x80000001).Apagar(70000).Pincel(70000, 0); }).Arquivo(), ""},
        {"emf região com 2^32-1 retângulos", false,
         emfCom([](Emf& e) { e.R(74, {0, 0, 0, 0, 32, 32, 1, 0xFFFFFFFF, 0, 0, 0, 0, 0}); }).Arquivo(), ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        metafile::Figura f;
        const std::string falha = Falhou([&] { f = Ler(c.wmf, c.arquivo); });
        if (!c.falha.empty()) {
            EXPECT_NE(falha.find(c.falha), std::string::npos) << falha;
            continue;
        }
        ASSERT_EQ(falha, "");
        const auto cmds = Comandos<ComandoCaminho>(*f);
        ASSERT_FALSE(cmds.empty());
        EXPECT_EQ(cmds.back().preenchimento, (report::CorRgb{255, 0, 0}));
    }

    // Every prefix of the two logos either fails or draws.
    for (const bool wmf : {true, false}) {
        const Bytes logo = wmf ? LogoWmf() : LogoEmf();
        for (size_t n = 0; n <= logo.size(); ++n) {
            const Bytes parte(logo.begin(), logo.begin() + static_cast<ptrdiff_t>(n));
            try {
                Ler(wmf, parte);
            } catch (const Falha&) {
            }
        }
    }
}

// Floods stay within the limits: saved states past the cap are counted and
// not kept, and too much work fails instead of running on.
TEST(Metarquivo, LimitesContraInundacoes) {
    const auto inicio = std::chrono::steady_clock::now();
    Emf e;
    e.Pincel(1, kVermelho).Pincel(2, kAzul).Selecionar(1);
    for (int i = 0; i < 100000; ++i) e.Salvar();
    e.Selecionar(2).Retangulo(0, 0, 5, 5);
    for (int i = 0; i < 100000; ++i) e.Restaurar(-1);
    e.Retangulo(0, 0, 5, 5).Restaurar(-1).Retangulo(0, 0, 5, 5);
    const auto cmds = Comandos<ComandoCaminho>(*metafile::LerEmf(e.Arquivo()));
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[0].preenchimento, (report::CorRgb{0, 0, 255}));
    EXPECT_EQ(cmds[1].preenchimento, (report::CorRgb{255, 0, 0}));  // back to the state of the first save
    EXPECT_EQ(cmds[2].preenchimento, (report::CorRgb{255, 0, 0}));  // nothing left to restore
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(10));

    Wmf objetos;
    for (int i = 0; i < 70000; ++i) objetos.Pincel(kAzul);
    EXPECT_NO_THROW(metafile::LerWmf(objetos.Arquivo()));

    metafile::Limites limites;
    limites.registros = 10;
    EXPECT_EQ(Falhou([&] { metafile::LerWmf(LogoWmf(), limites); }), "mais de 10 registros");
    limites = {};
    limites.trabalho = 1000;
    Emf pesado;
    std::vector<std::pair<int, int>> pontos(400, {1, 1});
    for (int i = 0; i < 5; ++i) pesado.Poligono16(pontos);
    EXPECT_EQ(Falhou([&] { metafile::LerEmf(pesado.Arquivo(), limites); }),
              "desenho complexo demais (limite de trabalho excedido)");
    limites = {};
    limites.pixels = 3;
    EXPECT_EQ(Falhou([&] { metafile::LerEmf(LogoEmf(), limites); }), "imagens grandes demais (limite de pixels excedido)");
}

TEST(Metarquivo, CarregarArquivoPeloTipo) {
    Pasta pasta;
    const std::string wmf = pasta.Gravar("logo.wmf", LogoWmf());
    EXPECT_EQ(metafile::CarregarMetarquivo(wmf, "WMF")->comandos.size(), 4u);
    EXPECT_NE(Falhou([&] { metafile::CarregarMetarquivo(wmf, "emf"); }).find("assinatura ausente"), std::string::npos);
    EXPECT_EQ(Falhou([&] { metafile::CarregarMetarquivo((pasta.caminho / "nada.wmf").string(), "wmf"); }),
              "não é um arquivo comum");
    EXPECT_EQ(Falhou([&] { metafile::CarregarMetarquivo(pasta.caminho.string(), "wmf"); }), "não é um arquivo comum");
    metafile::Limites pequeno;
    pequeno.tamanhoArquivo = 100;
    EXPECT_NE(Falhou([&] { metafile::CarregarMetarquivo(wmf, "wmf", pequeno); }).find("o máximo é 100"),
              std::string::npos);
}
