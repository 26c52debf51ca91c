#include "fontes/metricas.h"

#include <gtest/gtest.h>

#include "base/texto.h"
#include "fontes/faces.h"

using namespace corvexa;
using fontes::Familia;
using fontes::Fonte;

namespace {

const fontes::Metricas& M() { return fontes::Metricas::Padrao(); }

// Expected values read once from the font files with fontTools: advances
// from hmtx through the cmap, usWinAscent/usWinDescent from OS/2, scaled as
// units * points * 25400 / (72 * unitsPerEm) and rounded to the nearest.
struct CasoMetrica {
    Fonte fonte;
    const char* utf8;
    int32_t largura, alturaLinha, ascendente;
};

const CasoMetrica kCasos[] = {
    {{Familia::Arial, 14, false}, "DANFE", 16739, 5518, 4471},
    {{Familia::Arial, 10, true}, "NF-e", 7839, 3941, 3194},
    // Tahoma's win metrics (2049/423), not its typo ascender (1566).
    {{Familia::Tahoma, 6, false}, "Série 1 ção", 10364, 2555, 2118},
    {{Familia::Tahoma, 8, true}, "DANFE", 9620, 3407, 2824},
    {{Familia::CourierNew, 8, false}, "3524 0612", 15242, 3197, 2350},
    // Code-page bytes 0x80..0x9F map to their Unicode characters (€ “ ” —).
    {{Familia::Arial, 7, false}, "€ “x” —", 8094, 2759, 2236},
};

}  // namespace

TEST(Metricas, ConferemComAsTabelasDasFontes) {
    for (const auto& c : kCasos) {
        SCOPED_TRACE(std::string(fontes::NomeFamilia(c.fonte.familia)) + " " + c.utf8);
        const std::string ansi = texto::Utf8ParaAnsi(c.utf8);
        EXPECT_EQ(M().Largura(c.fonte, ansi), c.largura);
        EXPECT_EQ(M().AlturaLinha(c.fonte), c.alturaLinha);
        EXPECT_EQ(M().Ascendente(c.fonte), c.ascendente);
    }
}

TEST(Metricas, LarguraSomaAvancosEArredondaUmaVezSo) {
    const Fonte arial8{Familia::Arial, 8, false};
    EXPECT_EQ(M().Largura(arial8, ""), 0);
    // "i" is 455 units, 627.007 thousandths at 8 pt: one rounds to 627, but
    // a thousand are summed in font units and rounded once (not 627000).
    EXPECT_EQ(M().LarguraCaractere(arial8, 'i'), 627);
    EXPECT_EQ(M().Largura(arial8, std::string(1000, 'i')), 627007);
    // Size scales linearly; a monospaced face gives every character the same advance.
    const Fonte mono{Familia::CourierNew, 8, false};
    EXPECT_EQ(M().Largura(mono, "iiii"), M().Largura(mono, "WWWW"));
    EXPECT_EQ(M().LarguraCaractere(mono, '\xE7'), M().LarguraCaractere(mono, 'M'));
}

TEST(Metricas, ArquivosDasFamilias) {
    EXPECT_NE(M().Arquivo({Familia::Arial, 8, false}).find("LiberationSans-Regular"), std::string::npos);
    EXPECT_NE(M().Arquivo({Familia::Arial, 8, true}).find("LiberationSans-Bold"), std::string::npos);
    EXPECT_EQ(M().Arquivo({Familia::Tahoma, 6, false}), "/usr/share/wine/fonts/tahoma.ttf");
    EXPECT_NE(M().Arquivo({Familia::CourierNew, 8, false}).find("LiberationMono-Regular"), std::string::npos);
    EXPECT_STREQ(fontes::NomeFamilia(Familia::CourierNew), "Courier New");
}

TEST(Metricas, FaceTemOGlifoDeCadaByteDoCodigo) {
    const auto& face = fontes::FaceDe({Familia::Arial, 8, false});
    EXPECT_NE(face.glifo[0xE7], 0u);  // ç
    EXPECT_NE(face.glifo[0x80], 0u);  // €
    EXPECT_NE(face.glifo[0x80], face.glifo['E']);
    EXPECT_EQ(face.avanco[0xE7], 1024);
}
