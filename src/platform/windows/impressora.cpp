#include "platform/impressora.h"

#include <windows.h>
#include <winspool.h>

#include <cairo-win32.h>
#include <cairo.h>

#include <memory>
#include <vector>

#include "base/falha.h"
#include "platform/windows/impressao_gdi.h"
#include "render/desenho.h"

namespace corvexa::platform {
namespace {

std::string NomeOuPadrao(const std::string& impressora) {
    if (!impressora.empty() && impressora != "Default") return impressora;
    DWORD n = 0;
    GetDefaultPrinterA(nullptr, &n);
    std::string nome(n, '\0');
    if (n == 0 || !GetDefaultPrinterA(nome.data(), &n)) throw Falha("Nenhuma impressora padrão está definida.");
    nome.resize(nome.find('\0') == std::string::npos ? nome.size() : nome.find('\0'));
    return nome;
}

// The printer's settings with A4 paper in the orientation of the first page
// and one copy (copies are printed one after the other here, whatever the
// driver can do).
std::vector<char> ConfiguracaoA4(const std::string& nome, bool paisagem) {
    HANDLE h = nullptr;
    if (!OpenPrinterA(const_cast<char*>(nome.c_str()), &h, nullptr))
        throw Falha("Impressora não encontrada: " + nome);
    std::unique_ptr<void, decltype(&ClosePrinter)> fechar(h, &ClosePrinter);
    const LONG tamanho = DocumentPropertiesA(nullptr, h, const_cast<char*>(nome.c_str()), nullptr, nullptr, 0);
    if (tamanho < static_cast<LONG>(sizeof(DEVMODEA))) throw Falha("Impressora sem configuração: " + nome);
    std::vector<char> dm(static_cast<size_t>(tamanho));
    auto* modo = reinterpret_cast<DEVMODEA*>(dm.data());
    if (DocumentPropertiesA(nullptr, h, const_cast<char*>(nome.c_str()), modo, nullptr, DM_OUT_BUFFER) != IDOK)
        throw Falha("Impressora sem configuração: " + nome);
    modo->dmFields |= DM_PAPERSIZE | DM_ORIENTATION | DM_COPIES;
    modo->dmPaperSize = DMPAPER_A4;
    modo->dmOrientation = paisagem ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    modo->dmCopies = 1;
    DocumentPropertiesA(nullptr, h, const_cast<char*>(nome.c_str()), modo, modo, DM_IN_BUFFER | DM_OUT_BUFFER);
    return dm;
}

}  // namespace

void ImprimirPdf(std::string_view, const std::string&, int, const std::string&) {
    // The Windows spooler takes drawn pages (ImprimirPaginasGdi), not PDF files.
    throw Falha("A impressão de PDF não está disponível no Windows.");
}

std::vector<std::string> Impressoras() {
    DWORD bytes = 0, n = 0;
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    EnumPrintersA(flags, nullptr, 4, nullptr, 0, &bytes, &n);
    std::vector<std::string> r;
    if (bytes == 0) return r;
    std::vector<BYTE> buf(bytes);
    if (!EnumPrintersA(flags, nullptr, 4, buf.data(), bytes, &bytes, &n)) return r;
    const auto* info = reinterpret_cast<const PRINTER_INFO_4A*>(buf.data());
    for (DWORD i = 0; i < n; ++i)
        if (info[i].pPrinterName) r.emplace_back(info[i].pPrinterName);
    return r;
}

bool ImpressoraExiste(const std::string& nome) {
    if (nome.empty()) return false;
    HANDLE h = nullptr;
    if (!OpenPrinterA(const_cast<char*>(nome.c_str()), &h, nullptr)) return false;
    ClosePrinter(h);
    return true;
}

void ImprimirPaginasGdi(const report::Documento& documento, const std::string& impressora, int copias,
                        const std::string& nomeTrabalho, const std::function<bool(size_t, size_t)>& continuar) {
    const std::string nome = NomeOuPadrao(impressora);
    const bool paisagem = !documento.paginas.empty() && documento.paginas[0].largura > documento.paginas[0].altura;
    std::vector<char> dm = ConfiguracaoA4(nome, paisagem);
    HDC dc = CreateDCA("WINSPOOL", nome.c_str(), nullptr, reinterpret_cast<DEVMODEA*>(dm.data()));
    if (!dc) throw Falha("Não foi possível abrir a impressora " + nome + ".");
    std::unique_ptr<std::remove_pointer_t<HDC>, decltype(&DeleteDC)> liberar(dc, &DeleteDC);

    DOCINFOA doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = nomeTrabalho.empty() ? "DANFE" : nomeTrabalho.c_str();
    if (StartDocA(dc, &doc) <= 0) throw Falha("A impressora " + nome + " recusou o trabalho.");

    // Device units: the page's thousandths of a millimetre at the printer's
    // resolution, from the paper's edge (not from the printable area's).
    const double dpiX = GetDeviceCaps(dc, LOGPIXELSX), dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    const double margemX = GetDeviceCaps(dc, PHYSICALOFFSETX), margemY = GetDeviceCaps(dc, PHYSICALOFFSETY);
    const size_t total = documento.paginas.size();
    const int vias = copias < 1 ? 1 : copias;
    for (int via = 0; via < vias; ++via) {
        for (size_t i = 0; i < total; ++i) {
            if (!continuar(i, total)) {
                AbortDoc(dc);
                return;
            }
            if (StartPage(dc) <= 0) {
                AbortDoc(dc);
                throw Falha("A impressora " + nome + " recusou a página.");
            }
            cairo_surface_t* s = cairo_win32_printing_surface_create(dc);
            cairo_t* cr = cairo_create(s);
            cairo_translate(cr, -margemX, -margemY);
            cairo_scale(cr, dpiX / 25400.0, dpiY / 25400.0);
            render::DesenharPagina(cr, documento.paginas[i], render::OpcoesDesenho{1.0});
            cairo_status_t st = cairo_status(cr);
            cairo_destroy(cr);
            cairo_surface_finish(s);  // the page goes to the device context here
            if (st == CAIRO_STATUS_SUCCESS) st = cairo_surface_status(s);
            cairo_surface_destroy(s);
            if (st != CAIRO_STATUS_SUCCESS) {
                AbortDoc(dc);
                throw Falha("Falha ao imprimir em " + nome + ": " + cairo_status_to_string(st));
            }
            if (EndPage(dc) <= 0) {
                AbortDoc(dc);
                throw Falha("A impressora " + nome + " recusou a página.");
            }
        }
    }
    if (!continuar(total, total)) {
        AbortDoc(dc);
        return;
    }
    if (EndDoc(dc) <= 0) throw Falha("A impressora " + nome + " recusou o trabalho.");
}

}  // namespace corvexa::platform
