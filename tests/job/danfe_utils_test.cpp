#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"
#include "job/uDM_Danfe.h"
#include "job/uDanfeUtils.h"

namespace {

using namespace corvexa;
namespace fs = std::filesystem;

class PlataformaGravada : public platform::PlataformaSemTela {
public:
    void MostrarMensagem(std::string_view texto) override { mensagens.emplace_back(texto); }
    std::vector<std::string> mensagens;
};

std::string LerAmostra(const std::string& nome) {
    std::ifstream f(std::string(CORVEXA_SAMPLES) + "/" + nome, std::ios::binary);
    EXPECT_TRUE(f) << nome;
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string Trocar(std::string s, const std::string& de, const std::string& para) {
    const auto p = s.find(de);
    EXPECT_NE(p, std::string::npos) << de;
    if (p != std::string::npos) s.replace(p, de.size(), para);
    return s;
}

// A bare NF-e (tpAmb 1, tpEmis 1) with the environment and emission type given.
std::string Nota(const std::string& tpAmb, const std::string& tpEmis) {
    std::string s = LerAmostra("br_danfe-v200-simples-nacional.xml");
    s = Trocar(s, "<tpAmb>1</tpAmb>", "<tpAmb>" + tpAmb + "</tpAmb>");
    return Trocar(s, "<tpEmis>1</tpEmis>", "<tpEmis>" + tpEmis + "</tpEmis>");
}

class LogoTest : public ::testing::Test {
protected:
    void SetUp() override {
        pasta = fs::temp_directory_path() / ("corvexa-logo-" + std::to_string(::getpid()));
        fs::create_directories(pasta / "pasta.v2");
        for (const char* nome : {"LOGO.BMP", "logo.Ico", "logo.wmf", "logo.EMF", "logo.png", "logo", "pasta.v2/logo",
                                 "logo.bmp.png"})
            std::ofstream(pasta / nome) << "x";
    }
    void TearDown() override { fs::remove_all(pasta); }

    fs::path pasta;
    job::TDM_Danfe dm;
    PlataformaGravada plataforma;
};

TEST_F(LogoTest, BrancoPuladoAusenteAvisadoExtensaoConferida) {
    const std::string p = pasta.string() + "/";
    struct Caso {
        std::string caminho;
        bool avisa;           // the missing-file message is shown
        std::string falha;    // expected failure message, empty when none
    };
    const Caso casos[] = {
        {"", false, ""},
        {"  \t ", false, ""},
        {p + "LOGO.BMP", false, ""},
        {p + "logo.Ico", false, ""},
        {p + "logo.wmf", false, ""},
        {p + "logo.EMF", false, ""},
        {p + "logo.png", false, "Unknown picture file extension (.png)"},
        {p + "logo.bmp.png", false, "Unknown picture file extension (.png)"},
        {p + "logo", false, "Unknown picture file extension (.)"},
        {p + "pasta.v2/logo", false, "Unknown picture file extension (.)"},
        // Existence is checked before the extension.
        {p + "nao-existe.png", true, ""},
        {p + "nao-existe.bmp", true, ""},
        {p + "pasta.v2", true, ""},  // a folder is no logo file
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caminho);
        plataforma.mensagens.clear();
        job::TDanfeUtils danfe(dm, plataforma);
        if (c.falha.empty()) {
            EXPECT_NO_THROW(danfe.CarregarLogo(c.caminho));
        } else {
            try {
                danfe.CarregarLogo(c.caminho);
                ADD_FAILURE() << "no failure";
            } catch (const Falha& f) {
                EXPECT_EQ(f.what(), c.falha);
            }
        }
        EXPECT_EQ(danfe.ArquivoLogo(), c.caminho);
        if (c.avisa) {
            ASSERT_EQ(plataforma.mensagens.size(), 1u);
            EXPECT_EQ(plataforma.mensagens[0], "Arquivo do logotipo de Emitente não localizado: " + c.caminho);
        } else {
            EXPECT_TRUE(plataforma.mensagens.empty());
        }
    }
}

TEST_F(LogoTest, CaminhoWindows1252ApareceEmUtf8NaMensagem) {
    job::TDanfeUtils danfe(dm, plataforma);
    danfe.CarregarLogo(pasta.string() + "/log\xF3tipo.bmp");  // "logótipo" in Windows-1252
    ASSERT_EQ(plataforma.mensagens.size(), 1u);
    EXPECT_EQ(plataforma.mensagens[0],
              "Arquivo do logotipo de Emitente não localizado: " + pasta.string() + "/log\xC3\xB3tipo.bmp");
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
        job::TDanfeUtils danfe(dm, plataforma);
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
        job::TDanfeUtils danfe(dm, plataforma);
        danfe.Executar(job::ModoExecucao::Tela, texto::Utf8ParaUtf16(xml), "");
        EXPECT_EQ(dm.tabelas.cdsNFE.Quantidade(), 0u);
        EXPECT_FALSE(dm.flags.Homologacao);
        EXPECT_FALSE(dm.flags.Contingencia);
        EXPECT_TRUE(dm.flags.ImprimirHora);  // not the run's to change in this mode
    }
}

TEST(FlagsTest, FalhaNaLeituraNaoMudaAsFlagsEAChamadaSeguinteFunciona) {
    job::TDM_Danfe dm;
    dm.flags.Homologacao = true;
    PlataformaGravada plataforma;
    {
        job::TDanfeUtils danfe(dm, plataforma);
        EXPECT_THROW(danfe.Executar(job::ModoExecucao::Impressora, u"", ""), Falha);
        EXPECT_THROW(danfe.EnviarEmail(u"<NFe><ide>", "", {}), Falha);
    }
    EXPECT_TRUE(dm.flags.Homologacao);
    job::TDanfeUtils danfe(dm, plataforma);
    danfe.EnviarEmail(texto::Utf8ParaUtf16(Nota("1", "2")), "", {});
    EXPECT_FALSE(dm.flags.Homologacao);
    EXPECT_TRUE(dm.flags.Contingencia);
    EXPECT_EQ(danfe.TipoImpressao(), 1);
}

}  // namespace
