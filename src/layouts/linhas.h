#pragma once
// The rows the two DANFE layouts are built from. Each element of the layouts
// is one row: its place in the drawing order, kind, content, font, settings
// and both geometries (portrait first, landscape second), with whatever else
// differs in landscape written in the same row. The builder (montagem.cpp)
// turns the rows into the two report models.
#include <optional>
#include <span>

#include "report/modelo.h"

namespace corvexa::layouts::linhas {

using report::Mm;

struct Geo {
    Mm l = 0, t = 0, w = 0, h = 0;
};

enum class Tipo : uint8_t {
    Rotulo, Dados, Memo, Retangulo, Arredondado, Traco, Variavel, Imagem, Barras, Regiao, Sub,
};

// Settings that depart from the kind's defaults (static texts and system
// variables auto-size, data texts fixed size).
enum Ajuste : unsigned {
    Auto = 1u << 0,        // auto-size
    Fixo = 1u << 1,        // fixed size
    Quebra = 1u << 2,      // word wrap
    Oculto = 1u << 3,      // not visible
    Esquerda = 1u << 4,    // line along the left edge of its box
    Pontilhada = 1u << 5,  // dotted line
    LarguraPai = 1u << 6,  // as wide as the band or region
    AlturaPai = 1u << 7,   // as tall as the band or region as designed
    EsticaPai = 1u << 8,   // follows the height its band or region takes
    Estica = 1u << 9,      // region stretches
};

struct DescSub;

struct Linha {
    int n = 0;                   // place in the band's drawing order (0: the table's order)
    const char* nome = nullptr;  // component name; by default the number
    const char* em = nullptr;    // region that holds the element
    Tipo tipo = Tipo::Rotulo;
    const char* texto = nullptr;    // caption, or the bound field
    const char* formato = nullptr;  // display format
    fontes::Fonte fonte{};
    report::Alinhamento al = report::Alinhamento::Esquerda;
    unsigned aj = 0;  // Ajuste bits
    report::TipoVariavel var = report::TipoVariavel::NumeroPagina;
    const char* relativoA = nullptr;  // region this one shifts with
    const DescSub* sub = nullptr;
    Geo r{}, p{};  // portrait, landscape

    // Landscape differences other than geometry.
    const char* textoP = nullptr;
    std::optional<fontes::Fonte> fonteP{};
    std::optional<report::Alinhamento> alP{};
    bool soRetrato = false;
};

struct DescBanda {
    Mm alturaR = 0, alturaP = 0;
    bool dinamica = true;
    int printCountR = 0, printCountP = 0;
    const char* pipeline = nullptr;  // binding of its data elements
    const char* prefixo = nullptr;   // names of unnumbered elements: prefix + place
    std::span<const Linha> linhas{};
};

struct DescSub {
    const char* pipeline = nullptr;
    bool keepTogether = false;
    std::span<const Mm> colunas{};
    Mm larguraColuna = 0;
    DescBanda titulo{}, cabecalhoColuna{}, detalhe{}, rodapeColuna{}, sumario{};
};

// Bands of the main report.
extern const DescBanda kCabecalhoGrupo;  // the invoice header, numbered in drawing order
extern const DescBanda kDetalhe;         // holds the items sub-report
extern const DescBanda kRodapePagina;    // continuation footer

// Fonts of the rows.
namespace f {
using fontes::Familia;
using fontes::Fonte;
inline constexpr Fonte A4{Familia::Arial, 4, false};
inline constexpr Fonte A5{Familia::Arial, 5, false};
inline constexpr Fonte A6{Familia::Arial, 6, false};
inline constexpr Fonte A6b{Familia::Arial, 6, true};
inline constexpr Fonte A7{Familia::Arial, 7, false};
inline constexpr Fonte A7b{Familia::Arial, 7, true};
inline constexpr Fonte A8{Familia::Arial, 8, false};
inline constexpr Fonte A8b{Familia::Arial, 8, true};
inline constexpr Fonte A10{Familia::Arial, 10, false};
inline constexpr Fonte A10b{Familia::Arial, 10, true};
inline constexpr Fonte A14{Familia::Arial, 14, false};
inline constexpr Fonte A16b{Familia::Arial, 16, true};
inline constexpr Fonte A18b{Familia::Arial, 18, true};
inline constexpr Fonte T6{Familia::Tahoma, 6, false};
inline constexpr Fonte C8{Familia::CourierNew, 8, false};
}  // namespace f

}  // namespace corvexa::layouts::linhas
