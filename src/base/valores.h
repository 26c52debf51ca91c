#pragma once
// The value kinds of the tables: four-place fixed-point decimals and calendar dates.
#include <compare>
#include <cstdint>
#include <string>

namespace corvexa {

// A signed fixed-point number with four decimal places, kept as ten-thousandths.
struct Decimal {
    int64_t dezMilesimos = 0;

    static constexpr Decimal DeDezMilesimos(int64_t v) { return Decimal{v}; }
    static constexpr Decimal DeInteiro(int64_t v) { return Decimal{v * 10000}; }
    // Shortest plain text: 15, 1.2346, -99, 0 ("." as decimal separator).
    std::string Texto() const;
    double ComoDouble() const { return static_cast<double>(dezMilesimos) / 10000.0; }
    auto operator<=>(const Decimal&) const = default;
};

// A calendar date without time of day.
struct Data {
    int ano = 0, mes = 0, dia = 0;

    static bool EhValida(int ano, int mes, int dia);
    bool Valida() const { return EhValida(ano, mes, dia); }
    std::string Iso() const;  // yyyy-mm-dd
    auto operator<=>(const Data&) const = default;
};

}  // namespace corvexa
