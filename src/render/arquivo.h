#pragma once
// A file that appears under its name only when completely written: the data
// goes to a temporary file in the same folder, renamed over the name at the end.
#include <cstdio>
#include <string>
#include <string_view>

namespace corvexa::render {

class ArquivoAtomico {
public:
    // Creates the temporary file; fails with a Falha naming `caminho`.
    explicit ArquivoAtomico(std::string caminho);
    // Without Concluir the temporary file is removed.
    ~ArquivoAtomico();
    ArquivoAtomico(const ArquivoAtomico&) = delete;
    ArquivoAtomico& operator=(const ArquivoAtomico&) = delete;

    // Appends; false on a write error (kept for Concluir's message).
    bool Escrever(const void* dados, size_t tamanho);
    // Flushes, closes and renames; fails with a Falha.
    void Concluir();
    // Fails with a Falha about this file: "<motivo>" or the last write error.
    [[noreturn]] void Falhar(std::string_view motivo = {});

    const std::string& Caminho() const { return caminho_; }

private:
    void Descartar();

    std::string caminho_, temporario_;
    std::FILE* f_ = nullptr;
    int erro_ = 0;    // errno of the first failed write
    int vaga_ = -1;   // where the temporary name is listed for ApagarTemporarios
};

// Removes the temporary files of the writes in progress, for a program's
// handler of SIGINT or SIGTERM: async-signal-safe (no locks, no allocation).
void ApagarTemporarios() noexcept;

}  // namespace corvexa::render
