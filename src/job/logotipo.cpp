#include "job/logotipo.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"

namespace corvexa::job {
namespace {

struct Soltar {
    void operator()(gpointer o) const { g_object_unref(o); }
};
using Carregador = std::unique_ptr<GdkPixbufLoader, Soltar>;

struct Dimensoes {
    int largura = 0, altura = 0;
    bool grande = false;
};

// Called once the header is read, before any pixel memory is taken: a size
// of 0 x 0 tells the decoder to stop there.
void AoConhecerTamanho(GdkPixbufLoader* carregador, int largura, int altura, gpointer dados) {
    auto* d = static_cast<Dimensoes*>(dados);
    d->largura = largura;
    d->altura = altura;
    if (largura > kMaiorLadoLogo || altura > kMaiorLadoLogo ||
        int64_t{largura} * int64_t{altura} > limites::kPixelsLogo) {
        d->grande = true;
        gdk_pixbuf_loader_set_size(carregador, 0, 0);
    }
}

// The BMP decoder sizes its buffers from the header before it reports the
// picture's size, so a forged header of a few bytes would make it take
// hundreds of megabytes: the header's own size (one of the known versions),
// the offset of the pixels (which it buffers up to) and the dimensions are
// checked here first. Returns false for a header no BMP has.
bool ConferirCabecalhoBmp(std::string_view b, Dimensoes& d) {
    const auto u = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(b[i])); };
    const auto palavra = [&](size_t i) { return u(i) | u(i + 1) << 8; };
    const auto dupla = [&](size_t i) { return static_cast<int32_t>(palavra(i) | palavra(i + 2) << 16); };
    if (b.size() < 18 || !b.starts_with("BM")) return true;
    const int32_t cabecalho = dupla(14);
    if (cabecalho != 12 && cabecalho != 16 && cabecalho != 40 && cabecalho != 52 && cabecalho != 56 &&
        cabecalho != 64 && cabecalho != 108 && cabecalho != 124)
        return false;
    // Palette, masks and perhaps a colour profile stand before the pixels.
    constexpr uint32_t kMaiorDeslocamento = 16u << 20;
    if (static_cast<uint32_t>(dupla(10)) > kMaiorDeslocamento) return false;
    if (b.size() < 26) return true;
    int64_t largura, altura;
    if (dupla(14) == 12) {  // the old OS/2 header: 16-bit sides
        largura = palavra(18);
        altura = palavra(20);
    } else {
        largura = dupla(18);
        altura = dupla(22);
    }
    if (largura < 0) largura = -largura;
    if (altura < 0) altura = -altura;  // negative: rows stored top-down
    if (largura > kMaiorLadoLogo || altura > kMaiorLadoLogo || largura * altura > limites::kPixelsLogo) {
        d.largura = static_cast<int>(std::min<int64_t>(largura, INT32_MAX));
        d.altura = static_cast<int>(std::min<int64_t>(altura, INT32_MAX));
        d.grande = true;
    }
    return true;
}

std::string MensagemGError(GError* erro) {
    std::string m = erro && erro->message ? erro->message : "formato não reconhecido";
    if (erro) g_error_free(erro);
    return m;
}

// Premultiplied ARGB in native order, as the devices draw pictures.
std::shared_ptr<report::Imagem> Converter(GdkPixbuf* pb) {
    const int largura = gdk_pixbuf_get_width(pb), altura = gdk_pixbuf_get_height(pb);
    const int canais = gdk_pixbuf_get_n_channels(pb);
    const bool alfa = gdk_pixbuf_get_has_alpha(pb);
    const int passo = gdk_pixbuf_get_rowstride(pb);
    const guchar* origem = gdk_pixbuf_read_pixels(pb);
    auto img = std::make_shared<report::Imagem>();
    img->largura = largura;
    img->altura = altura;
    img->pixels.resize(static_cast<size_t>(largura) * static_cast<size_t>(altura));
    for (int y = 0; y < altura; ++y) {
        const guchar* p = origem + static_cast<ptrdiff_t>(y) * passo;
        uint32_t* destino = img->pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(largura);
        for (int x = 0; x < largura; ++x, p += canais) {
            const uint32_t a = alfa ? p[3] : 255;
            auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
            destino[x] = a << 24 | pre(p[0]) << 16 | pre(p[1]) << 8 | pre(p[2]);
        }
    }
    return img;
}

// An icon's directory, checked before the decoder sees it: a word that no
// icon has, or an image of an entry whose own header declares sides far
// beyond any logo, makes the decoder reserve hundreds of megabytes for
// nothing. Returns false for a directory no icon has. Entries beyond the
// first block are left to the decoder.
bool ConferirCabecalhoIco(std::string_view b) {
    const auto u = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(b[i])); };
    const auto palavra = [&](size_t i) { return u(i) | u(i + 1) << 8; };
    const auto dupla = [&](size_t i) { return palavra(i) | palavra(i + 2) << 16; };
    if (b.size() < 6) return true;
    if (palavra(0) != 0 || (palavra(2) != 1 && palavra(2) != 2) || palavra(4) == 0) return false;
    const size_t entradas = palavra(4);
    for (size_t e = 0; e < entradas && 6 + 16 * (e + 1) <= b.size(); ++e) {
        const size_t entrada = 6 + 16 * e;
        const uint64_t deslocamento = dupla(entrada + 12);
        if (deslocamento < 6 + 16 * entradas) return false;
        if (deslocamento + 24 > b.size()) continue;
        const size_t i = static_cast<size_t>(deslocamento);
        int64_t largura, altura;
        if (b.substr(i, 8) == "\x89PNG\r\n\x1a\n") {
            largura = static_cast<int64_t>(u(i + 16) << 24 | u(i + 17) << 16 | u(i + 18) << 8 | u(i + 19));
            altura = static_cast<int64_t>(u(i + 20) << 24 | u(i + 21) << 16 | u(i + 22) << 8 | u(i + 23));
        } else {
            largura = static_cast<int32_t>(dupla(i + 4));
            altura = static_cast<int32_t>(dupla(i + 8)) / 2;  // the mask's rows are counted too
        }
        if (largura < 0) largura = -largura;
        if (altura < 0) altura = -altura;
        if (largura > kMaiorLadoLogo || altura > kMaiorLadoLogo || largura * altura > limites::kPixelsLogo)
            return false;
    }
    return true;
}

// Feeds the decoder of `tipo` with the blocks `proximo` yields (empty at the
// end; it throws on a read error) and converts the picture.
template <class Proximo>
std::shared_ptr<const report::Imagem> Decodificar(std::string_view tipo, const std::string& prefixo, Proximo&& proximo) {
    auto falha = [&](const std::string& motivo) { return Falha(prefixo + " (" + motivo + ")"); };

    GError* erro = nullptr;
    Carregador carregador(gdk_pixbuf_loader_new_with_type(std::string(tipo).c_str(), &erro));
    if (!carregador) throw falha(MensagemGError(erro));
    Dimensoes dim;
    g_signal_connect(carregador.get(), "size-prepared", G_CALLBACK(AoConhecerTamanho), &dim);

    // On any early way out the decoder is closed; its own complaint about
    // the unfinished picture is not ours to report.
    auto fechar = [&] { gdk_pixbuf_loader_close(carregador.get(), nullptr); };

    for (bool primeiro = true;; primeiro = false) {
        std::string_view bloco;
        try {
            bloco = proximo();
        } catch (...) {
            fechar();
            throw;
        }
        if (bloco.empty()) break;
        if (primeiro && tipo == "ico" && !ConferirCabecalhoIco(bloco)) {
            fechar();
            throw falha("cabeçalho ICO inválido");
        }
        if (primeiro && tipo == "bmp") {
            if (!ConferirCabecalhoBmp(bloco, dim)) {
                fechar();
                throw falha("cabeçalho BMP inválido");
            }
            if (dim.grande) {
                fechar();
                break;
            }
        }
        if (!gdk_pixbuf_loader_write(carregador.get(), reinterpret_cast<const guchar*>(bloco.data()), bloco.size(),
                                     &erro)) {
            fechar();
            if (dim.grande) break;
            throw falha(MensagemGError(erro));
        }
        if (dim.grande) {
            fechar();
            break;
        }
    }
    if (dim.grande) {
        const std::string tamanho = "imagem de " + std::to_string(dim.largura) + " x " + std::to_string(dim.altura);
        if (dim.largura > kMaiorLadoLogo || dim.altura > kMaiorLadoLogo)
            throw falha(tamanho + " pixels; o máximo é " + std::to_string(kMaiorLadoLogo) + " por lado");
        throw falha(tamanho + " pixels; o máximo é " + std::to_string(limites::kPixelsLogo) + " pixels");
    }
    if (!gdk_pixbuf_loader_close(carregador.get(), &erro)) throw falha(MensagemGError(erro));

    GdkPixbuf* pb = gdk_pixbuf_loader_get_pixbuf(carregador.get());  // owned by the loader
    if (!pb || gdk_pixbuf_get_width(pb) < 1 || gdk_pixbuf_get_height(pb) < 1) throw falha("arquivo sem imagem");
    if (gdk_pixbuf_get_bits_per_sample(pb) != 8 || gdk_pixbuf_get_colorspace(pb) != GDK_COLORSPACE_RGB ||
        gdk_pixbuf_get_n_channels(pb) < (gdk_pixbuf_get_has_alpha(pb) ? 4 : 3))
        throw falha("formato de pixels não suportado");
    return Converter(pb);
}

}  // namespace

std::shared_ptr<const report::Imagem> CarregarImagemLogo(const std::string& caminho, std::string_view tipo) {
    const std::string prefixo =
        "Arquivo do logotipo inválido: " + (texto::EhUtf8Valido(caminho) ? caminho : texto::AnsiParaUtf8(caminho));
    auto falha = [&](const std::string& motivo) { return Falha(prefixo + " (" + motivo + ")"); };

    std::error_code erroArquivo;
    if (!std::filesystem::is_regular_file(caminho, erroArquivo)) throw falha("não é um arquivo comum");
    std::ifstream f(caminho, std::ios::binary);
    if (!f) throw falha("não foi possível abrir o arquivo");

    std::vector<char> bloco(64 * 1024);
    return Decodificar(tipo, prefixo, [&]() -> std::string_view {
        if (!f) return {};
        f.read(bloco.data(), static_cast<std::streamsize>(bloco.size()));
        if (f.bad()) throw falha("erro de leitura");
        const auto lidos = f.gcount();
        return lidos > 0 ? std::string_view(bloco.data(), static_cast<size_t>(lidos)) : std::string_view();
    });
}

std::shared_ptr<const report::Imagem> DecodificarImagemLogo(std::string_view bytes, std::string_view tipo,
                                                            std::string_view nome) {
    const std::string n(nome);
    const std::string prefixo = "Arquivo do logotipo inválido: " + (texto::EhUtf8Valido(n) ? n : texto::AnsiParaUtf8(n));
    // In blocks, so that an oversized picture stops at its header as from a file.
    constexpr size_t kBloco = 64 * 1024;
    return Decodificar(tipo, prefixo, [&]() -> std::string_view {
        const std::string_view b = bytes.substr(0, kBloco);
        bytes.remove_prefix(b.size());
        return b;
    });
}

}  // namespace corvexa::job
