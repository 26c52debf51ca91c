#include "base/texto.h"

namespace corvexa::texto {
namespace {

// Code points of the bytes 0x80..0x9F; the five undefined ones map to themselves.
constexpr char16_t kFaixa80[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at s[i]; returns the length, or 0 when invalid.
size_t DecodificarUtf8(std::string_view s, size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) { cp = b0; return 1; }
    size_t n;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) { n = 2; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { n = 3; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { n = 4; cp = b0 & 0x07; min = 0x10000; }
    else return 0;
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

char32_t AnsiParaUnicode(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kFaixa80[c - 0x80];
    return c;
}

int UnicodeParaAnsi(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (kFaixa80[i] == c) return 0x80 + i;
    return -1;
}

std::string Utf16ParaAnsi(std::u16string_view s) {
    std::string r(s.size(), '\0');
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c < 0x80) {
            r[n++] = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        const int b = UnicodeParaAnsi(c);
        r[n++] = b < 0 ? '?' : static_cast<char>(b);
    }
    r.resize(n);
    return r;
}

std::string Utf16ParaAnsi(const char16_t* s) {
    return s ? Utf16ParaAnsi(std::u16string_view(s)) : std::string();
}

std::u16string AnsiParaUtf16(std::string_view s) {
    std::u16string r;
    r.reserve(s.size());
    for (unsigned char c : s) r.push_back(static_cast<char16_t>(AnsiParaUnicode(c)));
    return r;
}

std::u16string Utf8ParaUtf16(std::string_view s) {
    std::u16string r(s.size(), u'\0');  // never more code units than bytes
    size_t n = 0;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            r[n++] = b;
            ++i;
            continue;
        }
        char32_t cp;
        const size_t k = DecodificarUtf8(s, i, cp);
        if (k == 0) {
            r[n++] = static_cast<char16_t>(AnsiParaUnicode(b));
            ++i;
        } else if (cp < 0x10000) {
            r[n++] = static_cast<char16_t>(cp);
            i += k;
        } else {
            cp -= 0x10000;
            r[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            r[n++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            i += k;
        }
    }
    r.resize(n);
    return r;
}

void AcrescentarUtf8(std::string& d, char32_t c) {
    if (c < 0x80) {
        d.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        d.push_back(static_cast<char>(0xC0 | (c >> 6)));
        d.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        d.push_back(static_cast<char>(0xE0 | (c >> 12)));
        d.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        d.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        d.push_back(static_cast<char>(0xF0 | (c >> 18)));
        d.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        d.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        d.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string AnsiParaUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    if (i == s.size()) return std::string(s);  // plain ASCII, the usual case
    std::string r(s.substr(0, i));
    r.reserve(s.size() + s.size() / 4);
    for (; i < s.size(); ++i) AcrescentarUtf8(r, AnsiParaUnicode(static_cast<unsigned char>(s[i])));
    return r;
}

std::string HostParaUtf8(std::string_view s) { return EhUtf8Valido(s) ? std::string(s) : AnsiParaUtf8(s); }

std::string_view Extensao(std::string_view caminho) {
    const auto barra = caminho.find_last_of('/');
    const auto nome = barra == std::string_view::npos ? caminho : caminho.substr(barra + 1);
    const auto ponto = nome.find_last_of('.');
    return ponto == std::string_view::npos ? std::string_view() : nome.substr(ponto + 1);
}

bool EhUtf8Valido(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        const size_t n = DecodificarUtf8(s, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string Utf8ParaAnsi(std::string_view s) {
    std::string r;
    r.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        const size_t n = DecodificarUtf8(s, i, cp);
        if (n == 0) {
            r.push_back(s[i]);
            ++i;
            continue;
        }
        const int b = UnicodeParaAnsi(cp);
        r.push_back(b < 0 ? '?' : static_cast<char>(b));
        i += n;
    }
    return r;
}

namespace {

constexpr unsigned char Maiuscula(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);  // à..þ, not ÷
    if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<unsigned char>(c - 0x10);  // š œ ž
    if (c == 0xFF) return 0x9F;  // ÿ
    return c;
}

// Name lookups compare letters all the time: one table instead of branches.
struct TabelaMaiusculas {
    unsigned char m[256];
    constexpr TabelaMaiusculas() : m{} {
        for (int c = 0; c < 256; ++c) m[c] = Maiuscula(static_cast<unsigned char>(c));
    }
};
constexpr TabelaMaiusculas kMaiusculas;

}  // namespace

unsigned char MaiusculaAnsi(unsigned char c) { return kMaiusculas.m[c]; }

bool IgualSemCaixa(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && kMaiusculas.m[static_cast<unsigned char>(a[i])] != kMaiusculas.m[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}

std::string_view Aparar(std::string_view s) {
    size_t i = 0, j = s.size();
    while (i < j && static_cast<unsigned char>(s[i]) <= 32) ++i;
    while (j > i && static_cast<unsigned char>(s[j - 1]) <= 32) --j;
    return s.substr(i, j - i);
}

}  // namespace corvexa::texto
