#include "platform/impressora.h"

#include <cups/cups.h>

#include <algorithm>
#include <cstring>

#include "base/falha.h"
#include "base/texto.h"

namespace corvexa::platform {

namespace {

// A spooler on this machine answers at once; these bound the wait for one that
// accepts the connection and then says nothing, or does not accept it at all.
constexpr int kEsperaConexaoMs = 5000;
constexpr double kEsperaRespostaS = 10.0;

// The name the template uses for the system's default printer.
constexpr std::string_view kPadrao = "Default";

// Names come from the configuration file (code-page text) or from CUPS itself
// (UTF-8); CUPS wants UTF-8.
std::string ParaUtf8(const std::string& s) {
    return texto::EhUtf8Valido(s) ? s : texto::AnsiParaUtf8(s);
}

bool EhPadrao(const std::string& impressora) {
    return impressora.empty() || impressora == kPadrao;
}

std::string Motivo() {
    const char* m = cupsLastErrorString();
    return m && *m ? m : ippErrorString(cupsLastError());
}

// No password is ever asked for: a spooler that wants one refuses the request
// instead of leaving a prompt waiting on the terminal.
const char* SemSenha(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

// Gives up a read or write once the spooler has been silent for the wait.
int NaoEsperarMais(http_t*, void*) {
    return 0;
}

// One connection to the spooler for one operation; libcups's shared default
// connection would wait without end on a spooler that does not answer.
class Conexao {
public:
    Conexao() {
        cupsSetPasswordCB2(SemSenha, nullptr);
        const char* servidor = cupsServer();
        servidor_ = servidor ? servidor : "";
        // Created unconnected, then connected, so that the reason of a failed
        // connection is still there to be reported.
        http_ = httpConnect2(servidor_.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 0, nullptr);
        if (!http_) {
            erro_ = Motivo();
        } else if (httpReconnect2(http_, kEsperaConexaoMs, nullptr) != 0) {
            erro_ = httpError(http_) ? std::strerror(httpError(http_)) : Motivo();
            httpClose(http_);
            http_ = nullptr;
        } else {
            httpSetTimeout(http_, kEsperaRespostaS, NaoEsperarMais, nullptr);
        }
    }
    ~Conexao() {
        if (http_) httpClose(http_);
        cupsSetPasswordCB2(nullptr, nullptr);
    }
    Conexao(const Conexao&) = delete;
    Conexao& operator=(const Conexao&) = delete;

    http_t* http() const { return http_; }
    // Why the spooler cannot be used, for the message; `porque` defaults to
    // the reason the connection failed.
    std::string SemServico(const std::string& porque = {}) const {
        std::string local = servidor_;
        if (!local.empty() && local[0] != '/') local += ":" + std::to_string(ippPort());
        return "o serviço de impressão (CUPS) em \"" + local + "\" não responde (" +
               (porque.empty() ? erro_ : porque) + ")";
    }

    // The spooler stopped answering (or the connection broke) during a request.
    bool Interrompida() const { return http_ && httpError(http_) != 0; }
    // The same, when the spooler stopped answering a request.
    std::string SemServicoNaConversa() const {
        const int e = http_ ? httpError(http_) : 0;
        return SemServico(e ? std::strerror(e) : Motivo());
    }

private:
    http_t* http_ = nullptr;
    std::string servidor_;
    std::string erro_;
};

struct Destino {
    cups_dest_t* dest = nullptr;
    cups_dinfo_t* info = nullptr;
    ~Destino() {
        if (info) cupsFreeDestInfo(info);
        if (dest) cupsFreeDests(1, dest);
    }
};

bool SemResposta(ipp_status_t s) {
    return s == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || s == IPP_STATUS_ERROR_INTERNAL;
}

// Asks the spooler over this connection whether it has a queue of that name.
// libcups's own lookup, when the spooler does not know a name, goes on to
// search the network through its shared connection, which waits without end
// on a spooler that accepts connections and never answers.
ipp_status_t Consultar(http_t* http, const std::string& nomeUtf8) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     nomeUtf8.c_str());
    ipp_t* pedido = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(pedido, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(pedido, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
    ippDelete(cupsDoRequest(http, pedido, "/"));
    return cupsLastError();
}

// The destination `impressora` names, or the default one; null when the
// spooler knows none or did not answer (cupsLastError tells which).
cups_dest_t* Procurar(http_t* http, const std::string& impressora) {
    if (EhPadrao(impressora)) return cupsGetNamedDest(http, nullptr, nullptr);
    const std::string nome = ParaUtf8(impressora);
    if (Consultar(http, nome) > IPP_STATUS_OK_CONFLICTING) return nullptr;
    return cupsGetNamedDest(http, nome.c_str(), nullptr);
}

}  // namespace

void ImprimirPdf(std::string_view pdf, const std::string& impressora, int copias, const std::string& nomeTrabalho) {
    const bool padrao = EhPadrao(impressora);
    const std::string onde = padrao ? "na impressora padrão" : "em \"" + ParaUtf8(impressora) + "\"";
    const auto falhar = [&](const std::string& porque) {
        throw Falha("Não foi possível imprimir " + onde + ": " + porque);
    };

    if (pdf.empty()) falhar("o documento está vazio");

    Conexao conexao;
    http_t* http = conexao.http();
    if (!http) falhar(conexao.SemServico());

    // The spooler's reason, or that it stopped answering.
    const auto porque = [&](const char* oque) {
        return conexao.Interrompida() ? conexao.SemServicoNaConversa() : std::string(oque) + " (" + Motivo() + ")";
    };
    Destino destino;
    destino.dest = Procurar(http, impressora);
    if (!destino.dest) {
        // A lookup cut short by silence reports the name as not found.
        if (conexao.Interrompida() || SemResposta(cupsLastError())) falhar(conexao.SemServicoNaConversa());
        if (cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) falhar(porque("a impressora não pôde ser consultada"));
        falhar(padrao ? "não há impressora padrão definida (" + Motivo() + ")"
                      : "impressora não encontrada (" + Motivo() + ")");
    }
    destino.info = cupsCopyDestInfo(http, destino.dest);
    if (!destino.info) falhar(porque("as características da impressora não foram obtidas"));

    const std::string titulo = ParaUtf8(nomeTrabalho);
    cups_option_t* opcoes = nullptr;
    int nOpcoes = cupsAddOption("copies", std::to_string(std::max(copias, 1)).c_str(), 0, &opcoes);
    int trabalho = 0;
    const ipp_status_t criado = cupsCreateDestJob(http, destino.dest, destino.info, &trabalho, titulo.c_str(),
                                                  nOpcoes, opcoes);
    cupsFreeOptions(nOpcoes, opcoes);
    if (criado > IPP_STATUS_OK_CONFLICTING || trabalho <= 0) falhar(porque("o trabalho foi recusado"));

    // From here on a failure must not leave a job waiting for its document.
    bool enviado = cupsStartDestDocument(http, destino.dest, destino.info, trabalho, titulo.c_str(), CUPS_FORMAT_PDF,
                                         0, nullptr, 1) == HTTP_STATUS_CONTINUE;
    constexpr size_t kBloco = 64 * 1024;
    for (size_t i = 0; enviado && i < pdf.size(); i += kBloco) {
        const size_t n = std::min(kBloco, pdf.size() - i);
        enviado = cupsWriteRequestData(http, pdf.data() + i, n) == HTTP_STATUS_CONTINUE;
    }
    const ipp_status_t fim = cupsFinishDestDocument(http, destino.dest, destino.info);
    if (!enviado || fim > IPP_STATUS_OK_CONFLICTING) {
        const std::string mensagem = porque("o documento não foi aceito");
        cupsCancelDestJob(http, destino.dest, trabalho);
        falhar(mensagem);
    }
}

std::vector<std::string> Impressoras() {
    std::vector<std::string> nomes;
    Conexao conexao;
    if (!conexao.http()) return nomes;
    cups_dest_t* dests = nullptr;
    const int n = cupsGetDests2(conexao.http(), &dests);
    for (int i = 0; i < n; ++i) {
        // Instances are the user's saved option sets of a destination, not printers.
        if (!dests[i].instance) nomes.emplace_back(dests[i].name);
    }
    cupsFreeDests(n, dests);
    return nomes;
}

bool ImpressoraExiste(const std::string& nome) {
    if (nome.empty()) return false;
    Conexao conexao;
    if (!conexao.http()) return false;
    // Whatever ImprimirPdf would find: "Default" exists when a default does.
    cups_dest_t* dest = Procurar(conexao.http(), nome);
    if (!dest) return false;
    cupsFreeDests(1, dest);
    return true;
}

}  // namespace corvexa::platform
