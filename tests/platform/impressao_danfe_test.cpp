// PrintDanfe as a host calls it, through the loaded library, without a
// display, onto the queues of the private CUPS scheduler.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/texto.h"
#include "corvexa.h"
#include "cups_privado.h"

namespace fs = std::filesystem;
using corvexa::teste::CupsPrivado;

namespace {

std::u16string Amostra(const std::string& nome) {
    std::ifstream f(std::string(CORVEXA_SAMPLES) + "/" + nome, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    EXPECT_FALSE(s.str().empty()) << nome;
    return corvexa::texto::Utf8ParaUtf16(s.str());
}

// A fresh folder made the current one (nfeConfig.ini is read from there), and
// given back with its contents at the end.
class PastaCorrente {
public:
    PastaCorrente() {
        char modelo[] = "/tmp/corvexa-impressao.XXXXXX";
        pasta_ = mkdtemp(modelo);
        anterior_ = fs::current_path();
        fs::current_path(pasta_);
    }
    ~PastaCorrente() {
        fs::current_path(anterior_);
        fs::remove_all(pasta_);
    }
    const fs::path& operator*() const { return pasta_; }

private:
    fs::path pasta_;
    fs::path anterior_;
};

class ImpressaoDoDanfe : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Headless whatever terminal started the tests: no print dialog.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        try {
            cups_ = new CupsPrivado;
        } catch (const std::exception& e) {
            erro_ = e.what();
        }
        biblioteca_ = dlopen(CORVEXA_LIB, RTLD_NOW | RTLD_LOCAL);
        if (!biblioteca_) erro_ += dlerror();
    }
    static void TearDownTestSuite() {
        if (biblioteca_) dlclose(biblioteca_);
        biblioteca_ = nullptr;
        delete cups_;
        cups_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(cups_ && biblioteca_) << erro_;
        print_ = reinterpret_cast<decltype(&::PrintDanfe)>(dlsym(biblioteca_, "PrintDanfe"));
        export_ = reinterpret_cast<decltype(&::ExportDanfe)>(dlsym(biblioteca_, "ExportDanfe"));
        erro_f_ = reinterpret_cast<decltype(&::DanfeUltimoErro)>(dlsym(biblioteca_, "DanfeUltimoErro"));
        pasta_f_ = reinterpret_cast<decltype(&::DanfeDefinirPasta)>(dlsym(biblioteca_, "DanfeDefinirPasta"));
        ASSERT_TRUE(print_ && export_ && erro_f_ && pasta_f_);
    }

    // The pages of the DANFE the library exports for the same XML.
    int PaginasExportadas(const std::u16string& xml) {
        pasta_f_((*pasta_).c_str());
        export_(xml.c_str(), "nota.xml", "", 1);
        EXPECT_STREQ(erro_f_(), "");
        pasta_f_("");
        return corvexa::teste::PaginasDoPdf((*pasta_ / "nota.pdf").string());
    }

    static CupsPrivado* cups_;
    static void* biblioteca_;
    static std::string erro_;
    PastaCorrente pasta_;
    decltype(&::PrintDanfe) print_ = nullptr;
    decltype(&::ExportDanfe) export_ = nullptr;
    decltype(&::DanfeUltimoErro) erro_f_ = nullptr;
    decltype(&::DanfeDefinirPasta) pasta_f_ = nullptr;
};
CupsPrivado* ImpressaoDoDanfe::cups_ = nullptr;
void* ImpressaoDoDanfe::biblioteca_ = nullptr;
std::string ImpressaoDoDanfe::erro_;

int UltimoId(const CupsPrivado& cups, const std::string& fila) {
    const auto t = cups.Trabalhos(fila);
    return t.empty() ? 0 : t.back().id;
}

// First: a printer that an earlier call of the process configured stays in
// force for later calls that configure none.
TEST_F(ImpressaoDoDanfe, SemImpressoraConfiguradaVaiParaAPadrao) {
    const std::u16string xml = Amostra("sped-da-v400-nfeproc-41itens.xml");
    const int paginas = PaginasExportadas(xml);
    ASSERT_GT(paginas, 0);
    // No file at all, then a file whose printer is blank: the print dialog
    // would be shown, and without a display it confirms what it was given.
    for (const char* ini : {"", "[DANFE]\nImpressora=  \n"}) {
        SCOPED_TRACE(ini);
        if (*ini) std::ofstream(*pasta_ / "nfeConfig.ini") << ini;
        const int antes = UltimoId(*cups_, CupsPrivado::kPadrao);
        const int antesSegunda = UltimoId(*cups_, CupsPrivado::kSegunda);

        print_(xml.c_str(), "nota.xml", "");
        ASSERT_STREQ(erro_f_(), "");

        const auto t = cups_->EsperarUltimo(CupsPrivado::kPadrao);
        EXPECT_GT(t.id, antes);
        EXPECT_EQ(t.estado, "completed");
        EXPECT_EQ(t.copias, 1);
        EXPECT_EQ(t.titulo, "Report");  // the portrait layout's job name
        EXPECT_EQ(corvexa::teste::PaginasDoPdf(cups_->Saida(CupsPrivado::kPadrao)), paginas);
        EXPECT_EQ(UltimoId(*cups_, CupsPrivado::kSegunda), antesSegunda);
    }
}

TEST_F(ImpressaoDoDanfe, ImpressoraEViasDoArquivoDeConfiguracao) {
    const std::u16string xml = Amostra("bfr-v400-paisagem-29itens.xml");
    const int paginas = PaginasExportadas(xml);
    ASSERT_GT(paginas, 0);
    std::ofstream(*pasta_ / "nfeConfig.ini") << "[DANFE]\r\nVias=2\r\nImpressora=" << CupsPrivado::kSegunda << "\r\n";
    const int antesPadrao = UltimoId(*cups_, CupsPrivado::kPadrao);

    print_(xml.c_str(), "nota.xml", "");
    ASSERT_STREQ(erro_f_(), "");

    const auto t = cups_->EsperarUltimo(CupsPrivado::kSegunda);
    EXPECT_EQ(t.estado, "completed");
    EXPECT_EQ(t.copias, 2);
    EXPECT_EQ(t.titulo, "DANFE");  // the landscape layout's job name
    EXPECT_EQ(t.formato, "application/pdf");
    EXPECT_EQ(corvexa::teste::PaginasDoPdf(cups_->Saida(CupsPrivado::kSegunda)), paginas);
    EXPECT_EQ(UltimoId(*cups_, CupsPrivado::kPadrao), antesPadrao);
}

}  // namespace
