#include "metafile/dib.h"

#include <algorithm>
#include <array>
#include <bit>

namespace corvexa::metafile {
namespace {

constexpr uint32_t kBiRgb = 0, kBiBitfields = 3, kBiAlphaBitfields = 6;

struct Cabecalho {
    uint32_t tamanho = 0;  // of the header itself
    int64_t largura = 0, altura = 0;
    bool deBaixoParaCima = true;
    uint16_t bits = 0;
    uint32_t compressao = kBiRgb;
    uint64_t cores = 0;          // entries of the colour table
    uint64_t bytesEntrada = 4;   // bytes per colour table entry
    uint64_t bytesMascaras = 0;  // masks stored after a 40-byte header
    uint32_t mascaras[4] = {};   // red, green, blue, alpha
    bool temMascaras = false;
};

// Reads the header; false for a kind we do not draw.
bool LerCabecalho(const Bytes& info, UsoCores uso, Cabecalho& c) {
    c.tamanho = info.U32(0);
    if (c.tamanho == 12) {  // BITMAPCOREHEADER
        c.largura = info.U16(4);
        c.altura = info.U16(6);
        c.bits = info.U16(10);
        c.bytesEntrada = 3;
    } else if (c.tamanho >= 40 && c.tamanho <= info.Tamanho()) {
        c.largura = info.I32(4);
        c.altura = info.I32(8);
        c.bits = info.U16(14);
        c.compressao = info.U32(16);
        c.cores = info.U32(32);
        if (c.compressao == kBiBitfields || c.compressao == kBiAlphaBitfields) {
            const int n = c.compressao == kBiAlphaBitfields ? 4 : 3;
            if (c.tamanho == 40) {
                c.bytesMascaras = 4u * n;
                for (int i = 0; i < n; ++i) c.mascaras[i] = info.U32(40 + 4 * i);
            } else {
                for (int i = 0; i < n && 40u + 4 * i + 4 <= c.tamanho; ++i) c.mascaras[i] = info.U32(40 + 4 * i);
            }
            c.temMascaras = true;
        }
    } else {
        return false;
    }
    if (c.altura < 0) {
        c.altura = -c.altura;
        c.deBaixoParaCima = false;
    }
    switch (c.bits) {
        case 1: case 4: case 8:
            if (c.compressao != kBiRgb) return false;
            if (c.cores == 0) c.cores = uint64_t{1} << c.bits;
            break;
        case 16: case 32:
            if (c.compressao != kBiRgb && !c.temMascaras) return false;
            break;
        case 24:
            if (c.compressao != kBiRgb) return false;
            break;
        default:
            return false;
    }
    if (uso == UsoCores::Paleta) {
        if (c.bits <= 8) return false;  // indices into a palette we do not keep
        c.bytesEntrada = 2;
    }
    return true;
}

uint64_t TamanhoInfo(const Cabecalho& c) {
    return uint64_t{c.tamanho} + c.bytesMascaras + c.cores * c.bytesEntrada;
}

// One component out of a masked pixel, scaled to 0..255.
struct Componente {
    uint32_t mascara = 0;
    int deslocamento = 0;
    uint32_t maximo = 0;

    explicit Componente(uint32_t m) : mascara(m) {
        if (m == 0) return;
        deslocamento = std::countr_zero(m);
        maximo = m >> deslocamento;
    }
    uint32_t De(uint32_t v) const {
        if (maximo == 0) return 0;
        return static_cast<uint32_t>((uint64_t{(v & mascara) >> deslocamento} * 255 + maximo / 2) / maximo);
    }
};

}  // namespace

std::shared_ptr<report::Imagem> DecodificarDib(const Bytes& info, const Bytes& bits, const OpcoesDib& opcoes,
                                               Orcamento& orcamento) {
    try {
        Cabecalho c;
        if (!LerCabecalho(info, opcoes.uso, c)) return nullptr;
        const int lado = orcamento.Limite().ladoBitmap;
        if (c.largura < 1 || c.altura < 1 || c.largura > lado || c.altura > lado) return nullptr;
        if (TamanhoInfo(c) > info.Tamanho()) return nullptr;

        // The colour table; entries the pixels name beyond it are black.
        std::array<uint32_t, 256> paleta;
        paleta.fill(0xFF000000u);
        if (c.bits <= 8) {
            const uint64_t n = std::min<uint64_t>(c.cores, 256);
            const uint64_t base = c.tamanho + c.bytesMascaras;
            for (uint64_t i = 0; i < n; ++i) {
                const uint64_t o = base + i * c.bytesEntrada;
                paleta[i] = 0xFF000000u | uint32_t{info.U8(o + 2)} << 16 | uint32_t{info.U8(o + 1)} << 8 | info.U8(o);
            }
        }

        const auto largura = static_cast<uint64_t>(c.largura), altura = static_cast<uint64_t>(c.altura);
        const uint64_t passo = (largura * c.bits + 31) / 32 * 4;
        const uint64_t ultimaLinha = (largura * c.bits + 7) / 8;
        if (!bits.Cabe(0, passo * (altura - 1) + ultimaLinha)) return nullptr;
        orcamento.Pixels(largura * altura);

        auto img = std::make_shared<report::Imagem>();
        img->largura = static_cast<int>(largura);
        img->altura = static_cast<int>(altura);
        img->pixels.resize(largura * altura);

        uint32_t m[4] = {};
        if (c.temMascaras) {
            std::copy(c.mascaras, c.mascaras + 4, m);
        } else if (c.bits == 16) {
            m[0] = 0x7C00, m[1] = 0x03E0, m[2] = 0x001F;
        } else if (c.bits == 32) {
            m[0] = 0x00FF0000, m[1] = 0x0000FF00, m[2] = 0x000000FF, m[3] = opcoes.alfa ? 0xFF000000 : 0;
        }
        const Componente r(m[0]), g(m[1]), b(m[2]), a(opcoes.alfa ? m[3] : 0);

        const uint8_t* dados = bits.Dados().data();
        for (uint64_t y = 0; y < altura; ++y) {
            const uint64_t linha = c.deBaixoParaCima ? altura - 1 - y : y;
            const uint8_t* p = dados + linha * passo;
            uint32_t* destino = img->pixels.data() + y * largura;
            for (uint64_t x = 0; x < largura; ++x) {
                uint32_t px;
                switch (c.bits) {
                    case 1: px = paleta[(p[x / 8] >> (7 - x % 8)) & 1]; break;
                    case 4: px = paleta[(p[x / 2] >> (x % 2 ? 0 : 4)) & 0xF]; break;
                    case 8: px = paleta[p[x]]; break;
                    case 24: px = 0xFF000000u | uint32_t{p[3 * x + 2]} << 16 | uint32_t{p[3 * x + 1]} << 8 | p[3 * x]; break;
                    default: {
                        const uint8_t* q = p + x * (c.bits / 8);
                        const uint32_t v = c.bits == 16 ? uint32_t{q[0]} | uint32_t{q[1]} << 8
                                                        : uint32_t{q[0]} | uint32_t{q[1]} << 8 |
                                                              uint32_t{q[2]} << 16 | uint32_t{q[3]} << 24;
                        if (a.maximo == 0) {
                            px = 0xFF000000u | r.De(v) << 16 | g.De(v) << 8 | b.De(v);
                        } else {
                            // Premultiplied already; a colour above its alpha is clamped.
                            const uint32_t al = a.De(v);
                            px = al << 24 | std::min(r.De(v), al) << 16 | std::min(g.De(v), al) << 8 |
                                 std::min(b.De(v), al);
                        }
                    }
                }
                destino[x] = px;
            }
        }
        return img;
    } catch (const Curto&) {
        return nullptr;
    }
}

std::shared_ptr<report::Imagem> DecodificarDibCompacto(const Bytes& dib, const OpcoesDib& opcoes,
                                                       Orcamento& orcamento) {
    try {
        Cabecalho c;
        if (!LerCabecalho(dib, opcoes.uso, c)) return nullptr;
        const uint64_t n = TamanhoInfo(c);
        if (n > dib.Tamanho()) return nullptr;
        return DecodificarDib(dib.Parte(0, n), dib.Resto(n), opcoes, orcamento);
    } catch (const Curto&) {
        return nullptr;
    }
}

bool DibDeBaixoParaCima(const Bytes& info) {
    try {
        return info.U32(0) == 12 || info.I32(8) > 0;
    } catch (const Curto&) {
        return true;
    }
}

report::CorRgb CorMedia(const report::Imagem& imagem) {
    uint64_t soma[3] = {}, n = 0;
    for (const uint32_t p : imagem.pixels) {
        soma[0] += p >> 16 & 0xFF;
        soma[1] += p >> 8 & 0xFF;
        soma[2] += p & 0xFF;
        ++n;
    }
    if (n == 0) return {};
    return {static_cast<uint8_t>((soma[0] + n / 2) / n), static_cast<uint8_t>((soma[1] + n / 2) / n),
            static_cast<uint8_t>((soma[2] + n / 2) / n)};
}

}  // namespace corvexa::metafile
