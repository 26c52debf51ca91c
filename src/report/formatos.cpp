#include "report/formatos.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "base/texto.h"

namespace corvexa::report {
namespace {

// ---------------------------------------------------------------------------
// Locale

// The separator character in a strftime-like pattern ("%d/%m/%Y" gives '/').
char SeparadorDoPadrao(const char* padrao, char omissao) {
    if (!padrao) return omissao;
    for (const char* p = padrao; *p; ++p) {
        if (*p == '%') {
            if (p[1] == 'E' || p[1] == 'O') ++p;  // modifiers
            if (*++p == '\0') break;
            continue;
        }
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x80 && c != ' ' && !std::isalnum(c)) return static_cast<char>(c);
    }
    return omissao;
}

// One character of the locale's text (UTF-8 or the locale's own 8-bit set)
// as a code-page byte, or 0 when there is none to take.
char CaractereDoLocale(const char* s) {
    if (!s || !*s) return 0;
    const std::string_view v(s);
    if (v.size() == 1) return static_cast<unsigned char>(v[0]) < 0x80 ? v[0] : 0;
    if (!texto::EhUtf8Valido(v)) return 0;
    const std::u16string u = texto::Utf8ParaUtf16(v);
    if (u.size() != 1) return 0;
    // A narrow no-break space is not in the code page; the no-break space is.
    if (u[0] == 0x202F) return '\xA0';
    const int b = texto::UnicodeParaAnsi(u[0]);
    return b > 0 ? static_cast<char>(b) : 0;
}

// ---------------------------------------------------------------------------
// Numbers

struct SecaoNumero {
    std::string prefixo, sufixo;  // literal text around the digits
    int minInteiros = 0;          // '0' placeholders before the point
    int minDecimais = 0;          // '0' placeholders after the point
    int maxDecimais = 0;          // '0' and '#' placeholders after the point
    bool agrupar = false;         // ',' among the integer placeholders
    bool temDigitos = false;
};

// Splits a format at the ';' that are not inside quotes.
std::vector<std::string_view> Secoes(std::string_view formato) {
    std::vector<std::string_view> r;
    char aspas = 0;
    size_t inicio = 0;
    for (size_t i = 0; i < formato.size(); ++i) {
        const char c = formato[i];
        if (aspas) {
            if (c == aspas) aspas = 0;
        } else if (c == '"' || c == '\'') {
            aspas = c;
        } else if (c == ';') {
            r.push_back(formato.substr(inicio, i - inicio));
            inicio = i + 1;
        }
    }
    r.push_back(formato.substr(inicio));
    return r;
}

// Prefix literal, digit part (from the first placeholder or separator to the
// last placeholder), suffix literal. Quoted text is literal anywhere.
SecaoNumero LerSecaoNumero(std::string_view s) {
    auto especial = [](char c) { return c == '0' || c == '#' || c == '.' || c == ','; };
    // Positions of unquoted characters; the first and last of the digit part.
    size_t primeiro = std::string_view::npos, ultimo = std::string_view::npos;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"' || c == '\'') {
            const size_t fim = s.find(c, i + 1);
            i = fim == std::string_view::npos ? s.size() : fim;
            continue;
        }
        if (especial(c) && primeiro == std::string_view::npos) primeiro = i;
        if (c == '0' || c == '#') ultimo = i;
    }
    SecaoNumero r;
    auto literal = [&](size_t de, size_t ate, std::string& destino) {
        for (size_t i = de; i < ate; ++i) {
            const char c = s[i];
            if (c == '"' || c == '\'') {
                const size_t fim = s.find(c, i + 1);
                const size_t f = fim == std::string_view::npos ? s.size() : fim;
                destino.append(s.substr(i + 1, f - i - 1));
                i = f;
            } else {
                destino.push_back(c);
            }
        }
    };
    if (ultimo == std::string_view::npos || primeiro > ultimo) {
        literal(0, s.size(), r.prefixo);
        return r;
    }
    r.temDigitos = true;
    literal(0, primeiro, r.prefixo);
    literal(ultimo + 1, s.size(), r.sufixo);
    bool depoisDoPonto = false;
    for (size_t i = primeiro; i <= ultimo; ++i) {
        const char c = s[i];
        if (c == '"' || c == '\'') {
            const size_t fim = s.find(c, i + 1);
            i = fim == std::string_view::npos ? s.size() : fim;
        } else if (c == '.') {
            depoisDoPonto = true;
        } else if (c == ',') {
            if (!depoisDoPonto) r.agrupar = true;
        } else if (c == '0' || c == '#') {
            if (depoisDoPonto) {
                ++r.maxDecimais;
                if (c == '0') r.minDecimais = r.maxDecimais;
            } else if (c == '0') {
                ++r.minInteiros;
            }
        }
    }
    return r;
}

// |valor| in ten-thousandths, rounded to `casas` places half away from zero,
// as units of that place (12345 at 2 places, from 1.2345, gives 123).
uint64_t Arredondar(uint64_t magnitude, int casas) {
    if (casas >= 4) return magnitude;
    uint64_t passo = 1;
    for (int i = casas; i < 4; ++i) passo *= 10;
    const uint64_t q = magnitude / passo, resto = magnitude % passo;
    return resto * 2 >= passo ? q + 1 : q;
}

std::string Agrupado(const std::string& digitos, char sep) {
    std::string r;
    r.reserve(digitos.size() + digitos.size() / 3);
    const size_t n = digitos.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) r.push_back(sep);
        r.push_back(digitos[i]);
    }
    return r;
}

std::string FormatarNumero(int64_t dezMilesimos, std::string_view formato, const Separadores& sep) {
    const auto secoes = Secoes(formato);
    const bool negativo = dezMilesimos < 0;
    // Unsigned, so that the most negative value does not overflow.
    const uint64_t magnitude =
        negativo ? 0 - static_cast<uint64_t>(dezMilesimos) : static_cast<uint64_t>(dezMilesimos);

    // The value is rounded with the first section's places to choose the
    // section: one that rounds to zero prints as zero, never as "-0.00".
    const SecaoNumero primeira = LerSecaoNumero(secoes[0]);
    const bool zero = Arredondar(magnitude, primeira.maxDecimais) == 0;
    SecaoNumero s = primeira;
    bool sinal = false;
    if (zero && secoes.size() >= 3 && !secoes[2].empty()) {
        s = LerSecaoNumero(secoes[2]);
    } else if (negativo && !zero) {
        if (secoes.size() >= 2 && !secoes[1].empty()) s = LerSecaoNumero(secoes[1]);
        else sinal = true;  // a single section prints negatives with a leading minus
    }
    if (!s.temDigitos) return s.prefixo;

    const int casas = s.maxDecimais > 4 ? 4 : s.maxDecimais;
    const uint64_t arredondado = Arredondar(magnitude, casas);
    uint64_t divisor = 1;
    for (int i = 0; i < casas; ++i) divisor *= 10;
    const uint64_t inteiro = arredondado / divisor;
    uint64_t fracao = arredondado % divisor;

    std::string digitosInteiros = inteiro == 0 ? std::string() : std::to_string(inteiro);
    if (static_cast<int>(digitosInteiros.size()) < s.minInteiros)
        digitosInteiros.insert(0, s.minInteiros - digitosInteiros.size(), '0');

    std::string decimais;
    if (casas > 0) {
        decimais.assign(casas, '0');
        for (int i = casas - 1; i >= 0; --i, fracao /= 10) decimais[i] = static_cast<char>('0' + fracao % 10);
    }
    decimais.append(s.maxDecimais - casas, '0');  // places beyond the four a Decimal holds
    while (static_cast<int>(decimais.size()) > s.minDecimais && decimais.back() == '0') decimais.pop_back();

    std::string r = s.prefixo;
    if (sinal) r.push_back('-');
    r += s.agrupar ? Agrupado(digitosInteiros, sep.milhar) : digitosInteiros;
    if (!decimais.empty()) {
        r.push_back('.');
        r += decimais;
    }
    r += s.sufixo;
    return r;
}

// ---------------------------------------------------------------------------
// Dates and times

void DoisDigitos(std::string& r, int v) {
    v = v < 0 ? 0 : v % 100;
    r.push_back(static_cast<char>('0' + v / 10));
    r.push_back(static_cast<char>('0' + v % 10));
}

size_t Repeticoes(std::string_view s, size_t i) {
    const char c = static_cast<char>(texto::MaiusculaAnsi(static_cast<unsigned char>(s[i])));
    size_t n = 1;
    while (i + n < s.size() && texto::MaiusculaAnsi(static_cast<unsigned char>(s[i + n])) == c) ++n;
    return n;
}

// d, dd, m, mm, yy, yyyy, h, hh, n, nn, s, ss; "m" right after an hour is
// minutes; "/" and ":" are the locale's separators; quoted text is literal.
std::string FormatarDataHora(std::string_view formato, const Data* data, int segundos, const Separadores& sep) {
    std::string r;
    const int hora = segundos / 3600, minuto = segundos / 60 % 60, segundo = segundos % 60;
    bool depoisDaHora = false;
    for (size_t i = 0; i < formato.size();) {
        const char c = formato[i];
        const char m = static_cast<char>(texto::MaiusculaAnsi(static_cast<unsigned char>(c)));
        if (c == '"' || c == '\'') {
            const size_t fim = formato.find(c, i + 1);
            const size_t ate = fim == std::string_view::npos ? formato.size() : fim;
            r.append(formato.substr(i + 1, ate - i - 1));
            i = ate + 1;
            continue;
        }
        const size_t n = Repeticoes(formato, i);
        auto numero = [&](int v) {
            if (n >= 2) DoisDigitos(r, v);
            else r += std::to_string(v);
        };
        switch (m) {
            case 'D':
                numero(data ? data->dia : 0);
                depoisDaHora = false;
                break;
            case 'M':
                if (depoisDaHora) numero(minuto);
                else numero(data ? data->mes : 0);
                depoisDaHora = false;
                break;
            case 'Y': {
                const int ano = data ? data->ano : 0;
                if (n <= 2) {
                    DoisDigitos(r, ano % 100);
                } else {
                    char buf[16];
                    std::snprintf(buf, sizeof buf, "%04d", ano < 0 ? 0 : ano);
                    r += buf;
                }
                depoisDaHora = false;
                break;
            }
            case 'H':
                numero(hora);
                depoisDaHora = true;
                break;
            case 'N':
                numero(minuto);
                depoisDaHora = false;
                break;
            case 'S':
                numero(segundo);
                depoisDaHora = false;
                break;
            default:
                for (size_t k = 0; k < n; ++k) r.push_back(c == '/' ? sep.data : c == ':' ? sep.hora : c);
                break;
        }
        i += n;
    }
    return r;
}

// ---------------------------------------------------------------------------
// Edit masks ("00000-000;0; ")

bool EhMarcadorMascara(char c) {
    switch (c) {
        case '0': case '9': case '#': case 'L': case 'l': case 'A': case 'a': case 'C': case 'c':
            return true;
        default:
            return false;
    }
}

std::string FormatarMascara(std::string_view texto, std::string_view formato) {
    const auto secoes = Secoes(formato);
    const std::string_view mascara = secoes[0];
    // Second section: '0' when the text holds only the characters to place,
    // anything else when it holds the literals too. Third: the blank character.
    const bool textoTemLiterais = secoes.size() >= 2 && !secoes[1].empty() && secoes[1][0] != '0';
    const char branco = secoes.size() >= 3 && !secoes[2].empty() ? secoes[2][0] : ' ';

    std::string r;
    size_t j = 0;  // next character of the text
    enum { Manter, Maiusculas, Minusculas } caixa = Manter;
    for (size_t i = 0; i < mascara.size(); ++i) {
        char c = mascara[i];
        if (c == '>') {
            caixa = (i + 1 < mascara.size() && mascara[i + 1] == '<') ? (++i, Manter) : Maiusculas;
            continue;
        }
        if (c == '<') {
            caixa = Minusculas;
            continue;
        }
        if (c == '!') continue;
        bool literal = !EhMarcadorMascara(c);
        if (c == '\\' && i + 1 < mascara.size()) {
            c = mascara[++i];
            literal = true;
        }
        if (literal) {
            r.push_back(c);
            if (textoTemLiterais && j < texto.size()) ++j;
            continue;
        }
        if (j < texto.size()) {
            auto v = static_cast<unsigned char>(texto[j++]);
            if (caixa == Maiusculas) v = texto::MaiusculaAnsi(v);
            else if (caixa == Minusculas && v >= 'A' && v <= 'Z') v = static_cast<unsigned char>(v + 32);
            r.push_back(static_cast<char>(v));
        } else {
            r.push_back(branco);
        }
    }
    return r;
}

}  // namespace

Separadores Separadores::DoAmbiente() {
    Separadores r;
    // newlocale with "" reads LC_ALL, LC_<category> and LANG like setlocale
    // does, but leaves the process locale alone.
    if (locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0))) {
        const char m = CaractereDoLocale(nl_langinfo_l(THOUSEP, loc));
        // No grouping character, or "." (the decimal separator here): ",".
        r.milhar = (m == 0 || m == '.') ? ',' : m;
        freelocale(loc);
    }
    if (locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0))) {
        r.data = SeparadorDoPadrao(nl_langinfo_l(D_FMT, loc), '/');
        r.hora = SeparadorDoPadrao(nl_langinfo_l(T_FMT, loc), ':');
        freelocale(loc);
    }
    return r;
}

std::string FormatarValor(const data::Valor& valor, std::string_view formato, const Separadores& sep) {
    if (std::holds_alternative<std::monostate>(valor)) return {};
    if (formato.empty()) return data::ValorComoTexto(valor);
    struct Visitante {
        std::string_view formato;
        const Separadores& sep;
        std::string operator()(std::monostate) const { return {}; }
        // An empty text has nothing to place into a mask: it prints nothing,
        // not a lone hyphen.
        std::string operator()(const std::string& s) const {
            return s.empty() ? std::string() : FormatarMascara(s, formato);
        }
        std::string operator()(const Data& d) const { return FormatarDataHora(formato, &d, 0, sep); }
        std::string operator()(const Decimal& d) const { return FormatarNumero(d.dezMilesimos, formato, sep); }
        std::string operator()(int32_t i) const { return FormatarNumero(int64_t{i} * 10000, formato, sep); }
    };
    return std::visit(Visitante{formato, sep}, valor);
}

std::string FormatarHora(int segundosDoDia, std::string_view formato, const Separadores& sep) {
    int s = segundosDoDia % 86400;
    if (s < 0) s += 86400;
    return FormatarDataHora(formato.empty() ? std::string_view("hh:mm:ss") : formato, nullptr, s, sep);
}

}  // namespace corvexa::report
