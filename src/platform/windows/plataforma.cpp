// The desktop services on Windows: the system's message box, folder chooser
// and print dialog, and windows of our own for the progress of an output and
// the preview, drawn with cairo. Everything is modal and runs on the calling
// thread, as the host called us.
#include "platform/plataforma.h"

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cairo-win32.h>
#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "base/falha.h"

namespace corvexa::platform {

// ---------------------------------------------------------------- headless

// The rest of the headless platform is in sem_tela.cpp.
void PlataformaSemTela::Visualizar(const report::Documento&, const AcoesVisualizacao&) {
    throw Falha("Não há tela disponível para visualizar o DANFE.");
}

namespace {

// ---------------------------------------------------------------- texts

std::wstring Utf16(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring r(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), r.data(), n);
    return r;
}

// UTF-8 to the system's ANSI code page; characters it lacks become its
// default character.
std::string Ansi(std::string_view utf8) {
    const std::wstring w = Utf16(utf8);
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string r(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), r.data(), n, nullptr, nullptr);
    return r;
}

// The host's window that our modal windows belong to (it is disabled while
// they are open).
HWND JanelaDoHost() {
    HWND w = GetActiveWindow();
    return w ? GetAncestor(w, GA_ROOTOWNER) : nullptr;
}

HINSTANCE Instancia() {
    HMODULE m = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&JanelaDoHost), &m);
    return m;
}

// ---------------------------------------------------------------- progress

class ProgressoWindows : public Progresso {
public:
    explicit ProgressoWindows(std::string_view titulo) {
        static const char* kClasse = Registrar();
        dono_ = JanelaDoHost();
        janela_ = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kClasse, Ansi(titulo).c_str(),
                                  WS_POPUP | WS_CAPTION | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 320, 130, dono_,
                                  nullptr, Instancia(), this);
        if (!janela_) return;
        RECT r{};
        GetWindowRect(janela_, &r);
        SetWindowPos(janela_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        HFONT fonte = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        texto_ = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 16, 16, 280, 20, janela_, nullptr,
                                 Instancia(), nullptr);
        HWND botao = CreateWindowExA(0, "BUTTON", "Cancelar", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 110, 50, 90, 26,
                                     janela_, reinterpret_cast<HMENU>(IDCANCEL), Instancia(), nullptr);
        SendMessageA(texto_, WM_SETFONT, reinterpret_cast<WPARAM>(fonte), TRUE);
        SendMessageA(botao, WM_SETFONT, reinterpret_cast<WPARAM>(fonte), TRUE);
        if (dono_) EnableWindow(dono_, FALSE);
        Bombear();
    }
    ~ProgressoWindows() override {
        if (dono_) EnableWindow(dono_, TRUE);
        if (janela_) DestroyWindow(janela_);
    }

    bool Avancar(int pagina, int total) override {
        if (texto_) {
            char t[64];
            std::snprintf(t, sizeof t, "Página %d de %d", std::min(pagina + 1, std::max(total, 1)), total);
            SetWindowTextA(texto_, Ansi(t).c_str());
        }
        Bombear();
        return !cancelado_;
    }

private:
    static const char* Registrar() {
        WNDCLASSA c{};
        c.lpfnWndProc = &Procedimento;
        c.hInstance = Instancia();
        c.hCursor = LoadCursor(nullptr, IDC_ARROW);
        c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        c.lpszClassName = "CorvexaProgresso";
        RegisterClassA(&c);
        return c.lpszClassName;
    }
    static LRESULT CALLBACK Procedimento(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_NCCREATE)
            SetWindowLongPtrA(h, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(l)->lpCreateParams));
        auto* p = reinterpret_cast<ProgressoWindows*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        if (p && ((m == WM_COMMAND && LOWORD(w) == IDCANCEL) || m == WM_CLOSE)) {
            p->cancelado_ = true;
            return 0;
        }
        return DefWindowProcA(h, m, w, l);
    }
    void Bombear() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    HWND dono_ = nullptr, janela_ = nullptr, texto_ = nullptr;
    bool cancelado_ = false;
};

// ---------------------------------------------------------------- preview

enum Comando : UINT { kImprimir = 100, kSalvar, kEmail, kAnterior, kProxima, kFechar, kZoomPagina, kZoomLargura, kZoom100 };

class Visualizacao {
public:
    Visualizacao(const report::Documento& doc, const AcoesVisualizacao& acoes) : doc_(doc), acoes_(acoes) {
        zoom_ = acoes.zoom;
    }

    void Executar() {
        static const char* kClasse = Registrar();
        HMENU menu = CreateMenu();
        AppendMenuA(menu, MF_STRING, kImprimir, Ansi("&Imprimir").c_str());
        AppendMenuA(menu, MF_STRING, kSalvar, Ansi("&Salvar PDF...").c_str());
        if (acoes_.enviarEmail) AppendMenuA(menu, MF_STRING, kEmail, Ansi("&E-mail").c_str());
        AppendMenuA(menu, MF_STRING, kAnterior, Ansi("< &Anterior").c_str());
        AppendMenuA(menu, MF_STRING, kProxima, Ansi("&Próxima >").c_str());
        AppendMenuA(menu, MF_STRING, kZoomPagina, Ansi("Página &inteira").c_str());
        AppendMenuA(menu, MF_STRING, kZoomLargura, Ansi("&Largura").c_str());
        AppendMenuA(menu, MF_STRING, kZoom100, "&100%");
        AppendMenuA(menu, MF_STRING, kFechar, "&Fechar");
        dono_ = JanelaDoHost();
        janela_ = CreateWindowExA(0, kClasse, Ansi(acoes_.titulo).c_str(), WS_OVERLAPPEDWINDOW | WS_VSCROLL,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 900, 700, dono_, menu, Instancia(), this);
        if (!janela_) {
            DestroyMenu(menu);
            throw Falha("Não foi possível abrir a janela de visualização.");
        }
        if (dono_) EnableWindow(dono_, FALSE);
        ShowWindow(janela_, acoes_.maximizada ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        Titulo();
        MSG msg;
        while (janela_) {
            const BOOL r = GetMessageA(&msg, nullptr, 0, 0);
            if (r <= 0) {
                // The host is quitting: close, and hand the WM_QUIT back to its loop.
                sair_ = r == 0;
                codigoSaida_ = static_cast<int>(msg.wParam);
                DestroyWindow(janela_);
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (dono_) {
            EnableWindow(dono_, TRUE);
            SetActiveWindow(dono_);
        }
        if (sair_) PostQuitMessage(codigoSaida_);
    }

private:
    static const char* Registrar() {
        WNDCLASSA c{};
        c.lpfnWndProc = &Procedimento;
        c.hInstance = Instancia();
        c.hCursor = LoadCursor(nullptr, IDC_ARROW);
        c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
        c.lpszClassName = "CorvexaVisualizacao";
        RegisterClassA(&c);
        return c.lpszClassName;
    }

    static LRESULT CALLBACK Procedimento(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_NCCREATE)
            SetWindowLongPtrA(h, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(l)->lpCreateParams));
        auto* v = reinterpret_cast<Visualizacao*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        return v ? v->Tratar(h, m, w, l) : DefWindowProcA(h, m, w, l);
    }

    void Titulo() {
        char t[32];
        std::snprintf(t, sizeof t, " - %zu/%zu", pagina_ + 1, std::max<size_t>(doc_.paginas.size(), 1));
        SetWindowTextA(janela_, (Ansi(acoes_.titulo) + t).c_str());
    }

    void IrPara(size_t p) {
        if (doc_.paginas.empty()) return;
        pagina_ = std::min(p, doc_.paginas.size() - 1);
        rolagem_ = 0;
        Titulo();
        InvalidateRect(janela_, nullptr, TRUE);
    }

    // Pixels per thousandth of a millimetre for the zoom and the window.
    double Escala(const RECT& area) const {
        if (doc_.paginas.empty()) return 1.0;
        const auto& p = doc_.paginas[pagina_];
        const double larg = std::max(1, static_cast<int>(area.right - area.left) - 40);
        const double alt = std::max(1, static_cast<int>(area.bottom - area.top) - 40);
        HDC dc = GetDC(janela_);
        const double dpi = GetDeviceCaps(dc, LOGPIXELSX);
        ReleaseDC(janela_, dc);
        if (zoom_ == 2) return dpi / 25400.0;
        const double porLargura = larg / std::max<double>(p.largura, 1);
        if (zoom_ == 1) return porLargura;
        return std::min(porLargura, alt / std::max<double>(p.altura, 1));
    }

    void Pintar(HDC dc) {
        RECT area{};
        GetClientRect(janela_, &area);
        const int w = area.right - area.left, h = area.bottom - area.top;
        if (w <= 0 || h <= 0) return;
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
        cairo_paint(cr);
        int altura = 0;
        if (!doc_.paginas.empty()) {
            const auto& p = doc_.paginas[pagina_];
            const double e = Escala(area);
            const double pw = p.largura * e, ph = p.altura * e;
            altura = static_cast<int>(ph) + 40;
            const double x = std::max(20.0, (w - pw) / 2), y = 20.0 - rolagem_;
            cairo_rectangle(cr, x, y, pw, ph);
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_fill(cr);
            cairo_save(cr);
            cairo_translate(cr, x, y);
            cairo_scale(cr, e, e);
            if (acoes_.desenhar) acoes_.desenhar(cr, pagina_);
            cairo_restore(cr);
        }
        cairo_destroy(cr);
        cairo_surface_flush(s);
        cairo_surface_t* tela = cairo_win32_surface_create(dc);
        cairo_t* ct = cairo_create(tela);
        cairo_set_source_surface(ct, s, 0, 0);
        cairo_paint(ct);
        cairo_destroy(ct);
        cairo_surface_destroy(tela);
        cairo_surface_destroy(s);

        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        si.nMax = std::max(altura, 0);
        si.nPage = static_cast<UINT>(h);
        si.nPos = rolagem_;
        SetScrollInfo(janela_, SB_VERT, &si, TRUE);
    }

    void Rolar(int delta) {
        RECT area{};
        GetClientRect(janela_, &area);
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        GetScrollInfo(janela_, SB_VERT, &si);
        const int maximo = std::max(0, si.nMax - static_cast<int>(si.nPage));
        rolagem_ = std::clamp(rolagem_ + delta, 0, maximo);
        InvalidateRect(janela_, nullptr, FALSE);
    }

    void SalvarPdf() {
        char arquivo[MAX_PATH] = "DANFE.pdf";
        OPENFILENAMEA o{};
        o.lStructSize = sizeof o;
        o.hwndOwner = janela_;
        o.lpstrFilter = "PDF (*.pdf)\0*.pdf\0";
        o.lpstrFile = arquivo;
        o.nMaxFile = MAX_PATH;
        o.lpstrDefExt = "pdf";
        o.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        if (GetSaveFileNameA(&o) && acoes_.salvarPdf) acoes_.salvarPdf(arquivo);
    }

    LRESULT Tratar(HWND h, UINT m, WPARAM w, LPARAM l) {
        switch (m) {
            case WM_PAINT: {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(h, &ps);
                Pintar(dc);
                EndPaint(h, &ps);
                return 0;
            }
            case WM_ERASEBKGND: return 1;
            case WM_SIZE: InvalidateRect(h, nullptr, FALSE); return 0;
            case WM_MOUSEWHEEL: Rolar(-GET_WHEEL_DELTA_WPARAM(w) / 2); return 0;
            case WM_VSCROLL: {
                SCROLLINFO si{};
                si.cbSize = sizeof si;
                si.fMask = SIF_ALL;
                GetScrollInfo(h, SB_VERT, &si);
                switch (LOWORD(w)) {
                    case SB_LINEUP: Rolar(-40); break;
                    case SB_LINEDOWN: Rolar(40); break;
                    case SB_PAGEUP: Rolar(-static_cast<int>(si.nPage)); break;
                    case SB_PAGEDOWN: Rolar(static_cast<int>(si.nPage)); break;
                    case SB_THUMBTRACK:
                    case SB_THUMBPOSITION: Rolar(si.nTrackPos - rolagem_); break;
                    default: break;
                }
                return 0;
            }
            case WM_KEYDOWN:
                switch (w) {
                    case VK_NEXT: IrPara(pagina_ + 1); return 0;
                    case VK_PRIOR: IrPara(pagina_ == 0 ? 0 : pagina_ - 1); return 0;
                    case VK_HOME: IrPara(0); return 0;
                    case VK_END: IrPara(doc_.paginas.empty() ? 0 : doc_.paginas.size() - 1); return 0;
                    case VK_DOWN: Rolar(40); return 0;
                    case VK_UP: Rolar(-40); return 0;
                    case VK_ESCAPE: DestroyWindow(h); return 0;
                    default: break;
                }
                break;
            case WM_COMMAND:
                switch (LOWORD(w)) {
                    case kImprimir: if (acoes_.imprimir) acoes_.imprimir(); return 0;
                    case kSalvar: SalvarPdf(); return 0;
                    case kEmail: if (acoes_.enviarEmail) acoes_.enviarEmail(); return 0;
                    case kAnterior: IrPara(pagina_ == 0 ? 0 : pagina_ - 1); return 0;
                    case kProxima: IrPara(pagina_ + 1); return 0;
                    case kZoomPagina: zoom_ = 0; IrPara(pagina_); return 0;
                    case kZoomLargura: zoom_ = 1; IrPara(pagina_); return 0;
                    case kZoom100: zoom_ = 2; IrPara(pagina_); return 0;
                    case kFechar: DestroyWindow(h); return 0;
                    default: break;
                }
                break;
            case WM_CLOSE:
                // The host's window is enabled again before ours goes, so
                // that Windows hands the focus back to it.
                if (dono_) EnableWindow(dono_, TRUE);
                DestroyWindow(h);
                return 0;
            case WM_DESTROY: janela_ = nullptr; return 0;
            default: break;
        }
        return DefWindowProcA(h, m, w, l);
    }

    const report::Documento& doc_;
    const AcoesVisualizacao& acoes_;
    HWND janela_ = nullptr, dono_ = nullptr;
    size_t pagina_ = 0;
    int rolagem_ = 0;
    int zoom_ = 1;
    bool sair_ = false;
    int codigoSaida_ = 0;
};

// ---------------------------------------------------------------- Windows

class PlataformaWindows : public Plataforma {
public:
    void MostrarMensagem(std::string_view textoUtf8) override {
        MessageBoxA(JanelaDoHost(), Ansi(textoUtf8).c_str(), "DANFE", MB_OK | MB_ICONWARNING | MB_TASKMODAL);
    }

    std::string EscolherPasta(std::string_view titulo, int flags) override {
        if (!PastaSemDialogo().empty()) return PastaSemDialogo();
        const std::string t = Ansi(titulo);
        char nome[MAX_PATH] = {};
        BROWSEINFOA b{};
        b.hwndOwner = nullptr;      // no owner window
        b.pidlRoot = nullptr;       // rooted at the desktop
        b.pszDisplayName = nome;
        b.lpszTitle = t.c_str();
        b.ulFlags = static_cast<UINT>(flags);  // 65: file-system folders, new dialog style
        b.lpfn = nullptr;
        // The new dialog style needs COM on this thread; the host's own
        // initialisation is kept when there is one.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        std::string resultado;
        if (LPITEMIDLIST lista = SHBrowseForFolderA(&b)) {
            char caminho[MAX_PATH + 1] = {};
            if (SHGetPathFromIDListA(lista, caminho)) resultado = caminho;
            CoTaskMemFree(lista);
        }
        if (SUCCEEDED(com)) CoUninitialize();
        return resultado;
    }

    bool DialogoImpressao(ConfigImpressao& config) override {
        // The current printer and copies preselected through the device mode.
        HGLOBAL modo = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DEVMODEA));
        if (modo) {
            auto* dm = static_cast<DEVMODEA*>(GlobalLock(modo));
            dm->dmSize = sizeof(DEVMODEA);
            dm->dmFields = DM_COPIES;
            dm->dmCopies = static_cast<short>(std::clamp(config.copias, 1, 9999));
            lstrcpynA(reinterpret_cast<char*>(dm->dmDeviceName), config.impressora.c_str(), CCHDEVICENAME);
            GlobalUnlock(modo);
        }
        PRINTDLGA pd{};
        pd.lStructSize = sizeof pd;
        pd.hwndOwner = JanelaDoHost();
        pd.hDevMode = modo;
        pd.Flags = PD_NOSELECTION | PD_NOPAGENUMS | PD_USEDEVMODECOPIESANDCOLLATE | PD_HIDEPRINTTOFILE;
        pd.nCopies = static_cast<WORD>(std::clamp(config.copias, 1, 9999));
        const BOOL ok = PrintDlgA(&pd);
        if (ok) {
            if (pd.hDevNames) {
                auto* nomes = static_cast<DEVNAMES*>(GlobalLock(pd.hDevNames));
                config.impressora = reinterpret_cast<const char*>(nomes) + nomes->wDeviceOffset;
                GlobalUnlock(pd.hDevNames);
            }
            int copias = pd.nCopies;
            if (pd.hDevMode) {
                auto* dm = static_cast<DEVMODEA*>(GlobalLock(pd.hDevMode));
                if (dm->dmFields & DM_COPIES) copias = std::max<int>(copias, dm->dmCopies);
                GlobalUnlock(pd.hDevMode);
            }
            config.copias = std::max(copias, 1);
        }
        if (pd.hDevMode) GlobalFree(pd.hDevMode);
        if (pd.hDevNames) GlobalFree(pd.hDevNames);
        return ok != FALSE;
    }

    std::unique_ptr<Progresso> MostrarProgresso(std::string_view titulo) override {
        return std::make_unique<ProgressoWindows>(titulo);
    }

    void Visualizar(const report::Documento& documento, const AcoesVisualizacao& acoes) override {
        Visualizacao(documento, acoes).Executar();
    }
};

}  // namespace

// Windows always has a desktop: its windows are used. A host without a user
// at the screen sets the export folder with DanfeDefinirPasta beforehand.
Plataforma& PlataformaPadrao() {
    static PlataformaWindows windows;
    return windows;
}

}  // namespace corvexa::platform
