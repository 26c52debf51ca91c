#include "platform/correio.h"

#include <windows.h>
#include <mapi.h>

#include <cstdio>
#include <string_view>

#include "base/falha.h"
#include "base/texto.h"
#include "platform/destinatarios.h"

// Windows: the message goes to the user's mail client through Simple MAPI,
// with the attachment; the client shows it and sends it with the user's own
// account, so the server, user and password of the host are not used here.
namespace corvexa::platform {
namespace {

std::string Aparar(std::string_view s) { return std::string(texto::Aparar(s)); }

std::vector<std::string> Enderecos(const std::string& lista) {
    std::vector<std::string> r;
    for (std::string_view e : SepararDestinatarios(lista)) r.emplace_back(e);
    return r;
}

std::string MotivoMapi(ULONG codigo) {
    switch (codigo) {
        case MAPI_E_USER_ABORT: return "envio cancelado pelo usuário";
        case MAPI_E_LOGIN_FAILURE: return "não foi possível entrar no programa de e-mail";
        case MAPI_E_UNKNOWN_RECIPIENT: return "destinatário desconhecido";
        case MAPI_E_AMBIGUOUS_RECIPIENT: return "destinatário ambíguo";
        case MAPI_E_ATTACHMENT_NOT_FOUND:
        case MAPI_E_ATTACHMENT_OPEN_FAILURE: return "anexo não encontrado";
        case MAPI_E_INSUFFICIENT_MEMORY: return "memória insuficiente";
        case MAPI_E_TOO_MANY_RECIPIENTS: return "destinatários demais";
        default: return "erro MAPI " + std::to_string(codigo);
    }
}

// The attachment lives in a folder of its own under the temporary folder,
// under its own name, until the client has taken it.
class AnexoTemporario {
public:
    AnexoTemporario(const std::string& nome, const std::string& bytes) {
        char tmp[MAX_PATH + 1] = {};
        const DWORD n = GetTempPathA(MAX_PATH, tmp);
        if (n == 0 || n > MAX_PATH) throw Falha("Não foi possível criar o anexo do e-mail: sem pasta temporária.");
        for (unsigned i = 0; i < 100 && pasta_.empty(); ++i) {
            const std::string p = std::string(tmp) + "corvexa-" + std::to_string(GetCurrentProcessId()) + "-" +
                                  std::to_string(GetTickCount() + i);
            if (CreateDirectoryA(p.c_str(), nullptr)) pasta_ = p;
        }
        if (pasta_.empty()) throw Falha("Não foi possível criar o anexo do e-mail.");
        arquivo_ = pasta_ + "\\" + nome;
        std::FILE* f = std::fopen(arquivo_.c_str(), "wb");
        const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f && std::fclose(f) != 0) f = nullptr;
        if (!ok || !f) {
            Remover();
            throw Falha("Não foi possível gravar o anexo do e-mail.");
        }
    }
    ~AnexoTemporario() { Remover(); }
    const std::string& Arquivo() const { return arquivo_; }

private:
    void Remover() {
        if (!arquivo_.empty()) DeleteFileA(arquivo_.c_str());
        if (!pasta_.empty()) RemoveDirectoryA(pasta_.c_str());
    }
    std::string pasta_, arquivo_;
};

}  // namespace

void EnviarEmail(const Mensagem& mensagem) {
    const std::vector<std::string> destinos = Enderecos(mensagem.destinatarios);
    if (destinos.empty()) throw Falha("Nenhum destinatário informado para o envio do e-mail.");

    HMODULE mapi = LoadLibraryA("MAPI32.DLL");
    if (!mapi) throw Falha("Não há programa de e-mail (MAPI) instalado para enviar o DANFE.");
    struct Descarregar {
        HMODULE m;
        ~Descarregar() { FreeLibrary(m); }
    } descarregar{mapi};
    auto enviar = reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(GetProcAddress(mapi, "MAPISendMail")));
    if (!enviar) throw Falha("O programa de e-mail instalado não oferece MAPISendMail.");

    AnexoTemporario anexo(mensagem.nomeAnexo, mensagem.anexo);

    std::vector<std::string> enderecos;  // "SMTP:..." kept alive for the call
    for (const auto& d : destinos) enderecos.push_back(d.rfind("SMTP:", 0) == 0 ? d : "SMTP:" + d);
    std::vector<MapiRecipDesc> destinatarios(destinos.size());
    for (size_t i = 0; i < destinos.size(); ++i) {
        destinatarios[i].ulRecipClass = MAPI_TO;
        destinatarios[i].lpszName = const_cast<char*>(destinos[i].c_str());
        destinatarios[i].lpszAddress = const_cast<char*>(enderecos[i].c_str());
    }
    MapiRecipDesc remetente{};
    const std::string enderecoRemetente = "SMTP:" + mensagem.remetente;
    remetente.ulRecipClass = MAPI_ORIG;
    remetente.lpszName = const_cast<char*>(mensagem.remetente.c_str());
    remetente.lpszAddress = const_cast<char*>(enderecoRemetente.c_str());

    std::string corpo;
    for (const auto& linha : mensagem.corpo) corpo += linha + "\r\n";
    MapiFileDesc arquivo{};
    arquivo.nPosition = static_cast<ULONG>(-1);
    arquivo.lpszPathName = const_cast<char*>(anexo.Arquivo().c_str());
    arquivo.lpszFileName = const_cast<char*>(mensagem.nomeAnexo.c_str());

    MapiMessage m{};
    m.lpszSubject = const_cast<char*>(mensagem.assunto.c_str());
    m.lpszNoteText = const_cast<char*>(corpo.c_str());
    m.lpOriginator = mensagem.remetente.empty() ? nullptr : &remetente;
    m.nRecipCount = static_cast<ULONG>(destinatarios.size());
    m.lpRecips = destinatarios.data();
    m.nFileCount = 1;
    m.lpFiles = &arquivo;
    // The client's window shows the message: the user sends it from there.
    const ULONG r = enviar(0, 0, &m, MAPI_LOGON_UI | MAPI_DIALOG, 0);
    if (r != SUCCESS_SUCCESS) throw Falha("O e-mail não foi enviado: " + MotivoMapi(r) + ".");
}

}  // namespace corvexa::platform
