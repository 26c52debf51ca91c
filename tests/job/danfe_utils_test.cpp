#include <gtest/gtest.h>

#include <cairo.h>

#include <string>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"
#include "comum.h"
#include "job/logotipo.h"
#include "job/uDM_Danfe.h"
#include "job/uDanfeUtils.h"
#include "layouts/danfe.h"
#include "render/dispositivos.h"

namespace {

using namespace corvexa;
using namespace teste;

// The emitter image's picture of a layout.
std::shared_ptr<const report::Imagem> Logo(report::Relatorio& r) {
    const auto* e = r.BuscarElemento(layouts::NomeImagemEmitente);
    return e ? e->imagem : nullptr;
}

std::string Png(uint32_t argbPremultiplicado) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 3, 2);
    cairo_surface_flush(s);
    auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s));
    for (int i = 0; i < 6; ++i) px[i] = argbPremultiplicado;
    cairo_surface_mark_dirty(s);
    std::string bytes;
    cairo_surface_write_to_png_stream(
        s,
        [](void* d, const unsigned char* b, unsigned n) {
            static_cast<std::string*>(d)->append(reinterpret_cast<const char*>(b), n);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    cairo_surface_destroy(s);
    return bytes;
}

// A 2 x 2 icon of 32-bit pixels of one colour (0xAARRGGBB, straight alpha).
std::string Ico(uint32_t argb) {
    std::string s;
    auto u16 = [&](uint16_t v) { s += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    u16(0); u16(1); u16(1);                         // icon directory, one image
    s += {2, 2, 0, 0}; u16(1); u16(32);             // 2 x 2, 32 bits
    u32(40 + 16 + 8); u32(22);
    u32(40); u32(2); u32(4); u16(1); u16(32);        // its header: twice the height (colour + mask)
    for (int i = 0; i < 6; ++i) u32(0);
    for (int i = 0; i < 4; ++i) u32(argb);          // BGRA in little-endian order
    s.append(8, '\0');                              // the mask: 2 rows of 32 bits
    return s;
}

class LogoTest : public ::testing::Test {
protected:
    PastaTemporaria pasta{"logo"};
    PlataformaGravada plataforma;
    ImpressoraGravada impressora;
};

TEST_F(LogoTest, TiposPelaExtensao) {
    fs::create_directories(*pasta / "pasta.v2");
    const std::string bmp = Bmp(2, 2, 0x3366CC);
    report::Pagina branca;
    branca.largura = branca.altura = 2540;
    Gravar(*pasta / "LOGO.BMP", bmp);
    Gravar(*pasta / "logo.Ico", Ico(0x80FF0000));
    Gravar(*pasta / "logo.png", Png(0x80004000));  // half-covered dark green
    Gravar(*pasta / "logo.JPG", render::GerarJpeg(branca, 200));
    Gravar(*pasta / "logo.jpeg", render::GerarJpeg(branca, 200));
    Gravar(*pasta / "png-chamado-de.bmp", Png(0xFF000000));
    Gravar(*pasta / "gigante.bmp", Bmp(1, 1, 0, 20000, 1));
    for (const char* nome : {"logo.wmf", "logo.EMF", "logo.gif", "logo", "pasta.v2/logo", "logo.bmp.png", "vazio.png"})
        Gravar(*pasta / nome, std::string(nome).ends_with("vazio.png") ? "" : "x");

    const std::string p = (*pasta).string() + "/";
    const std::string invalido = "Arquivo do logotipo inválido: " + p;
    struct Caso {
        std::string caminho;
        uint32_t pixel;       // first pixel of the loaded picture; 0: the picture is unchanged
        std::string falha;    // expected failure message (its start), empty when none
        bool avisa = false;   // the missing-file message is shown
    };
    const Caso casos[] = {
        {"", 0, ""},
        {"  \t ", 0, ""},
        {p + "LOGO.BMP", 0xFF3366CC, ""},
        {p + "logo.Ico", 0x80800000, ""},          // premultiplied
        {p + "logo.png", 0x80004000, ""},
        {p + "logo.JPG", 0xFFFFFFFF, ""},
        {p + "logo.jpeg", 0xFFFFFFFF, ""},
        {p + "logo.wmf", 0, invalido + "logo.wmf: cabeçalho do metarquivo truncado"},
        {p + "logo.EMF", 0, invalido + "logo.EMF: cabeçalho do metarquivo truncado"},
        {p + "logo.gif", 0, "Unknown picture file extension (.gif)"},
        {p + "logo", 0, "Unknown picture file extension (.)"},
        {p + "pasta.v2/logo", 0, "Unknown picture file extension (.)"},
        // Decoded by the kind the extension names, whatever the bytes are.
        {p + "logo.bmp.png", 0, invalido + "logo.bmp.png ("},
        {p + "vazio.png", 0, invalido + "vazio.png ("},
        {p + "png-chamado-de.bmp", 0, invalido + "png-chamado-de.bmp ("},
        {p + "gigante.bmp", 0, invalido + "gigante.bmp (imagem de 20000 x 1 pixels"},
        // Existence is checked before the extension.
        {p + "nao-existe.gif", 0, "", true},
        {p + "nao-existe.bmp", 0, "", true},
        {p + "pasta.v2", 0, "", true},             // a folder is no logo file
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caminho);
        plataforma.mensagens.clear();
        job::TDM_Danfe dm;
        const auto antes = Logo(dm.layouts->RelDanfe);
        job::TDanfeUtils danfe(dm, plataforma, impressora.Servico());
        if (c.falha.empty()) {
            EXPECT_NO_THROW(danfe.CarregarLogo(c.caminho));
        } else {
            try {
                danfe.CarregarLogo(c.caminho);
                ADD_FAILURE() << "no failure";
            } catch (const Falha& f) {
                EXPECT_TRUE(std::string(f.what()).starts_with(c.falha)) << f.what();
            }
        }
        EXPECT_EQ(danfe.ArquivoLogo(), c.caminho);
        const auto depois = Logo(dm.layouts->RelDanfe);
        EXPECT_EQ(depois, Logo(dm.layouts->RelDanfePais));  // both layouts alike
        if (c.pixel) {
            ASSERT_NE(depois, antes);
            ASSERT_FALSE(depois->pixels.empty());
            EXPECT_EQ(depois->pixels[0], c.pixel);
        } else {
            EXPECT_EQ(depois, antes);
        }
        if (c.avisa) {
            ASSERT_EQ(plataforma.mensagens.size(), 1u);
            EXPECT_EQ(plataforma.mensagens[0], "Arquivo do logotipo de Emitente não localizado: " + c.caminho);
        } else {
            EXPECT_TRUE(plataforma.mensagens.empty());
        }
    }
}

TEST_F(LogoTest, CaminhoWindows1252ApareceEmUtf8NaMensagem) {
    job::TDM_Danfe dm;
    job::TDanfeUtils danfe(dm, plataforma, impressora.Servico());
    danfe.CarregarLogo((*pasta).string() + "/log\xF3tipo.bmp");  // "logótipo" in Windows-1252
    ASSERT_EQ(plataforma.mensagens.size(), 1u);
    EXPECT_EQ(plataforma.mensagens[0],
              "Arquivo do logotipo de Emitente não localizado: " + (*pasta).string() + "/log\xC3\xB3tipo.bmp");
}

TEST_F(LogoTest, FicaParaAsChamadasSeguintesENaPagina) {
    Gravar(*pasta / "logo.bmp", Bmp(4, 3, 0x102030));
    job::TDM_Danfe dm;
    plataforma.pasta = (*pasta).string();
    std::shared_ptr<const report::Imagem> carregada;
    {
        job::TDanfeUtils danfe(dm, plataforma, impressora.Servico());
        danfe.CarregarLogo(pasta / "logo.bmp");
        carregada = Logo(dm.layouts->RelDanfe);
    }
    ASSERT_EQ(carregada->largura, 4);
    ASSERT_EQ(carregada->altura, 3);
    // A later job without a logo (and one whose logo is missing) draws it still.
    for (const std::string& logo : {std::string(), pasta / "ausente.bmp"}) {
        job::TDanfeUtils danfe(dm, plataforma, impressora.Servico());
        danfe.CarregarLogo(logo);
        danfe.Executar(job::ModoExecucao::Pdf, texto::Utf8ParaUtf16(Nota()), "nota.xml");
        int desenhos = 0;
        const report::Documento doc = dm.Produzir(dm.layouts->RelDanfe);
        for (const auto& item : doc.paginas.at(0).itens)
            if (const auto* img = std::get_if<report::ItemImagem>(&item); img && img->imagem == carregada) ++desenhos;
        EXPECT_EQ(desenhos, 1);
    }
}

struct CasoFlags {
    const char* nome;
    std::vector<std::pair<std::string, std::string>> notas;  // tpAmb, tpEmis of each NF-e, in order
    bool homologacao, contingencia;
};

TEST(FlagsTest, VemDaUltimaNotaLida) {
    const CasoFlags casos[] = {
        {"producao", {{"1", "1"}}, false, false},
        {"homologacao", {{"2", "1"}}, true, false},
        {"contingencia", {{"1", "2"}}, false, true},
        {"ambas", {{"2", "2"}}, true, true},
        {"ultima em producao", {{"2", "2"}, {"1", "1"}}, false, false},
        {"ultima em homologacao", {{"1", "1"}, {"2", "1"}}, true, false},
        {"tpEmis de outra letra", {{"1", "9"}}, false, false},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        std::string xml;
        for (const auto& [amb, emis] : c.notas) xml += Nota(amb, emis);
        job::TDM_Danfe dm;
        dm.flags.Homologacao = !c.homologacao;
        dm.flags.Contingencia = !c.contingencia;
        PlataformaGravada plataforma;
        ImpressoraGravada impressora;
        job::TDanfeUtils danfe(dm, plataforma, impressora.Servico());
        danfe.Executar(job::ModoExecucao::Pdf, texto::Utf8ParaUtf16(xml), "nota.xml");
        EXPECT_EQ(dm.tabelas.cdsNFE.Quantidade(), c.notas.size());
        EXPECT_EQ(dm.flags.Homologacao, c.homologacao);
        EXPECT_EQ(dm.flags.Contingencia, c.contingencia);
    }
}

TEST(FlagsTest, TabelaVaziaDesligaAsDuas) {
    // An NF-e inside an enclosing element is not read: the table stays empty.
    for (const std::string& xml : {std::string("<nada/>"), LerAmostra("sped-da-v400-nfeproc-41itens.xml")}) {
        job::TDM_Danfe dm;
        dm.flags = {true, true, true};
        PlataformaGravada plataforma;
        ImpressoraGravada impressora;
        job::TDanfeUtils danfe(dm, plataforma, impressora.Servico());
        danfe.Executar(job::ModoExecucao::Tela, texto::Utf8ParaUtf16(xml), "");
        EXPECT_EQ(dm.tabelas.cdsNFE.Quantidade(), 0u);
        EXPECT_FALSE(dm.flags.Homologacao);
        EXPECT_FALSE(dm.flags.Contingencia);
        EXPECT_TRUE(dm.flags.ImprimirHora);  // no configuration file: shown
        EXPECT_EQ(plataforma.visualizacoes, 1);
    }
}

TEST(FlagsTest, FalhaNaLeituraNaoMudaAsFlagsEAChamadaSeguinteFunciona) {
    job::TDM_Danfe dm;
    dm.flags.Homologacao = true;
    PlataformaGravada plataforma;
    ImpressoraGravada impressora;
    {
        job::TDanfeUtils danfe(dm, plataforma, impressora.Servico());
        EXPECT_THROW(danfe.Executar(job::ModoExecucao::Impressora, u"", ""), Falha);
        EXPECT_THROW(danfe.EnviarEmail(u"<NFe><ide>", "", {}), Falha);
    }
    EXPECT_TRUE(dm.flags.Homologacao);
    EXPECT_TRUE(impressora.trabalhos.empty());
    job::TDanfeUtils danfe(dm, plataforma, impressora.Servico());
    // The flags come from the NF-e read, before the send (which fails here:
    // no recipient).
    EXPECT_THROW(danfe.EnviarEmail(texto::Utf8ParaUtf16(Nota("1", "2")), "", {}), Falha);
    EXPECT_FALSE(dm.flags.Homologacao);
    EXPECT_TRUE(dm.flags.Contingencia);
    EXPECT_EQ(danfe.TipoImpressao(), 1);
}

}  // namespace
