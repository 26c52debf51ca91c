#pragma once
// Text inside the library is 8-bit Windows-1252 (`std::string` holding code-page
// bytes). Text arriving from a host is UTF-16; text leaving the library is UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvexa::texto {

// UTF-16 to Windows-1252; characters that the code page lacks (and unpaired
// surrogates) become '?', the conversion's default character.
std::string Utf16ParaAnsi(std::u16string_view s);
// A null pointer reads as the empty text.
std::string Utf16ParaAnsi(const char16_t* s);
std::u16string Utf8ParaUtf16(std::string_view s);   // invalid bytes read as Windows-1252
std::u16string AnsiParaUtf16(std::string_view s);
std::string AnsiParaUtf8(std::string_view s);
// UTF-8 to Windows-1252; bytes that are not valid UTF-8 are taken as Windows-1252.
std::string Utf8ParaAnsi(std::string_view s);
bool EhUtf8Valido(std::string_view s);
// 8-bit text from a host (usually UTF-8; Windows-1252 from older hosts) as UTF-8.
std::string HostParaUtf8(std::string_view s);

// A file's extension without its point: the text after the last "." of the
// last path component; empty when that component has no point.
std::string_view Extensao(std::string_view caminho);

// The Unicode code point of a code-page byte (undefined bytes map to themselves).
char32_t AnsiParaUnicode(unsigned char c);
// The code-page byte of a code point, or -1 when the code page lacks it.
int UnicodeParaAnsi(char32_t c);

// Letter case folding over Windows-1252, accented letters included (é ~ É, ç ~ Ç).
unsigned char MaiusculaAnsi(unsigned char c);
bool IgualSemCaixa(std::string_view a, std::string_view b);

// The text without leading and trailing characters whose code is 32 or less.
std::string_view Aparar(std::string_view s);

// Appends a code point to a UTF-8 string.
void AcrescentarUtf8(std::string& destino, char32_t c);

}  // namespace corvexa::texto
