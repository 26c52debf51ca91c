#pragma once
// The render job: the unit of work of one exported call. It is created when
// the call starts and released when it ends; it owns the NF-e reader (and so
// the XML document of the call) and borrows the tables, layouts and flags of
// the data module.
#include <cstdint>
#include <string>

#include "job/uDM_Danfe.h"
#include "nfe/leitor.h"
#include "platform/plataforma.h"

namespace corvexa::job {

// Where a run sends the DANFE. No other values are used.
enum class ModoExecucao : uint8_t {
    Impressora = 0,
    Tela = 1,   // screen preview
    Pdf = 3,
    Jpeg = 4,
};

// The e-mail arguments of the host, 8-bit texts as the host passed them.
struct DadosEmail {
    std::string host;
    std::string remetente;  // sender address, also its name and reply-to
    std::string naoLido;    // accepted from the host and not used
    std::string assunto;
    std::string corpo;
    std::string usuario;
    std::string senha;
};

class TDanfeUtils {
public:
    TDanfeUtils(TDM_Danfe& dm, platform::Plataforma& plataforma);
    virtual ~TDanfeUtils();
    TDanfeUtils(const TDanfeUtils&) = delete;
    TDanfeUtils& operator=(const TDanfeUtils&) = delete;

    // The logo step, once per job before the run. A blank path keeps the
    // picture the layouts have; a path where no file exists is reported to the
    // user and the job goes on; an extension other than bmp, ico, wmf or emf
    // (letter case ignored) fails with "Unknown picture file extension (.%s)".
    void CarregarLogo(const std::string& caminho);

    // The print, preview and export runs. `xml` is the NF-e text as the host
    // gave it; `nomeArquivo` names the exported files.
    void Executar(ModoExecucao modo, const std::u16string& xml, const std::string& nomeArquivo);

    // The e-mail run.
    void EnviarEmail(const std::u16string& xml, const std::string& nomeArquivo, const DadosEmail& email);

    // What every run does before it turns to its output: empties the tables,
    // reads the text into them and derives the flags. Produces nothing.
    void Ler(const std::u16string& xml);

    const std::string& ArquivoLogo() const { return arquivoLogo_; }
    // The print format of the last NF-e read (0 before any): 2 is landscape.
    int TipoImpressao() const { return leitor_.TipoImpressao(); }

private:
    // Empties the tables, then loads and walks the text into them.
    void LerXml(const std::u16string& xml);
    // Homologacao and Contingencia from the current NF-e record.
    void DerivarFlags();

    TDM_Danfe& dm_;
    platform::Plataforma& plataforma_;
    nfe::LeitorNFe leitor_;
    std::string arquivoLogo_;
};

}  // namespace corvexa::job
