#include "fontes/arquivos.h"

#include <windows.h>
#include <shlobj.h>

#include <array>

namespace corvexa::fontes {
namespace {

// The system's font folder (usually C:\Windows\Fonts), with its separator.
std::string PastaFontes() {
    char pasta[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_FONTS, nullptr, SHGFP_TYPE_CURRENT, pasta)) && pasta[0])
        return std::string(pasta) + "\\";
    const UINT n = GetWindowsDirectoryA(pasta, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return std::string(pasta) + "\\Fonts\\";
    return "C:\\Windows\\Fonts\\";
}

ArquivosFonte Em(const std::string& pasta, const char* nome, std::initializer_list<const char*> arquivos) {
    ArquivosFonte r{nome, {}};
    for (const char* a : arquivos) r.caminhos.push_back(pasta + a);
    return r;
}

}  // namespace

// The system's own Arial, Tahoma and Courier New; where they are missing (a
// Wine prefix), the metric-compatible Liberation fonts installed in the same
// folder serve Arial and Courier New.
const ArquivosFonte& ArquivosDe(Familia familia, bool negrito) {
    static const std::array<std::array<ArquivosFonte, 2>, 3> kCandidatos = [] {
        const std::string p = PastaFontes();
        return std::array<std::array<ArquivosFonte, 2>, 3>{{
            {Em(p, "Arial", {"arial.ttf", "LiberationSans-Regular.ttf"}),
             Em(p, "Arial negrito", {"arialbd.ttf", "LiberationSans-Bold.ttf"})},
            {Em(p, "Tahoma", {"tahoma.ttf"}), Em(p, "Tahoma negrito", {"tahomabd.ttf"})},
            {Em(p, "Courier New", {"cour.ttf", "LiberationMono-Regular.ttf"}),
             Em(p, "Courier New negrito", {"courbd.ttf", "LiberationMono-Bold.ttf"})},
        }};
    }();
    return kCandidatos[static_cast<int>(familia)][negrito ? 1 : 0];
}

}  // namespace corvexa::fontes
