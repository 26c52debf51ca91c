#pragma once
// Fonts of the layouts and their metrics, read from the font files through
// FreeType. Arial, Tahoma and Courier New are served by metric-compatible free
// fonts (Liberation Sans, Wine's Tahoma, Liberation Mono).
//
// All lengths are thousandths of a millimetre. Point size is the em height;
// line height is ascent + descent; a text's width is the sum of its advances.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvexa::fontes {

enum class Familia : uint8_t { Arial, Tahoma, CourierNew };

struct Fonte {
    Familia familia = Familia::Arial;
    uint8_t pontos = 8;
    bool negrito = false;
    bool operator==(const Fonte&) const = default;
};

const char* NomeFamilia(Familia f);  // "Arial", "Tahoma", "Courier New"

// The metrics of the fonts installed on this machine. Loaded once per process
// (thread-safe); a missing font file fails with a Falha naming it.
class Metricas {
public:
    static const Metricas& Padrao();
    virtual ~Metricas() = default;

    // Width of an 8-bit (Windows-1252) text in the font.
    virtual int32_t Largura(const Fonte& f, std::string_view ansi) const = 0;
    // Advance of one code-page character.
    virtual int32_t LarguraCaractere(const Fonte& f, unsigned char c) const = 0;
    virtual int32_t AlturaLinha(const Fonte& f) const = 0;
    virtual int32_t Ascendente(const Fonte& f) const = 0;
    // The font file that serves the font (for the drawing devices).
    virtual const std::string& Arquivo(const Fonte& f) const = 0;
};

}  // namespace corvexa::fontes
