#include "base/valores.h"

#include <cstdio>

#include "base/falha.h"

namespace corvexa {

std::string Formatar(std::string_view padrao, std::string_view valor) {
    std::string r(padrao);
    const auto p = r.find("%s");
    if (p != std::string::npos) r.replace(p, 2, valor);
    return r;
}

std::string Decimal::Texto() const {
    const bool negativo = dezMilesimos < 0;
    // Work in unsigned so that the most negative value does not overflow.
    const uint64_t v = negativo ? 0 - static_cast<uint64_t>(dezMilesimos) : static_cast<uint64_t>(dezMilesimos);
    std::string r = negativo ? "-" : "";
    r += std::to_string(v / 10000);
    uint64_t frac = v % 10000;
    if (frac != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(frac));
        std::string f(buf);
        while (!f.empty() && f.back() == '0') f.pop_back();
        r += "." + f;
    }
    return r;
}

bool Data::EhValida(int ano, int mes, int dia) {
    if (ano < 1 || ano > 9999 || mes < 1 || mes > 12 || dia < 1) return false;
    static constexpr int kDias[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bissexto = (ano % 4 == 0 && ano % 100 != 0) || ano % 400 == 0;
    const int max = (mes == 2 && bissexto) ? 29 : kDias[mes - 1];
    return dia <= max;
}

std::string Data::Iso() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", ano, mes, dia);
    return buf;
}

}  // namespace corvexa
