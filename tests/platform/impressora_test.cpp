#include "platform/impressora.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "base/falha.h"
#include "cups_privado.h"
#include "servidor_smtp.h"

using namespace corvexa;
using corvexa::teste::CupsPrivado;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

namespace {

std::string LerArquivo(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string Falhou(const std::string& pdf, const std::string& impressora, int copias = 1) {
    try {
        platform::ImprimirPdf(pdf, impressora, copias, "DANFE");
    } catch (const Falha& f) {
        return f.what();
    }
    return "";
}

int UltimoId(const CupsPrivado& cups, const std::string& fila) {
    const auto t = cups.Trabalhos(fila);
    return t.empty() ? 0 : t.back().id;
}

class ImpressoraCups : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        try {
            cups_ = new CupsPrivado;
        } catch (const std::exception& e) {
            erro_ = e.what();
        }
    }
    static void TearDownTestSuite() {
        delete cups_;
        cups_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(cups_, nullptr) << erro_; }

    static CupsPrivado* cups_;
    static std::string erro_;
};
CupsPrivado* ImpressoraCups::cups_ = nullptr;
std::string ImpressoraCups::erro_;

TEST_F(ImpressoraCups, FilaNomeadaRecebeOPdfInteiroComAsCopiasEOTitulo) {
    const std::string pdf = teste::PdfDePaginas(3);
    const int antesPadrao = UltimoId(*cups_, CupsPrivado::kPadrao);

    platform::ImprimirPdf(pdf, CupsPrivado::kSegunda, 2, "DANFE");

    const auto t = cups_->EsperarUltimo(CupsPrivado::kSegunda);
    EXPECT_EQ(t.estado, "completed");
    EXPECT_EQ(t.titulo, "DANFE");
    EXPECT_EQ(t.copias, 2);
    EXPECT_EQ(t.formato, "application/pdf");
    // The queue passes PDF through: the printed file is the document itself.
    const std::string saida = cups_->Saida(CupsPrivado::kSegunda);
    EXPECT_EQ(teste::PaginasDoPdf(saida), 3);
    EXPECT_TRUE(LerArquivo(saida) == pdf);
    EXPECT_EQ(UltimoId(*cups_, CupsPrivado::kPadrao), antesPadrao) << "nothing goes to the default queue";
}

TEST_F(ImpressoraCups, DefaultOuNomeVazioVaiParaAFilaPadrao) {
    struct Caso {
        std::string impressora;
        int copias;
        int copiasNaFila;  // fewer than one copy prints one
    };
    for (const Caso& c : {Caso{"Default", 1, 1}, Caso{"", 0, 1}, Caso{"Default", -3, 1}}) {
        SCOPED_TRACE("\"" + c.impressora + "\" copias " + std::to_string(c.copias));
        const int antes = UltimoId(*cups_, CupsPrivado::kPadrao);
        const int antesSegunda = UltimoId(*cups_, CupsPrivado::kSegunda);

        platform::ImprimirPdf(teste::PdfDePaginas(2), c.impressora, c.copias, "Report");

        const auto t = cups_->EsperarUltimo(CupsPrivado::kPadrao);
        EXPECT_GT(t.id, antes);
        EXPECT_EQ(t.estado, "completed");
        EXPECT_EQ(t.titulo, "Report");
        EXPECT_EQ(t.copias, c.copiasNaFila);
        EXPECT_EQ(teste::PaginasDoPdf(cups_->Saida(CupsPrivado::kPadrao)), 2);
        EXPECT_EQ(UltimoId(*cups_, CupsPrivado::kSegunda), antesSegunda);
    }
}

TEST_F(ImpressoraCups, ListaAsFilasEDizQuaisExistem) {
    EXPECT_THAT(platform::Impressoras(), UnorderedElementsAre(CupsPrivado::kPadrao, CupsPrivado::kSegunda));

    const std::pair<std::string, bool> casos[] = {
        {CupsPrivado::kSegunda, true},
        {CupsPrivado::kPadrao, true},
        {"Default", true},  // the default destination, as ImprimirPdf reads it
        {"", false},
        {"nenhuma", false},
        {"expedicao/copia", false},
    };
    for (const auto& [nome, existe] : casos) EXPECT_EQ(platform::ImpressoraExiste(nome), existe) << nome;
}

TEST_F(ImpressoraCups, ImpressoraDesconhecidaFalhaComONomeESemTrabalho) {
    const struct {
        std::string impressora;
        std::string nomeNaMensagem;
    } casos[] = {
        {"nenhuma", "nenhuma"},
        {"Balc\xE3o", "Balc\xC3\xA3o"},  // code-page text from the configuration file, shown as UTF-8
        {"com espaço", "com espaço"},
    };
    for (const auto& c : casos) {
        const int antes = UltimoId(*cups_, CupsPrivado::kPadrao) + UltimoId(*cups_, CupsPrivado::kSegunda);
        EXPECT_THAT(Falhou(teste::PdfDePaginas(1), c.impressora),
                    StartsWith("Não foi possível imprimir em \"" + c.nomeNaMensagem + "\": impressora não encontrada ("));
        EXPECT_EQ(UltimoId(*cups_, CupsPrivado::kPadrao) + UltimoId(*cups_, CupsPrivado::kSegunda), antes);
    }
}

TEST_F(ImpressoraCups, TrabalhoRecusadoFalhaComOMotivoDoServidor) {
    const int antes = UltimoId(*cups_, CupsPrivado::kSegunda);
    // More copies than the scheduler allows (9999 by default).
    const std::string m = Falhou(teste::PdfDePaginas(1), CupsPrivado::kSegunda, 100000);
    EXPECT_THAT(m, StartsWith("Não foi possível imprimir em \"expedicao\": o trabalho foi recusado ("));
    EXPECT_THAT(m, HasSubstr("100000"));
    EXPECT_EQ(UltimoId(*cups_, CupsPrivado::kSegunda), antes);

    EXPECT_EQ(Falhou("", CupsPrivado::kSegunda), "Não foi possível imprimir em \"expedicao\": o documento está vazio");
}

// CUPS_SERVER pointing somewhere else for the life of the object.
class ServidorCupsEm {
public:
    explicit ServidorCupsEm(const std::string& servidor) {
        if (const char* v = std::getenv("CUPS_SERVER")) anterior_ = v, havia_ = true;
        setenv("CUPS_SERVER", servidor.c_str(), 1);
        teste::RelerServidorCups();
    }
    ~ServidorCupsEm() {
        if (havia_)
            setenv("CUPS_SERVER", anterior_.c_str(), 1);
        else
            unsetenv("CUPS_SERVER");
        teste::RelerServidorCups();
    }

private:
    std::string anterior_;
    bool havia_ = false;
};

double Segundos(std::chrono::steady_clock::time_point desde) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - desde).count();
}

TEST(ImpressoraSemServidor, FalhaLogoComMensagemClara) {
    const std::string servidor = "127.0.0.1:" + std::to_string(teste::PortaFechada());
    ServidorCupsEm em(servidor);

    const auto inicio = std::chrono::steady_clock::now();
    for (const char* impressora : {"Default", "expedicao"}) {
        const std::string m = Falhou(teste::PdfDePaginas(1), impressora);
        EXPECT_THAT(m, StartsWith("Não foi possível imprimir "));
        EXPECT_THAT(m, HasSubstr("o serviço de impressão (CUPS) em \"" + servidor + "\" não responde ("));
    }
    EXPECT_TRUE(platform::Impressoras().empty());
    EXPECT_FALSE(platform::ImpressoraExiste("expedicao"));
    EXPECT_LT(Segundos(inicio), 2.0);
}

// A spooler that takes connections and never answers: the kernel completes
// them on the listening socket, nobody reads.
TEST(ImpressoraSemServidor, ServidorMudoNaoPrendeParaSempre) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(s, 8), 0);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    const std::string servidor = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    ServidorCupsEm em(servidor);

    // For a name the spooler does not confirm, libcups itself would go on
    // searching through its own connection, without a bound; for the default,
    // its lookup cut short reads as "no default printer".
    for (const char* impressora : {"expedicao", "Default"}) {
        const auto inicio = std::chrono::steady_clock::now();
        EXPECT_THAT(Falhou(teste::PdfDePaginas(1), impressora),
                    HasSubstr("o serviço de impressão (CUPS) em \"" + servidor + "\" não responde ("))
            << impressora;
        EXPECT_LT(Segundos(inicio), 30.0) << impressora;
    }
    close(s);
}

}  // namespace
