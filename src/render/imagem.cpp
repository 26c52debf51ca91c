// Raster devices: the page drawn on a pixel grid, kept in memory or written
// as PNG (cairo) or JPEG (libjpeg).
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

#include "base/falha.h"
#include "render/arquivo.h"
#include "render/desenho.h"
#include "render/dispositivos.h"

namespace corvexa::render {
namespace {

constexpr int kMaiorLado = 32767;  // cairo's limit for an image side

struct DestruirSuperficie {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Superficie = std::unique_ptr<cairo_surface_t, DestruirSuperficie>;

void ValidarTamanho(const report::Pagina& p, int dpi, int& largura, int& altura) {
    if (dpi < 1) throw Falha("Resolução inválida: " + std::to_string(dpi) + " dpi");
    if (p.largura <= 0 || p.altura <= 0) throw Falha("Página sem tamanho no documento");
    const int64_t l = (int64_t{p.largura} * dpi + 12700) / 25400;
    const int64_t a = (int64_t{p.altura} * dpi + 12700) / 25400;
    if (l < 1 || a < 1 || l > kMaiorLado || a > kMaiorLado)
        throw Falha("Resolução inválida: " + std::to_string(dpi) + " dpi dá uma imagem de " + std::to_string(l) +
                    " x " + std::to_string(a) + " pixels");
    largura = static_cast<int>(l);
    altura = static_cast<int>(a);
}

// White paper, then the page; the drawing routine on a pixel grid.
void Pintar(cairo_surface_t* s, const report::Pagina& p, int dpi) {
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    try {
        DesenharPagina(cr, p, OpcoesDesenho{dpi / 25400.0, true});
    } catch (...) {
        cairo_destroy(cr);
        throw;
    }
    const cairo_status_t st = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    if (st != CAIRO_STATUS_SUCCESS) throw Falha(std::string("Erro ao desenhar a página: ") + cairo_status_to_string(st));
}

Superficie Rasterizar(const report::Pagina& p, int dpi) {
    int largura = 0, altura = 0;
    ValidarTamanho(p, dpi, largura, altura);
    Superficie s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, largura, altura));
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS)
        throw Falha(std::string("Erro ao criar a imagem da página: ") + cairo_status_to_string(cairo_surface_status(s.get())));
    Pintar(s.get(), p, dpi);
    return s;
}

// libjpeg reports errors through a callback that must not return: it jumps
// back to the encoder, which turns the message into a Falha.
struct ErroJpeg {
    jpeg_error_mgr base;
    std::jmp_buf salto;
    char mensagem[JMSG_LENGTH_MAX];
};

void SairComErro(j_common_ptr c) {
    auto* e = reinterpret_cast<ErroJpeg*>(c->err);
    (*c->err->format_message)(c, e->mensagem);
    std::longjmp(e->salto, 1);
}

// The compressed data gathers in a buffer of our own (malloc'd, so that
// the error path can free it whatever state libjpeg left).
struct DestinoJpeg {
    jpeg_destination_mgr base;
    unsigned char* dados;
    size_t capacidade;
};

void IniciarDestino(j_compress_ptr c) {
    auto* d = reinterpret_cast<DestinoJpeg*>(c->dest);
    d->capacidade = 256 * 1024;
    d->dados = static_cast<unsigned char*>(std::malloc(d->capacidade));
    if (!d->dados) ERREXIT1(c, JERR_OUT_OF_MEMORY, 0);
    d->base.next_output_byte = d->dados;
    d->base.free_in_buffer = d->capacidade;
}

boolean AumentarDestino(j_compress_ptr c) {
    auto* d = reinterpret_cast<DestinoJpeg*>(c->dest);
    const size_t usado = d->capacidade;  // called only when the buffer is full
    auto* maior = static_cast<unsigned char*>(std::realloc(d->dados, d->capacidade * 2));
    if (!maior) ERREXIT1(c, JERR_OUT_OF_MEMORY, 1);
    d->dados = maior;
    d->capacidade *= 2;
    d->base.next_output_byte = d->dados + usado;
    d->base.free_in_buffer = d->capacidade - usado;
    return TRUE;
}

void TerminarDestino(j_compress_ptr) {}

// Only plain C objects live in this frame, so the jump skips no destructor.
bool CodificarJpeg(cairo_surface_t* s, int dpi, int qualidade, DestinoJpeg* destino, char* mensagem) {
    jpeg_compress_struct cinfo;
    ErroJpeg erro;
    cinfo.err = jpeg_std_error(&erro.base);
    erro.base.error_exit = SairComErro;
    if (setjmp(erro.salto)) {
        std::snprintf(mensagem, JMSG_LENGTH_MAX, "%s", erro.mensagem);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    destino->base.init_destination = IniciarDestino;
    destino->base.empty_output_buffer = AumentarDestino;
    destino->base.term_destination = TerminarDestino;
    cinfo.dest = &destino->base;
    cinfo.image_width = static_cast<JDIMENSION>(cairo_image_surface_get_width(s));
    cinfo.image_height = static_cast<JDIMENSION>(cairo_image_surface_get_height(s));
    // cairo's 32-bit pixels in memory order, taken without a copy.
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    cinfo.in_color_space = JCS_EXT_BGRX;
#else
    cinfo.in_color_space = JCS_EXT_XRGB;
#endif
    cinfo.input_components = 4;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, qualidade, TRUE);
    cinfo.density_unit = 1;  // dots per inch
    cinfo.X_density = cinfo.Y_density = static_cast<UINT16>(dpi > 65535 ? 65535 : dpi);
    jpeg_start_compress(&cinfo, TRUE);
    unsigned char* dados = cairo_image_surface_get_data(s);
    const int passo = cairo_image_surface_get_stride(s);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW linha = dados + static_cast<size_t>(cinfo.next_scanline) * passo;
        jpeg_write_scanlines(&cinfo, &linha, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

cairo_status_t EscreverNoArquivo(void* destino, const unsigned char* dados, unsigned int tamanho) {
    return static_cast<ArquivoAtomico*>(destino)->Escrever(dados, tamanho) ? CAIRO_STATUS_SUCCESS
                                                                            : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

int Pixels(report::Mm comprimento, int dpi) {
    return static_cast<int>((int64_t{comprimento} * dpi + 12700) / 25400);
}

report::Imagem RasterizarPagina(const report::Pagina& pagina, int dpi) {
    report::Imagem img;
    ValidarTamanho(pagina, dpi, img.largura, img.altura);
    img.pixels.assign(static_cast<size_t>(img.largura) * img.altura, 0xFFFFFFFFu);
    // ARGB32 rows of 4 * width bytes are exactly the picture's own layout.
    Superficie s(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(img.pixels.data()),
                                                     CAIRO_FORMAT_ARGB32, img.largura, img.altura, img.largura * 4));
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS)
        throw Falha(std::string("Erro ao criar a imagem da página: ") + cairo_status_to_string(cairo_surface_status(s.get())));
    Pintar(s.get(), pagina, dpi);
    return img;
}

void EscreverPng(const report::Pagina& pagina, const std::string& caminho, int dpi) {
    const Superficie s = Rasterizar(pagina, dpi);
    ArquivoAtomico arquivo(caminho);
    const cairo_status_t st = cairo_surface_write_to_png_stream(s.get(), EscreverNoArquivo, &arquivo);
    if (st == CAIRO_STATUS_WRITE_ERROR) arquivo.Falhar();
    if (st != CAIRO_STATUS_SUCCESS) arquivo.Falhar(cairo_status_to_string(st));
    arquivo.Concluir();
}

std::string GerarJpeg(const report::Pagina& pagina, int dpi, int qualidade) {
    const Superficie s = Rasterizar(pagina, dpi);
    qualidade = qualidade < 1 ? 1 : qualidade > 100 ? 100 : qualidade;
    DestinoJpeg destino{};
    char mensagem[JMSG_LENGTH_MAX] = {};
    const bool ok = CodificarJpeg(s.get(), dpi, qualidade, &destino, mensagem);
    std::string r;
    if (ok) r.assign(reinterpret_cast<const char*>(destino.dados), destino.capacidade - destino.base.free_in_buffer);
    std::free(destino.dados);
    if (!ok) throw Falha(std::string("Erro ao gerar o JPEG: ") + mensagem);
    return r;
}

void EscreverJpeg(const report::Pagina& pagina, const std::string& caminho, int dpi, int qualidade) {
    const std::string jpeg = GerarJpeg(pagina, dpi, qualidade);
    ArquivoAtomico arquivo(caminho);
    if (!arquivo.Escrever(jpeg.data(), jpeg.size())) arquivo.Falhar();
    arquivo.Concluir();
}

}  // namespace corvexa::render
