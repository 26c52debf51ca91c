#include "base/memoria.h"

#include <bit>
#include <mutex>
#include <new>
#include <vector>

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace corvexa::memoria {
namespace {

constexpr int kMenorClasse = 16;  // 64 KiB
constexpr int kMaiorClasse = 26;  // 64 MiB
constexpr int kClasses = kMaiorClasse - kMenorClasse + 1;

int ClasseDe(size_t bytes, size_t alinhamento) {
    if (!kRecicla || alinhamento > 4096 || bytes < (size_t{1} << kMenorClasse) || bytes > (size_t{1} << kMaiorClasse)) return -1;
    return std::bit_width(bytes - 1) - kMenorClasse;
}

size_t TamanhoDa(int classe) { return size_t{1} << (classe + kMenorClasse); }

void* Mapear(size_t tamanho) {
#ifdef _WIN32
    return ::operator new(tamanho);
#else
    void* p = mmap(nullptr, tamanho, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return p;
#endif
}

void Desmapear(void* p, size_t tamanho) {
#ifdef _WIN32
    (void)tamanho;
    ::operator delete(p);
#else
    munmap(p, tamanho);
#endif
}

class Reciclagem final : public std::pmr::memory_resource {
public:
    size_t Guardados() {
        std::lock_guard trava(m_);
        return guardados_;
    }

    void Liberar() {
        std::lock_guard trava(m_);
        for (int c = 0; c < kClasses; ++c) {
            for (void* p : livres_[c]) Desmapear(p, TamanhoDa(c));
            livres_[c].clear();
            livres_[c].shrink_to_fit();
        }
        guardados_ = 0;
    }

private:
    void* do_allocate(size_t bytes, size_t alinhamento) override {
        const int c = ClasseDe(bytes, alinhamento);
        if (c < 0) return ::operator new(bytes, std::align_val_t{alinhamento});
        {
            std::lock_guard trava(m_);
            auto& livres = livres_[c];
            if (!livres.empty()) {
                void* p = livres.back();
                livres.pop_back();
                guardados_ -= TamanhoDa(c);
                return p;
            }
        }
        return Mapear(TamanhoDa(c));
    }

    void do_deallocate(void* p, size_t bytes, size_t alinhamento) override {
        const int c = ClasseDe(bytes, alinhamento);
        if (c < 0) {
            ::operator delete(p, std::align_val_t{alinhamento});
            return;
        }
        {
            std::lock_guard trava(m_);
            if (guardados_ + TamanhoDa(c) <= kMaximoGuardado) {
                try {
                    livres_[c].push_back(p);
                    guardados_ += TamanhoDa(c);
                    return;
                } catch (const std::bad_alloc&) {
                    // No room to remember it: it goes back to the system.
                }
            }
        }
        Desmapear(p, TamanhoDa(c));
    }

    bool do_is_equal(const std::pmr::memory_resource& outro) const noexcept override { return this == &outro; }

    std::mutex m_;
    std::vector<void*> livres_[kClasses];
    size_t guardados_ = 0;
};

// Never destroyed: arrays of documents a host still holds may be freed
// after this library's static objects are gone. The blocks kept are given
// back when the library is unloaded.
Reciclagem& Instancia() {
    static Reciclagem* r = new Reciclagem();
    return *r;
}

struct LiberarAoDescarregar {
    ~LiberarAoDescarregar() { Instancia().Liberar(); }
} liberarAoDescarregar;

}  // namespace

std::pmr::memory_resource* Documentos() { return &Instancia(); }

size_t Guardados() { return Instancia().Guardados(); }

void Liberar() { Instancia().Liberar(); }

}  // namespace corvexa::memoria
