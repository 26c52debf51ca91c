#pragma once
// The render job: the unit of work of one exported call. It is created when
// the call starts and released when it ends; it owns the NF-e reader (and so
// the XML document of the call) and borrows the tables, layouts and flags of
// the data module.
#include <cstdint>
#include <string>

#include "job/saida.h"
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
    std::string destinatarios;  // the sixth argument: recipients, ";" or "," separated
    std::string assunto;
    std::string corpo;
    std::string usuario;
    std::string senha;
};

// The configuration file of the print and preview runs, in the current folder.
inline constexpr const char* kArquivoConfiguracao = "./nfeConfig.ini";

class TDanfeUtils {
public:
    // Creation writes the settings every job starts from on both layouts: PDF
    // document properties, preview window maximised at page width, print to
    // file allowed, e-mail offered.
    TDanfeUtils(TDM_Danfe& dm, platform::Plataforma& plataforma,
                ServicoImpressao impressao = ServicoImpressao::Cups());
    virtual ~TDanfeUtils();
    TDanfeUtils(const TDanfeUtils&) = delete;
    TDanfeUtils& operator=(const TDanfeUtils&) = delete;

    // The logo step, once per job before the run. A blank path keeps the
    // picture the layouts have; a path where no file exists is reported to the
    // user and the job goes on. By extension (letter case ignored): bmp, ico,
    // png, jpg and jpeg are decoded, and wmf and emf played as vector
    // pictures, into the emitter image of both layouts, where they stay for
    // later jobs (a file that does not decode fails with "Arquivo do logotipo
    // inválido: ..."); any other extension fails with "Unknown picture file
    // extension (.%s)".
    void CarregarLogo(const std::string& caminho);

    // The print, preview and export runs. `xml` is the NF-e text as the host
    // gave it; `nomeArquivo` names the exported files. Reads the NF-e, sets
    // the output of both layouts by mode (print and preview also apply the
    // configuration file), derives the flags and produces the layout of the
    // last NF-e's print format. Exports ask for a folder; when none is chosen
    // the layouts keep their settings and the job produces nothing, unless
    // the layout is still on the preview window, which then opens.
    void Executar(ModoExecucao modo, const std::u16string& xml, const std::string& nomeArquivo);

    // The folder chooser: the chosen folder's path, or empty when none was
    // chosen (through the platform, which may answer without a dialog).
    std::string EscolherPasta(std::string_view titulo, int flags);

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
    // Copies, printer, dialogs and the print-time flag from the configuration file.
    void AplicarConfiguracao();
    // The folder for an export and, when one is chosen, the file device of
    // both layouts. False when no folder was chosen.
    bool EscolherArquivo(ModoExecucao modo, const std::string& nomeArquivo);

    TDM_Danfe& dm_;
    platform::Plataforma& plataforma_;
    ServicoImpressao impressao_;
    nfe::LeitorNFe leitor_;
    std::string arquivoLogo_;
};

}  // namespace corvexa::job
