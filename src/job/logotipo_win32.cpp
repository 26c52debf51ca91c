#include "job/logotipo.h"

#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>

#include "base/falha.h"
#include "base/limites.h"
#include "base/texto.h"

// Windows: the pictures are decoded by GDI+, a part of the system. GDI+
// guesses the format from the bytes, so the signature of `tipo` is checked
// first: a file decodes only as the kind its extension names.
namespace corvexa::job {
namespace {

namespace gp = Gdiplus::DllExports;

// Started once for the process, never shut down (GdiplusShutdown must not run
// while the library is being unloaded).
bool IniciarGdiPlus() {
    static std::once_flag uma;
    static bool pronto = false;
    std::call_once(uma, [] {
        Gdiplus::GdiplusStartupInput entrada;
        ULONG_PTR token = 0;
        pronto = Gdiplus::GdiplusStartup(&token, &entrada, nullptr) == Gdiplus::Ok;
    });
    return pronto;
}

bool AssinaturaConfere(std::string_view b, std::string_view tipo) {
    auto comeca = [&](std::string_view s) { return b.substr(0, s.size()) == s; };
    if (tipo == "bmp") return comeca("BM");
    if (tipo == "ico") return comeca(std::string_view("\0\0\1\0", 4));
    if (tipo == "png") return comeca("\x89PNG\r\n\x1a\n");
    if (tipo == "jpeg") return comeca("\xFF\xD8");
    return false;
}

struct Liberar {
    void operator()(IStream* s) const { s->Release(); }
    void operator()(Gdiplus::GpImage* i) const { gp::GdipDisposeImage(i); }
};

std::shared_ptr<const report::Imagem> Decodificar(std::string_view bytes, std::string_view tipo,
                                                  const std::string& prefixo) {
    auto falha = [&](const std::string& motivo) { return Falha(prefixo + " (" + motivo + ")"); };
    if (tipo != "bmp" && tipo != "ico" && tipo != "png" && tipo != "jpeg") throw falha("tipo de imagem desconhecido");
    if (!AssinaturaConfere(bytes, tipo)) throw falha("o conteúdo não é de um arquivo " + std::string(tipo));
    auto grande = [&](int64_t largura, int64_t altura) {
        return falha("imagem de " + std::to_string(largura) + " x " + std::to_string(altura) + " pixels; o máximo é " +
                     std::to_string(kMaiorLadoLogo) + " por lado");
    };
    auto demais = [](int64_t largura, int64_t altura) {
        return largura > kMaiorLadoLogo || altura > kMaiorLadoLogo || largura * altura > limites::kPixelsLogo;
    };
    // A forged BMP header of a few bytes must not make the decoder reserve
    // its rows: the sides are checked before GDI+ sees the file.
    if (tipo == "bmp" && bytes.size() >= 26) {
        const auto u = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])); };
        const auto palavra = [&](size_t i) { return u(i) | u(i + 1) << 8; };
        const auto dupla = [&](size_t i) { return static_cast<int32_t>(palavra(i) | palavra(i + 2) << 16); };
        const bool os2 = dupla(14) == 12;  // the old OS/2 header: 16-bit sides
        int64_t largura = os2 ? palavra(18) : dupla(18), altura = os2 ? palavra(20) : dupla(22);
        if (largura < 0) largura = -largura;
        if (altura < 0) altura = -altura;
        if (demais(largura, altura)) throw grande(largura, altura);
    }
    if (!IniciarGdiPlus()) throw falha("GDI+ não pôde ser iniciado");
    if (bytes.size() > 0x7FFFFFFF) throw falha("arquivo grande demais");

    std::unique_ptr<IStream, Liberar> fluxo(
        SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
    if (!fluxo) throw falha("memória insuficiente");
    Gdiplus::GpBitmap* bmp = nullptr;
    if (gp::GdipCreateBitmapFromStream(fluxo.get(), &bmp) != Gdiplus::Ok || !bmp) throw falha("formato não reconhecido");
    std::unique_ptr<Gdiplus::GpImage, Liberar> imagem(bmp);

    // The header is read; the pixels are decoded only by LockBits below.
    UINT largura = 0, altura = 0;
    gp::GdipGetImageWidth(imagem.get(), &largura);
    gp::GdipGetImageHeight(imagem.get(), &altura);
    if (largura < 1 || altura < 1) throw falha("arquivo sem imagem");
    if (demais(largura, altura)) throw grande(largura, altura);

    auto img = std::make_shared<report::Imagem>();
    img->largura = static_cast<int>(largura);
    img->altura = static_cast<int>(altura);
    img->pixels.resize(static_cast<size_t>(largura) * altura);
    // Premultiplied 32-bit ARGB straight into our buffer: the devices' format.
    Gdiplus::BitmapData dados{};
    dados.Width = largura;
    dados.Height = altura;
    dados.Stride = static_cast<INT>(largura * 4);
    dados.PixelFormat = PixelFormat32bppPARGB;
    dados.Scan0 = img->pixels.data();
    const Gdiplus::GpRect area(0, 0, static_cast<INT>(largura), static_cast<INT>(altura));
    if (gp::GdipBitmapLockBits(bmp, &area, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                               PixelFormat32bppPARGB, &dados) != Gdiplus::Ok)
        throw falha("imagem danificada");
    gp::GdipBitmapUnlockBits(bmp, &dados);
    return img;
}

std::string Prefixo(const std::string& nome) {
    return "Arquivo do logotipo inválido: " + (texto::EhUtf8Valido(nome) ? nome : texto::AnsiParaUtf8(nome));
}

}  // namespace

std::shared_ptr<const report::Imagem> CarregarImagemLogo(const std::string& caminho, std::string_view tipo) {
    const std::string prefixo = Prefixo(caminho);
    auto falha = [&](const std::string& motivo) { return Falha(prefixo + " (" + motivo + ")"); };
    std::error_code erro;
    if (!std::filesystem::is_regular_file(caminho, erro)) throw falha("não é um arquivo comum");
    const auto tamanho = std::filesystem::file_size(caminho, erro);
    // A logo of over 64 MB is no logo (and GDI+ would hold it all in memory).
    if (erro || tamanho > 64u * 1024 * 1024) throw falha(erro ? "não foi possível ler o arquivo" : "arquivo grande demais");
    std::ifstream f(caminho, std::ios::binary);
    if (!f) throw falha("não foi possível abrir o arquivo");
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (f.bad()) throw falha("erro de leitura");
    return Decodificar(bytes, tipo, prefixo);
}

std::shared_ptr<const report::Imagem> DecodificarImagemLogo(std::string_view bytes, std::string_view tipo,
                                                            std::string_view nome) {
    return Decodificar(bytes, tipo, Prefixo(std::string(nome)));
}

}  // namespace corvexa::job
