#include "base/memoria.h"

#include <bit>
#include <mutex>
#include <new>
#include <vector>

namespace corvexa::memoria {
namespace {

constexpr int kMenorClasse = 10;  // 1 KiB
constexpr int kMaiorClasse = 26;  // 64 MiB
constexpr int kClasses = kMaiorClasse - kMenorClasse + 1;

int ClasseDe(size_t bytes) {
    if (bytes < (size_t{1} << kMenorClasse) || bytes > (size_t{1} << kMaiorClasse)) return -1;
    return std::bit_width(bytes - 1) - kMenorClasse;
}

class Reciclagem final : public std::pmr::memory_resource {
public:
    size_t Guardados() {
        std::lock_guard trava(m_);
        return guardados_;
    }

    void Liberar() {
        std::lock_guard trava(m_);
        for (auto& livres : livres_) {
            for (void* p : livres) ::operator delete(p);
            livres.clear();
            livres.shrink_to_fit();
        }
        guardados_ = 0;
    }

private:
    void* do_allocate(size_t bytes, size_t alinhamento) override {
        const int c = alinhamento <= __STDCPP_DEFAULT_NEW_ALIGNMENT__ ? ClasseDe(bytes) : -1;
        if (c < 0) return ::operator new(bytes, std::align_val_t{alinhamento});
        {
            std::lock_guard trava(m_);
            auto& livres = livres_[c];
            if (!livres.empty()) {
                void* p = livres.back();
                livres.pop_back();
                guardados_ -= size_t{1} << (c + kMenorClasse);
                return p;
            }
        }
        return ::operator new(size_t{1} << (c + kMenorClasse));
    }

    void do_deallocate(void* p, size_t bytes, size_t alinhamento) override {
        const int c = alinhamento <= __STDCPP_DEFAULT_NEW_ALIGNMENT__ ? ClasseDe(bytes) : -1;
        if (c < 0) {
            ::operator delete(p, std::align_val_t{alinhamento});
            return;
        }
        const size_t tamanho = size_t{1} << (c + kMenorClasse);
        {
            std::lock_guard trava(m_);
            if (guardados_ + tamanho <= kMaximoGuardado) {
                try {
                    livres_[c].push_back(p);
                    guardados_ += tamanho;
                    return;
                } catch (const std::bad_alloc&) {
                    // No room to remember it: it goes back to the system.
                }
            }
        }
        ::operator delete(p);
    }

    bool do_is_equal(const std::pmr::memory_resource& outro) const noexcept override { return this == &outro; }

    std::mutex m_;
    std::vector<void*> livres_[kClasses];
    size_t guardados_ = 0;
};

// Never destroyed: arrays of documents the host still holds may be freed
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
