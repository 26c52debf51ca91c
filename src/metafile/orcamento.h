#pragma once
// The work one file may cause, charged as it is played; going past a limit
// fails the file rather than hanging the call or exhausting memory.
#include <cstdint>
#include <string>

#include "base/falha.h"
#include "metafile/metafile.h"

namespace corvexa::metafile {

class Orcamento {
public:
    explicit Orcamento(const Limites& l) : limites_(l) {}

    const Limites& Limite() const { return limites_; }

    void Registro() {
        if (++registros_ > limites_.registros)
            throw Falha("mais de " + std::to_string(limites_.registros) + " registros");
    }
    void Trabalho(uint64_t n) {
        if (n > limites_.trabalho - trabalho_) throw Falha("desenho complexo demais (limite de trabalho excedido)");
        trabalho_ += n;
    }
    void Pixels(uint64_t n) {
        if (n > limites_.pixels - pixels_) throw Falha("imagens grandes demais (limite de pixels excedido)");
        pixels_ += n;
    }

private:
    Limites limites_;
    uint64_t registros_ = 0, trabalho_ = 0, pixels_ = 0;
};

}  // namespace corvexa::metafile
