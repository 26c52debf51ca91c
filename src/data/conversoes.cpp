#include "data/conversoes.h"

#include <algorithm>
#include <ctime>
#include <limits>
#include <vector>

namespace corvexa::data {
namespace {

bool EhDigito(char c) { return c >= '0' && c <= '9'; }

int ValorHex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void PularEspacos(std::string_view s, size_t& i) {
    while (i < s.size() && s[i] == ' ') ++i;
}

// Blanks of the date text: spaces and control characters.
void PularBrancos(std::string_view s, size_t& i) {
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
}

// Up to four digits after optional blanks; `qtd` receives how many were read.
bool LerParteData(std::string_view s, size_t& i, int& valor, int& qtd) {
    PularBrancos(s, i);
    valor = 0;
    qtd = 0;
    while (i < s.size() && EhDigito(s[i])) {
        if (++qtd > 4) return false;
        valor = valor * 10 + (s[i] - '0');
        ++i;
    }
    return qtd > 0;
}

bool LerBarra(std::string_view s, size_t& i) {
    PularBrancos(s, i);
    if (i < s.size() && s[i] == '/') {
        ++i;
        return true;
    }
    return false;
}

int AnoAtual() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_year + 1900;
}

// Removes leading zeros, and moves trailing zeros into the exponent.
void Normalizar(NumeroExato& n) {
    const size_t ini = n.digitos.find_first_not_of('0');
    if (ini == std::string::npos) {
        n = NumeroExato{};
        return;
    }
    const size_t fim = n.digitos.find_last_not_of('0');
    n.expoente += static_cast<int64_t>(n.digitos.size() - 1 - fim);
    n.digitos = n.digitos.substr(ini, fim - ini + 1);
}

// Keeps `max` significant digits; a dropped tail (never zero after
// Normalizar) becomes a single 1 just past the cut, so the value stays
// strictly between the cut value and the next one up.
void Cortar(NumeroExato& n, size_t max) {
    if (n.digitos.size() <= max) return;
    n.expoente += static_cast<int64_t>(n.digitos.size() - max - 1);
    n.digitos.resize(max);
    n.digitos.push_back('1');
}

constexpr uint32_t kBase = 1000000000;

std::vector<uint32_t> ParaLimbs(const std::string& d) {
    std::vector<uint32_t> r;
    for (size_t fim = d.size(); fim > 0;) {
        const size_t ini = fim >= 9 ? fim - 9 : 0;
        uint32_t v = 0;
        for (size_t k = ini; k < fim; ++k) v = v * 10 + static_cast<uint32_t>(d[k] - '0');
        r.push_back(v);
        fim = ini;
    }
    return r;
}

std::string DeLimbs(const std::vector<uint32_t>& l) {
    std::string r;
    size_t topo = l.size();
    while (topo > 0 && l[topo - 1] == 0) --topo;
    if (topo == 0) return "0";
    r = std::to_string(l[topo - 1]);
    for (size_t k = topo - 1; k-- > 0;) {
        const std::string parte = std::to_string(l[k]);
        r.append(9 - parte.size(), '0');
        r += parte;
    }
    return r;
}

}  // namespace

std::optional<int32_t> TextoParaInteiro(std::string_view s) {
    size_t i = 0;
    PularEspacos(s, i);
    bool negativo = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negativo = s[i++] == '-';
    bool hex = false;
    if (i < s.size() && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) return std::nullopt;
    uint64_t v = 0;
    if (hex) {
        // Hexadecimal is a bit pattern: up to eight digits, $FFFFFFFF is -1.
        for (; i < s.size(); ++i) {
            const int d = ValorHex(s[i]);
            if (d < 0) return std::nullopt;
            v = v * 16 + static_cast<uint64_t>(d);
            if (v > 0xFFFFFFFFull) return std::nullopt;
        }
        const auto bits = static_cast<uint32_t>(v);
        const auto r = static_cast<int32_t>(bits);
        if (negativo) return static_cast<int32_t>(0u - bits);
        return r;
    }
    for (; i < s.size(); ++i) {
        if (!EhDigito(s[i])) return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(s[i] - '0');
        if (v > 0x80000000ull) return std::nullopt;
    }
    if (negativo) return static_cast<int32_t>(-static_cast<int64_t>(v));
    if (v > 0x7FFFFFFFull) return std::nullopt;
    return static_cast<int32_t>(v);
}

std::optional<Data> TextoParaData(std::string_view s) {
    size_t i = 0;
    int dia, mes, ano, qDia, qMes, qAno;
    if (!LerParteData(s, i, dia, qDia) || !LerBarra(s, i) || !LerParteData(s, i, mes, qMes) ||
        !LerBarra(s, i) || !LerParteData(s, i, ano, qAno))
        return std::nullopt;
    PularBrancos(s, i);
    if (i != s.size()) return std::nullopt;
    if (qAno <= 2) {
        const int atual = AnoAtual();
        ano += atual / 100 * 100;
        if (ano < atual - 50) ano += 100;
    }
    if (!Data::EhValida(ano, mes, dia)) return std::nullopt;
    return Data{ano, mes, dia};
}

std::optional<NumeroExato> LerNumeroExato(std::string_view s) {
    NumeroExato n;
    size_t i = 0;
    PularEspacos(s, i);
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) n.negativo = s[i++] == '-';
    int64_t casas = 0;
    size_t qtdDigitos = 0;
    for (; i < s.size() && EhDigito(s[i]); ++i, ++qtdDigitos) n.digitos.push_back(s[i]);
    if (i < s.size() && s[i] == '.') {
        for (++i; i < s.size() && EhDigito(s[i]); ++i, ++qtdDigitos, ++casas) n.digitos.push_back(s[i]);
    }
    if (qtdDigitos == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool expNegativo = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) expNegativo = s[i++] == '-';
        if (i >= s.size() || !EhDigito(s[i])) return std::nullopt;
        // Saturates: any exponent this large already puts the value out of
        // range (or rounds it to zero), so its exact size no longer matters.
        constexpr int64_t kTeto = 1'000'000'000'000'000;
        int64_t e = 0;
        for (; i < s.size() && EhDigito(s[i]); ++i) e = std::min(kTeto, e * 10 + (s[i] - '0'));
        n.expoente = expNegativo ? -e : e;
    }
    PularEspacos(s, i);
    if (i != s.size()) return std::nullopt;
    n.expoente -= casas;
    Normalizar(n);
    return n;
}

NumeroExato Multiplicar(const NumeroExato& a0, const NumeroExato& b0) {
    if (a0.digitos.empty() || b0.digitos.empty()) return NumeroExato{};
    constexpr size_t kMaxDigitos = 1000;
    NumeroExato a = a0, b = b0;
    Cortar(a, kMaxDigitos);
    Cortar(b, kMaxDigitos);
    const auto la = ParaLimbs(a.digitos), lb = ParaLimbs(b.digitos);
    std::vector<uint32_t> p(la.size() + lb.size(), 0);
    for (size_t x = 0; x < la.size(); ++x) {
        uint64_t vai = 0;
        for (size_t y = 0; y < lb.size(); ++y) {
            const uint64_t t = p[x + y] + static_cast<uint64_t>(la[x]) * lb[y] + vai;
            p[x + y] = static_cast<uint32_t>(t % kBase);
            vai = t / kBase;
        }
        for (size_t k = x + lb.size(); vai != 0; ++k) {
            const uint64_t t = p[k] + vai;
            p[k] = static_cast<uint32_t>(t % kBase);
            vai = t / kBase;
        }
    }
    NumeroExato r;
    r.negativo = a.negativo != b.negativo;
    r.digitos = DeLimbs(p);
    r.expoente = a.expoente + b.expoente;
    Normalizar(r);
    return r;
}

std::optional<Decimal> ArredondarDecimal(const NumeroExato& n) {
    if (n.digitos.empty()) return Decimal{};
    const auto tam = static_cast<int64_t>(n.digitos.size());
    const int64_t e4 = n.expoente + 4;  // exponent of the value in ten-thousandths
    // Integer digits of the value in ten-thousandths; 20 or more is past 2^63.
    const int64_t inteiros = tam + e4;
    if (inteiros > 19) return std::nullopt;
    uint64_t q = 0;
    if (e4 >= 0) {
        for (char c : n.digitos) q = q * 10 + static_cast<uint64_t>(c - '0');
        for (int64_t k = 0; k < e4; ++k) q *= 10;
    } else {
        for (int64_t k = 0; k < inteiros; ++k) q = q * 10 + static_cast<uint64_t>(n.digitos[k] - '0');
        // The first dropped digit; below the digit string it is a zero.
        const int primeiro = inteiros >= 0 ? n.digitos[inteiros] - '0' : 0;
        // Trailing zeros are gone, so digits after the first dropped one are nonzero.
        const bool resto = inteiros >= 0 ? inteiros + 1 < tam : true;
        if (primeiro > 5 || (primeiro == 5 && (resto || (q & 1)))) ++q;
    }
    constexpr uint64_t kMaxPositivo = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (n.negativo) {
        if (q > kMaxPositivo + 1) return std::nullopt;
        return Decimal::DeDezMilesimos(static_cast<int64_t>(0 - q));
    }
    if (q > kMaxPositivo) return std::nullopt;
    return Decimal::DeDezMilesimos(static_cast<int64_t>(q));
}

std::optional<Decimal> TextoParaDecimal(std::string_view s) {
    const auto n = LerNumeroExato(s);
    if (!n) return std::nullopt;
    return ArredondarDecimal(*n);
}

}  // namespace corvexa::data
