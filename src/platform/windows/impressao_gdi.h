#pragma once
// Printing on Windows: the pages drawn by cairo onto a GDI printer device
// context, on A4 paper, through the system's spooler.
#include <functional>
#include <string>

#include "report/pagina.h"

namespace corvexa::platform {

// Prints `copias` collated copies of the pages on `impressora` ("Default" or
// empty: the system's default printer), as a spooler job named
// `nomeTrabalho`. `continuar` (page, total) is asked before each page; false
// there abandons the job. Fails (Falha) when the printer is unknown or the
// spooler refuses the job.
void ImprimirPaginasGdi(const report::Documento& documento, const std::string& impressora, int copias,
                        const std::string& nomeTrabalho, const std::function<bool(size_t, size_t)>& continuar);

}  // namespace corvexa::platform
