// The exported functions over many calls and from several threads: a second
// call entering while one runs is refused without disturbing it, a failed
// call leaves nothing behind and the next one works, and many calls do not
// make the process grow.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "../api/biblioteca.h"
#include "base/texto.h"

namespace corvexa::teste {
namespace {

constexpr const char* kRecusa =
    "Outra chamada da biblioteca está em andamento; as chamadas devem ser feitas uma de cada vez.";

std::u16string Amostra() { return texto::Utf8ParaUtf16(LerArquivo(CORVEXA_RAIZ "/samples/nfe-exemplo.xml")); }

// An invoice of many pages, so that an export takes a while.
std::u16string NotaLonga() {
    std::string xml = LerArquivo(CORVEXA_RAIZ "/samples/nfe-exemplo.xml");
    const size_t ini = xml.find("<det "), fim = xml.find("</det>") + 6;
    std::string det = xml.substr(ini, fim - ini), dets;
    for (int i = 0; i < 400; ++i) dets += det;
    xml.insert(fim, dets);
    return texto::Utf8ParaUtf16(xml);
}

TEST(Chamadas, SegundaChamadaEmOutraLinhaERecusadaSemAfetarAPrimeira) {
    Biblioteca lib;
    ASSERT_TRUE(lib.Carregada());
    PastaTemporaria pasta("hostil-linhas");
    lib.DefinirPasta((*pasta).c_str());
    const std::u16string longa = NotaLonga();

    std::atomic<bool> terminou{false};
    std::string erroPrimeira = "?";
    std::thread primeira([&] {
        // Retried only if the other thread happened to be inside first.
        do lib.Export(longa.c_str(), "longa.xml", "", 1);
        while (std::string(lib.UltimoErro()) == kRecusa);
        erroPrimeira = lib.UltimoErro();
        terminou = true;
    });
    int recusas = 0;
    std::string outra;
    // Until the first refusal: a call of ours made after the export ended
    // would overwrite the outcome that its thread is about to read.
    while (!terminou && recusas == 0) {
        lib.Design(0, 0, 0);
        const std::string e = lib.UltimoErro();
        if (e == kRecusa)
            ++recusas;
        else
            outra = e;
    }
    primeira.join();
    EXPECT_GT(recusas, 0);
    EXPECT_EQ(erroPrimeira, "");
    // A refusal belongs to its thread: here it is still read, the export's thread read success.
    if (recusas > 0 && outra.empty()) EXPECT_STREQ(lib.UltimoErro(), kRecusa);
    EXPECT_EQ(LerArquivo(*pasta / "longa.pdf").substr(0, 5), "%PDF-");
    EXPECT_NE(LerArquivo(*pasta / "longa.pdf").find("%%EOF"), std::string::npos);

    // The next call from this thread runs normally.
    lib.Design(0, 0, 0);
    EXPECT_STREQ(lib.UltimoErro(), "DesignDanfe não está disponível através da DLL.");
}

TEST(Chamadas, FalhaNaoDeixaArquivoNemTabelasParaAProxima) {
    Biblioteca lib;
    ASSERT_TRUE(lib.Carregada());
    PastaTemporaria pasta("hostil-falha");
    lib.DefinirPasta((*pasta).c_str());
    const std::u16string boa = Amostra();
    // The PDF's name is taken by a folder: the write fails, and no temporary file stays.
    fs::create_directories(*pasta / "ocupado.pdf");
    lib.Export(boa.c_str(), "ocupado.xml", "", 1);
    EXPECT_STRNE(lib.UltimoErro(), "");
    // A text that fails half way through its second NF-e.
    std::string xml = LerArquivo(CORVEXA_RAIZ "/samples/nfe-exemplo.xml");
    xml += "<NFe><infNFe Id='NFe1'><ide><dEmi>31/02/2020</dEmi></ide></infNFe></NFe>";
    lib.Export(texto::Utf8ParaUtf16(xml).c_str(), "meia.xml", "", 1);
    EXPECT_STRNE(lib.UltimoErro(), "");
    // The next call gives the first invoice alone, whole.
    lib.Export(boa.c_str(), "boa.xml", "", 1);
    EXPECT_STREQ(lib.UltimoErro(), "");
    std::vector<std::string> nomes;
    for (const auto& e : fs::directory_iterator(*pasta)) nomes.push_back(e.path().filename().string());
    std::sort(nomes.begin(), nomes.end());
    EXPECT_EQ(nomes, (std::vector<std::string>{"boa.pdf", "ocupado.pdf"}));
    EXPECT_TRUE(fs::is_directory(*pasta / "ocupado.pdf"));
}

long RssKb() {
    long paginas = 0, residentes = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &paginas, &residentes) != 2) residentes = 0;
        std::fclose(f);
    }
    return residentes * (sysconf(_SC_PAGESIZE) / 1024);
}

// CORVEXA_CHAMADAS=10000 for the long run; the suite makes a few hundred.
TEST(Chamadas, MuitasExportacoesNaoFazemOProcessoCrescer) {
    const char* env = std::getenv("CORVEXA_CHAMADAS");
    const int chamadas = env ? std::atoi(env) : 300;
    PastaTemporaria pasta("hostil-memoria");
    // In a child of its own, so that what other tests took does not count.
    const pid_t filho = fork();
    ASSERT_GE(filho, 0);
    if (filho == 0) {
        Biblioteca lib;
        lib.DefinirPasta((*pasta).c_str());
        const std::u16string boa = Amostra(), ruim = u"<NFe><infNFe>";
        long depoisDoAquecimento = 0;
        for (int i = 1; i <= chamadas; ++i) {
            // One failing call in ten: failures must release what they took too.
            lib.Export((i % 10 ? boa : ruim).c_str(), "nota.xml", "", i % 20 == 5 ? 2 : 1);
            if ((i % 10 != 0) != (lib.UltimoErro()[0] == '\0')) std::_Exit(2);
            if (i == chamadas / 10) depoisDoAquecimento = RssKb();
        }
        const long fim = RssKb();
        std::printf("RSS após %d chamadas: %ld kB; após %d: %ld kB\n", chamadas / 10, depoisDoAquecimento, chamadas, fim);
        std::fflush(stdout);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        // The sanitizer's quarantine holds freed memory back: here only its
        // leak check, at exit, speaks.
        std::exit(0);
#else
        // 2 MB of slack for the allocator's own bookkeeping.
        std::exit(fim - depoisDoAquecimento <= 2048 ? 0 : 3);
#endif
    }
    int estado = 0;
    ASSERT_EQ(waitpid(filho, &estado, 0), filho);
    ASSERT_TRUE(WIFEXITED(estado));
    EXPECT_EQ(WEXITSTATUS(estado), 0) << "2: resultado errado; 3: a memória cresceu";
}

}  // namespace
}  // namespace corvexa::teste
