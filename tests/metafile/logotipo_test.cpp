// Metafile logos through the render job: loaded into the emitter image of
// both layouts and drawn on the DANFE page.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "amostras.h"
#include "base/falha.h"
#include "base/texto.h"
#include "job/uDM_Danfe.h"
#include "job/uDanfeUtils.h"
#include "layouts/danfe.h"
#include "metafile/metafile.h"
#include "platform/plataforma.h"
#include "render/dispositivos.h"

using namespace corvexa;

namespace {

const report::Elemento& Imagem(report::Relatorio& r) { return *r.BuscarElemento(layouts::NomeImagemEmitente); }

std::u16string Amostra() {
    std::ifstream f(std::string(CORVEXA_SAMPLES) + "/br_danfe-v200-simples-nacional.xml", std::ios::binary);
    return texto::Utf8ParaUtf16(std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()));
}

class LogoMetarquivo : public ::testing::Test {
protected:
    void SetUp() override {
        char modelo[] = "/tmp/corvexa-logo-XXXXXX";
        ASSERT_NE(mkdtemp(modelo), nullptr);
        pasta_ = modelo;
    }
    void TearDown() override { std::filesystem::remove_all(pasta_); }
    std::string Gravar(const std::string& nome, const amostras::Bytes& b) {
        const auto p = pasta_ / nome;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return p.string();
    }

    std::filesystem::path pasta_;
    platform::PlataformaSemTela plataforma_;
};

}  // namespace

TEST_F(LogoMetarquivo, DesenhadoNaPaginaEmAmbosOsLayouts) {
    const std::string wmf = Gravar("logo.WMF", amostras::LogoWmf());
    const std::string emf = Gravar("logo.emf", amostras::LogoEmf());
    job::TDM_Danfe dm;
    for (const std::string& caminho : {wmf, emf}) {
        SCOPED_TRACE(caminho);
        job::TDanfeUtils danfe(dm, plataforma_);
        danfe.CarregarLogo(caminho);
        const auto& retrato = Imagem(dm.layouts->RelDanfe);
        ASSERT_TRUE(retrato.vetorial);
        EXPECT_EQ(retrato.vetorial, Imagem(dm.layouts->RelDanfePais).vetorial);
        EXPECT_FALSE(retrato.imagem);

        danfe.Ler(Amostra());
        const report::Documento doc = dm.Produzir(dm.layouts->RelDanfe);
        ASSERT_FALSE(doc.paginas.empty());
        const report::ItemImagem* logo = nullptr;
        for (const auto& item : doc.paginas[0].itens)
            if (const auto* i = std::get_if<report::ItemImagem>(&item); i && i->vetorial) logo = i;
        ASSERT_NE(logo, nullptr);
        EXPECT_EQ(logo->caixa.w, 25400);
        EXPECT_EQ(logo->caixa.h, 22754);
        // The red square of the logo's top-left quarter, at 254 dpi (0.1 mm a pixel).
        const report::Imagem img = render::RasterizarPagina(doc.paginas[0], 254);
        const int x = (logo->caixa.x + logo->caixa.w / 4) / 100, y = (logo->caixa.y + logo->caixa.h / 4) / 100;
        EXPECT_EQ(img.pixels[static_cast<size_t>(y) * img.largura + x] & 0xFFFFFF, 0xFF0000u);
    }

    // A raster logo loaded later takes the vector picture's place.
    amostras::Bytes bmp = {'B', 'M'};
    const amostras::Bytes dib = amostras::BitmapVerde();
    amostras::U32(bmp, static_cast<uint32_t>(14 + dib.size()));
    amostras::U32(bmp, 0);
    amostras::U32(bmp, 14 + 40);
    bmp.insert(bmp.end(), dib.begin(), dib.end());
    job::TDanfeUtils danfe(dm, plataforma_);
    danfe.CarregarLogo(Gravar("logo.bmp", bmp));
    EXPECT_TRUE(Imagem(dm.layouts->RelDanfe).imagem);
    EXPECT_FALSE(Imagem(dm.layouts->RelDanfe).vetorial);
}

TEST_F(LogoMetarquivo, ArquivoDanificadoFalhaComOCaminho) {
    amostras::Bytes emf = amostras::LogoEmf();
    emf[92] = emf[93] = emf[94] = emf[95] = 0;  // the first record after the header: size 0
    const std::string caminho = Gravar("danificado.emf", emf);
    job::TDM_Danfe dm;
    const auto antes = Imagem(dm.layouts->RelDanfe).imagem;
    job::TDanfeUtils danfe(dm, plataforma_);
    try {
        danfe.CarregarLogo(caminho);
        ADD_FAILURE() << "no failure";
    } catch (const Falha& f) {
        EXPECT_EQ(std::string(f.what()), "Arquivo do logotipo inválido: " + caminho +
                                             ": registro 2 (deslocamento 88) com tamanho inválido (0 bytes)");
    }
    EXPECT_EQ(Imagem(dm.layouts->RelDanfe).imagem, antes);
    EXPECT_FALSE(Imagem(dm.layouts->RelDanfe).vetorial);
}
