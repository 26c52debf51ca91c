#pragma once
// Conversions of NF-e element texts into table values. Texts are 8-bit;
// failure messages are UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/valores.h"

namespace corvexa::nfe {

// True when nothing is left after removing leading and trailing characters
// whose code is 32 or less.
bool TextoVazio(std::string_view s);

// An XML date yyyy-mm-dd as the display text dd/mm/yyyy; blank gives "".
// Only the length, the year and the month are checked here:
//   ConverteData("2009-03-17") == "17/03/2009", ConverteData("2009-13-45") == "45/13/2009"
std::string ConverteData(std::string_view s);

// ConverteData, then the result read as a date;
// fails with "'%s' is not a valid date".
Data LerData(std::string_view s);

// Blank gives 0; otherwise the number rounded to four places, half to even;
// fails with "'%s' is not a valid floating point value".
Decimal LerDecimal(std::string_view s);

// The product of two numbers at full precision, rounded to four places;
// -99 when either text is not a number or the product is out of range.
Decimal MultiplicarOuMenos99(std::string_view a, std::string_view b);

// The print format: the text as an integer, 1 when blank or not an integer.
int LerTipoImpressao(std::string_view s);

}  // namespace corvexa::nfe
