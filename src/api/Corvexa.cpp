// The exported functions and the library's lifetime. Each export runs one
// render job over the process-wide data module and turns any failure into the
// text that DanfeUltimoErro() returns: no exception ever reaches the host.
//
// The exports share the data module, so they run one at a time: a call that
// enters while another runs (from another thread) is refused at once, and
// the running call goes on undisturbed.
//
// Number conversions inside the library are written with "." as the decimal
// separator and never consult the C locale, so loading the library changes
// nothing in the host's locale and there is nothing to restore at unload.
#define CORVEXA_CONSTRUINDO
#include "corvexa.h"

#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "base/falha.h"
#include "base/limites.h"
#include "job/uDM_Danfe.h"
#include "job/uDanfeUtils.h"
#include "platform/plataforma.h"

namespace {

using namespace corvexa;

// Created when the library is loaded, freed when it is unloaded. A failure
// while creating it must not end the host's process: it is kept and every
// call reports it.
struct Biblioteca {
    std::unique_ptr<job::TDM_Danfe> dm;
    std::string falhaNaCarga;

    Biblioteca() {
        try {
            dm = std::make_unique<job::TDM_Danfe>();
        } catch (const std::exception& e) {
            falhaNaCarga = e.what();
        } catch (...) {
            falhaNaCarga = "Falha desconhecida.";
        }
    }
};

Biblioteca biblioteca;

// Outcome of the last exported call. `fixo` stands in when the message itself
// cannot be stored, so that a failure is never read back as success.
struct UltimoErro {
    std::string texto;
    const char* fixo = nullptr;

    void Limpar() noexcept {
        texto.clear();
        fixo = nullptr;
    }
    void Registrar(const char* mensagem) noexcept {
        try {
            texto = mensagem;
            fixo = nullptr;
        } catch (...) {
            fixo = "Memória insuficiente.";
        }
    }
    const char* Texto() const noexcept { return fixo ? fixo : texto.c_str(); }
};

UltimoErro ultimoErro;

// Held by the call that runs; the others try it and are refused.
std::mutex emAndamento;

constexpr const char* kMensagemChamadaSimultanea =
    "Outra chamada da biblioteca está em andamento; as chamadas devem ser feitas uma de cada vez.";

// Whether the last call of this thread was refused because another ran.
// The refusal is kept per thread so that it never overwrites the outcome of
// the call that was running, which its own thread reads afterwards. A plain
// bool: a thread-local with a destructor would keep the library from being
// unloaded while the thread lives.
thread_local bool recusada = false;

job::TDM_Danfe& DM_Danfe() {
    if (!biblioteca.dm) throw Falha(biblioteca.falhaNaCarga);
    return *biblioteca.dm;
}

std::string Texto(const char* s) { return s ? std::string(s) : std::string(); }
// The XML text, measured before it is copied: a text of gigabytes is
// refused after reading the first characters past the limit.
std::u16string TextoXml(const char16_t* s) {
    if (!s) return {};
    size_t n = 0;
    while (s[n])
        if (++n > limites::kTamanhoXml) throw Falha(limites::kMensagemTamanhoXml);
    return std::u16string(s, n);
}

// Runs one call: the render job lives inside `corpo`, so it is released before
// the outcome is recorded, whether the call ended normally or not.
template <class Corpo>
void Chamar(Corpo&& corpo) noexcept {
    std::unique_lock<std::mutex> vez(emAndamento, std::try_to_lock);
    recusada = !vez.owns_lock();
    if (recusada) return;
    try {
        corpo();
        ultimoErro.Limpar();
    } catch (const std::exception& e) {
        ultimoErro.Registrar(e.what());
    } catch (...) {
        ultimoErro.Registrar("Falha desconhecida.");
    }
}

void Executar(const char16_t* xml, const char* nomeArquivoXml, const char* arquivoLogo, job::ModoExecucao modo) {
    Chamar([&] {
        job::TDanfeUtils danfe(DM_Danfe(), platform::PlataformaPadrao());
        danfe.CarregarLogo(Texto(arquivoLogo));
        danfe.Executar(modo, TextoXml(xml), Texto(nomeArquivoXml));
    });
}

}  // namespace

extern "C" {

CORVEXA_API void CORVEXA_CALL PrintDanfe(const char16_t* xml, const char* nomeArquivoXml, const char* arquivoLogo) {
    Executar(xml, nomeArquivoXml, arquivoLogo, job::ModoExecucao::Impressora);
}

CORVEXA_API void CORVEXA_CALL PreviewDanfe(const char16_t* xml, const char* nomeArquivoXml, const char* arquivoLogo) {
    Executar(xml, nomeArquivoXml, arquivoLogo, job::ModoExecucao::Tela);
}

CORVEXA_API void CORVEXA_CALL ExportDanfe(const char16_t* xml, const char* nomeArquivoXml, const char* arquivoLogo,
                                          int32_t tipoExportacao) {
    Executar(xml, nomeArquivoXml, arquivoLogo, tipoExportacao == 2 ? job::ModoExecucao::Jpeg : job::ModoExecucao::Pdf);
}

CORVEXA_API void CORVEXA_CALL EmailDanfe(const char16_t* xml, const char* nomeArquivoXml, const char* arquivoLogo,
                                         const char* host, const char* remetente, const char* destinatarios,
                                         const char* assunto, const char* corpo, const char* usuario,
                                         const char* senha) {
    Chamar([&] {
        job::TDanfeUtils danfe(DM_Danfe(), platform::PlataformaPadrao());
        danfe.CarregarLogo(Texto(arquivoLogo));
        const job::DadosEmail email{Texto(host),    Texto(remetente), Texto(destinatarios), Texto(assunto),
                                    Texto(corpo),   Texto(usuario),   Texto(senha)};
        danfe.EnviarEmail(TextoXml(xml), Texto(nomeArquivoXml), email);
    });
}

CORVEXA_API void CORVEXA_CALL DesignDanfe(int32_t, int32_t, int32_t) {
    Chamar([] { throw Falha("DesignDanfe não está disponível através da DLL."); });
}

CORVEXA_API void CORVEXA_CALL DanfeDefinirPasta(const char* pasta) {
    Chamar([&] { platform::DefinirPastaSemDialogo(Texto(pasta)); });
}

// Not behind the lock: a host reads the outcome of its call while another
// thread's call may be running.
CORVEXA_API const char* CORVEXA_CALL DanfeUltimoErro(void) {
    return recusada ? kMensagemChamadaSimultanea : ultimoErro.Texto();
}

}  // extern "C"
