// danfe as an operator runs it: many files, folders, failures per file.
#include <signal.h>
#include <spawn.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "comum.h"

namespace {

using namespace corvexa::teste;

struct Saida {
    int codigo;
    std::string out, err;
};

// Runs danfe with the C locale (the thousands separator of the totals is ",").
Saida Rodar(const fs::path& pasta, const std::vector<std::string>& args) {
    std::string cmd = "LC_ALL=C " + Aspas(std::string(CORVEXA_BIN) + "/danfe");
    for (const auto& a : args) cmd += " " + Aspas(a);
    cmd += " >" + Aspas((pasta / "stdout").string()) + " 2>" + Aspas((pasta / "stderr").string());
    const int st = std::system(cmd.c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, LerArquivo(pasta / "stdout"), LerArquivo(pasta / "stderr")};
}

std::vector<std::string> Linhas(const std::string& s) {
    std::vector<std::string> r;
    size_t i = 0;
    while (i < s.size()) {
        const size_t f = s.find('\n', i);
        r.push_back(s.substr(i, f == std::string::npos ? std::string::npos : f - i));
        if (f == std::string::npos) break;
        i = f + 1;
    }
    return r;
}

// The files under a folder, by their path inside it.
std::set<std::string> Arquivos(const fs::path& pasta) {
    std::set<std::string> r;
    if (fs::exists(pasta))
        for (const auto& e : fs::recursive_directory_iterator(pasta))
            if (e.is_regular_file()) r.insert(e.path().lexically_relative(pasta).string());
    return r;
}

// An NF-e of layout 3.10 as it is stored once authorised: inside nfeProc,
// after its protocol's declaration of the namespace.
std::string NfeProc310() {
    std::string nfe = Trocar(Amostra("bfr-v400-paisagem-29itens.xml"), "versao=\"4.00\"", "versao=\"3.10\"");
    nfe.erase(0, nfe.find("<NFe"));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"3.10\">" +
           nfe +
           "<protNFe versao=\"3.10\"><infProt><tpAmb>2</tpAmb><chNFe>35200159594315000157550010000000022062777169"
           "</chNFe><cStat>100</cStat></infProt></protNFe></nfeProc>\n";
}

// Real NF-e of layouts 2.00, 3.10 and 4.00, bare and inside nfeProc, with and
// without billing, with Simples Nacional items: the PDF shows the issue date,
// an item and the total of the XML.
TEST(Danfe, AmostrasEmPdfConferidasPeloTexto) {
    PastaTemporaria pasta("cli-amostras");
    const struct {
        const char* arquivo;
        std::string xml;
        std::vector<std::string> textos;  // date, item code and description, total
    } casos[] = {
        {"exemplo.xml", Exemplo(), {"10/06/2024", "PAR-0001", "PARAFUSO SEXTAVADO ZINCADO M8", "910.83"}},
        {"simples.xml", Amostra("br_danfe-v200-simples-nacional.xml"),
         {"28/12/2013", "Tijolo Macico Tipo A", "0102 6101", "200.00"}},  // origin 0 + CSOSN 102
        {"proc-200.xml", Amostra("br_danfe-v200-nfeproc-15itens.xml"),
         {"29/10/2011", "00005", "LIVRO POR LIT GRAMATICA", "110,635.20"}},
        {"proc-400.xml", Amostra("sped-da-v400-nfeproc-41itens.xml"),
         {"12/05/2025", "/136520", "FRIGIDEIRA RETA ALTA 20", "238,643.07"}},
        {"paisagem-400.xml", Amostra("bfr-v400-paisagem-29itens.xml"),
         {"01/01/2020", "FURN_9001", "Flipover", "58,500.00"}},
        {"proc-310.xml", NfeProc310(), {"01/01/2020", "FURN_9001", "Flipover", "58,500.00"}},
    };
    std::vector<std::string> args = {"pdf", "-v", "-o", (pasta / "saida").string()};
    for (const auto& c : casos) {
        Gravar(pasta / "xml" / c.arquivo, c.xml);
        args.push_back((pasta / "xml" / c.arquivo).string());
    }
    const Saida s = Rodar(*pasta, args);
    ASSERT_EQ(s.codigo, 0) << s.err;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.arquivo);
        const std::string pdf = std::string(c.arquivo).replace(std::string(c.arquivo).size() - 4, 4, ".pdf");
        const std::string texto = TextoPdf(pasta / "saida" / pdf);
        for (const auto& t : c.textos) EXPECT_NE(texto.find(t), std::string::npos) << t;
    }
    // -v tells which NF-e were taken out of their nfeProc.
    EXPECT_NE(s.err.find("proc-310.xml: NF-e 2 dentro de <nfeProc> -> "), std::string::npos) << s.err;
    EXPECT_NE(s.err.find("simples.xml: NF-e 1 -> "), std::string::npos) << s.err;
}

// One broken file among good ones: every good PDF is written, the broken one
// is named on one line, and the exit code says that something failed.
TEST(Danfe, LoteContinuaDepoisDeArquivoQuebrado) {
    PastaTemporaria pasta("cli-lote");
    const fs::path entrada = pasta / "entrada";
    Gravar(entrada / "a.xml", Amostra("br_danfe-v200-simples-nacional.xml"));
    Gravar(entrada / "b.XML", Amostra("br_danfe-v200-nfeproc-15itens.xml"));
    Gravar(entrada / "c.xml", Exemplo());
    Gravar(entrada / "quebrado.xml", Amostra("br_danfe-v200-simples-nacional.xml").substr(0, 1500));
    Gravar(entrada / "evento.xml", "<procEventoNFe><evento><infEvento/></evento></procEventoNFe>");
    Gravar(entrada / "leia-me.txt", "não é XML");

    const Saida s = Rodar(*pasta, {"pdf", entrada.string(), "-o", (pasta / "saida").string(), "-j", "2"});
    EXPECT_EQ(s.codigo, 1);
    EXPECT_EQ(s.out, "");
    EXPECT_EQ(Arquivos(pasta / "saida"), (std::set<std::string>{"a.pdf", "b.pdf", "c.pdf"}));
    for (const char* pdf : {"a.pdf", "b.pdf", "c.pdf"}) EXPECT_EQ(PaginasPdf(pasta / "saida" / pdf), 1) << pdf;
    std::vector<std::string> linhas = Linhas(s.err);
    std::sort(linhas.begin(), linhas.end());
    ASSERT_EQ(linhas.size(), 2u) << s.err;
    EXPECT_EQ(linhas[0], (entrada / "evento.xml").string() + ": nenhuma NF-e no arquivo");
    EXPECT_TRUE(linhas[1].starts_with((entrada / "quebrado.xml").string() + ": XML inválido na linha ")) << linhas[1];
}

// One PDF of several files: the pages of each, each NF-e numbered on its own,
// also when two files hold NF-e of the same number.
TEST(Danfe, UnirSomaAsPaginasDeCadaArquivo) {
    PastaTemporaria pasta("cli-unir");
    const std::string simples = Amostra("br_danfe-v200-simples-nacional.xml");
    Gravar(pasta / "1.xml", Amostra("bfr-v400-paisagem-29itens.xml"));                        // 4 pages
    Gravar(pasta / "2.xml", simples);                                                        // NF-e 1
    Gravar(pasta / "3.xml", Amostra("sped-da-v400-nfeproc-41itens.xml"));                    // 2 pages
    Gravar(pasta / "4.xml", Trocar(simples, "Tijolo Macico Tipo A", "Telha Colonial"));      // NF-e 1 again
    Gravar(pasta / "5.xml", "<NFe>");
    const fs::path unido = pasta / "lote" / "todas.pdf";
    const Saida s = Rodar(*pasta, {"pdf", "--unir", "-o", unido.string(), (pasta / "1.xml").string(),
                                   (pasta / "2.xml").string(), (pasta / "3.xml").string(),
                                   (pasta / "4.xml").string(), (pasta / "5.xml").string()});
    EXPECT_EQ(s.codigo, 1);  // 5.xml
    EXPECT_EQ(Linhas(s.err).size(), 1u) << s.err;
    EXPECT_EQ(PaginasPdf(unido), 4 + 1 + 2 + 1);
    const std::string texto = TextoPdf(unido);
    EXPECT_NE(texto.find("Tijolo Macico Tipo A"), std::string::npos);
    EXPECT_NE(texto.find("Telha Colonial"), std::string::npos);
    EXPECT_EQ(Arquivos(pasta / "lote"), std::set<std::string>{"todas.pdf"});
}

// Folders: their XML files only, subfolders with -r, mirrored under -o; and
// running in parallel changes no byte of what is written.
TEST(Danfe, PastasRecursivasEParalelo) {
    PastaTemporaria pasta("cli-pastas");
    const fs::path entrada = pasta / "entrada";
    Gravar(entrada / "topo.xml", Amostra("br_danfe-v200-simples-nacional.xml"));
    Gravar(entrada / "sub" / "proc.xml", Amostra("sped-da-v400-nfeproc-41itens.xml"));
    Gravar(entrada / "sub" / "fundo" / "paisagem.xml", Amostra("bfr-v400-paisagem-29itens.xml"));
    Gravar(entrada / "sub" / "fundo" / "exemplo.xml", Exemplo());

    Saida s = Rodar(*pasta, {"pdf", entrada.string(), "-o", (pasta / "raso").string()});
    EXPECT_EQ(s.codigo, 0) << s.err;
    EXPECT_EQ(Arquivos(pasta / "raso"), std::set<std::string>{"topo.pdf"});

    const std::set<std::string> todos = {"topo.pdf", "sub/proc.pdf", "sub/fundo/paisagem.pdf", "sub/fundo/exemplo.pdf"};
    for (const char* j : {"1", "2"}) {
        s = Rodar(*pasta, {"pdf", "-r", "-j", j, entrada.string(), "-o", (pasta / (std::string("j") + j)).string()});
        EXPECT_EQ(s.codigo, 0) << s.err;
        EXPECT_EQ(Arquivos(pasta / (std::string("j") + j)), todos);
    }
    // Only the creation time may differ.
    const std::regex criacao("/CreationDate\\(D:[0-9]+Z\\)");
    for (const auto& a : todos)
        EXPECT_EQ(std::regex_replace(LerArquivo(pasta / "j1" / a), criacao, ""),
                  std::regex_replace(LerArquivo(pasta / "j2" / a), criacao, ""))
            << a;

    // Without -o each picture goes beside its XML.
    s = Rodar(*pasta, {"jpeg", "-r", "--dpi", "30", (entrada / "sub").string()});
    EXPECT_EQ(s.codigo, 0) << s.err;
    for (const char* j : {"proc.jpg", "proc-2.jpg", "fundo/paisagem.jpg", "fundo/paisagem-4.jpg", "fundo/exemplo.jpg"})
        EXPECT_TRUE(LerArquivo(entrada / "sub" / j).starts_with("\xFF\xD8\xFF")) << j;
}

// Ctrl-C in the middle of a batch: the tool ends by the signal, as the
// shell expects, and leaves no temporary file in the output folder.
TEST(Danfe, InterrompidoNaoDeixaTemporarios) {
    PastaTemporaria pasta("cli-sinal");
    const std::string xml = Exemplo();
    for (int i = 0; i < 400; ++i) Gravar(pasta / "entrada" / ("n" + std::to_string(i) + ".xml"), xml);
    const std::string danfe = std::string(CORVEXA_BIN) + "/danfe", entrada = (pasta / "entrada").string(),
                      saida = (pasta / "saida").string();
    std::vector<const char*> argv = {danfe.c_str(), "png", "--dpi", "150", "-j", "2",
                                     entrada.c_str(), "-o", saida.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, danfe.c_str(), nullptr, nullptr, const_cast<char**>(argv.data()), environ), 0);
    // Interrupted once it has begun writing.
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Arquivos(pasta / "saida").empty() && std::chrono::steady_clock::now() < limite)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(pid, SIGINT);
    int estado = 0;
    ASSERT_EQ(waitpid(pid, &estado, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(estado)) << "terminou antes do sinal: aumente o lote";
    EXPECT_EQ(WTERMSIG(estado), SIGINT);
    for (const auto& f : Arquivos(pasta / "saida")) EXPECT_FALSE(f.ends_with(".tmp")) << f;
}

// One input and -o naming a file; two inputs that would write the same file.
TEST(Danfe, NomesDasSaidas) {
    PastaTemporaria pasta("cli-nomes");
    Gravar(pasta / "a" / "nota.xml", Exemplo());
    Gravar(pasta / "b" / "nota.xml", Amostra("br_danfe-v200-simples-nacional.xml"));

    Saida s = Rodar(*pasta, {"png", (pasta / "a" / "nota.xml").string(), "-o", (pasta / "nova" / "x.png").string(),
                             "--dpi", "20"});
    EXPECT_EQ(s.codigo, 0) << s.err;
    EXPECT_EQ(Arquivos(pasta / "nova"), std::set<std::string>{"x.png"});

    s = Rodar(*pasta, {"pdf", (pasta / "a" / "nota.xml").string(), (pasta / "b" / "nota.xml").string(), "-o",
                       (pasta / "saida").string()});
    EXPECT_EQ(s.codigo, 1);
    EXPECT_EQ(Arquivos(pasta / "saida"), std::set<std::string>{"nota.pdf"});
    EXPECT_EQ(s.err, (pasta / "b" / "nota.xml").string() + ": o arquivo de saída " + (pasta / "saida" / "nota.pdf").string() +
                         " já é o de " + (pasta / "a" / "nota.xml").string() + "\n");
    EXPECT_NE(TextoPdf(pasta / "saida" / "nota.pdf").find("PAR-0001"), std::string::npos);

    // No output replaces an input.
    Gravar(pasta / "c" / "nota.pdf", Exemplo());
    s = Rodar(*pasta, {"pdf", (pasta / "c" / "nota.pdf").string()});
    EXPECT_EQ(s.codigo, 1);
    EXPECT_EQ(s.err, (pasta / "c" / "nota.pdf").string() + ": a saída seria o próprio arquivo de entrada\n");
    s = Rodar(*pasta, {"pdf", "--unir", (pasta / "a" / "nota.xml").string(), "-o", (pasta / "a" / "nota.xml").string()});
    EXPECT_EQ(s.codigo, 2);
    EXPECT_EQ(LerArquivo(pasta / "a" / "nota.xml"), Exemplo());
}

TEST(Danfe, AjudaVersaoEUso) {
    PastaTemporaria pasta("cli-uso");
    for (const char* c : {"pdf", "jpeg", "png", "tabelas", "paginas", "exportar", "imprimir", "visualizar", "email"}) {
        const Saida s = Rodar(*pasta, {c, "--help"});
        EXPECT_EQ(s.codigo, 0) << c;
        EXPECT_TRUE(s.out.starts_with(std::string("Uso: danfe ") + c + " ")) << s.out;
    }
    Saida s = Rodar(*pasta, {"--help"});
    EXPECT_EQ(s.codigo, 0);
    EXPECT_NE(s.out.find("  png "), std::string::npos);
    s = Rodar(*pasta, {"--version"});
    EXPECT_EQ(s.codigo, 0);
    EXPECT_TRUE(std::regex_match(s.out, std::regex("danfe \\(Corvexa\\) [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << s.out;

    const struct {
        std::vector<std::string> args;
        std::string mensagem;
    } usos[] = {
        {{"pdf"}, "danfe pdf: nenhum arquivo indicado\n"},
        {{"pdf", "a.xml", "--unir"}, "danfe pdf: --unir precisa de -o ARQUIVO.pdf\n"},
        {{"jpeg", "a.xml", "--unir"}, "danfe jpeg: opção desconhecida: --unir\n"},
        {{"pdf", "a.xml", "-j", "0"}, "danfe pdf: valor inválido para -j: \"0\" (de 1 a 1024)\n"},
        {{"jpeg", "a.xml", "--qualidade", "101"}, "danfe jpeg: valor inválido para --qualidade: \"101\" (de 1 a 100)\n"},
        {{"png", "a.xml", "-o"}, "danfe png: falta o valor de -o\n"},
    };
    for (const auto& u : usos) {
        s = Rodar(*pasta, u.args);
        EXPECT_EQ(s.codigo, 2) << u.mensagem;
        EXPECT_TRUE(s.err.starts_with(u.mensagem + "Uso: danfe " + u.args[0] + " ")) << s.err;
    }
    // Many files into what is a file.
    Gravar(pasta / "arquivo", "x");
    s = Rodar(*pasta, {"pdf", "a.xml", "b.xml", "-o", (pasta / "arquivo").string()});
    EXPECT_EQ(s.codigo, 2);
    EXPECT_NE(s.err.find("não é uma pasta"), std::string::npos) << s.err;
}

}  // namespace
