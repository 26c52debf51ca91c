#pragma once
// Metafiles written record by record, for the tests and the fuzzing seeds.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace amostras {

using Bytes = std::vector<uint8_t>;

inline void U16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void U32(Bytes& b, uint32_t v) {
    U16(b, v & 0xFFFF);
    U16(b, v >> 16);
}
inline uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return r | g << 8 | b << 16; }

// A packed DIB (BITMAPINFOHEADER, colour table, rows) of `bits` per pixel.
// `pixels` are 0xRRGGBB, top row first; for 1, 4 and 8 bits they are looked
// up in `paleta`. `deCimaParaBaixo` stores the rows top row first.
inline Bytes Dib(int largura, int altura, int bits, const std::vector<uint32_t>& pixels,
                 const std::vector<uint32_t>& paleta = {}, bool deCimaParaBaixo = false) {
    Bytes b;
    U32(b, 40);
    U32(b, static_cast<uint32_t>(largura));
    U32(b, static_cast<uint32_t>(deCimaParaBaixo ? -altura : altura));
    U16(b, 1);
    U16(b, static_cast<uint32_t>(bits));
    U32(b, 0);  // BI_RGB
    U32(b, 0);
    U32(b, 2835);
    U32(b, 2835);
    U32(b, static_cast<uint32_t>(paleta.size()));
    U32(b, 0);
    for (uint32_t c : paleta) U32(b, c & 0xFFFFFF);
    const size_t passo = (static_cast<size_t>(largura) * bits + 31) / 32 * 4;
    for (int linha = 0; linha < altura; ++linha) {
        const int y = deCimaParaBaixo ? linha : altura - 1 - linha;
        Bytes l(passo, 0);
        for (int x = 0; x < largura; ++x) {
            const uint32_t c = pixels[static_cast<size_t>(y) * largura + x];
            auto indice = [&] {
                for (size_t i = 0; i < paleta.size(); ++i)
                    if ((paleta[i] & 0xFFFFFF) == c) return static_cast<uint32_t>(i);
                return 0u;
            };
            switch (bits) {
                case 1: l[x / 8] |= static_cast<uint8_t>(indice() << (7 - x % 8)); break;
                case 4: l[x / 2] |= static_cast<uint8_t>(indice() << (x % 2 ? 0 : 4)); break;
                case 8: l[x] = static_cast<uint8_t>(indice()); break;
                case 24:
                    l[3 * x] = c & 0xFF, l[3 * x + 1] = c >> 8 & 0xFF, l[3 * x + 2] = c >> 16 & 0xFF;
                    break;
                case 32:
                    l[4 * x] = c & 0xFF, l[4 * x + 1] = c >> 8 & 0xFF, l[4 * x + 2] = c >> 16 & 0xFF;
                    l[4 * x + 3] = 0xFF;
                    break;
            }
        }
        b.insert(b.end(), l.begin(), l.end());
    }
    return b;
}

// A Windows metafile: records of 16-bit words, parameters last argument first.
class Wmf {
public:
    // A record from its parameter words.
    Wmf& R(uint16_t funcao, std::initializer_list<int> palavras) {
        Bytes p;
        for (int w : palavras) U16(p, static_cast<uint32_t>(w));
        return Bruto(funcao, p);
    }
    // A record from its parameter bytes (padded to whole words).
    Wmf& Bruto(uint16_t funcao, Bytes p) {
        if (p.size() % 2) p.push_back(0);
        Bytes r;
        U32(r, static_cast<uint32_t>(3 + p.size() / 2));
        U16(r, funcao);
        r.insert(r.end(), p.begin(), p.end());
        registros_.push_back(std::move(r));
        return *this;
    }

    Wmf& JanelaOrg(int x, int y) { return R(0x020B, {y, x}); }
    Wmf& JanelaExt(int w, int h) { return R(0x020C, {h, w}); }
    Wmf& ModoMapa(int m) { return R(0x0103, {m}); }
    Wmf& ModoFundo(int m) { return R(0x0102, {m}); }
    Wmf& Pincel(uint32_t cor, int estilo = 0) {
        return R(0x02FC, {estilo, static_cast<int>(cor & 0xFFFF), static_cast<int>(cor >> 16), 0});
    }
    Wmf& Caneta(uint32_t cor, int largura = 0, int estilo = 0) {
        return R(0x02FA, {estilo, largura, 0, static_cast<int>(cor & 0xFFFF), static_cast<int>(cor >> 16)});
    }
    Wmf& Fonte(int altura, int peso, std::string_view face, int conjunto = 0) {
        Bytes p;
        for (int v : {altura, 0, 0, 0, peso}) U16(p, static_cast<uint32_t>(v));
        p.push_back(0), p.push_back(0), p.push_back(0), p.push_back(static_cast<uint8_t>(conjunto));
        p.push_back(0), p.push_back(0), p.push_back(0), p.push_back(0);
        p.insert(p.end(), face.begin(), face.end());
        p.push_back(0);
        return Bruto(0x02FB, p);
    }
    Wmf& Selecionar(int i) { return R(0x012D, {i}); }
    Wmf& Apagar(int i) { return R(0x01F0, {i}); }
    Wmf& Poligono(const std::vector<std::pair<int, int>>& pts) {
        Bytes p;
        U16(p, static_cast<uint32_t>(pts.size()));
        for (auto [x, y] : pts) U16(p, static_cast<uint32_t>(x)), U16(p, static_cast<uint32_t>(y));
        return Bruto(0x0324, p);
    }
    Wmf& Retangulo(int l, int t, int r, int b) { return R(0x041B, {b, r, t, l}); }
    Wmf& Elipse(int l, int t, int r, int b) { return R(0x0418, {b, r, t, l}); }
    Wmf& AlinhamentoTexto(int a) { return R(0x012E, {a}); }
    Wmf& CorTexto(uint32_t c) { return R(0x0209, {static_cast<int>(c & 0xFFFF), static_cast<int>(c >> 16)}); }
    Wmf& Texto(int x, int y, std::string_view s) {
        Bytes p;
        U16(p, static_cast<uint32_t>(s.size()));
        p.insert(p.end(), s.begin(), s.end());
        if (s.size() % 2) p.push_back(0);
        U16(p, static_cast<uint32_t>(y));
        U16(p, static_cast<uint32_t>(x));
        return Bruto(0x0521, p);
    }
    // StretchDIBits of a whole packed DIB onto a destination rectangle.
    Wmf& StretchDib(int x, int y, int w, int h, const Bytes& dib, int dibLargura, int dibAltura) {
        Bytes p;
        U32(p, 0x00CC0020);
        U16(p, 0);  // DIB_RGB_COLORS
        for (int v : {dibAltura, dibLargura, 0, 0, h, w, y, x}) U16(p, static_cast<uint32_t>(v));
        p.insert(p.end(), dib.begin(), dib.end());
        return Bruto(0x0F43, p);
    }

    // The file: an optional placeable header with the box (left, top,
    // right, bottom) and units per inch, the metafile header, the records
    // and the end record.
    Bytes Arquivo(bool posicionavel = true, int l = 0, int t = 0, int r = 1000, int b = 1000, int polegada = 1000,
                  bool fim = true) const {
        Bytes f;
        if (posicionavel) {
            U32(f, 0x9AC6CDD7);
            U16(f, 0);
            for (int v : {l, t, r, b}) U16(f, static_cast<uint32_t>(v));
            U16(f, static_cast<uint32_t>(polegada));
            U32(f, 0);
            uint16_t soma = 0;
            for (size_t i = 0; i < 20; i += 2) soma ^= static_cast<uint16_t>(f[i] | f[i + 1] << 8);
            U16(f, soma);
        }
        size_t palavras = 9, maior = 3;
        for (const auto& r : registros_) palavras += r.size() / 2, maior = std::max(maior, r.size() / 2);
        if (fim) palavras += 3;
        U16(f, 1);
        U16(f, 9);
        U16(f, 0x0300);
        U32(f, static_cast<uint32_t>(palavras));
        U16(f, 16);  // objects
        U32(f, static_cast<uint32_t>(maior));
        U16(f, 0);
        for (const auto& r : registros_) f.insert(f.end(), r.begin(), r.end());
        if (fim) U32(f, 3), U16(f, 0);
        return f;
    }

private:
    std::vector<Bytes> registros_;
};

// An enhanced metafile: records of 32-bit fields, the header written last.
class Emf {
public:
    Emf& R(uint32_t tipo, std::initializer_list<int64_t> campos) {
        Bytes p;
        for (int64_t v : campos) U32(p, static_cast<uint32_t>(v));
        return Bruto(tipo, p);
    }
    Emf& Bruto(uint32_t tipo, Bytes p) {
        while (p.size() % 4) p.push_back(0);
        Bytes r;
        U32(r, tipo);
        U32(r, static_cast<uint32_t>(8 + p.size()));
        r.insert(r.end(), p.begin(), p.end());
        registros_.push_back(std::move(r));
        return *this;
    }

    Emf& ModoMapa(int m) { return R(17, {m}); }
    Emf& JanelaExt(int w, int h) { return R(9, {w, h}); }
    Emf& JanelaOrg(int x, int y) { return R(10, {x, y}); }
    Emf& VisorExt(int w, int h) { return R(11, {w, h}); }
    Emf& VisorOrg(int x, int y) { return R(12, {x, y}); }
    Emf& ModoFundo(int m) { return R(18, {m}); }
    Emf& ModoPreenchimento(int m) { return R(19, {m}); }
    Emf& Pincel(int i, uint32_t cor, int estilo = 0) { return R(39, {i, estilo, cor, 0}); }
    Emf& Caneta(int i, uint32_t cor, int largura = 0, int estilo = 0) { return R(38, {i, estilo, largura, 0, cor}); }
    Emf& Fonte(int i, int altura, int peso, std::u16string_view face, int conjunto = 0) {
        Bytes p;
        for (int v : {i, altura, 0, 0, 0, peso}) U32(p, static_cast<uint32_t>(v));
        p.push_back(0), p.push_back(0), p.push_back(0), p.push_back(static_cast<uint8_t>(conjunto));
        U32(p, 0);
        for (size_t k = 0; k < 32; ++k) U16(p, k < face.size() ? face[k] : 0);
        return Bruto(82, p);
    }
    Emf& Selecionar(uint32_t i) { return R(37, {i}); }
    Emf& Apagar(uint32_t i) { return R(40, {i}); }
    Emf& Salvar() { return R(33, {}); }
    Emf& Restaurar(int n) { return R(34, {n}); }
    Emf& Poligono16(const std::vector<std::pair<int, int>>& pts) {
        Bytes p;
        for (int i = 0; i < 4; ++i) U32(p, 0);  // bounds
        U32(p, static_cast<uint32_t>(pts.size()));
        for (auto [x, y] : pts) U16(p, static_cast<uint32_t>(x)), U16(p, static_cast<uint32_t>(y));
        return Bruto(86, p);
    }
    Emf& Poligono(const std::vector<std::pair<int, int>>& pts) {
        Bytes p;
        for (int i = 0; i < 4; ++i) U32(p, 0);
        U32(p, static_cast<uint32_t>(pts.size()));
        for (auto [x, y] : pts) U32(p, static_cast<uint32_t>(x)), U32(p, static_cast<uint32_t>(y));
        return Bruto(3, p);
    }
    Emf& Retangulo(int l, int t, int r, int b) { return R(43, {l, t, r, b}); }
    Emf& Elipse(int l, int t, int r, int b) { return R(42, {l, t, r, b}); }
    Emf& AlinhamentoTexto(int a) { return R(22, {a}); }
    Emf& CorTexto(uint32_t c) { return R(24, {c}); }
    Emf& IniciarCaminho() { return R(59, {}); }
    Emf& TerminarCaminho() { return R(60, {}); }
    Emf& PreencherCaminho() { return R(62, {0, 0, 0, 0}); }
    // ExtTextOutW; `dx` the advances of the characters, or empty.
    Emf& Texto(int x, int y, std::u16string_view s, const std::vector<int>& dx = {}) {
        Bytes p;
        for (int i = 0; i < 4; ++i) U32(p, 0);  // bounds
        U32(p, 1);                              // GM_COMPATIBLE
        U32(p, 0), U32(p, 0);                   // scales
        U32(p, static_cast<uint32_t>(x)), U32(p, static_cast<uint32_t>(y));
        U32(p, static_cast<uint32_t>(s.size()));
        const uint32_t offString = 76;
        U32(p, offString);
        U32(p, 0);                              // options
        for (int i = 0; i < 4; ++i) U32(p, 0);  // rectangle
        U32(p, dx.empty() ? 0 : offString + static_cast<uint32_t>((s.size() * 2 + 3) / 4 * 4));
        for (char16_t c : s) U16(p, c);
        while ((p.size() + 8) % 4) p.push_back(0);
        for (int a : dx) U32(p, static_cast<uint32_t>(a));
        return Bruto(84, p);
    }
    // StretchDIBits of a whole DIB onto a destination rectangle.
    Emf& StretchDib(int x, int y, int w, int h, const Bytes& dib, int dibLargura, int dibAltura,
                    uint32_t rop = 0x00CC0020) {
        Bytes p;
        for (int i = 0; i < 4; ++i) U32(p, 0);
        for (int v : {x, y, 0, 0, dibLargura, dibAltura}) U32(p, static_cast<uint32_t>(v));
        // Colour table entries between header and rows belong to the info part.
        const uint32_t cores = dib[32] | dib[33] << 8;
        const uint32_t cbBmi = 40 + cores * 4, cbBits = static_cast<uint32_t>(dib.size()) - cbBmi;
        U32(p, 80), U32(p, cbBmi), U32(p, 80 + cbBmi), U32(p, cbBits);
        U32(p, 0);  // DIB_RGB_COLORS
        U32(p, rop);
        U32(p, static_cast<uint32_t>(w)), U32(p, static_cast<uint32_t>(h));
        p.insert(p.end(), dib.begin(), dib.end());
        return Bruto(81, p);
    }

    // The file: header with the bounds (pixels) and the frame (hundredths of
    // a millimetre) of a reference device of 1000 x 1000 pixels over
    // 100 x 100 mm, then the records and the end record.
    Bytes Arquivo(int l = 0, int t = 0, int r = 1000, int b = 1000, bool fim = true) const {
        Bytes f;
        U32(f, 1);
        U32(f, 88);
        for (int v : {l, t, r - 1, b - 1}) U32(f, static_cast<uint32_t>(v));
        for (int v : {l * 10, t * 10, r * 10, b * 10}) U32(f, static_cast<uint32_t>(v));
        U32(f, 0x464D4520);
        U32(f, 0x10000);
        const size_t inicioTamanho = f.size();
        U32(f, 0);  // bytes, set below
        U32(f, static_cast<uint32_t>(registros_.size() + 2));
        U16(f, 16), U16(f, 0);
        U32(f, 0), U32(f, 0), U32(f, 0);
        U32(f, 1000), U32(f, 1000), U32(f, 100), U32(f, 100);
        for (const auto& r : registros_) f.insert(f.end(), r.begin(), r.end());
        if (fim) U32(f, 14), U32(f, 20), U32(f, 0), U32(f, 16), U32(f, 20);
        const auto n = static_cast<uint32_t>(f.size());
        for (int i = 0; i < 4; ++i) f[inicioTamanho + i] = static_cast<uint8_t>(n >> (8 * i));
        return f;
    }

private:
    std::vector<Bytes> registros_;
};

// The logo the tests draw, in both kinds, on a picture of 1000 x 1000
// units: a red square top left, a blue ellipse top right, a line of black
// text along the bottom left and a green 24-bit bitmap bottom right.
constexpr uint32_t kVermelho = 0x0000FF, kAzul = 0xFF0000, kVerde = 0x00C000;

inline Bytes BitmapVerde() { return Dib(2, 2, 24, {0x00C000, 0x00C000, 0x00C000, 0x00C000}); }

inline Bytes LogoWmf() {
    Wmf w;
    w.ModoMapa(8).JanelaOrg(0, 0).JanelaExt(1000, 1000).ModoFundo(1);
    w.Pincel(kVermelho).Caneta(kVermelho).Selecionar(0).Selecionar(1);  // brush 0, pen 1
    w.Poligono({{50, 50}, {450, 50}, {450, 450}, {50, 450}});
    w.Pincel(kAzul).Selecionar(2).Elipse(550, 50, 950, 450);
    w.Fonte(-200, 700, "Arial").Selecionar(3).CorTexto(0).AlinhamentoTexto(24);  // baseline
    w.Texto(50, 900, "LOGO");
    w.StretchDib(550, 550, 400, 400, BitmapVerde(), 2, 2);
    return w.Arquivo();
}

inline Bytes LogoEmf() {
    Emf e;
    e.ModoFundo(1);
    e.Pincel(1, kVermelho).Caneta(2, kVermelho).Selecionar(1).Selecionar(2);
    e.Poligono16({{50, 50}, {450, 50}, {450, 450}, {50, 450}});
    e.Pincel(3, kAzul).Selecionar(3).Elipse(550, 50, 950, 450);
    e.Fonte(4, -200, 700, u"Arial").Selecionar(4).CorTexto(0).AlinhamentoTexto(24);
    e.Texto(50, 900, u"LOGO");
    e.StretchDib(550, 550, 400, 400, BitmapVerde(), 2, 2);
    return e.Arquivo();
}

}  // namespace amostras
