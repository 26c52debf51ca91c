#include "render/arquivo.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "base/falha.h"

namespace corvexa::render {
namespace {

std::string Mensagem(const std::string& caminho, std::string_view motivo) {
    return "Não foi possível gravar o arquivo \"" + caminho + "\": " + std::string(motivo);
}

std::string Erro(int e) { return std::error_code(e, std::generic_category()).message(); }

// The temporary files being written, for a signal handler to remove: fixed
// slots in static memory, so that reading them needs neither a lock nor
// memory that another thread may free meanwhile. A slot is free (0), being
// filled (1) or listing a name (2). When all are taken a file goes unlisted.
struct Vaga {
    std::atomic<int> estado{0};
    char caminho[4096];
};
static_assert(std::atomic<int>::is_always_lock_free);
constexpr int kVagas = 64;
Vaga vagas[kVagas];

int Listar(const std::string& temporario) {
    if (temporario.size() >= sizeof(Vaga::caminho)) return -1;
    for (int i = 0; i < kVagas; ++i) {
        int livre = 0;
        if (vagas[i].estado.compare_exchange_strong(livre, 1, std::memory_order_acquire)) {
            std::memcpy(vagas[i].caminho, temporario.c_str(), temporario.size() + 1);
            vagas[i].estado.store(2, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void Retirar(int& vaga) {
    if (vaga >= 0) vagas[vaga].estado.store(0, std::memory_order_release);
    vaga = -1;
}

}  // namespace

void ApagarTemporarios() noexcept {
    for (auto& v : vagas)
        if (v.estado.load(std::memory_order_acquire) == 2) unlink(v.caminho);
}

ArquivoAtomico::ArquivoAtomico(std::string caminho) : caminho_(std::move(caminho)) {
    if (caminho_.empty() || caminho_.back() == '/') throw Falha(Mensagem(caminho_, "nome de arquivo vazio"));
    // A hidden name next to the target, unique in this process and, through
    // the pid, among processes writing into the same folder.
    static std::atomic<unsigned> contador{0};
    const size_t barra = caminho_.rfind('/');
    const std::string pasta = barra == std::string::npos ? std::string() : caminho_.substr(0, barra + 1);
    const std::string nome = barra == std::string::npos ? caminho_ : caminho_.substr(barra + 1);
    int fd = -1;
    for (int tentativa = 0; tentativa < 100 && fd < 0; ++tentativa) {
        temporario_ = pasta + "." + nome + "." + std::to_string(getpid()) + "-" +
                      std::to_string(contador.fetch_add(1)) + ".tmp";
        // Listed before it exists: a signal between the two finds nothing to remove.
        vaga_ = Listar(temporario_);
        fd = open(temporario_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) Retirar(vaga_);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int e = errno;
        temporario_.clear();
        throw Falha(Mensagem(caminho_, Erro(e)));
    }
    f_ = fdopen(fd, "wb");
    if (!f_) {
        const int e = errno;
        close(fd);
        unlink(temporario_.c_str());
        Retirar(vaga_);
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
        unlink(temporario_.c_str());
        Retirar(vaga_);
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
    if (std::rename(temporario_.c_str(), caminho_.c_str()) != 0) {
        erro_ = errno;
        Falhar();
    }
    Retirar(vaga_);
    temporario_.clear();
}

}  // namespace corvexa::render
