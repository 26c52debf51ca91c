#include "render/dispositivos.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "base/falha.h"
#include "base/texto.h"
#include "render/arquivo.h"
#include "fontes/metricas.h"
#include "report/code128.h"

using namespace corvexa;
using namespace corvexa::report;
using fontes::Familia;
namespace fs = std::filesystem;

namespace {

const char* kChave = "35240612345678000199550010000001231000001234";

class Dispositivos : public ::testing::Test {
protected:
    void SetUp() override {
        char modelo[] = "/tmp/corvexa-render-XXXXXX";
        ASSERT_NE(mkdtemp(modelo), nullptr);
        pasta_ = modelo;
    }
    void TearDown() override { fs::remove_all(pasta_); }

    std::string Caminho(const std::string& nome) const { return (pasta_ / nome).string(); }

    fs::path pasta_;
};

// Runs a command and returns its standard output; "" and a skip when the
// tool is not installed.
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

ItemTexto Texto(Mm x, Mm y, const char* utf8, fontes::Fonte f) {
    const auto& m = fontes::Metricas::Padrao();
    ItemTexto t;
    t.texto = utf8;
    t.fonte = f;
    t.caixa = {x, y, m.Largura(f, texto::Utf8ParaAnsi(utf8)), m.AlturaLinha(f)};
    return t;
}

ItemCodigoBarras Barras(Mm x, Mm y, const std::string& dados) {
    const SimboloCode128 s = CodificarCode128(dados);
    ItemCodigoBarras b;
    b.dados = dados;
    b.barras = s.barras;
    b.modulos = s.modulos;
    b.caixa = {x, y, s.modulos * 254, 10554};
    return b;
}

Pagina A4() {
    Pagina p;
    p.largura = 210000;
    p.altura = 297000;
    p.grupo = p.numero = p.total = 1;
    return p;
}

// A small page with every kind of item.
Documento Exemplo() {
    Documento d;
    d.layout = "RelDanfe";
    Pagina p = A4();
    p.itens.push_back(ItemRetangulo{{6350, 6350, 197300, 40000}, true, true, "1"});
    p.itens.push_back(Texto(20000, 10000, "DANFE", {Familia::Arial, 14, false}));
    p.itens.push_back(Texto(20000, 20000, "Nota Fiscal Eletrônica Série 1 ção", {Familia::Arial, 8, true}));
    p.itens.push_back(Texto(20000, 26000, "Item grid Tahoma", {Familia::Tahoma, 6, false}));
    p.itens.push_back(ItemLinha{{6350, 50000, 197300, 265}, false, ""});
    p.itens.push_back(ItemLinha{{6350, 52000, 197300, 265}, true, ""});
    p.itens.push_back(Barras(112184, 20373, kChave));
    d.paginas.push_back(p);
    Pagina paisagem = A4();
    std::swap(paisagem.largura, paisagem.altura);
    paisagem.itens.push_back(Texto(10000, 10000, "Paisagem", {Familia::CourierNew, 8, false}));
    d.paginas.push_back(paisagem);
    return d;
}

// The value of a "Key:   value" line of pdfinfo.
std::string Campo(const std::string& info, const std::string& chave) {
    std::istringstream in(info);
    for (std::string linha; std::getline(in, linha);) {
        if (linha.compare(0, chave.size() + 1, chave + ":") != 0) continue;
        const size_t i = linha.find_first_not_of(' ', chave.size() + 1);
        return i == std::string::npos ? std::string() : linha.substr(i);
    }
    return "(none)";
}

uint32_t Pixel(const Imagem& img, int x, int y) { return img.pixels[static_cast<size_t>(y) * img.largura + x] & 0xFFFFFF; }

}  // namespace

TEST_F(Dispositivos, PdfTemTamanhoPropriedadesETexto) {
    if (!TemFerramenta("pdfinfo") || !TemFerramenta("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
    const std::string pdf = Caminho("nota.pdf");
    render::EscreverPdf(Exemplo(), pdf, {"Tessalin", "NFe, DANFE", "NFe - DANFE", "Documento Auxiliar Eletrônico"});

    const std::string info = Executar("pdfinfo '" + pdf + "'");
    EXPECT_EQ(Campo(info, "Pages"), "2");
    EXPECT_EQ(Campo(info, "Page size"), "595.276 x 841.89 pts (A4)");
    EXPECT_EQ(Campo(info, "Title"), "Documento Auxiliar Eletrônico");
    EXPECT_EQ(Campo(info, "Author"), "Tessalin");
    EXPECT_EQ(Campo(info, "Subject"), "NFe - DANFE");
    EXPECT_EQ(Campo(info, "Keywords"), "NFe, DANFE");
    const std::string pagina2 = Executar("pdfinfo -f 2 -l 2 '" + pdf + "'");
    EXPECT_EQ(Campo(pagina2, "Page    2 size"), "841.89 x 595.276 pts (A4)");

    const std::string txt = Executar("pdftotext -layout '" + pdf + "' -");
    for (const char* s : {"DANFE", "Nota Fiscal Eletrônica Série 1 ção", "Item grid Tahoma", "Paisagem"})
        EXPECT_NE(txt.find(s), std::string::npos) << s << "\n" << txt;

    if (TemFerramenta("pdffonts")) {
        // Every font embedded as a subset (names carry the ABCDEF+ tag).
        const std::string fontes = Executar("pdffonts '" + pdf + "'");
        EXPECT_NE(fontes.find("+LiberationSans"), std::string::npos) << fontes;
        EXPECT_NE(fontes.find("Tahoma"), std::string::npos) << fontes;
        EXPECT_EQ(fontes.find(" no  "), std::string::npos) << fontes;
    }
    // No bookmarks.
    std::ifstream f(pdf, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(bytes.find("/Outlines"), std::string::npos);
}

TEST_F(Dispositivos, TextoDesenhadoComAsMetricas) {
    if (!TemFerramenta("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
    // pdftotext's word box: left = pen start, width = sum of the advances,
    // top = baseline - ascent. They must match the item's box, to within the
    // thousandths of an em in which the PDF font dictionary stores widths and
    // ascent (cairo truncates them: up to 0.001 em per character).
    Documento d;
    Pagina p = A4();
    const ItemTexto t = Texto(86783, 22490, "DANFE", {Familia::Arial, 14, false});
    p.itens.push_back(t);
    d.paginas.push_back(p);
    const std::string pdf = Caminho("texto.pdf");
    render::EscreverPdf(d, pdf);
    const std::string bbox = Executar("pdftotext -bbox '" + pdf + "' -");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(bbox, m, std::regex(
        R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">DANFE</word>)re")))
        << bbox;
    const double pt = 72.0 / 25400, em = 14;
    EXPECT_NEAR(std::stod(m[1]), t.caixa.x * pt, 0.001);
    EXPECT_NEAR(std::stod(m[3]) - std::stod(m[1]), t.caixa.w * pt, 5 * 0.001 * em);
    EXPECT_NEAR(std::stod(m[2]), t.caixa.y * pt, 0.001 * em);
    EXPECT_NEAR(std::stod(m[4]) - std::stod(m[2]), t.caixa.h * pt, 2 * 0.001 * em);
}

TEST_F(Dispositivos, CodigoDeBarrasEmPngDecodifica) {
    if (!TemFerramenta("zbarimg")) GTEST_SKIP() << "zbar-tools missing";
    for (const std::string& dados : {std::string(kChave), std::string("Corvexa-2024 abc 12345")}) {
        Pagina p = A4();
        p.itens.push_back(Barras(20000, 20000, dados));
        const std::string png = Caminho("barras.png");
        render::EscreverPng(p, png);
        EXPECT_EQ(Executar("zbarimg --nodbus --quiet --raw '" + png + "' 2>/dev/null"), dados + "\n");
    }
}

TEST_F(Dispositivos, BarrasNaGradeDePixels) {
    // 200 dpi: a module of 0.254 mm is exactly 2 pixels, so every run of
    // equal pixels across the symbol is an even number of pixels and the
    // symbol is 554 pixels wide.
    Pagina p = A4();
    p.itens.push_back(Barras(112184, 20373, kChave));
    const Imagem img = render::RasterizarPagina(p, 200);
    EXPECT_EQ(img.largura, 1654);
    EXPECT_EQ(img.altura, 2339);
    const int y = render::Pixels(20373 + 5000, 200);
    int primeiro = -1, ultimo = -1;
    for (int x = 0; x < img.largura; ++x)
        if (Pixel(img, x, y) == 0) {
            if (primeiro < 0) primeiro = x;
            ultimo = x;
        }
    ASSERT_GE(primeiro, 0);
    EXPECT_EQ(primeiro, render::Pixels(112184, 200));
    EXPECT_EQ(ultimo - primeiro + 1, 554);
    int corrida = 1;
    for (int x = primeiro + 1; x <= ultimo + 1; ++x) {
        const bool muda = Pixel(img, x, y) != Pixel(img, x - 1, y);
        if (muda) {
            EXPECT_EQ(corrida % 2, 0) << "run ending at x=" << x;
            corrida = 1;
        } else {
            ++corrida;
        }
        const uint32_t v = Pixel(img, x - 1, y);
        EXPECT_TRUE(v == 0 || v == 0xFFFFFF) << "grey pixel at x=" << x - 1;
    }
}

TEST_F(Dispositivos, FormasEImagensNaPagina) {
    // At 254 dpi one pixel is 0.1 mm, so boxes fall on whole pixels.
    Pagina p = A4();
    p.itens.push_back(ItemRetangulo{{10000, 10000, 20000, 10000}, false, true, ""});
    p.itens.push_back(ItemRetangulo{{40000, 10000, 20000, 10000}, false, false, ""});  // region fill over a line
    p.itens.push_back(ItemLinha{{0, 15000, 100000, 265}, false, ""});
    auto img = std::make_shared<Imagem>();
    img->largura = 2;
    img->altura = 1;
    img->pixels = {0xFFFF0000u, 0xFF0000FFu};  // red, blue
    p.itens.push_back(ItemImagem{{70000, 10000, 10000, 30000}, img, ""});
    const Imagem r = render::RasterizarPagina(p, 254);
    const int meio = 150;  // y = 15 mm, inside every box

    // The outline (0.75 pt = 2.65 px, drawn 3 px) lies inside the box.
    EXPECT_EQ(Pixel(r, 99, 120), 0xFFFFFFu);
    EXPECT_EQ(Pixel(r, 100, 120), 0u);
    EXPECT_EQ(Pixel(r, 102, 120), 0u);
    EXPECT_EQ(Pixel(r, 103, 120), 0xFFFFFFu);
    EXPECT_EQ(Pixel(r, 299, 120), 0u);
    EXPECT_EQ(Pixel(r, 300, 120), 0xFFFFFFu);
    // Shapes are filled white; the line is drawn after them and crosses both
    // (3 px: 2.65 rounded); the region fill has no outline.
    EXPECT_EQ(Pixel(r, 200, meio), 0u);
    EXPECT_EQ(Pixel(r, 400, 120), 0xFFFFFFu);
    EXPECT_EQ(Pixel(r, 200, 120), 0xFFFFFFu);
    EXPECT_EQ(Pixel(r, 200, meio + 3), 0xFFFFFFu);
    // The 2 x 1 picture is stretched to a 10 x 30 mm box: left red, right blue.
    EXPECT_EQ(Pixel(r, 702, 350), 0xFF0000u);
    EXPECT_EQ(Pixel(r, 798, 110), 0x0000FFu);
    EXPECT_EQ(Pixel(r, 801, 110), 0xFFFFFFu);
}

TEST_F(Dispositivos, JpegComTamanhoEResolucao) {
    Pagina p = Exemplo().paginas[0];
    const std::string caminho = Caminho("pagina.jpg");
    render::EscreverJpeg(p, caminho, 200, 90);
    std::ifstream f(caminho, std::ios::binary);
    const std::string j((std::istreambuf_iterator<char>(f)), {});
    ASSERT_GT(j.size(), 1000u);
    const auto u = [&](size_t i) { return static_cast<unsigned char>(j[i]); };
    EXPECT_EQ(u(0), 0xFF);
    EXPECT_EQ(u(1), 0xD8);
    EXPECT_EQ(u(j.size() - 2), 0xFF);
    EXPECT_EQ(u(j.size() - 1), 0xD9);
    // JFIF: density in dots per inch.
    ASSERT_EQ(j.compare(6, 5, std::string("JFIF\0", 5)), 0);
    EXPECT_EQ(u(13), 1);
    EXPECT_EQ(u(14) * 256 + u(15), 200);
    // Frame header: height then width.
    size_t i = 2;
    while (i + 9 < j.size() && !(u(i) == 0xFF && u(i + 1) == 0xC0)) i += 2 + u(i + 2) * 256 + u(i + 3);
    ASSERT_LT(i + 9, j.size());
    EXPECT_EQ(u(i + 5) * 256 + u(i + 6), 2339);
    EXPECT_EQ(u(i + 7) * 256 + u(i + 8), 1654);
    EXPECT_EQ(render::GerarJpeg(p, 200, 90), j);
}

TEST_F(Dispositivos, GravacaoQueFalhaNaoDeixaArquivo) {
    const Documento d = Exemplo();
    const std::string semPasta = Caminho("nao-existe/nota.pdf");
    try {
        render::EscreverPdf(d, semPasta);
        FAIL() << "no failure";
    } catch (const Falha& e) {
        EXPECT_NE(std::string(e.what()).find(semPasta), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
    }
    EXPECT_THROW(render::EscreverJpeg(d.paginas[0], Caminho("nao-existe/p.jpg")), Falha);
    EXPECT_THROW(render::EscreverPng(d.paginas[0], Caminho("nao-existe/p.png")), Falha);
    EXPECT_FALSE(fs::exists(Caminho("nao-existe")));

    // A folder in the way of the name: the rename fails and the temporary
    // file is removed; nothing else is left in the folder.
    fs::create_directory(Caminho("ocupado.pdf"));
    EXPECT_THROW(render::EscreverPdf(d, Caminho("ocupado.pdf")), Falha);
    EXPECT_THROW(render::EscreverJpeg(d.paginas[0], Caminho("ocupado.pdf")), Falha);
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(pasta_)) ++n;
    EXPECT_EQ(n, 1u);

    // A resolution that cannot be drawn fails before any file is made.
    EXPECT_THROW(render::EscreverPng(d.paginas[0], Caminho("p.png"), 0), Falha);
    EXPECT_THROW(render::RasterizarPagina(d.paginas[0], 5000), Falha);
    EXPECT_FALSE(fs::exists(Caminho("p.png")));
}

// What a signal handler removes: the temporary files of the writes in
// progress, and nothing that is done or another's.
TEST_F(Dispositivos, InterrupcaoApagaSoOsTemporariosEmAndamento) {
    const auto temporarios = [&] {
        std::vector<std::string> r;
        for (const auto& e : fs::directory_iterator(pasta_))
            if (e.path().extension() == ".tmp") r.push_back(e.path().filename().string());
        return r;
    };
    std::ofstream(Caminho("alheio.tmp")) << "x";
    render::ArquivoAtomico feito(Caminho("feito.pdf"));
    feito.Escrever("%PDF", 4);
    feito.Concluir();
    {
        std::vector<std::unique_ptr<render::ArquivoAtomico>> emAndamento;
        for (const char* nome : {"a.pdf", "b.jpg", "c.png"}) {
            emAndamento.push_back(std::make_unique<render::ArquivoAtomico>(Caminho(nome)));
            emAndamento.back()->Escrever("meio", 4);
        }
        EXPECT_EQ(temporarios().size(), 4u);
        render::ApagarTemporarios();
        EXPECT_EQ(temporarios(), std::vector<std::string>{"alheio.tmp"});
        // Writes that go on after it fail as any lost file does, leaving nothing.
        EXPECT_THROW(emAndamento[0]->Concluir(), Falha);
    }
    render::ApagarTemporarios();
    EXPECT_EQ(temporarios(), std::vector<std::string>{"alheio.tmp"});
    EXPECT_EQ(fs::file_size(Caminho("feito.pdf")), 4u);
    EXPECT_FALSE(fs::exists(Caminho("a.pdf")));
}

TEST_F(Dispositivos, PdfNaMemoriaEDocumentoSemPaginas) {
    const std::string pdf = render::GerarPdf(Exemplo());
    EXPECT_EQ(pdf.compare(0, 5, "%PDF-"), 0);
    EXPECT_NE(pdf.find("%%EOF"), std::string::npos);
    if (!TemFerramenta("pdfinfo")) return;
    const std::string vazio = Caminho("vazio.pdf");
    render::EscreverPdf(Documento{}, vazio);
    const std::string info = Executar("pdfinfo '" + vazio + "'");
    EXPECT_EQ(Campo(info, "Pages"), "1");
    EXPECT_EQ(Campo(info, "Page size"), "595.276 x 841.89 pts (A4)");
}
