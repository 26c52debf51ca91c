// danfe: the command-line host of the library. It reads an NF-e file, hands
// its text to a render job as UTF-16, exactly as a host application does, and
// reports what the job produced.
//
// Each subcommand is one function; on failure it throws, and main prints the
// message as the last line of stderr, with nothing on stdout.
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "base/falha.h"
#include "corvexa.h"
#include "base/texto.h"
#include "data/tabela.h"
#include "job/uDM_Danfe.h"
#include "job/uDanfeUtils.h"
#include "platform/plataforma.h"
#include "render/dispositivos.h"
#include "report/json.h"

namespace {

using namespace corvexa;

constexpr const char* kUso =
    "Uso: danfe COMANDO ARGUMENTOS\n"
    "\n"
    "Comandos:\n"
    "  tabelas ARQUIVO.xml                 lê a NF-e e mostra as tabelas do DANFE em JSON\n"
    "  paginas ARQUIVO.xml [LAYOUT]        mostra as páginas do DANFE (lista de desenho) em JSON\n"
    "  pdf ARQUIVO.xml -o SAIDA.pdf [LAYOUT]\n"
    "                                      grava o DANFE em PDF\n"
    "  jpeg ARQUIVO.xml -o PASTA [LAYOUT]  grava cada página do DANFE em JPEG (200 dpi)\n"
    "  exportar ARQUIVO.xml --pasta PASTA [--jpeg] [--logo LOGO]\n"
    "                                      exporta o DANFE em PDF (ou JPEG) para a pasta\n"
    "  imprimir ARQUIVO.xml [--logo LOGO]  imprime o DANFE\n"
    "  visualizar ARQUIVO.xml [--logo LOGO]\n"
    "                                      mostra o DANFE numa janela\n"
    "  email ARQUIVO.xml --servidor H --de A --para B [--assunto S] [--mensagem M]\n"
    "        [--usuario U --senha P] [--logo LOGO]\n"
    "                                      envia o DANFE por e-mail (anexo NFeDANFE.pdf)\n"
    "\n"
    "LAYOUT: --retrato ou --paisagem; sem ele, o formato de impressão da NF-e (tpImp) decide.\n"
    "exportar, imprimir, visualizar e email usam a biblioteca como um aplicativo a usa, com o\n"
    "nfeConfig.ini da pasta atual.\n";

// A wrong command line (exit 2), as opposed to a failure of the work (exit 1).
struct ErroDeUso {};

// The file as UTF-16 text: UTF-16 when it starts with a byte order mark
// (little or big endian), else UTF-8 with bytes that are not valid UTF-8 read
// as Windows-1252.
std::u16string LerArquivoXml(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    if (!f) throw Falha("Não foi possível abrir o arquivo: " + caminho);
    std::string b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (f.bad()) throw Falha("Não foi possível ler o arquivo: " + caminho);

    auto byte = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
    if (b.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool bigEndian = byte(0) == 0xFE;
        std::u16string r;
        r.reserve(b.size() / 2);
        // A lone last byte cannot be a character: it is left out.
        for (size_t i = 2; i + 1 < b.size(); i += 2) {
            const unsigned hi = bigEndian ? byte(i) : byte(i + 1);
            const unsigned lo = bigEndian ? byte(i + 1) : byte(i);
            r.push_back(static_cast<char16_t>(hi << 8 | lo));
        }
        return r;
    }
    std::string_view texto(b);
    if (texto.starts_with("\xEF\xBB\xBF")) texto.remove_prefix(3);
    return texto::Utf8ParaUtf16(texto);
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
    if (args.size() != 1) throw ErroDeUso{};
    const std::u16string xml = LerArquivoXml(args[0]);

    job::TDM_Danfe dm;
    job::TDanfeUtils danfe(dm, platform::PlataformaPadrao());
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

// The options of the commands that produce the DANFE.
struct Opcoes {
    std::string arquivo;
    std::string saida;  // -o
    int layout = 0;     // 1 portrait, 2 landscape, 0 by the NF-e's print format
};

Opcoes LerOpcoes(const std::vector<std::string>& args, bool exigeSaida) {
    Opcoes o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" && i + 1 < args.size()) o.saida = args[++i];
        else if (a == "--retrato") o.layout = 1;
        else if (a == "--paisagem") o.layout = 2;
        else if (!a.empty() && a[0] != '-' && o.arquivo.empty()) o.arquivo = a;
        else throw ErroDeUso{};
    }
    if (o.arquivo.empty() || (exigeSaida != !o.saida.empty())) throw ErroDeUso{};
    return o;
}

// Reads the file into the tables and lays out the chosen layout.
report::Documento Produzir(const Opcoes& o) {
    const std::u16string xml = LerArquivoXml(o.arquivo);
    job::TDM_Danfe dm;
    job::TDanfeUtils danfe(dm, platform::PlataformaPadrao());
    danfe.Ler(xml);
    return dm.Produzir(dm.Layout(o.layout ? o.layout : danfe.TipoImpressao()));
}

// The document properties the render job writes on both layouts.
render::PropriedadesPdf PropriedadesDanfe() {
    return {"Tessalin", "NFe, DANFE", "NFe - DANFE", "NFe - DANFE"};
}

// danfe paginas ARQUIVO.xml [--retrato|--paisagem]
std::string ComandoPaginas(const std::vector<std::string>& args) {
    return report::DocumentoParaJson(Produzir(LerOpcoes(args, false))) + "\n";
}

// danfe pdf ARQUIVO.xml -o SAIDA.pdf [--retrato|--paisagem]
std::string ComandoPdf(const std::vector<std::string>& args) {
    const Opcoes o = LerOpcoes(args, true);
    render::EscreverPdf(Produzir(o), o.saida, PropriedadesDanfe());
    return {};
}

// The name of page n's picture: the input's name with ".jpg", and "-n" before
// the extension from the second page on.
std::string NomeJpeg(const std::string& pasta, const std::string& arquivo, size_t pagina) {
    std::string nome = arquivo.substr(arquivo.find_last_of('/') + 1);
    const auto ponto = nome.rfind('.');
    if (ponto != std::string::npos) nome.erase(ponto);
    if (pagina > 1) nome += "-" + std::to_string(pagina);
    return pasta + "/" + nome + ".jpg";
}

// danfe jpeg ARQUIVO.xml -o PASTA [--retrato|--paisagem]
std::string ComandoJpeg(const std::vector<std::string>& args) {
    const Opcoes o = LerOpcoes(args, true);
    const report::Documento doc = Produzir(o);
    for (size_t i = 0; i < doc.paginas.size(); ++i)
        render::EscreverJpeg(doc.paginas[i], NomeJpeg(o.saida, o.arquivo, i + 1));
    return {};
}

// --- Subcommands over the exported functions --------------------------------

struct OpcoesChamada {
    std::string arquivo;
    std::string pasta;  // --pasta
    std::string logo;   // --logo
    bool jpeg = false;  // --jpeg
};

OpcoesChamada LerOpcoesChamada(const std::vector<std::string>& args, bool exportar) {
    OpcoesChamada o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--logo" && i + 1 < args.size()) o.logo = args[++i];
        else if (exportar && a == "--pasta" && i + 1 < args.size()) o.pasta = args[++i];
        else if (exportar && a == "--jpeg") o.jpeg = true;
        else if (!a.empty() && a[0] != '-' && o.arquivo.empty()) o.arquivo = a;
        else throw ErroDeUso{};
    }
    if (o.arquivo.empty() || (exportar && o.pasta.empty())) throw ErroDeUso{};
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
        else throw ErroDeUso{};
    }
    if (arquivo.empty() || servidor.empty() || para.empty()) throw ErroDeUso{};
    const std::u16string xml = LerArquivoXml(arquivo);
    EmailDanfe(xml.c_str(), arquivo.c_str(), logo.c_str(), servidor.c_str(), de.c_str(), para.c_str(),
               assunto.c_str(), mensagem.c_str(), usuario.c_str(), senha.c_str());
    ConferirChamada();
    return {};
}

struct Comando {
    std::string_view nome;
    std::string (*executar)(const std::vector<std::string>& args);  // returns what goes to stdout
};

constexpr Comando kComandos[] = {
    {"tabelas", ComandoTabelas},
    {"paginas", ComandoPaginas},
    {"pdf", ComandoPdf},
    {"jpeg", ComandoJpeg},
    {"exportar", ComandoExportar},
    {"imprimir", ComandoImprimir},
    {"visualizar", ComandoVisualizar},
    {"email", ComandoEmail},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUso, stderr);
        return 2;
    }
    const std::string_view nome = argv[1];
    const Comando* comando = nullptr;
    for (const auto& c : kComandos)
        if (c.nome == nome) comando = &c;
    if (!comando) {
        std::fprintf(stderr, "Comando desconhecido: %s\n\n%s", argv[1], kUso);
        return 2;
    }
    try {
        const std::string saida = comando->executar(std::vector<std::string>(argv + 2, argv + argc));
        std::fwrite(saida.data(), 1, saida.size(), stdout);
        if (std::fflush(stdout) != 0) throw Falha("Não foi possível escrever a saída.");
        return 0;
    } catch (const ErroDeUso&) {
        std::fputs(kUso, stderr);
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
