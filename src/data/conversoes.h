#pragma once
// Text-to-value conversions shared by the tables and the NF-e readers. They
// never touch the process locale: numbers always use "." and dates are d/m/y.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/valores.h"

namespace corvexa::data {

// An integer: leading spaces, an optional sign, then decimal digits, or a
// hexadecimal number introduced by "$" or "0x". Nothing may follow.
//   TextoParaInteiro("  -12") == -12, TextoParaInteiro("$1F") == 31
std::optional<int32_t> TextoParaInteiro(std::string_view s);

// A date written day, month and year separated by "/", blanks allowed around
// the parts; it must name a calendar date. A year of one or two digits falls
// in the hundred years around the current one.
//   TextoParaData("17/03/2009") == Data{2009, 3, 17}
std::optional<Data> TextoParaData(std::string_view s);

// A decimal number held exactly: (negativo ? -1 : 1) * digitos * 10^expoente.
// `digitos` has no leading or trailing zeros; zero is the empty string.
struct NumeroExato {
    bool negativo = false;
    std::string digitos;
    int64_t expoente = 0;
};

// Spaces, an optional sign, digits with an optional "." and further digits, an
// optional exponent ("E" or "e", optional sign, digits), spaces. No "," and
// no thousands separators. Linear in the text, whatever the exponent.
std::optional<NumeroExato> LerNumeroExato(std::string_view s);

// The exact product (operands of absurd length are first cut to a thousand
// significant digits, keeping which side of the cut the value lies on).
NumeroExato Multiplicar(const NumeroExato& a, const NumeroExato& b);

// Rounded to four places, an exact half going to the even neighbour; empty
// when the result lies beyond the range of Decimal.
std::optional<Decimal> ArredondarDecimal(const NumeroExato& n);

// LerNumeroExato followed by ArredondarDecimal.
std::optional<Decimal> TextoParaDecimal(std::string_view s);

}  // namespace corvexa::data
