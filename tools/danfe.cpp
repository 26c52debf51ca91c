// danfe: the command-line host of the library. The batch commands (pdf,
// jpeg, png) and paginas run over the library's C++ functions; exportar,
// imprimir, visualizar and email over its exported C functions, handing the
// NF-e text as UTF-16 exactly as a host application does; tabelas reads the
// stages directly to show the tables.
//
// Each subcommand is one function; on failure it throws, and main prints the
// message as the last line of stderr, with nothing on stdout.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"
#include "corvexa.h"
#include "corvexa/corvexa.hpp"
#include "data/tabela.h"
#include "entrada.h"
#include "job/uDM_Danfe.h"
#include "job/uDanfeUtils.h"
#include "lote.h"
#include "platform/plataforma.h"
#include "render/arquivo.h"
#include "uso.h"

namespace {

using namespace corvexa;
using cli::ErroDeUso;
using cli::LerArquivoXml;

struct Ajuda {
    std::string_view comando;
    const char* texto;
};

constexpr const char* kUso =
    "Uso: danfe COMANDO [OPÇÕES] ARQUIVO.xml...\n"
    "\n"
    "Gera o DANFE de NF-e (arquivos XML da NF-e ou da NF-e autorizada, nfeProc).\n"
    "\n"
    "Comandos:\n"
    "  pdf         grava o DANFE em PDF, um por arquivo XML ou um só (--unir)\n"
    "  jpeg        grava cada página do DANFE em JPEG\n"
    "  png         grava cada página do DANFE em PNG\n"
    "  tabelas     mostra em JSON as tabelas lidas de uma NF-e\n"
    "  paginas     mostra em JSON as páginas do DANFE (lista de desenho)\n"
    "  exportar    exporta o DANFE para uma pasta, como um aplicativo que usa a biblioteca\n"
    "  imprimir    imprime o DANFE\n"
    "  visualizar  mostra o DANFE numa janela\n"
    "  email       envia o DANFE por e-mail\n"
    "\n"
    "  danfe COMANDO --help   as opções de um comando\n"
    "  danfe --version        a versão\n";

#define DANFE_OPCOES_LAYOUT                                                                       \
    "  --retrato, --paisagem  o layout; sem elas, o formato de impressão da NF-e (tpImp) decide\n" \
    "  --hora                 mostra a hora de impressão no cabeçalho\n"                           \
    "  --logo LOGO            o logotipo do emitente (bmp, ico, png, jpg, wmf ou emf)\n"

#define DANFE_OPCOES_LOTE                                                                              \
    "  -o DESTINO             com um só arquivo XML: o arquivo a gerar, a menos que DESTINO seja uma\n" \
    "                         pasta ou termine em /; senão, a pasta onde gerar (criada se preciso).\n"  \
    "                         Sem -o, cada saída fica ao lado do seu XML, com o mesmo nome\n"           \
    "  -r, --recursivo        percorre também as subpastas das pastas indicadas\n"                      \
    "  -j N                   N arquivos ao mesmo tempo (padrão: um por processador)\n"                 \
    "  -v, --verboso          diz o que foi lido e gerado de cada arquivo\n"

#define DANFE_ENTRADAS                                                                                \
    "ARQUIVO pode ser um XML ou uma pasta (os *.xml nela). A NF-e pode estar solta ou dentro de\n"   \
    "outro elemento (nfeProc); UTF-8 ou UTF-16 (com BOM). Um arquivo com falha não para os demais:\n" \
    "cada falha sai numa linha \"arquivo: mensagem\" e o código de saída é 1.\n"

constexpr Ajuda kAjudas[] = {
    {"pdf",
     "Uso: danfe pdf [OPÇÕES] ARQUIVO.xml|PASTA...\n"
     "\n"
     "Grava o DANFE de cada arquivo em PDF, com o nome do XML: nota.xml -> nota.pdf.\n"
     "\n"
     DANFE_ENTRADAS
     "\n"
     "Opções:\n"
     DANFE_OPCOES_LOTE
     "  --unir                 um só PDF, -o ARQUIVO.pdf, com o DANFE de todos os arquivos na ordem\n"
     "                         dada (pastas em ordem de nome); cada NF-e numera suas páginas\n"
     DANFE_OPCOES_LAYOUT
     "\n"
     "Exemplos:\n"
     "  danfe pdf nota.xml -o nota.pdf\n"
     "  danfe pdf -r entrada/ -o saida/ -j 4\n"
     "  danfe pdf --unir entrada/*.xml -o lote.pdf\n"},
    {"jpeg",
     "Uso: danfe jpeg [OPÇÕES] ARQUIVO.xml|PASTA...\n"
     "\n"
     "Grava cada página do DANFE em JPEG: nota.xml -> nota.jpg, nota-2.jpg, ...\n"
     "\n"
     DANFE_ENTRADAS
     "\n"
     "Opções:\n"
     DANFE_OPCOES_LOTE
     "  --dpi N                resolução (padrão 200)\n"
     "  --qualidade N          qualidade do JPEG, de 1 a 100 (padrão 90)\n"
     DANFE_OPCOES_LAYOUT
     "\n"
     "Exemplo:\n"
     "  danfe jpeg nota.xml -o imagens/\n"},
    {"png",
     "Uso: danfe png [OPÇÕES] ARQUIVO.xml|PASTA...\n"
     "\n"
     "Grava cada página do DANFE em PNG: nota.xml -> nota.png, nota-2.png, ...\n"
     "\n"
     DANFE_ENTRADAS
     "\n"
     "Opções:\n"
     DANFE_OPCOES_LOTE
     "  --dpi N                resolução (padrão 200)\n"
     DANFE_OPCOES_LAYOUT
     "\n"
     "Exemplo:\n"
     "  danfe png --dpi 100 nota.xml -o nota.png\n"},
    {"tabelas",
     "Uso: danfe tabelas ARQUIVO.xml\n"
     "\n"
     "Mostra em JSON as tabelas que a biblioteca lê do texto do arquivo, como ele está: a NF-e\n"
     "(cdsNFE), os itens (cdsNFE_Itens) e as duplicatas (cdsCobranca). Só NF-e no nível mais\n"
     "alto do arquivo são lidas (um nfeProc dá tabelas vazias).\n"},
    {"paginas",
     "Uso: danfe paginas ARQUIVO.xml [--retrato|--paisagem]\n"
     "\n"
     "Mostra em JSON as páginas do DANFE do texto do arquivo, como ele está: tamanho, numeração e\n"
     "o que se desenha em cada página, em milésimos de milímetro.\n"
     "\n"
     "  --retrato, --paisagem  o layout; sem elas, o formato de impressão da NF-e (tpImp) decide\n"},
    {"exportar",
     "Uso: danfe exportar ARQUIVO.xml --pasta PASTA [--jpeg] [--logo LOGO]\n"
     "\n"
     "Exporta o DANFE em PDF (ou JPEG, com --jpeg) para a pasta, pela função ExportDanfe da\n"
     "biblioteca, como um aplicativo a usa.\n"},
    {"imprimir",
     "Uso: danfe imprimir ARQUIVO.xml [--logo LOGO]\n"
     "\n"
     "Imprime o DANFE pela função PrintDanfe da biblioteca, com o nfeConfig.ini da pasta atual\n"
     "(seção [DANFE]: Vias, Impressora, ImprimeHora).\n"},
    {"visualizar",
     "Uso: danfe visualizar ARQUIVO.xml [--logo LOGO]\n"
     "\n"
     "Mostra o DANFE numa janela (PreviewDanfe), de onde ele pode ser impresso, salvo ou enviado.\n"},
    {"email",
     "Uso: danfe email ARQUIVO.xml --servidor H --de A --para B [--assunto S] [--mensagem M]\n"
     "                 [--usuario U --senha P] [--logo LOGO]\n"
     "\n"
     "Envia o DANFE por e-mail (EmailDanfe), anexo NFeDANFE.pdf. H: \"host\", \"host:porta\",\n"
     "\"smtp://...\" ou \"smtps://...\"; B: destinatários separados por \";\" ou \",\".\n"},
};

const char* AjudaDe(std::string_view comando) {
    for (const auto& a : kAjudas)
        if (a.comando == comando) return a.texto;
    return kUso;
}

// --- JSON ------------------------------------------------------------------

void JsonTexto(std::string& out, std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out.push_back(kHex[c >> 4]);
                    out.push_back(kHex[c & 0xF]);
                } else {
                    out.push_back(ch);
                }
        }
    }
    out.push_back('"');
}

void JsonValor(std::string& out, const data::Valor& v) {
    struct Visitante {
        std::string& out;
        void operator()(std::monostate) const { out += "null"; }
        void operator()(const std::string& s) const { JsonTexto(out, texto::AnsiParaUtf8(s)); }
        void operator()(const Data& d) const { JsonTexto(out, d.Iso()); }
        void operator()(const Decimal& d) const { out += d.Texto(); }
        void operator()(int32_t i) const { out += std::to_string(i); }
    };
    std::visit(Visitante{out}, v);
}

// Every stored record of the table, in its active order, every field in table order.
void JsonTabela(std::string& out, const data::Tabela& t) {
    JsonTexto(out, t.Nome());
    out += ": [";
    const auto& campos = t.Campos();
    for (size_t r = 0; r < t.Quantidade(); ++r) {
        out += r == 0 ? "\n  {" : ",\n  {";
        const auto& registro = t.Registro(r);
        for (size_t c = 0; c < campos.size(); ++c) {
            if (c > 0) out += ", ";
            JsonTexto(out, texto::AnsiParaUtf8(campos[c].nome));
            out += ": ";
            JsonValor(out, c < registro.size() ? registro[c] : data::Valor{});
        }
        out += "}";
    }
    out += t.Quantidade() == 0 ? "]" : "\n ]";
}

// --- Subcommands -------------------------------------------------------------

// danfe tabelas ARQUIVO.xml
std::string ComandoTabelas(const std::vector<std::string>& args) {
    if (args.size() != 1) throw ErroDeUso{"tabelas", {}};
    const std::u16string xml = LerArquivoXml(args[0]);

    // Reading needs no windows.
    platform::PlataformaSemTela semTela;
    job::TDM_Danfe dm;
    job::TDanfeUtils danfe(dm, semTela);
    danfe.Ler(xml);

    std::string out = "{\"TipoImpressao\": " + std::to_string(danfe.TipoImpressao());
    out += std::string(", \"Homologacao\": ") + (dm.flags.Homologacao ? "true" : "false");
    out += std::string(", \"Contingencia\": ") + (dm.flags.Contingencia ? "true" : "false");
    for (const data::Tabela* t : {&dm.tabelas.cdsNFE, &dm.tabelas.cdsNFE_Itens, &dm.tabelas.cdsCobranca}) {
        out += ",\n ";
        JsonTabela(out, *t);
    }
    out += "}\n";
    return out;
}

// danfe paginas ARQUIVO.xml [--retrato|--paisagem]
std::string ComandoPaginas(const std::vector<std::string>& args) {
    std::string arquivo;
    OpcoesLayout layout;
    for (const std::string& a : args) {
        if (a == "--retrato") layout.orientacao = Orientacao::Retrato;
        else if (a == "--paisagem") layout.orientacao = Orientacao::Paisagem;
        else if (!a.empty() && a[0] != '-' && arquivo.empty()) arquivo = a;
        else throw ErroDeUso{"paginas", {}};
    }
    if (arquivo.empty()) throw ErroDeUso{"paginas", {}};
    return Produzir(Notas::LerUtf16(LerArquivoXml(arquivo)), layout).Json() + "\n";
}

// --- Subcommands over the exported functions --------------------------------

struct OpcoesChamada {
    std::string arquivo;
    std::string pasta;  // --pasta
    std::string logo;   // --logo
    bool jpeg = false;  // --jpeg
};

OpcoesChamada LerOpcoesChamada(const std::vector<std::string>& args, bool exportar) {
    const char* comando = "";  // the usage of the subcommand that was called
    OpcoesChamada o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--logo" && i + 1 < args.size()) o.logo = args[++i];
        else if (exportar && a == "--pasta" && i + 1 < args.size()) o.pasta = args[++i];
        else if (exportar && a == "--jpeg") o.jpeg = true;
        else if (!a.empty() && a[0] != '-' && o.arquivo.empty()) o.arquivo = a;
        else throw ErroDeUso{comando, {}};
    }
    if (o.arquivo.empty() || (exportar && o.pasta.empty())) throw ErroDeUso{comando, {}};
    return o;
}

// The outcome of the last exported call: its failure message, thrown.
void ConferirChamada() {
    const char* erro = DanfeUltimoErro();
    if (erro[0] != '\0') throw Falha(erro);
}

// danfe exportar ARQUIVO.xml --pasta PASTA [--jpeg] [--logo LOGO]
std::string ComandoExportar(const std::vector<std::string>& args) {
    const OpcoesChamada o = LerOpcoesChamada(args, true);
    const std::u16string xml = LerArquivoXml(o.arquivo);
    DanfeDefinirPasta(o.pasta.c_str());
    ConferirChamada();
    ExportDanfe(xml.c_str(), o.arquivo.c_str(), o.logo.c_str(), o.jpeg ? 2 : 1);
    ConferirChamada();
    return {};
}

// danfe imprimir ARQUIVO.xml [--logo LOGO]
std::string ComandoImprimir(const std::vector<std::string>& args) {
    const OpcoesChamada o = LerOpcoesChamada(args, false);
    const std::u16string xml = LerArquivoXml(o.arquivo);
    PrintDanfe(xml.c_str(), o.arquivo.c_str(), o.logo.c_str());
    ConferirChamada();
    return {};
}

// danfe visualizar ARQUIVO.xml [--logo LOGO]
std::string ComandoVisualizar(const std::vector<std::string>& args) {
    const OpcoesChamada o = LerOpcoesChamada(args, false);
    const std::u16string xml = LerArquivoXml(o.arquivo);
    PreviewDanfe(xml.c_str(), o.arquivo.c_str(), o.logo.c_str());
    ConferirChamada();
    return {};
}

// danfe email ARQUIVO.xml --servidor H --de A --para B [--assunto S]
//            [--mensagem M] [--usuario U --senha P] [--logo LOGO]
std::string ComandoEmail(const std::vector<std::string>& args) {
    std::string arquivo, servidor, de, para, assunto, mensagem, usuario, senha, logo;
    const std::pair<std::string_view, std::string*> opcoes[] = {
        {"--servidor", &servidor}, {"--de", &de},           {"--para", &para},
        {"--assunto", &assunto},   {"--mensagem", &mensagem}, {"--usuario", &usuario},
        {"--senha", &senha},       {"--logo", &logo}};
    for (size_t i = 0; i < args.size(); ++i) {
        std::string* destino = nullptr;
        for (const auto& [nome, d] : opcoes)
            if (args[i] == nome) destino = d;
        if (destino && i + 1 < args.size()) *destino = args[++i];
        else if (!destino && arquivo.empty() && !args[i].empty() && args[i][0] != '-') arquivo = args[i];
        else throw ErroDeUso{"email", {}};
    }
    if (arquivo.empty() || servidor.empty() || para.empty()) throw ErroDeUso{"email", {}};
    const std::u16string xml = LerArquivoXml(arquivo);
    EmailDanfe(xml.c_str(), arquivo.c_str(), logo.c_str(), servidor.c_str(), de.c_str(), para.c_str(),
               assunto.c_str(), mensagem.c_str(), usuario.c_str(), senha.c_str());
    ConferirChamada();
    return {};
}

// A subcommand: what it prints on stdout, or (the batch ones) its exit code.
struct Comando {
    std::string_view nome;
    std::string (*executar)(const std::vector<std::string>& args) = nullptr;
    int (*lote)(const std::vector<std::string>& args) = nullptr;
};

int Pdf(const std::vector<std::string>& args) { return cli::ExecutarLote(cli::Formato::Pdf, args); }
int Jpeg(const std::vector<std::string>& args) { return cli::ExecutarLote(cli::Formato::Jpeg, args); }
int Png(const std::vector<std::string>& args) { return cli::ExecutarLote(cli::Formato::Png, args); }

constexpr Comando kComandos[] = {
    {"tabelas", ComandoTabelas},
    {"paginas", ComandoPaginas},
    {"pdf", nullptr, Pdf},
    {"jpeg", nullptr, Jpeg},
    {"png", nullptr, Png},
    {"exportar", ComandoExportar},
    {"imprimir", ComandoImprimir},
    {"visualizar", ComandoVisualizar},
    {"email", ComandoEmail},
};

bool PedeAjuda(std::string_view a) { return a == "--help" || a == "-h" || a == "ajuda"; }

}  // namespace

// Interrupted (Ctrl-C, kill), the tool leaves no half-written file behind:
// the temporary files of the writes in progress, the library's and its own,
// are removed before the signal ends the process as it would have.
extern "C" void AoInterromper(int sinal) {
    ApagarTemporarios();
    render::ApagarTemporarios();
    std::signal(sinal, SIG_DFL);
    std::raise(sinal);
}

void ApagarAoInterromper() {
    struct sigaction acao {};
    acao.sa_handler = AoInterromper;
    sigemptyset(&acao.sa_mask);
    for (int sinal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction anterior {};
        // A signal the caller ignores (nohup) stays ignored.
        if (sigaction(sinal, nullptr, &anterior) == 0 && anterior.sa_handler == SIG_IGN) continue;
        sigaction(sinal, &acao, nullptr);
    }
}

int main(int argc, char** argv) {
    ApagarAoInterromper();
    if (argc < 2) {
        std::fputs(kUso, stderr);
        return 2;
    }
    const std::string_view nome = argv[1];
    if (PedeAjuda(nome)) {
        std::fputs(kUso, stdout);
        return 0;
    }
    if (nome == "--version" || nome == "-V") {
        std::printf("danfe (Corvexa) %s\n", Versao().c_str());
        return 0;
    }
    const Comando* comando = nullptr;
    for (const auto& c : kComandos)
        if (c.nome == nome) comando = &c;
    if (!comando) {
        std::fprintf(stderr, "Comando desconhecido: %s\n\n%s", argv[1], kUso);
        return 2;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& a : args)
        if (a == "--") break;
        else if (PedeAjuda(a)) {
            std::fputs(AjudaDe(nome), stdout);
            return 0;
        }
    try {
        if (comando->lote) return comando->lote(args);
        const std::string saida = comando->executar(args);
        std::fwrite(saida.data(), 1, saida.size(), stdout);
        if (std::fflush(stdout) != 0) throw Falha("Não foi possível escrever a saída.");
        return 0;
    } catch (const ErroDeUso& e) {
        // What is wrong, then the usage lines of the subcommand (its help up
        // to the first blank line).
        const std::string_view ajuda = AjudaDe(e.comando.empty() ? nome : std::string_view(e.comando));
        const std::string uso(ajuda.substr(0, ajuda.find("\n\n") + 1));
        if (!e.mensagem.empty()) std::fprintf(stderr, "danfe %s: %s\n", argv[1], e.mensagem.c_str());
        std::fprintf(stderr, "%s(danfe %s --help mostra as opções)\n", uso.c_str(), argv[1]);
        return 2;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    } catch (...) {
        std::fputs("Falha desconhecida.\n", stderr);
        return 1;
    }
}
