#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/texto.h"
#include "biblioteca.h"
#include "corvexa.h"

namespace {

using namespace corvexa;
using namespace corvexa::teste;

std::string Amostra(const std::string& nome) { return LerArquivo(fs::path(CORVEXA_SAMPLES) / nome); }

std::string Trocar(std::string s, const std::string& de, const std::string& para) {
    const auto p = s.find(de);
    EXPECT_NE(p, std::string::npos) << de;
    if (p != std::string::npos) s.replace(p, de.size(), para);
    return s;
}

// An NF-e without "infNFe": its walk fails with the reader's message.
std::string SemChave() {
    return Trocar(Trocar(Amostra("br_danfe-v200-simples-nacional.xml"), "<infNFe", "<infNFX"), "</infNFe>", "</infNFX>");
}

// Every test runs without a display, whatever the terminal that started it
// has: the preview must fail rather than open a window and wait.
class SemTela : public ::testing::Environment {
public:
    void SetUp() override {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
    }
};
const auto* const kSemTela = ::testing::AddGlobalTestEnvironment(new SemTela);

// The first lines of pdfinfo's report that the tests look at.
std::string InfoPdf(const fs::path& pdf) {
    std::string r;
    const std::string cmd = "pdfinfo " + std::string("'") + pdf.string() + "' 2>&1";
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char linha[512];
        while (fgets(linha, sizeof linha, p))
            for (const char* campo : {"Title:", "Author:", "Pages:"})
                if (std::string_view(linha).starts_with(campo)) r += linha;
        pclose(p);
    }
    return r;
}

TEST(ApiTest, FalhasChegamPeloUltimoErroEANaoPassamParaAChamadaSeguinte) {
    const std::string localeAntes = std::setlocale(LC_ALL, nullptr);
    Biblioteca lib;
    ASSERT_TRUE(lib.Carregada());
    PastaTemporaria pasta;
    Gravar(*pasta / "logo.png", "x");
    Gravar(*pasta / "logo.gif", "x");
    const std::u16string nota = texto::Utf8ParaUtf16(Amostra("br_danfe-v200-simples-nacional.xml"));
    const char16_t* xml = nota.c_str();
    const std::string png = (*pasta / "logo.png").string();
    const std::string gif = (*pasta / "logo.gif").string();
    const std::string ausente = (*pasta / "ausente.bmp").string();

    lib.Design(1, 2, 3);
    EXPECT_STREQ(lib.UltimoErro(), "DesignDanfe não está disponível através da DLL.");
    lib.DefinirPasta((*pasta).string().c_str());
    EXPECT_STREQ(lib.UltimoErro(), "");
    // No display here: the preview fails, and says so.
    lib.Preview(xml, "nota.xml", "");
    EXPECT_STRNE(lib.UltimoErro(), "");

    // Null pointers read as empty texts: an empty XML fails at the load.
    lib.Print(nullptr, nullptr, nullptr);
    EXPECT_STRNE(lib.UltimoErro(), "");
    lib.Export(xml, nullptr, nullptr, 1);
    EXPECT_STREQ(lib.UltimoErro(), "");
    EXPECT_TRUE(fs::exists(*pasta / ".pdf"));
    // Without recipients a server delivers nothing: the call fails before sending.
    lib.Email(xml, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(lib.UltimoErro(), "Nenhum destinatário informado para o envio do e-mail.");
    lib.Design(0, 0, 0);
    EXPECT_STREQ(lib.UltimoErro(), "DesignDanfe não está disponível através da DLL.");

    lib.Export(xml, "nota.xml", png.c_str(), 1);
    EXPECT_EQ(std::string(lib.UltimoErro()).rfind("Arquivo do logotipo inválido: " + png + " (", 0), 0u)
        << lib.UltimoErro();
    lib.Preview(xml, "nota.xml", gif.c_str());
    EXPECT_STREQ(lib.UltimoErro(), "Unknown picture file extension (.gif)");
    lib.Email(u"<NFe><ide>", "", "", "smtp", "a@b", "", "assunto", "corpo", "u", "s");
    EXPECT_STRNE(lib.UltimoErro(), "");
    const std::u16string semChave = texto::Utf8ParaUtf16(SemChave());
    lib.Export(semChave.c_str(), "nota.xml", "", 1);
    EXPECT_STREQ(lib.UltimoErro(), "Existe Nota sem Chave (ID). Por favor, verifique e tente novamente.");
    lib.Export(xml, "nota.xml", "   ", 2);
    EXPECT_STREQ(lib.UltimoErro(), "");

    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), localeAntes);
}

TEST(ApiTest, ExportaParaAPastaDefinida) {
    Biblioteca lib;
    ASSERT_TRUE(lib.Carregada());
    PastaTemporaria pasta;
    const std::u16string nota = texto::Utf8ParaUtf16(Amostra("br_danfe-v200-simples-nacional.xml"));
    lib.DefinirPasta((*pasta).string().c_str());
    for (int32_t tipo : {1, 2, 0, 3, -1}) {
        const std::string nome = "C:\\notas\\nota" + std::to_string(tipo) + ".xml";
        lib.Export(nota.c_str(), nome.c_str(), (*pasta / "ausente.bmp").string().c_str(), tipo);  // a missing logo is no failure
        EXPECT_STREQ(lib.UltimoErro(), "") << tipo;
        const fs::path arquivo = *pasta / ("nota" + std::to_string(tipo) + (tipo == 2 ? ".jpg" : ".pdf"));
        if (tipo == 2)
            EXPECT_TRUE(LerArquivo(arquivo).starts_with("\xFF\xD8\xFF")) << arquivo;
        else
            EXPECT_EQ(InfoPdf(arquivo), "Title:           NFe - DANFE\nAuthor:          Tessalin\nPages:           1\n")
                << arquivo;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(*pasta), fs::directory_iterator()), 5);

    // A folder that does not exist: a clear failure, and no file anywhere.
    const std::string ausente = (*pasta / "nao-existe").string();
    lib.DefinirPasta(ausente.c_str());
    lib.Export(nota.c_str(), "outra.xml", "", 1);
    EXPECT_NE(std::string(lib.UltimoErro()).find(ausente + "/outra.pdf"), std::string::npos) << lib.UltimoErro();
    // Back to the chooser, which has nobody to ask: the export is called off
    // and the earlier files stay as they are.
    lib.DefinirPasta("");
    lib.Export(nota.c_str(), "nota1.xml", "", 2);
    EXPECT_STREQ(lib.UltimoErro(), "");
    lib.DefinirPasta(nullptr);
    lib.Export(nota.c_str(), "nota1.xml", "", 1);
    EXPECT_STREQ(lib.UltimoErro(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(*pasta), fs::directory_iterator()), 5);
}

TEST(ApiTest, RecarregarABibliotecaComecaDoZero) {
    PastaTemporaria pasta;
    const std::u16string nota = texto::Utf8ParaUtf16(Amostra("br_danfe-v200-simples-nacional.xml"));
    for (int vez = 0; vez < 2; ++vez) {
        SCOPED_TRACE(vez);
        Biblioteca lib;
        ASSERT_TRUE(lib.Carregada());
        // Fresh: no folder set and the layouts on the preview, which fails here.
        lib.Export(nota.c_str(), "nota.xml", "", 1);
        EXPECT_STRNE(lib.UltimoErro(), "");
        lib.DefinirPasta((*pasta).string().c_str());
        lib.Export(nota.c_str(), "nota.xml", "", 1);
        EXPECT_STREQ(lib.UltimoErro(), "");
        // The layouts keep the PDF output: no folder now exports nothing.
        lib.DefinirPasta("");
        lib.Export(nota.c_str(), "nota.xml", "", 1);
        EXPECT_STREQ(lib.UltimoErro(), "");
    }
}

// --- The command-line tool -------------------------------------------------

struct Saida {
    int codigo;
    std::string out, err;
};

std::string Aspas(const std::string& s) {
    std::string r = "'";
    for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return r + "'";
}

Saida Rodar(const fs::path& pasta, const std::vector<std::string>& args) {
    std::string cmd = Aspas(std::string(CORVEXA_BIN) + "/danfe");
    for (const auto& a : args) cmd += " " + Aspas(a);
    cmd += " >" + Aspas((pasta / "out").string()) + " 2>" + Aspas((pasta / "err").string());
    const int st = std::system(cmd.c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, LerArquivo(pasta / "out"), LerArquivo(pasta / "err")};
}

std::string UltimaLinha(std::string s) {
    while (!s.empty() && s.back() == '\n') s.pop_back();
    const auto p = s.rfind('\n');
    return p == std::string::npos ? s : s.substr(p + 1);
}

// Parses the JSON with an independent parser and sums up what the tests look at.
std::string Resumo(const fs::path& json) {
    const std::string script =
        "import json,sys\n"
        "d=json.load(open(sys.argv[1],encoding='utf-8'))\n"
        "n=d['cdsNFE']\n"
        "u=n[-1] if n else {}\n"
        "print(d['TipoImpressao'],d['Homologacao'],d['Contingencia'],len(n),len(d['cdsNFE_Itens']),"
        "len(d['cdsCobranca']),*[repr(u.get(c,'-')) for c in ('EmitNome','ValorTotNota','DtEmissao',"
        "'LogotipoEmitente')],list(d)==['TipoImpressao','Homologacao','Contingencia','cdsNFE',"
        "'cdsNFE_Itens','cdsCobranca'])\n";
    const std::string cmd = "/usr/bin/python3 -c " + Aspas(script) + " " + Aspas(json.string()) + " 2>&1";
    std::string r;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (size_t n = fread(buf, 1, sizeof buf, p)) r.append(buf, n);
        pclose(p);
    }
    return r;
}

TEST(CliTest, TabelasEmJson) {
    PastaTemporaria pasta;
    const std::string nota = Amostra("br_danfe-v200-simples-nacional.xml");
    const std::string paisagem = Trocar(Trocar(nota, "<tpImp>1</tpImp>", "<tpImp>2</tpImp>"), "<tpAmb>1</tpAmb>",
                                        "<tpAmb>2</tpAmb>");
    const struct {
        const char* nome;
        std::string xml;
        const char* resumo;
    } casos[] = {
        {"uma nota", nota, "1 False False 1 3 5 'KRON INSTRUMENTOS ELETRICOS LTDA' 200 '2013-12-28' None True\n"},
        // The flags and the print format come from the last NF-e.
        {"duas notas", nota + paisagem,
         "2 True False 2 6 10 'KRON INSTRUMENTOS ELETRICOS LTDA' 200 '2013-12-28' None True\n"},
        // An NF-e enclosed with its protocol is not read: empty tables.
        {"nfeProc", Amostra("br_danfe-v200-nfeproc-15itens.xml"), "0 False False 0 0 0 '-' '-' '-' '-' True\n"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        Gravar(*pasta / "nota.xml", c.xml);
        const Saida s = Rodar(*pasta, {"tabelas", (*pasta / "nota.xml").string()});
        ASSERT_EQ(s.codigo, 0) << s.err;
        Gravar(*pasta / "t.json", s.out);
        EXPECT_EQ(Resumo(*pasta / "t.json"), c.resumo);
    }
}

TEST(CliTest, CodificacoesDoArquivoDaoAsMesmasTabelas) {
    PastaTemporaria pasta;
    // Quote, backslash, tab and a control character must come out escaped.
    const std::string utf8 = Trocar(Amostra("br_danfe-v200-simples-nacional.xml"),
                                    "<xNome>KRON INSTRUMENTOS ELETRICOS LTDA</xNome>",
                                    "<xNome>A\xC3\xA7\xC3\xA3o \"A\\B\"\t&#1;fim</xNome>");
    const std::u16string u16 = texto::Utf8ParaUtf16(utf8);
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (char16_t c : u16) {
        le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    }
    const std::pair<const char*, std::string> arquivos[] = {
        {"utf8", utf8},
        {"utf8-bom", "\xEF\xBB\xBF" + utf8},
        {"utf16le", le},
        {"utf16be", be},
        {"cp1252", Trocar(utf8, "A\xC3\xA7\xC3\xA3o", "A\xE7\xE3o")},
    };
    std::string primeira;
    for (const auto& [nome, bytes] : arquivos) {
        SCOPED_TRACE(nome);
        Gravar(*pasta / nome, bytes);
        const Saida s = Rodar(*pasta, {"tabelas", (*pasta / nome).string()});
        ASSERT_EQ(s.codigo, 0) << s.err;
        if (primeira.empty()) {
            primeira = s.out;
            Gravar(*pasta / "t.json", s.out);
            EXPECT_EQ(Resumo(*pasta / "t.json"),
                      "1 False False 1 3 5 'Ação \"A\\\\B\"\\t\\x01fim' 200 '2013-12-28' None True\n");
        } else {
            EXPECT_EQ(s.out, primeira);
        }
    }
}

TEST(CliTest, FalhasEUso) {
    PastaTemporaria pasta;
    Gravar(*pasta / "quebrado.xml", "<NFe><ide>");
    Gravar(*pasta / "sem-chave.xml", SemChave());
    const auto ausente = (*pasta / "ausente.xml").string();

    Saida s = Rodar(*pasta, {"tabelas", (*pasta / "quebrado.xml").string()});
    EXPECT_EQ(s.codigo, 1);
    EXPECT_EQ(s.out, "");
    EXPECT_NE(UltimaLinha(s.err), "");

    s = Rodar(*pasta, {"tabelas", (*pasta / "sem-chave.xml").string()});
    EXPECT_EQ(s.codigo, 1);
    EXPECT_EQ(s.out, "");
    EXPECT_EQ(UltimaLinha(s.err), "Existe Nota sem Chave (ID). Por favor, verifique e tente novamente.");

    s = Rodar(*pasta, {"tabelas", ausente});
    EXPECT_EQ(s.codigo, 1);
    EXPECT_EQ(s.out, "");
    EXPECT_EQ(UltimaLinha(s.err), "Não foi possível abrir o arquivo: " + ausente);

    const std::vector<std::vector<std::string>> usos = {{},
                                                        {"tabelas"},
                                                        {"tabelas", "a", "b"},
                                                        {"desenhar", "a"},
                                                        {"exportar", "a.xml"},
                                                        {"exportar", "a.xml", "--pasta"},
                                                        {"imprimir", "a.xml", "--pasta", "p"},
                                                        {"visualizar", "a.xml", "--jpeg"},
                                                        {"imprimir", "--logo", "l.bmp"}};
    for (const auto& args : usos) {
        s = Rodar(*pasta, args);
        EXPECT_EQ(s.codigo, 2) << args.size();
        EXPECT_EQ(s.out, "");
        EXPECT_NE(s.err.find("Uso: danfe"), std::string::npos);
    }
}

// The commands over the exported functions: files in the folder, failures as
// the last line of stderr.
TEST(CliTest, ExportarImprimirVisualizar) {
    PastaTemporaria pasta;
    const fs::path saida = *pasta / "saida";
    fs::create_directory(saida);
    const std::string nota = (*pasta / "nota-nfe.xml").string();
    Gravar(nota, Amostra("bfr-v400-paisagem-29itens.xml"));
    Gravar(*pasta / "logo.gif", "x");

    Saida s = Rodar(*pasta, {"exportar", nota, "--pasta", saida.string()});
    ASSERT_EQ(s.codigo, 0) << s.err;
    EXPECT_EQ(s.out, "");
    EXPECT_NE(InfoPdf(saida / "nota-nfe.pdf").find("Pages:           4\n"), std::string::npos);
    s = Rodar(*pasta, {"exportar", "--jpeg", nota, "--pasta", saida.string()});
    ASSERT_EQ(s.codigo, 0) << s.err;
    for (const char* n : {"nota-nfe.jpg", "nota-nfe-2.jpg", "nota-nfe-3.jpg", "nota-nfe-4.jpg"})
        EXPECT_TRUE(LerArquivo(saida / n).starts_with("\xFF\xD8\xFF")) << n;
    EXPECT_EQ(std::distance(fs::directory_iterator(saida), fs::directory_iterator()), 5);

    const std::string ausente = (*pasta / "nao-existe").string();
    s = Rodar(*pasta, {"exportar", nota, "--pasta", ausente});
    EXPECT_EQ(s.codigo, 1);
    EXPECT_NE(UltimaLinha(s.err).find(ausente + "/nota-nfe.pdf"), std::string::npos) << s.err;
    EXPECT_FALSE(fs::exists(ausente));

    s = Rodar(*pasta, {"imprimir", nota, "--logo", (*pasta / "logo.gif").string()});
    EXPECT_EQ(s.codigo, 1);
    EXPECT_EQ(UltimaLinha(s.err), "Unknown picture file extension (.gif)");
    // No display in the tests: the preview fails, and says so.
    s = Rodar(*pasta, {"visualizar", nota});
    EXPECT_EQ(s.codigo, 1);
    EXPECT_NE(UltimaLinha(s.err), "");
    // A missing logo is reported and the export goes on.
    s = Rodar(*pasta, {"exportar", nota, "--pasta", saida.string(), "--logo", (*pasta / "ausente.bmp").string()});
    EXPECT_EQ(s.codigo, 0);
    EXPECT_NE(s.err.find("Arquivo do logotipo de Emitente não localizado: "), std::string::npos);
}

}  // namespace
