#pragma once
// Display formats of data texts and system variables.
#include <string>
#include <string_view>

#include "data/tabela.h"

namespace corvexa::report {

struct Separadores {
    char milhar = ',';   // thousands separator
    char data = '/';     // date separator
    char hora = ':';     // time separator

    // The user's locale, read from the environment (LC_ALL, LC_NUMERIC,
    // LC_TIME, LANG) without touching the process locale. The thousands
    // separator is ',' where the locale has none or uses '.'.
    static Separadores DoAmbiente();
};

// Formats a field value under a DisplayFormat ("#,0.00;-#,0.00", "dd/mm/yyyy",
// "00000-000;0; ", ...). An empty format gives the value's plain text; a null
// value gives the empty text whatever the format. Result is 8-bit text.
std::string FormatarValor(const data::Valor& valor, std::string_view formato, const Separadores& sep);

// A time of day (seconds since midnight) under "hh:mm:ss" (or plain when empty).
std::string FormatarHora(int segundosDoDia, std::string_view formato, const Separadores& sep);

}  // namespace corvexa::report
