#include "cups_privado.h"

#include <cups/cups.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace corvexa::teste {

namespace {

// Beside this file's folder: tests/tools.
const std::string kScript = [] {
    const std::string aqui = __FILE__;
    return aqui.substr(0, aqui.rfind('/')) + "/../tools/cups_privado.sh";
}();

std::string Aspas(const std::string& s) {
    std::string r = "'";
    for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return r + "'";
}

std::string Executar(const std::string& comando, int* status = nullptr) {
    std::string saida;
    FILE* p = popen(comando.c_str(), "r");
    if (!p) throw std::runtime_error("popen: " + comando);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) saida.append(buf, n);
    const int s = pclose(p);
    if (status) *status = s;
    return saida;
}

std::string Valor(const std::string& saida, const std::string& chave) {
    const std::string prefixo = chave + "=";
    size_t i = 0;
    while (i < saida.size()) {
        size_t fim = saida.find('\n', i);
        if (fim == std::string::npos) fim = saida.size();
        if (saida.compare(i, prefixo.size(), prefixo) == 0) return saida.substr(i + prefixo.size(), fim - i - prefixo.size());
        i = fim + 1;
    }
    return {};
}

}  // namespace

void RelerServidorCups() {
    cupsSetServer(nullptr);
}

CupsPrivado::CupsPrivado() {
    int status = 0;
    const std::string saida = Executar("bash " + Aspas(kScript) + " start " + std::to_string(getpid()), &status);
    servidor_ = Valor(saida, "CUPS_SERVER");
    pasta_ = Valor(saida, "CUPS_PRIVADO_DIR");
    if (status != 0 || servidor_.empty() || pasta_.empty())
        throw std::runtime_error("the private CUPS server did not start (see stderr): " + saida);

    for (const char* nome : {"CUPS_SERVER", "LPDEST", "PRINTER"}) {
        const char* v = std::getenv(nome);
        salvas_.push_back({nome, v != nullptr, v ? v : ""});
    }
    setenv("CUPS_SERVER", servidor_.c_str(), 1);
    unsetenv("LPDEST");
    unsetenv("PRINTER");
    RelerServidorCups();
}

CupsPrivado::~CupsPrivado() {
    Executar("bash " + Aspas(kScript) + " stop " + Aspas(pasta_));
    for (const auto& v : salvas_) {
        if (v.havia)
            setenv(v.nome.c_str(), v.valor.c_str(), 1);
        else
            unsetenv(v.nome.c_str());
    }
    RelerServidorCups();
}

std::string CupsPrivado::Saida(const std::string& fila) const {
    return pasta_ + "/saida/" + fila + ".pdf";
}

std::vector<CupsPrivado::Trabalho> CupsPrivado::Trabalhos(const std::string& fila) const {
    std::vector<Trabalho> trabalhos;
    http_t* http = httpConnect2(servidor_.substr(0, servidor_.rfind(':')).c_str(),
                                std::atoi(servidor_.c_str() + servidor_.rfind(':') + 1), nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (!http) return trabalhos;
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s", fila.c_str());
    ipp_t* pedido = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(pedido, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(pedido, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    static const char* const kAtributos[] = {"job-id", "job-name", "copies", "job-state", "document-format"};
    ippAddStrings(pedido, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 5, nullptr, kAtributos);
    ipp_t* resposta = cupsDoRequest(http, pedido, "/");
    ipp_attribute_t* a = resposta ? ippFirstAttribute(resposta) : nullptr;
    while (a) {
        // One group of job attributes per job.
        while (a && ippGetGroupTag(a) != IPP_TAG_JOB) a = ippNextAttribute(resposta);
        if (!a) break;
        Trabalho t;
        for (; a && ippGetGroupTag(a) == IPP_TAG_JOB; a = ippNextAttribute(resposta)) {
            const std::string nome = ippGetName(a) ? ippGetName(a) : "";
            if (nome == "job-id") t.id = ippGetInteger(a, 0);
            else if (nome == "job-name") t.titulo = ippGetString(a, 0, nullptr);
            else if (nome == "copies") t.copias = ippGetInteger(a, 0);
            else if (nome == "document-format") t.formato = ippGetString(a, 0, nullptr);
            else if (nome == "job-state") t.estado = ippEnumString("job-state", ippGetInteger(a, 0));
        }
        trabalhos.push_back(t);
    }
    ippDelete(resposta);
    httpClose(http);
    std::sort(trabalhos.begin(), trabalhos.end(), [](const Trabalho& a, const Trabalho& b) { return a.id < b.id; });
    return trabalhos;
}

CupsPrivado::Trabalho CupsPrivado::EsperarUltimo(const std::string& fila) const {
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const auto trabalhos = Trabalhos(fila);
        if (trabalhos.empty()) return {};
        const Trabalho& t = trabalhos.back();
        if (t.estado == "completed" || t.estado == "aborted" || t.estado == "canceled" ||
            std::chrono::steady_clock::now() > limite)
            return t;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string PdfDePaginas(int paginas) {
    std::vector<std::string> objetos;
    objetos.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    std::string filhos;
    for (int i = 0; i < paginas; ++i) filhos += std::to_string(3 + i) + " 0 R ";
    objetos.push_back("<< /Type /Pages /Kids [" + filhos + "] /Count " + std::to_string(paginas) + " >>");
    for (int i = 0; i < paginas; ++i) objetos.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>");

    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> posicoes;
    for (size_t i = 0; i < objetos.size(); ++i) {
        posicoes.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objetos[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objetos.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t p : posicoes) {
        char linha[32];
        std::snprintf(linha, sizeof linha, "%010zu 00000 n \n", p);
        pdf += linha;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objetos.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

int PaginasDoPdf(const std::string& caminho) {
    int status = 0;
    const std::string saida = Executar("pdfinfo " + Aspas(caminho) + " 2>/dev/null", &status);
    const size_t i = saida.find("\nPages:");
    if (status != 0 || i == std::string::npos) return -1;
    return std::atoi(saida.c_str() + i + 7);
}

}  // namespace corvexa::teste
