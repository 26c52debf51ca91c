#include "fontes/metricas.h"

#include <unistd.h>

#include <cmath>
#include <limits>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"
#include "fontes/arquivos.h"
#include "fontes/faces.h"

#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

namespace corvexa::fontes {
namespace {

using Candidato = ArquivosFonte;

const Candidato& CandidatoDe(Familia familia, bool negrito) { return ArquivosDe(familia, negrito); }

void CarregarFace(FT_Library lib, const Candidato& c, Face& face) {
    const char* caminho = nullptr;
    for (const std::string& p : c.caminhos) {
        if (access(p.c_str(), R_OK) == 0) {
            caminho = p.c_str();
            break;
        }
    }
    if (!caminho)
        throw Falha(Formatar("Fonte não encontrada: %s", std::string(c.nome) + " em " + c.caminhos.front()));
    if (FT_New_Face(lib, caminho, 0, &face.ft) != 0)
        throw Falha(Formatar("Fonte ilegível: %s", std::string(c.nome) + " em " + caminho));
    face.arquivo = caminho;
    face.unidadesPorEm = face.ft->units_per_EM > 0 ? face.ft->units_per_EM : 2048;

    // Windows GDI takes a font's height from the OS/2 win metrics; hhea only
    // stands in when a font has no usable OS/2 table.
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face.ft, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        face.ascendente = os2->usWinAscent;
        face.descendente = os2->usWinDescent;
    } else {
        face.ascendente = face.ft->ascender;
        face.descendente = -face.ft->descender;
    }

    for (int b = 0; b < 256; ++b) {
        const FT_UInt g = FT_Get_Char_Index(face.ft, texto::AnsiParaUnicode(static_cast<unsigned char>(b)));
        FT_Fixed adv = 0;
        if (FT_Get_Advance(face.ft, g, FT_LOAD_NO_SCALE, &adv) != 0) adv = 0;
        face.glifo[b] = g;
        face.avanco[b] = static_cast<uint16_t>(adv < 0 ? 0 : adv > 0xFFFF ? 0xFFFF : adv);
    }
}

// Every face of the three families, loaded once. The FreeType faces stay
// open for the life of the process: the drawing devices hand them to cairo.
struct Registro {
    FT_Library lib = nullptr;
    Face faces[3][2];

    Registro() {
        if (FT_Init_FreeType(&lib) != 0) throw Falha("Falha ao iniciar o FreeType");
        try {
            for (int f = 0; f < 3; ++f)
                for (int n = 0; n < 2; ++n)
                    CarregarFace(lib, CandidatoDe(static_cast<Familia>(f), n == 1), faces[f][n]);
        } catch (...) {
            FT_Done_FreeType(lib);  // frees the faces opened so far
            throw;
        }
    }

    static const Registro& Instancia() {
        // A failure leaves the static unset, so a later call tries again.
        static const Registro* r = new Registro();
        return *r;
    }
};

int IndiceFamilia(Familia f) {
    const int i = static_cast<int>(f);
    return i >= 0 && i < 3 ? i : 0;
}

class MetricasFreeType final : public Metricas {
public:
    explicit MetricasFreeType(const Registro& r) : r_(r) {}

    int32_t Largura(const Fonte& f, std::string_view ansi) const override {
        const Face& face = FaceDe(f);
        int64_t unidades = 0;
        for (unsigned char c : ansi) unidades += face.avanco[c];
        return UnidadesParaMm(unidades, f.pontos, face.unidadesPorEm);
    }
    int32_t LarguraCaractere(const Fonte& f, unsigned char c) const override {
        const Face& face = FaceDe(f);
        return UnidadesParaMm(face.avanco[c], f.pontos, face.unidadesPorEm);
    }
    int32_t AlturaLinha(const Fonte& f) const override {
        const Face& face = FaceDe(f);
        return UnidadesParaMm(int64_t{face.ascendente} + face.descendente, f.pontos, face.unidadesPorEm);
    }
    int32_t Ascendente(const Fonte& f) const override {
        const Face& face = FaceDe(f);
        return UnidadesParaMm(face.ascendente, f.pontos, face.unidadesPorEm);
    }
    const std::string& Arquivo(const Fonte& f) const override { return FaceDe(f).arquivo; }

    const Face& FaceDe(const Fonte& f) const { return r_.faces[IndiceFamilia(f.familia)][f.negrito ? 1 : 0]; }

private:
    const Registro& r_;
};

}  // namespace

const char* NomeFamilia(Familia f) {
    switch (f) {
        case Familia::Arial: return "Arial";
        case Familia::Tahoma: return "Tahoma";
        case Familia::CourierNew: return "Courier New";
    }
    return "Arial";
}

int32_t UnidadesParaMm(int64_t unidades, int pontos, int unidadesPorEm) {
    // 1 pt = 25400/72 thousandths of a millimetre; one division, rounded half up.
    const int64_t denominador = int64_t{72} * (unidadesPorEm > 0 ? unidadesPorEm : 2048);
    if (unidades >= 0 && unidades < (int64_t{1} << 40) && pontos >= 0 && pontos < 256) {
        // The usual case fits 64 bits: no 128-bit division.
        const int64_t r = (unidades * pontos * 25400 + denominador / 2) / denominador;
        return r > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(r);
    }
#ifdef __SIZEOF_INT128__
    const __int128 num = static_cast<__int128>(unidades) * pontos * 25400;
    const __int128 den = static_cast<__int128>(72) * (unidadesPorEm > 0 ? unidadesPorEm : 2048);
    const __int128 r = num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
#else
    // 32-bit targets have no 128-bit integers; the 64-bit mantissa of long
    // double is exact for every result that is not clamped below.
    const long double num = static_cast<long double>(unidades) * pontos * 25400;
    const long double den = 72.0L * (unidadesPorEm > 0 ? unidadesPorEm : 2048);
    const long double q = num / den;
    const long double r = q >= 0 ? std::floor(q + 0.5L) : -std::floor(-q + 0.5L);
#endif
    if (r > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (r < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

const Face& FaceDe(const Fonte& f) {
    return Registro::Instancia().faces[IndiceFamilia(f.familia)][f.negrito ? 1 : 0];
}

const Metricas& Metricas::Padrao() {
    static const MetricasFreeType* m = new MetricasFreeType(Registro::Instancia());
    return *m;
}

}  // namespace corvexa::fontes
