#include "render/arquivo.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "base/falha.h"

// Windows: paths are ANSI texts with "\" or "/" between folders, and the
// finished file replaces one of the same name through MoveFileEx (rename()
// refuses an existing target there).
namespace corvexa::render {
namespace {

std::string Mensagem(const std::string& caminho, std::string_view motivo) {
    return "Não foi possível gravar o arquivo \"" + caminho + "\": " + std::string(motivo);
}

std::string Erro(int e) { return std::error_code(e, std::generic_category()).message(); }

std::string ErroWindows(DWORD e) {
    char texto[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, e,
                                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), texto, sizeof texto, nullptr);
    std::string r(texto, n);
    while (!r.empty() && (r.back() == '\n' || r.back() == '\r' || r.back() == ' ' || r.back() == '.')) r.pop_back();
    return r.empty() ? "erro " + std::to_string(e) + " do Windows" : r;
}

}  // namespace

ArquivoAtomico::ArquivoAtomico(std::string caminho) : caminho_(std::move(caminho)) {
    if (caminho_.empty() || caminho_.back() == '/' || caminho_.back() == '\\')
        throw Falha(Mensagem(caminho_, "nome de arquivo vazio"));
    static std::atomic<unsigned> contador{0};
    const size_t barra = caminho_.find_last_of("/\\:");
    const std::string pasta = barra == std::string::npos ? std::string() : caminho_.substr(0, barra + 1);
    const std::string nome = barra == std::string::npos ? caminho_ : caminho_.substr(barra + 1);
    int fd = -1;
    for (int tentativa = 0; tentativa < 100 && fd < 0; ++tentativa) {
        temporario_ = pasta + "." + nome + "." + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(contador.fetch_add(1)) + ".tmp";
        fd = _open(temporario_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int e = errno;
        temporario_.clear();
        throw Falha(Mensagem(caminho_, Erro(e)));
    }
    f_ = _fdopen(fd, "wb");
    if (!f_) {
        const int e = errno;
        _close(fd);
        DeleteFileA(temporario_.c_str());
        temporario_.clear();
        throw Falha(Mensagem(caminho_, Erro(e)));
    }
}

ArquivoAtomico::~ArquivoAtomico() { Descartar(); }

void ArquivoAtomico::Descartar() {
    if (f_) {
        std::fclose(f_);
        f_ = nullptr;
    }
    if (!temporario_.empty()) {
        DeleteFileA(temporario_.c_str());
        temporario_.clear();
    }
}

bool ArquivoAtomico::Escrever(const void* dados, size_t tamanho) {
    if (!f_ || erro_) return false;
    if (tamanho == 0) return true;
    if (std::fwrite(dados, 1, tamanho, f_) != tamanho) {
        erro_ = errno ? errno : EIO;
        return false;
    }
    return true;
}

void ArquivoAtomico::Falhar(std::string_view motivo) {
    const std::string m = !motivo.empty() ? std::string(motivo) : Erro(erro_ ? erro_ : EIO);
    Descartar();
    throw Falha(Mensagem(caminho_, m));
}

void ArquivoAtomico::Concluir() {
    if (!f_) Falhar();
    if (erro_) Falhar();
    if (std::fflush(f_) != 0) erro_ = errno ? errno : EIO;
    if (std::fclose(f_) != 0 && !erro_) erro_ = errno ? errno : EIO;
    f_ = nullptr;
    if (erro_) Falhar();
    if (!MoveFileExA(temporario_.c_str(), caminho_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Falhar(ErroWindows(GetLastError()));
    temporario_.clear();
}

}  // namespace corvexa::render
