#pragma once
// Code 128 symbols.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvexa::report {

struct SimboloCode128 {
    std::vector<uint8_t> barras;  // widths in modules: bar, space, bar, ... (starts and ends with a bar)
    int modulos = 0;              // total width in modules, quiet zones excluded
};

// Encodes the data (8-bit text, characters 0..127 and the code page's). Long
// runs of digits use code set C; the rest code set B (or A for control
// characters). Includes the start, check and stop characters.
SimboloCode128 CodificarCode128(std::string_view dados);

}  // namespace corvexa::report
