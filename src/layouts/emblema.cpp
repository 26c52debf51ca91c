// The emitter image's default picture: the NF-e emblem, the letters NF and a
// large e inside an oval, 42 x 41 pixels, drawn here as a pixel table.
#include "layouts/danfe.h"

namespace corvexa::layouts {

namespace {

constexpr int kLargura = 42, kAltura = 41;

// '.' white, 'B' blue, 'b' light blue, 'G' green, 'g' light green (the light
// shades smooth the edges).
constexpr const char* kDesenho[kAltura] = {
    "..................bbbbb...................",
    "..............bbBBBBBBBBBBb...............",
    "............bBBBBBBBBBBBBBBBBb............",
    "..........bBBBBBbb......bbBBBBBb..........",
    "........bBBBBb.............bBBBBb.........",
    ".......bBBBb..................BBBB........",
    "......bBBB.....................bBBB.......",
    ".....bBBB.......................bBBB......",
    "....bBBb.........................bBBB.....",
    "....BBB...........................bBBb....",
    "...bBB.............................bBB....",
    "...BBb..............................BBB...",
    "..BBB......................gGGGgg...bBB...",
    "..BBb....................gGGGGGGGG...BBb..",
    ".bBB....................gGGGGGGGGGG..bBB..",
    ".BBb.bBBb...BBb.BBBBBb.gGGGGg.ggGGGG..BBb.",
    ".BBb.bBBB...BBb.BBBBBb.GGGg.....gGGGg.BBb.",
    ".BB..bBBBb..BBb.BBb...gGGg.......gGGG.bBb.",
    "bBB..bBBBB..BBb.BBb...GGG.........GGG.bBB.",
    "bBB..bBBBBb.BBb.BBbbb.GGGGGGGGGGGGGGGgbBB.",
    "bBB..bBBbBBbBBb.BBBBb.GGGGGGGGGGGGGGGgbBB.",
    "bBB..bBB.bBBBBb.BBBbb.GGGGGGGGGGGGggg.bBB.",
    "bBB..bBB..BBBBb.BBb...GGG.............bBB.",
    ".BB..bBB..bBBBb.BBb...gGGg............bBb.",
    ".BBb.bBB...BBBb.BBb....GGGg...........BBb.",
    ".BBb.bBB...bBBb.BBb....gGGGGg.ggG.....BBb.",
    ".bBB....................gGGGGGGGGG...bBB..",
    "..BBb....................gGGGGGGGG...BBb..",
    "..BBB......................gGGGgg...bBB...",
    "...BBb..............................BBB...",
    "...bBB.............................bBB....",
    "....BBB...........................bBBb....",
    "....bBBb.........................bBBB.....",
    ".....bBBB.......................bBBB......",
    "......bBBB.....................bBBB.......",
    ".......bBBBb..................BBBB........",
    "........bBBBBb.............bBBBBb.........",
    "..........bBBBBBbb......bbBBBBBb..........",
    "............bBBBBBBBBBBBBBBBBb............",
    "..............bbBBBBBBBBBBb...............",
    "..................bbbbb...................",
};

uint32_t Cor(char c) {
    switch (c) {
        case 'B': return 0xFF1F4E9Cu;
        case 'b': return 0xFF8FA7CEu;
        case 'G': return 0xFF2E9A3Eu;
        case 'g': return 0xFF97CD9Fu;
        default: return 0xFFFFFFFFu;
    }
}

}  // namespace

std::shared_ptr<const report::Imagem> ImagemPadraoEmitente() {
    static const std::shared_ptr<const report::Imagem> imagem = [] {
        auto i = std::make_shared<report::Imagem>();
        i->largura = kLargura;
        i->altura = kAltura;
        i->pixels.reserve(kLargura * kAltura);
        for (const char* linha : kDesenho)
            for (int x = 0; x < kLargura; ++x) i->pixels.push_back(Cor(linha[x]));
        return i;
    }();
    return imagem;
}

}  // namespace corvexa::layouts
