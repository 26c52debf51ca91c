#pragma once
// Printing through the print spooler (CUPS).
#include <string>
#include <string_view>
#include <vector>

namespace corvexa::platform {

// Sends a PDF document to a print queue. `impressora` empty or "Default": the
// spooler's default destination. `nomeTrabalho` names the job ("Report",
// "DANFE"). Fails (Falha, Portuguese message) when there is no spooler, no
// such printer, no default printer, or the spooler refuses the job.
void ImprimirPdf(std::string_view pdf, const std::string& impressora, int copias, const std::string& nomeTrabalho);

// The installed destinations, and whether one of that name exists.
std::vector<std::string> Impressoras();
bool ImpressoraExiste(const std::string& nome);

}  // namespace corvexa::platform
