#include "platform/correio.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <random>
#include <string_view>

#include "base/falha.h"
#include "base/texto.h"
#include "platform/destinatarios.h"

namespace corvexa::platform {

namespace {

constexpr std::string_view kFalhaEnvio = "Falha ao enviar o e-mail: ";
// A reply kept for the message must not let a hostile server grow it at will.
constexpr size_t kMaxResposta = 1000;

// ---- texts -----------------------------------------------------------------

bool EhControle(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Windows-1252 to UTF-8 with control characters (line breaks included) turned
// into blanks: a header text must not end its header line or start another.
std::string TextoDeCabecalho(std::string_view ansi) {
    std::string utf8 = texto::AnsiParaUtf8(ansi);
    for (char& c : utf8)
        if (EhControle(static_cast<unsigned char>(c))) c = ' ';
    return utf8;
}

bool EhAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

std::string Base64(std::string_view dados) {
    static constexpr char kDigitos[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string saida;
    saida.reserve((dados.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= dados.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(dados[i]) << 16 |
                           static_cast<unsigned char>(dados[i + 1]) << 8 |
                           static_cast<unsigned char>(dados[i + 2]);
        saida += kDigitos[v >> 18];
        saida += kDigitos[(v >> 12) & 63];
        saida += kDigitos[(v >> 6) & 63];
        saida += kDigitos[v & 63];
    }
    if (const size_t resto = dados.size() - i) {
        unsigned v = static_cast<unsigned char>(dados[i]) << 16;
        if (resto == 2) v |= static_cast<unsigned char>(dados[i + 1]) << 8;
        saida += kDigitos[v >> 18];
        saida += kDigitos[(v >> 12) & 63];
        saida += resto == 2 ? kDigitos[(v >> 6) & 63] : '=';
        saida += '=';
    }
    return saida;
}

// UTF-8 text as "B" encoded words of at most 75 characters each, separated by
// folding whitespace, never splitting a character between two words.
std::string PalavrasCodificadas(std::string_view utf8) {
    constexpr size_t kBytesPorPalavra = 45;  // 60 base64 digits + 12 of framing
    std::string saida;
    size_t inicio = 0;
    while (inicio < utf8.size()) {
        size_t fim = std::min(utf8.size(), inicio + kBytesPorPalavra);
        // Back off continuation bytes so that the cut falls between characters.
        while (fim < utf8.size() && fim > inicio + 1 &&
               (static_cast<unsigned char>(utf8[fim]) & 0xC0) == 0x80)
            --fim;
        if (!saida.empty()) saida += "\r\n ";
        saida += "=?UTF-8?B?" + Base64(utf8.substr(inicio, fim - inicio)) + "?=";
        inicio = fim;
    }
    return saida;
}

// An unstructured header value (the subject): as it stands when it is short
// plain ASCII, in encoded words otherwise.
std::string ValorNaoEstruturado(std::string_view utf8) {
    if (EhAscii(utf8) && utf8.size() <= 900 && utf8.find("=?") == std::string_view::npos)
        return std::string(utf8);
    return PalavrasCodificadas(utf8);
}

// A display name: a quoted string when ASCII, encoded words otherwise.
std::string NomeDeExibicao(std::string_view utf8) {
    if (!EhAscii(utf8)) return PalavrasCodificadas(utf8);
    std::string saida = "\"";
    for (char c : utf8) {
        if (c == '"' || c == '\\') saida += '\\';
        saida += c;
    }
    return saida + '"';
}

// ---- addresses -------------------------------------------------------------

struct Caixa {
    std::string nome;      // UTF-8, may be empty
    std::string endereco;  // UTF-8, what goes into the SMTP envelope
};

// "endereço" or "Nome <endereço>", as the host wrote it (Windows-1252).
Caixa LerCaixa(std::string_view ansi) {
    const std::string_view s = texto::Aparar(ansi);
    Caixa caixa;
    const size_t abre = s.rfind('<');
    const size_t fecha = abre == std::string_view::npos ? abre : s.find('>', abre);
    if (fecha != std::string_view::npos && texto::Aparar(s.substr(fecha + 1)).empty()) {
        std::string_view nome = texto::Aparar(s.substr(0, abre));
        if (nome.size() >= 2 && nome.front() == '"' && nome.back() == '"')
            nome = nome.substr(1, nome.size() - 2);
        caixa.nome = texto::AnsiParaUtf8(nome);
        caixa.endereco = texto::AnsiParaUtf8(texto::Aparar(s.substr(abre + 1, fecha - abre - 1)));
    } else {
        caixa.endereco = texto::AnsiParaUtf8(s);
    }
    // The address goes into an SMTP command line: nothing in it may end that
    // line or close the angle brackets around it.
    for (unsigned char c : caixa.endereco)
        if (EhControle(c) || c == '<' || c == '>')
            throw Falha(Formatar("Endereço de e-mail inválido: \"%s\".", TextoDeCabecalho(s)));
    for (char& c : caixa.nome)
        if (EhControle(static_cast<unsigned char>(c))) c = ' ';
    return caixa;
}

std::string CaixaNoCabecalho(const Caixa& caixa) {
    if (caixa.nome.empty() || caixa.nome == caixa.endereco) return caixa.endereco;
    return NomeDeExibicao(caixa.nome) + " <" + caixa.endereco + ">";
}

std::vector<Caixa> LerDestinatarios(std::string_view ansi) {
    std::vector<Caixa> caixas;
    for (std::string_view parte : SepararDestinatarios(ansi)) caixas.push_back(LerCaixa(parte));
    return caixas;
}

// ---- server ----------------------------------------------------------------

// The URL for libcurl: the scheme defaults to smtp and the port to 587 for
// smtp (submission, STARTTLS) and 465 for smtps (implicit TLS).
std::string UrlDoServidor(std::string_view ansi) {
    const std::string_view s = texto::Aparar(ansi);
    if (s.empty()) throw Falha("Servidor de e-mail não informado.");
    const auto invalido = [&] {
        return Falha(Formatar("Endereço do servidor de e-mail inválido: \"%s\".", TextoDeCabecalho(s)));
    };
    for (unsigned char c : s)
        if (EhControle(c) || c == ' ') throw invalido();

    std::string esquema = "smtp";
    std::string_view resto = s;
    if (const size_t sep = s.find("://"); sep != std::string_view::npos) {
        esquema.clear();
        for (char c : s.substr(0, sep)) esquema += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (esquema != "smtp" && esquema != "smtps") throw invalido();
        resto = s.substr(sep + 3);
    }
    const size_t fimAutoridade = std::min(resto.find_first_of("/?#"), resto.size());
    std::string autoridade(resto.substr(0, fimAutoridade));
    const std::string_view caminho = resto.substr(fimAutoridade);

    const size_t arroba = autoridade.rfind('@');
    // A view into `autoridade`: not used after `autoridade` changes.
    std::string_view hostPorta = autoridade;
    if (arroba != std::string::npos) hostPorta.remove_prefix(arroba + 1);
    if (hostPorta.empty()) throw invalido();
    bool temPorta;
    if (hostPorta.front() == '[') {
        const size_t fecha = hostPorta.find(']');
        if (fecha == std::string_view::npos) throw invalido();
        temPorta = fecha + 1 < hostPorta.size();
    } else if (std::count(hostPorta.begin(), hostPorta.end(), ':') > 1) {
        // A bare IPv6 address: brackets make its colons no port separator.
        autoridade = autoridade.substr(0, autoridade.size() - hostPorta.size()) + "[" +
                     std::string(hostPorta) + "]";
        temPorta = false;
    } else {
        if (hostPorta.front() == ':') throw invalido();
        temPorta = hostPorta.find(':') != std::string_view::npos;
    }
    if (!temPorta) autoridade += esquema == "smtps" ? ":465" : ":587";
    return texto::AnsiParaUtf8(esquema + "://" + autoridade + std::string(caminho));
}

// ---- message headers -------------------------------------------------------

std::string Data() {
    static constexpr const char* kDias[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMeses[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t agora = std::time(nullptr);
    std::tm t{};
    localtime_r(&agora, &t);
    const long desvio = t.tm_gmtoff / 60;
    const long absoluto = desvio < 0 ? -desvio : desvio;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDias[t.tm_wday % 7],
                  t.tm_mday, kMeses[t.tm_mon % 12], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec,
                  desvio < 0 ? '-' : '+', absoluto / 60, absoluto % 60);
    return buf;
}

std::string IdDaMensagem(const std::string& enderecoRemetente) {
    std::string dominio = "localhost";
    if (const size_t arroba = enderecoRemetente.rfind('@');
        arroba != std::string::npos && arroba + 1 < enderecoRemetente.size())
        dominio = enderecoRemetente.substr(arroba + 1);
    std::random_device aleatorio;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lld.%08x%08x", static_cast<long long>(std::time(nullptr)),
                  aleatorio(), aleatorio());
    return "<" + std::string(buf) + "@" + dominio + ">";
}

// Body lines joined with CRLF. A line that still holds a line break of its own
// is split there: a bare CR or LF has no place in a message.
std::string Corpo(const std::vector<std::string>& linhas) {
    std::string corpo;
    for (size_t i = 0; i < linhas.size(); ++i) {
        if (i) corpo += "\r\n";
        const std::string utf8 = texto::AnsiParaUtf8(linhas[i]);
        for (size_t j = 0; j < utf8.size(); ++j) {
            if (utf8[j] == '\r' || utf8[j] == '\n') {
                if (utf8[j] == '\r' && j + 1 < utf8.size() && utf8[j + 1] == '\n') ++j;
                corpo += "\r\n";
            } else {
                corpo += utf8[j];
            }
        }
    }
    return corpo;
}

// ---- libcurl ---------------------------------------------------------------

void IniciarCurl() {
    static std::once_flag uma;
    static CURLcode resultado = CURLE_OK;
    std::call_once(uma, [] { resultado = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (resultado != CURLE_OK)
        throw Falha(std::string(kFalhaEnvio) + curl_easy_strerror(resultado));
}

struct ApagarCurl {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
    void operator()(curl_mime* m) const { curl_mime_free(m); }
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct Lista {
    std::unique_ptr<curl_slist, ApagarCurl> cabeca;
    void Acrescentar(const std::string& linha) {
        curl_slist* nova = curl_slist_append(cabeca.get(), linha.c_str());
        if (!nova) throw std::bad_alloc();
        (void)cabeca.release();
        cabeca.reset(nova);
    }
};

// What the server said, kept for the failure message: the last reply when it
// is a refusal (4xx or 5xx). Replies to the closing QUIT are not the cause of
// anything and are not kept.
struct Conversa {
    std::string resposta;  // the reply being read (multi-line replies joined)
    bool continua = false;
    bool encerrando = false;
    std::string recusa;
    std::string sobra;  // a line not yet complete

    void Linha(std::string_view linha) {
        if (linha.empty() || encerrando) return;
        if (!continua) resposta.clear();
        else if (resposta.size() < kMaxResposta) resposta += ' ';
        if (resposta.size() < kMaxResposta) resposta += linha.substr(0, kMaxResposta - resposta.size());
        continua = linha.size() > 3 && linha[3] == '-';
        if (continua) return;
        if (linha[0] == '4' || linha[0] == '5') recusa = resposta;
        else recusa.clear();
    }

    void Entrada(std::string_view dados) {
        sobra.append(dados);
        size_t inicio = 0;
        for (size_t fim; (fim = sobra.find('\n', inicio)) != std::string::npos; inicio = fim + 1) {
            std::string_view linha(sobra.data() + inicio, fim - inicio);
            if (!linha.empty() && linha.back() == '\r') linha.remove_suffix(1);
            Linha(linha);
        }
        sobra.erase(0, inicio);
        if (sobra.size() > kMaxResposta) sobra.clear();
    }
};

int Depurar(CURL*, curl_infotype tipo, char* dados, size_t tamanho, void* usuario) {
    auto& conversa = *static_cast<Conversa*>(usuario);
    const std::string_view texto(dados, tamanho);
    if (tipo == CURLINFO_HEADER_IN) conversa.Entrada(texto);
    else if (tipo == CURLINFO_HEADER_OUT && texto.substr(0, 4) == "QUIT") conversa.encerrando = true;
    return 0;
}

// A text from outside (server reply, libcurl message) fit for a UTF-8 message.
std::string TextoExterno(std::string_view s) {
    std::string utf8 = texto::EhUtf8Valido(s) ? std::string(s) : texto::AnsiParaUtf8(s);
    for (char& c : utf8)
        if (EhControle(static_cast<unsigned char>(c))) c = ' ';
    return std::string(texto::Aparar(utf8));
}

template <typename T>
void Opcao(CURL* curl, CURLoption opcao, T valor) {
    if (const CURLcode r = curl_easy_setopt(curl, opcao, valor); r != CURLE_OK)
        throw Falha(std::string(kFalhaEnvio) + curl_easy_strerror(r));
}

void Verificar(CURLcode r) {
    if (r != CURLE_OK) throw Falha(std::string(kFalhaEnvio) + curl_easy_strerror(r));
}

}  // namespace

void EnviarEmail(const Mensagem& m) {
    // Everything that can be checked is checked before connecting.
    const std::vector<Caixa> destinatarios = LerDestinatarios(m.destinatarios);
    if (destinatarios.empty())
        throw Falha("Nenhum destinatário informado para o envio do e-mail.");
    const std::string url = UrlDoServidor(m.servidor);
    const Caixa remetente = LerCaixa(m.remetente);

    IniciarCurl();
    std::unique_ptr<CURL, ApagarCurl> curl(curl_easy_init());
    if (!curl) throw Falha(std::string(kFalhaEnvio) + "libcurl não iniciou.");
    CURL* c = curl.get();

    Lista envelope;
    for (const Caixa& d : destinatarios) envelope.Acrescentar("<" + d.endereco + ">");

    Lista cabecalhos;
    cabecalhos.Acrescentar("Date: " + Data());
    if (!remetente.endereco.empty()) {
        cabecalhos.Acrescentar("From: " + CaixaNoCabecalho(remetente));
        cabecalhos.Acrescentar("Reply-To: " + CaixaNoCabecalho(remetente));
    }
    std::string para;
    for (const Caixa& d : destinatarios) {
        if (!para.empty()) para += ",\r\n ";
        para += CaixaNoCabecalho(d);
    }
    cabecalhos.Acrescentar("To: " + para);
    cabecalhos.Acrescentar("Subject: " + ValorNaoEstruturado(TextoDeCabecalho(m.assunto)));
    cabecalhos.Acrescentar("Message-ID: " + IdDaMensagem(remetente.endereco));

    std::unique_ptr<curl_mime, ApagarCurl> mime(curl_mime_init(c));
    if (!mime) throw std::bad_alloc();
    const std::string corpo = Corpo(m.corpo);
    curl_mimepart* parte = curl_mime_addpart(mime.get());
    if (!parte) throw std::bad_alloc();
    Verificar(curl_mime_data(parte, corpo.data(), corpo.size()));
    Verificar(curl_mime_type(parte, "text/plain; charset=UTF-8"));
    Verificar(curl_mime_encoder(parte, "quoted-printable"));

    parte = curl_mime_addpart(mime.get());
    if (!parte) throw std::bad_alloc();
    Verificar(curl_mime_data(parte, m.anexo.data(), m.anexo.size()));
    const std::string nome = TextoDeCabecalho(m.nomeAnexo);
    Verificar(curl_mime_filename(parte, EhAscii(nome) ? nome.c_str() : PalavrasCodificadas(nome).c_str()));
    Verificar(curl_mime_type(parte, "application/pdf"));
    Verificar(curl_mime_encoder(parte, "base64"));

    char erro[CURL_ERROR_SIZE] = {};
    Conversa conversa;
    Opcao(c, CURLOPT_ERRORBUFFER, erro);
    Opcao(c, CURLOPT_URL, url.c_str());
    Opcao(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    Opcao(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    Opcao(c, CURLOPT_NOSIGNAL, 1L);
    Opcao(c, CURLOPT_CONNECTTIMEOUT, 15L);
    Opcao(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, 60L);
    Opcao(c, CURLOPT_TIMEOUT, 300L);
    Opcao(c, CURLOPT_MAIL_FROM, remetente.endereco.c_str());
    Opcao(c, CURLOPT_MAIL_RCPT, envelope.cabeca.get());
    Opcao(c, CURLOPT_HTTPHEADER, cabecalhos.cabeca.get());
    Opcao(c, CURLOPT_MIMEPOST, mime.get());
    const std::string usuario = texto::AnsiParaUtf8(m.usuario);
    const std::string senha = texto::AnsiParaUtf8(m.senha);
    if (!usuario.empty()) {
        Opcao(c, CURLOPT_USERNAME, usuario.c_str());
        Opcao(c, CURLOPT_PASSWORD, senha.c_str());
    }
    // The server's replies reach us only through the debug callback.
    Opcao(c, CURLOPT_DEBUGFUNCTION, &Depurar);
    Opcao(c, CURLOPT_DEBUGDATA, &conversa);
    Opcao(c, CURLOPT_VERBOSE, 1L);

    const CURLcode resultado = curl_easy_perform(c);
    if (resultado == CURLE_OK) return;
    std::string motivo = TextoExterno(conversa.recusa);
    if (motivo.empty()) motivo = TextoExterno(erro);
    if (motivo.empty()) motivo = curl_easy_strerror(resultado);
    throw Falha(std::string(kFalhaEnvio) + motivo);
}

}  // namespace corvexa::platform
