#pragma once
// Producing a layout on the device its output settings name, and the names
// of exported files.
#include <functional>
#include <string>
#include <string_view>

#include "platform/plataforma.h"
#include "report/modelo.h"
#include "report/pagina.h"

namespace corvexa::job {

struct TDM_Danfe;

// The print spooler as the jobs see it: the CUPS functions of the platform,
// or recorders in tests.
struct ServicoImpressao {
    // Sends a PDF to a print queue; "Default" or empty: the default queue.
    std::function<void(std::string_view pdf, const std::string& impressora, int copias, const std::string& nomeTrabalho)>
        imprimirPdf;
    // Whether a queue of that name is installed.
    std::function<bool(const std::string& nome)> impressoraExiste;
    // Where the spooler takes drawn pages rather than a PDF (a Windows GDI
    // printer): prints the pages itself, asking `continuar` (page, total)
    // before each page; false there cancels the print. Empty: the PDF goes
    // to imprimirPdf.
    std::function<void(const report::Documento& documento, const std::string& impressora, int copias,
                       const std::string& nomeTrabalho, const std::function<bool(size_t, size_t)>& continuar)>
        imprimirPaginas;

    static ServicoImpressao Cups();
};

// The name of an exported file: the XML file name without its folder, its
// extension (from the last "." after the last "\", ":" or "/") replaced by
// `extensao` or, without one, with `extensao` appended; then the folder, "/"
// and that name. The separator goes in even when the folder ends with one.
//   ("/saida", "/notas/nota-nfe.xml", ".pdf") -> "/saida/nota-nfe.pdf"
//   ("/", "nota", ".pdf") -> "//nota.pdf";  ("/saida", "", ".pdf") -> "/saida/.pdf"
std::string NomeArquivoSaida(std::string_view pasta, std::string_view nomeXml, std::string_view extensao);

// The picture file of page `pagina` (from 1) of a document exported as
// `arquivo`: the first page is `arquivo` itself, later ones carry "-n" before
// the extension ("nota.jpg", "nota-2.jpg"), or at the end without one.
std::string NomePaginaJpeg(std::string_view arquivo, size_t pagina);

// Produces `layout` over the tables of `dm` on the device of its output
// settings:
//   "Screen"      the modal preview window (draw, print, save as PDF, and
//                 e-mail when the layout's e-mail settings are enabled);
//   "Printer"     the print dialog when asked for (cancelled: no output), then
//                 the PDF to the spooler with the layout's copies and printer;
//   "PDF"         one PDF file, `arquivo`;
//   "GraphicFile" one JPEG file per page at 200 dpi, named by NomePaginaJpeg.
// With the progress dialog switched on, cancelling it stops without output.
// Files appear whole or not at all: when a page cannot be written, the pages
// of this call already written are removed.
void Imprimir(TDM_Danfe& dm, report::Relatorio& layout, platform::Plataforma& plataforma,
              const ServicoImpressao& impressao);

// Sends `documento`, the pages of `layout`, by e-mail with the layout's
// e-mail settings: one message with the pages attached as a PDF named after
// the settings' file name ("NFeDANFE.pdf"). Fails with the server's reply
// when the message is not taken.
void EnviarEmailDoLayout(report::Relatorio& layout, const report::Documento& documento);

}  // namespace corvexa::job
