#include "render/pdf_direto.h"

#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>
#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"
#include "fontes/faces.h"

namespace corvexa::render {
namespace {

using report::Caixa;
using report::Mm;

constexpr int64_t kContorno = 265;               // 0.75 pt, the outline of shapes
constexpr double kKappa = 0.5522847498307936;    // Bézier control distance of a quarter circle
constexpr int kFaces = 6;                        // three families, regular and bold
// zlib levels (libdeflate's scale): page content is compressed for every
// document, so fast; fonts and pictures are compressed once and cached.
constexpr int kNivelConteudo = 1;
constexpr int kNivelFonte = 6;
constexpr int kNivelImagem = 6;

// ---------------------------------------------------------------- numbers

void Inteiro(std::string& s, int64_t v) {
    char b[24];
    const auto r = std::to_chars(b, b + sizeof b, v);
    s.append(b, r.ptr);
}

// `v` / 10^casas, without trailing zeros in the fraction.
void Decimal(std::string& s, int64_t v, int casas) {
    static constexpr int64_t kPotencia[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    if (v < 0) {
        s += '-';
        v = -v;
    }
    Inteiro(s, v / kPotencia[casas]);
    int64_t f = v % kPotencia[casas];
    if (f == 0) return;
    char d[8];
    for (int k = casas - 1; k >= 0; --k, f /= 10) d[k] = static_cast<char>('0' + f % 10);
    int n = casas;
    while (d[n - 1] == '0') --n;
    s += '.';
    s.append(d, n);
}

void Real(std::string& s, double v, int casas) {
    static constexpr double kPotencia[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    Decimal(s, std::llround(v * kPotencia[casas]), casas);
}

// Thousandths of an em (PDF glyph space) of a length in font units.
void Milesimos(std::string& s, int64_t unidades, int unidadesPorEm) {
    Real(s, static_cast<double>(unidades) * 1000.0 / unidadesPorEm, 3);
}

const char kHex[] = "0123456789ABCDEF";

void Hex4(std::string& s, uint32_t v) {
    const char c[4] = {kHex[(v >> 12) & 15], kHex[(v >> 8) & 15], kHex[(v >> 4) & 15], kHex[v & 15]};
    s.append(c, 4);
}

// ------------------------------------------------------------ compression

// A growing byte buffer written through a raw pointer: each item reserves
// room for its longest output once, then writes without further checks.
// Growing copies what was written; the rest is never cleared.
class Buffer {
public:
    void Limpar() { usado_ = 0; }
    char* Reservar(size_t n) {
        if (capacidade_ - usado_ < n) Crescer(n);
        return dados_.get() + usado_;
    }
    void Confirmar(const char* p) { usado_ = static_cast<size_t>(p - dados_.get()); }
    std::string_view Vista() const { return {dados_.get(), usado_}; }
    size_t Capacidade() const { return capacidade_; }
    void Liberar() {
        dados_.reset();
        capacidade_ = usado_ = 0;
    }

private:
    void Crescer(size_t n) {
        const size_t nova = std::max(capacidade_ * 2, usado_ + n + 65536);
        std::unique_ptr<char[]> d(new char[nova]);
        if (usado_) std::memcpy(d.get(), dados_.get(), usado_);
        dados_ = std::move(d);
        capacidade_ = nova;
    }

    std::unique_ptr<char[]> dados_;
    size_t capacidade_ = 0, usado_ = 0;
};

// What writing a document needs besides its output: compressors (dear to
// make, more than compressing a page) and the buffers of a page's content,
// compressed and not. Kept for later documents in a pool that threads share;
// no thread-local objects here, their destructors would keep the library
// from unloading.
struct Rascunho {
    libdeflate_compressor* c[13] = {};
    Buffer conteudo;    // a page's content stream
    Buffer comprimido;  // the output of a compression
    std::string ansi;   // a text converted to the code page

    Rascunho() = default;
    Rascunho(const Rascunho&) = delete;
    Rascunho& operator=(const Rascunho&) = delete;
    ~Rascunho() {
        for (auto* p : c)
            if (p) libdeflate_free_compressor(p);
    }
};

class PoolRascunhos {
public:
    std::unique_ptr<Rascunho> Tomar() {
        std::lock_guard trava(m_);
        if (livres_.empty()) return std::make_unique<Rascunho>();
        auto r = std::move(livres_.back());
        livres_.pop_back();
        return r;
    }
    void Devolver(std::unique_ptr<Rascunho> r) {
        // A buffer that one huge document grew is not kept for the next.
        constexpr size_t kGuardar = 8 << 20;
        if (r->conteudo.Capacidade() > kGuardar) r->conteudo.Liberar();
        if (r->comprimido.Capacidade() > kGuardar) r->comprimido.Liberar();
        if (r->ansi.capacity() > 65536) std::string().swap(r->ansi);
        std::lock_guard trava(m_);
        livres_.push_back(std::move(r));
    }

private:
    std::mutex m_;
    std::vector<std::unique_ptr<Rascunho>> livres_;
};

PoolRascunhos& Rascunhos() {
    static PoolRascunhos pool;
    return pool;
}

// A scratch object taken from the pool for as long as this lives.
struct Emprestimo {
    std::unique_ptr<Rascunho> r = Rascunhos().Tomar();
    Emprestimo() = default;
    Emprestimo(const Emprestimo&) = delete;
    Emprestimo& operator=(const Emprestimo&) = delete;
    ~Emprestimo() { Rascunhos().Devolver(std::move(r)); }
    Rascunho* operator->() const { return r.get(); }
};

// A zlib stream (FlateDecode) of `dados`, in `r.comprimido`: valid until
// the next compression with `r`.
std::string_view Comprimir(Rascunho& r, std::string_view dados, int nivel) {
    libdeflate_compressor*& c = r.c[nivel];
    if (!c && !(c = libdeflate_alloc_compressor(nivel))) throw Falha("Memória insuficiente para gerar o PDF");
    const size_t limite = libdeflate_zlib_compress_bound(c, dados.size());
    r.comprimido.Limpar();
    char* destino = r.comprimido.Reservar(limite);
    const size_t n = libdeflate_zlib_compress(c, dados.data(), dados.size(), destino, limite);
    if (n == 0) throw Falha("Erro ao compactar o PDF");
    return {destino, n};
}

// The same as a string of its own, for what is kept across documents.
std::string Comprimir(std::string_view dados, int nivel) {
    Emprestimo e;
    return std::string(Comprimir(*e.r, dados, nivel));
}

// ------------------------------------------------------------------ fonts

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
int16_t I16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }
uint32_t U32(const uint8_t* p) { return uint32_t{U16(p)} << 16 | U16(p + 2); }

// A table of the face, or an empty view when it is missing or short.
struct Tabela {
    hb_blob_t* blob;
    const uint8_t* dados = nullptr;
    unsigned tamanho = 0;
    Tabela(hb_face_t* face, hb_tag_t tag) : blob(hb_face_reference_table(face, tag)) {
        dados = reinterpret_cast<const uint8_t*>(hb_blob_get_data(blob, &tamanho));
    }
    ~Tabela() { hb_blob_destroy(blob); }
    Tabela(const Tabela&) = delete;
    Tabela& operator=(const Tabela&) = delete;
    bool Tem(unsigned n) const { return dados && tamanho >= n; }
};

// What a font file gives every document: the face prepared for subsetting,
// the glyph of each code-page character with its advance, code and Unicode
// value, and the font descriptor's entries.
struct FonteBase {
    hb_face_t* preparada = nullptr;  // the subsetter's input; lives as long as the process
    std::string nome;                // PostScript name, safe as a PDF name
    std::string descritor;           // /Flags ... /StemV of the descriptor
    int unidadesPorEm = 2048;
    std::array<uint16_t, 256> glifo{};
    std::array<uint16_t, 256> avanco{};
    // The glyph id as it goes into a literal string: two bytes, big-endian,
    // with the string's delimiters, backslash and end-of-line bytes escaped.
    std::array<std::array<char, 4>, 256> codigo{};
    std::array<uint8_t, 256> tamanhoCodigo{};
    // The character a glyph stands for in extracted text: the first
    // code-page character drawn with it (space rather than no-break space).
    std::array<char32_t, 256> unicode{};
    // The box of each glyph's outline in font units, y up from the
    // baseline and x from the pen: xMin, yMin, xMax, yMax. Empty (xMin >
    // xMax) for a glyph that draws nothing.
    std::array<std::array<int32_t, 4>, 256> tinta{};
};

std::string NomePdf(hb_face_t* face) {
    char buf[128];
    unsigned n = sizeof buf;
    hb_ot_name_get_utf8(face, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &n, buf);
    std::string nome;
    for (unsigned i = 0; i < n && buf[i]; ++i) {
        const char c = buf[i];
        if (c > 0x20 && c < 0x7F && !std::strchr("()<>[]{}/%#", c)) nome += c;
    }
    return nome.empty() ? "Fonte" : nome;
}

void CarregarBase(const fontes::Face& face, FonteBase& b) {
    hb_blob_t* blob = hb_blob_create_from_file_or_fail(face.arquivo.c_str());
    if (!blob) throw Falha(Formatar("Fonte ilegível: %s", face.arquivo));
    hb_face_t* original = hb_face_create(blob, 0);
    hb_blob_destroy(blob);
    b.unidadesPorEm = face.unidadesPorEm > 0 ? face.unidadesPorEm : 2048;
    b.nome = NomePdf(original);

    int xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    if (Tabela head(original, HB_TAG('h', 'e', 'a', 'd')); head.Tem(54)) {
        xMin = I16(head.dados + 36), yMin = I16(head.dados + 38);
        xMax = I16(head.dados + 40), yMax = I16(head.dados + 42);
    }
    double italico = 0;
    bool fixa = false;
    if (Tabela post(original, HB_TAG('p', 'o', 's', 't')); post.Tem(16)) {
        italico = static_cast<int32_t>(U32(post.dados + 4)) / 65536.0;
        fixa = U32(post.dados + 12) != 0;
    }
    int64_t altMaiusculas = face.ascendente;
    if (Tabela os2(original, HB_TAG('O', 'S', '/', '2')); os2.Tem(90) && U16(os2.dados) >= 2)
        altMaiusculas = I16(os2.dados + 88);

    std::string& d = b.descritor;
    d = "/Flags ";
    Inteiro(d, fixa ? 33 : 32);  // nonsymbolic, and fixed pitch
    d += "/FontBBox[";
    for (int v : {xMin, yMin, xMax, yMax}) {
        Inteiro(d, static_cast<int64_t>(std::lround(v * 1000.0 / b.unidadesPorEm)));
        d += ' ';
    }
    d.back() = ']';
    d += "/ItalicAngle ";
    Real(d, italico, 2);
    d += "/Ascent ";
    Milesimos(d, face.ascendente, b.unidadesPorEm);
    d += "/Descent ";
    Milesimos(d, -int64_t{face.descendente}, b.unidadesPorEm);
    d += "/CapHeight ";
    Milesimos(d, altMaiusculas, b.unidadesPorEm);
    d += "/StemV 80";

    for (int c = 0; c < 256; ++c) {
        const uint32_t g = face.glifo[c] > 0xFFFF ? 0 : face.glifo[c];
        b.glifo[c] = static_cast<uint16_t>(g);
        b.avanco[c] = face.avanco[c];
        int n = 0;
        for (const unsigned byte : {g >> 8, g & 255}) {
            char* cod = b.codigo[c].data();
            if (byte == '(' || byte == ')' || byte == '\\') {
                cod[n++] = '\\';
                cod[n++] = static_cast<char>(byte);
            } else if (byte == '\r' || byte == '\n') {
                cod[n++] = '\\';
                cod[n++] = byte == '\r' ? 'r' : 'n';
            } else {
                cod[n++] = static_cast<char>(byte);
            }
        }
        b.tamanhoCodigo[c] = static_cast<uint8_t>(n);
    }
    for (int c = 0; c < 256; ++c) {
        const char32_t u = texto::AnsiParaUnicode(static_cast<unsigned char>(c));
        b.unicode[c] = u;
        for (int k = 0; k < c; ++k)
            if (b.glifo[k] == b.glifo[c]) {
                b.unicode[c] = b.unicode[k];
                break;
            }
    }

    hb_font_t* fonte = hb_font_create(original);  // scaled in font units
    for (int c = 0; c < 256; ++c) {
        hb_glyph_extents_t x{};
        if (b.glifo[c] != 0 && hb_font_get_glyph_extents(fonte, b.glifo[c], &x) && x.width != 0 && x.height != 0)
            b.tinta[c] = {std::min(x.x_bearing, x.x_bearing + x.width), std::min(x.y_bearing, x.y_bearing + x.height),
                          std::max(x.x_bearing, x.x_bearing + x.width), std::max(x.y_bearing, x.y_bearing + x.height)};
        else
            b.tinta[c] = {1, 1, 0, 0};
    }
    hb_font_destroy(fonte);

    // Kept as it is: preparing the face for many subsets costs a whole subset
    // of the font, and a process makes only a few subsets of each face.
    if (original == hb_face_get_empty() || hb_face_get_glyph_count(original) == 0) {
        hb_face_destroy(original);
        throw Falha(Formatar("Fonte ilegível: %s", face.arquivo));
    }
    b.preparada = original;
}

// The faces, each made on its first use: a document pays only for those it
// draws. A failure leaves the face unmade, so a later document tries again.
class FontesBase {
public:
    static FontesBase& Instancia() {
        static FontesBase* f = new FontesBase();
        return *f;
    }
    const FonteBase& Face(int i) {
        std::call_once(prontas_[i], [&] {
            CarregarBase(fontes::FaceDe({static_cast<fontes::Familia>(i / 2), 8, i % 2 == 1}), faces_[i]);
        });
        return faces_[i];
    }

private:
    FonteBase faces_[kFaces];
    std::once_flag prontas_[kFaces];
};

int IndiceFace(const fontes::Fonte& f) {
    const int familia = static_cast<int>(f.familia);
    return (familia >= 0 && familia < 3 ? familia : 0) * 2 + (f.negrito ? 1 : 0);
}

// The code-page characters a document draws in one face.
using Usados = std::array<uint64_t, 4>;

// A face's subset for one set of glyphs, ready to be written.
struct Subconjunto {
    std::string nome;         // "ABCDEF+Name"
    std::string programa;     // the TrueType file, compressed
    size_t tamanho = 0;       // uncompressed size of the file
    std::string larguras;     // the /W array
    std::string paraUnicode;  // the ToUnicode CMap, compressed
};

struct DestruirEntrada {
    void operator()(hb_subset_input_t* p) const { hb_subset_input_destroy(p); }
};
struct DestruirFace {
    void operator()(hb_face_t* p) const { hb_face_destroy(p); }
};
struct DestruirBlob {
    void operator()(hb_blob_t* p) const { hb_blob_destroy(p); }
};

std::shared_ptr<const Subconjunto> CriarSubconjunto(const FonteBase& b, const Usados& usados) {
    // The glyphs, each once, in order, with the character each stands for.
    std::vector<std::pair<uint16_t, unsigned char>> glifos;
    for (int c = 0; c < 256; ++c)
        if ((usados[c >> 6] >> (c & 63) & 1) && b.glifo[c] != 0) glifos.push_back({b.glifo[c], c});
    std::sort(glifos.begin(), glifos.end());
    glifos.erase(std::unique(glifos.begin(), glifos.end(),
                             [](const auto& x, const auto& y) { return x.first == y.first; }),
                 glifos.end());

    auto s = std::make_shared<Subconjunto>();

    // Glyph ids are kept, so the codes in the pages are the font's own ids.
    std::unique_ptr<hb_subset_input_t, DestruirEntrada> entrada(hb_subset_input_create_or_fail());
    if (!entrada) throw Falha("Memória insuficiente para gerar o PDF");
    hb_set_t* conjunto = hb_subset_input_glyph_set(entrada.get());
    for (const auto& g : glifos) hb_set_add(conjunto, g.first);
    // Tables a PDF reader never looks at: text is already shaped.
    hb_set_t* descartar = hb_subset_input_set(entrada.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (hb_tag_t t : {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'), HB_TAG('G', 'D', 'E', 'F'),
                       HB_TAG('k', 'e', 'r', 'n'), HB_TAG('h', 'd', 'm', 'x'), HB_TAG('V', 'D', 'M', 'X'),
                       HB_TAG('L', 'T', 'S', 'H'), HB_TAG('D', 'S', 'I', 'G'), HB_TAG('P', 'C', 'L', 'T')})
        hb_set_add(descartar, t);
    hb_subset_input_set_flags(entrada.get(), HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NO_HINTING);
    std::unique_ptr<hb_face_t, DestruirFace> sub(hb_subset_or_fail(b.preparada, entrada.get()));
    if (!sub) throw Falha("Erro ao incorporar a fonte " + b.nome + " no PDF");
    std::unique_ptr<hb_blob_t, DestruirBlob> arquivo(hb_face_reference_blob(sub.get()));
    unsigned tamanho = 0;
    const char* dados = hb_blob_get_data(arquivo.get(), &tamanho);
    if (!dados || tamanho == 0) throw Falha("Erro ao incorporar a fonte " + b.nome + " no PDF");
    s->tamanho = tamanho;
    s->programa = Comprimir({dados, tamanho}, kNivelFonte);

    // Subset tag: six capitals from the glyph set, so different subsets of
    // one face get different names.
    uint64_t h = 1469598103934665603ull;
    for (const auto& g : glifos) h = (h ^ g.first) * 1099511628211ull;
    for (int i = 0; i < 6; ++i, h /= 26) s->nome += static_cast<char>('A' + h % 26);
    s->nome += '+';
    s->nome += b.nome;

    // Widths of runs of consecutive glyphs: [first [w w ...] first [w ...]].
    std::string& w = s->larguras;
    w = "[";
    for (size_t i = 0; i < glifos.size();) {
        size_t j = i + 1;
        while (j < glifos.size() && glifos[j].first == glifos[j - 1].first + 1) ++j;
        Inteiro(w, glifos[i].first);
        w += '[';
        for (size_t k = i; k < j; ++k) {
            if (k > i) w += ' ';
            Milesimos(w, b.avanco[glifos[k].second], b.unidadesPorEm);
        }
        w += ']';
        i = j;
    }
    w += ']';

    std::string cmap =
        "/CIDInit/ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo<</Registry(Adobe)/Ordering(UCS)/Supplement 0>>def\n"
        "/CMapName/Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000><FFFF>\nendcodespacerange\n";
    for (size_t i = 0; i < glifos.size(); i += 100) {
        const size_t fim = std::min(glifos.size(), i + 100);
        Inteiro(cmap, static_cast<int64_t>(fim - i));
        cmap += " beginbfchar\n";
        for (size_t k = i; k < fim; ++k) {
            cmap += '<';
            Hex4(cmap, glifos[k].first);
            cmap += "><";
            Hex4(cmap, b.unicode[glifos[k].second]);
            cmap += ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict/CMap defineresource pop\nend\nend\n";
    s->paraUnicode = Comprimir(cmap, kNivelFonte);
    return s;
}

// The characters a subset is made for: whole blocks of the code page
// (digits and punctuation, capitals, small letters, accented capitals, ...)
// around the ones drawn. Documents of one run then share a few subsets per
// face, made once, for some kilobytes more per file.
Usados Arredondar(const Usados& usados) {
    static constexpr int kBlocos[][2] = {{0x00, 0x10}, {0x10, 0x20}, {0x20, 0x40}, {0x40, 0x60},
                                         {0x60, 0x80}, {0x80, 0x90}, {0x90, 0xA0}, {0xA0, 0xB0},
                                         {0xB0, 0xC0}, {0xC0, 0xE0}, {0xE0, 0x100}};
    const auto tem = [&](int c) { return (usados[c >> 6] >> (c & 63) & 1) != 0; };
    Usados r{};
    for (const auto& [inicio, fim] : kBlocos) {
        bool algum = false;
        for (int c = inicio; c < fim && !algum; ++c) algum = tem(c);
        if (algum)
            for (int c = inicio; c < fim; ++c) r[c >> 6] |= uint64_t{1} << (c & 63);
    }
    return r;
}

// Recently made subsets, by face and characters.
class CacheSubconjuntos {
public:
    std::shared_ptr<const Subconjunto> Obter(int face, const FonteBase& b, const Usados& usados) {
        {
            std::lock_guard<std::mutex> trava(mutex_);
            for (auto it = entradas_.begin(); it != entradas_.end(); ++it)
                if (it->face == face && it->usados == usados) {
                    entradas_.splice(entradas_.begin(), entradas_, it);
                    return it->subconjunto;
                }
        }
        auto s = CriarSubconjunto(b, usados);
        std::lock_guard<std::mutex> trava(mutex_);
        for (const Entrada& e : entradas_)
            if (e.face == face && e.usados == usados) return e.subconjunto;  // made meanwhile by another thread
        entradas_.push_front({face, usados, s});
        if (entradas_.size() > kMaximo) entradas_.pop_back();
        return s;
    }

    static CacheSubconjuntos& Instancia() {
        static CacheSubconjuntos* c = new CacheSubconjuntos();
        return *c;
    }

private:
    static constexpr size_t kMaximo = 48;
    struct Entrada {
        int face;
        Usados usados;
        std::shared_ptr<const Subconjunto> subconjunto;
    };
    std::mutex mutex_;
    std::list<Entrada> entradas_;
};

// ---------------------------------------------------------------- pictures

// A picture as PDF image data: RGB, and the alpha channel as a soft mask
// only when some pixel is not opaque.
struct ImagemCodificada {
    int largura = 0, altura = 0;
    std::string rgb;   // compressed
    std::string alfa;  // compressed; empty when opaque
};

uint64_t Espalhar(const report::Imagem& img) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ (uint64_t(img.largura) << 32 | uint32_t(img.altura));
    const size_t n = static_cast<size_t>(img.largura) * img.altura;
    for (size_t i = 0; i < n; ++i) h = (h ^ img.pixels[i]) * 0x100000001B3ull + (h >> 29);
    return h;
}

std::shared_ptr<const ImagemCodificada> Codificar(const report::Imagem& img) {
    auto r = std::make_shared<ImagemCodificada>();
    r->largura = img.largura;
    r->altura = img.altura;
    const size_t n = static_cast<size_t>(img.largura) * img.altura;
    std::string rgb(n * 3, '\0'), alfa(n, '\0');
    bool transparente = false;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t p = img.pixels[i];
        const uint32_t a = p >> 24;
        uint32_t cr = p >> 16 & 255, cg = p >> 8 & 255, cb = p & 255;
        if (a != 255) {
            transparente = true;
            // Premultiplied to plain colour; a transparent pixel has none.
            if (a == 0) {
                cr = cg = cb = 0;
            } else {
                cr = std::min<uint32_t>(255, (cr * 255 + a / 2) / a);
                cg = std::min<uint32_t>(255, (cg * 255 + a / 2) / a);
                cb = std::min<uint32_t>(255, (cb * 255 + a / 2) / a);
            }
        }
        rgb[3 * i] = static_cast<char>(cr);
        rgb[3 * i + 1] = static_cast<char>(cg);
        rgb[3 * i + 2] = static_cast<char>(cb);
        alfa[i] = static_cast<char>(a);
    }
    r->rgb = Comprimir(rgb, kNivelImagem);
    if (transparente) r->alfa = Comprimir(alfa, kNivelImagem);
    return r;
}

// Recently encoded pictures by content: the emitter's logo is the same on
// every document of a run.
class CacheImagens {
public:
    std::shared_ptr<const ImagemCodificada> Obter(const report::Imagem& img) {
        const uint64_t h = Espalhar(img);
        const size_t n = static_cast<size_t>(img.largura) * img.altura;
        {
            std::lock_guard<std::mutex> trava(mutex_);
            for (auto it = entradas_.begin(); it != entradas_.end(); ++it)
                if (it->espalhamento == h && it->largura == img.largura && it->altura == img.altura &&
                    std::equal(img.pixels.begin(), img.pixels.begin() + n, it->pixels.begin())) {
                    entradas_.splice(entradas_.begin(), entradas_, it);
                    return it->codificada;
                }
        }
        auto c = Codificar(img);
        if (n > kOrcamento) return c;
        std::lock_guard<std::mutex> trava(mutex_);
        entradas_.push_front({h, img.largura, img.altura, std::vector<uint32_t>(img.pixels.begin(), img.pixels.begin() + n), c});
        guardados_ += n;
        while (entradas_.size() > kMaximo || guardados_ > kOrcamento) {
            guardados_ -= entradas_.back().pixels.size();
            entradas_.pop_back();
        }
        return c;
    }

    static CacheImagens& Instancia() {
        static CacheImagens* c = new CacheImagens();
        return *c;
    }

private:
    // A copy of each picture's pixels is kept to tell it from another with
    // the same hash: at most 16 MB of them.
    static constexpr size_t kMaximo = 8;
    static constexpr size_t kOrcamento = 4 << 20;  // pixels
    struct Entrada {
        uint64_t espalhamento;
        int largura, altura;
        std::vector<uint32_t> pixels;
        std::shared_ptr<const ImagemCodificada> codificada;
    };
    std::mutex mutex_;
    std::list<Entrada> entradas_;
    size_t guardados_ = 0;  // pixels in the entries
};

// ---------------------------------------------------------------- strings

// A text string of the Info dictionary: literal when plain ASCII, else
// UTF-16BE with its byte-order mark.
void TextoPdf(std::string& s, const std::string& valor) {
    const std::string utf8 = texto::EhUtf8Valido(valor) ? valor : texto::AnsiParaUtf8(valor);
    const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    if (ascii) {
        s += '(';
        for (char c : utf8) {
            if (c == '(' || c == ')' || c == '\\') s += '\\';
            s += c;
        }
        s += ')';
        return;
    }
    s += "<FEFF";
    for (char16_t c : texto::Utf8ParaUtf16(utf8)) Hex4(s, c);
    s += '>';
}

// UTF-8 to the code page as texto::Utf8ParaAnsi converts it (a byte that is
// not valid UTF-8 is taken as a code-page byte, a character the code page
// lacks becomes '?'), into a string that keeps its memory between texts.
void ParaAnsi(std::string_view s, std::string& destino) {
    destino.clear();
    for (size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            destino += static_cast<char>(b0);
            ++i;
            continue;
        }
        // A sequence's length, the bits of its lead byte and the least code
        // point it may encode (longer forms of smaller ones are invalid).
        size_t n = 0;
        char32_t cp = 0, menor = 0;
        if ((b0 & 0xE0) == 0xC0) {
            n = 2, cp = b0 & 0x1F, menor = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            n = 3, cp = b0 & 0x0F, menor = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            n = 4, cp = b0 & 0x07, menor = 0x10000;
        }
        if (i + n > s.size()) n = 0;
        for (size_t k = 1; k < n; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) {
                n = 0;
                break;
            }
            cp = cp << 6 | (b & 0x3F);
        }
        if (n == 0 || cp < menor || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            destino += static_cast<char>(b0);
            ++i;
            continue;
        }
        const int a = texto::UnicodeParaAnsi(cp);
        destino += a < 0 ? '?' : static_cast<char>(a);
        i += n;
    }
}

// ------------------------------------------------------------------ writer

template <size_t N>
char* Txt(char* p, const char (&s)[N]) {
    std::memcpy(p, s, N - 1);
    return p + N - 1;
}

char* Digitos(char* p, uint64_t v) { return std::to_chars(p, p + 20, v).ptr; }

constexpr size_t kMaiorNumero = 24;  // sign, digits, point, decimals, space

// Pairs of decimal digits, "00" to "99".
constexpr auto kPares = [] {
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) t[2 * i] = static_cast<char>('0' + i / 10), t[2 * i + 1] = static_cast<char>('0' + i % 10);
    return t;
}();

// A position or length in thousandths of a millimetre, written in the page
// unit (hundredths): at most one decimal. Followed by a space. Positions on
// a page have at most five digits before the point: those are written two
// at a time, the rest by the library.
char* N(char* p, int64_t v) {
    if (v < 0) *p++ = '-';
    const uint64_t a = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    uint64_t i = a / 10;
    const auto par = [&](uint64_t k) {
        std::memcpy(p, &kPares[2 * k], 2);
        p += 2;
    };
    if (i < 10) {
        *p++ = static_cast<char>('0' + i);
    } else if (i < 100) {
        par(i);
    } else if (i < 1000) {
        *p++ = static_cast<char>('0' + i / 100);
        par(i % 100);
    } else if (i < 10000) {
        par(i / 100);
        par(i % 100);
    } else if (i < 100000) {
        *p++ = static_cast<char>('0' + i / 10000);
        i %= 10000;
        par(i / 100);
        par(i % 100);
    } else {
        p = Digitos(p, i);
    }
    if (const unsigned d = a % 10) {
        *p++ = '.';
        *p++ = static_cast<char>('0' + d);
    }
    *p++ = ' ';
    return p;
}

// The same for a computed position, to the nearest thousandth of a millimetre.
char* N(char* p, double v) {
    v = std::clamp(v, -1e9, 1e9);  // a kilometre: beyond any page, within any reader
    return N(p, static_cast<int64_t>(v < 0 ? v - 0.5 : v + 0.5));
}

// A factor of a matrix, with nine significant digits (PDF has no exponents).
char* Escala(char* p, double v) {
    if (!std::isfinite(v) || std::fabs(v) < 1e-9) v = 0;
    v = std::clamp(v, -1e9, 1e9);
    const double a = std::fabs(v);
    const int casas = a >= 1e9 ? 0 : std::clamp(8 - static_cast<int>(std::floor(std::log10(a > 0 ? a : 1))), 0, 12);
    const int n = std::snprintf(p, 40, "%.*f", casas, v);
    char* fim = p + n;
    if (casas > 0) {
        while (fim[-1] == '0') --fim;
        if (fim[-1] == '.') --fim;
    }
    return fim;
}

// `v` / 10^casas, trailing zeros left out.
char* Fixo(char* p, int64_t v, int casas) {
    static constexpr uint64_t kPotencia[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    if (v < 0) *p++ = '-';
    const uint64_t a = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    p = Digitos(p, a / kPotencia[casas]);
    uint64_t f = a % kPotencia[casas];
    if (f == 0) return p;
    int n = casas;
    while (f % 10 == 0) f /= 10, --n;
    *p++ = '.';
    for (int k = n - 1; k >= 0; --k, f /= 10) p[k] = static_cast<char>('0' + f % 10);
    return p + n;
}

class Escritor;

// One page's content stream.
class Conteudo {
public:
    Conteudo(Rascunho& r, const report::Pagina& p, Escritor& e, FontesBase& f)
        : b_(r.conteudo), ansi_(r.ansi), largura_(p.largura), altura_(p.altura), escritor_(e), fontes_(f) {
        // The page is drawn in hundredths of a millimetre, y upwards: every
        // position of the display list (thousandths) is then a number with
        // at most one decimal, and an A4 page stays within the 32767 that old
        // readers allow for reals. 0.0283464567 points per hundredth.
        char* q = b_.Reservar(64);
        q = Txt(q, "0.0283464567 0 0 0.0283464567 0 0 cm\n");
        b_.Confirmar(q);
    }

    void operator()(const report::ItemTexto& t);
    void operator()(const report::ItemRetangulo& r);
    void operator()(const report::ItemLinha& l);
    void operator()(const report::ItemImagem& i);
    void operator()(const report::ItemCodigoBarras& b);
    void Terminar() {
        p_ = b_.Reservar(8);
        FecharTexto();
        b_.Confirmar(p_);
    }

private:
    // The state that q/Q save and restore, as far as it is tracked here.
    struct Estado {
        int cinza = 0;  // fill: 0 black, 1 white
        int face = -1;  // font set with Tf, and its size
        int pontos = 0;
    };

    // Every item begins by reserving room for its longest output.
    void Inicio(size_t n) { p_ = b_.Reservar(n + 32); }
    void Fim() { b_.Confirmar(p_); }

    void Cinza(int v) {
        if (estado_.cinza == v) return;
        p_ = v ? Txt(p_, "1 g\n") : Txt(p_, "0 g\n");
        estado_.cinza = v;
    }
    void Salvar() {
        FecharTexto();
        p_ = Txt(p_, "q\n");
        pilha_.push_back(estado_);
    }
    void Restaurar() {
        FecharTexto();
        p_ = Txt(p_, "Q\n");
        estado_ = pilha_.back();
        pilha_.pop_back();
    }
    void FecharTexto() {
        if (!emTexto_) return;
        p_ = Txt(p_, "ET\n");
        emTexto_ = false;
    }
    // A box of the display list (y down) as the operands of `re`.
    void Re(int64_t x, int64_t y, int64_t w, int64_t h) {
        p_ = N(p_, x);
        p_ = N(p_, altura_ - y - h);
        p_ = N(p_, w);
        p_ = N(p_, h);
        p_ = Txt(p_, "re\n");
    }
    void Re(const Caixa& c) { Re(c.x, c.y, c.w, c.h); }
    // The page and a centimetre around it, as the operands of `re`: a path
    // that covers whatever is clipped on the page.
    void Folha() { Re(-10000, -10000, largura_ + 20000, altura_ + 20000); }
    static constexpr size_t kCaminho = 34 * kMaiorNumero + 32;
    void Caminho(double x0, double y0, double x1, double y1, double raio);
    void Figura(const std::shared_ptr<const report::Imagem>& imagem, double x, double y, double w, double h);

    // Vector pictures: picture units to the page's thousandths of a
    // millimetre (y down): x * sx + dx, y * sy + dy.
    struct Mapa {
        double sx = 1, sy = 1, dx = 0, dy = 0;
    };
    void Vetorial(const Caixa& caixa, const report::ImagemVetorial& v);
    void Comando(const report::ComandoCaminho& c);
    void Comando(const report::ComandoTexto& t);
    void Comando(const report::ComandoBitmap& b);
    void Ponto(const report::PontoV& q) {
        p_ = N(p_, mapa_.dx + q.x * mapa_.sx);
        p_ = N(p_, altura_ - (mapa_.dy + q.y * mapa_.sy));
    }
    void Cor(const char* op, report::CorRgb c);

    struct Janela {
        double x0, y0, x1, y1;
        bool ContemX(double x) const { return x0 <= x && x <= x1; }
        bool ContemY(double y) const { return y0 <= y && y <= y1; }
    };
    std::optional<Janela> JanelaDe(const Caixa* recorte, double emPontos) const;

    Buffer& b_;
    std::string& ansi_;  // the current text in the code page
    char* p_ = nullptr;
    int64_t largura_, altura_;
    Escritor& escritor_;
    FontesBase& fontes_;
    Estado estado_;
    std::vector<Estado> pilha_;
    bool emTexto_ = false;
    int64_t linhaX_ = 0, linhaY_ = 0;  // start of the current text line (Td), y up
    Mapa mapa_;
    Caixa caixaVetor_;  // the box a vector picture is drawn in
};

class Escritor {
public:
    Escritor(FontesBase& f) : fontes_(f) {}

    std::string Gerar(const report::Documento& doc, const PropriedadesPdf& props);

    // Marks a character as drawn in a face, so that the face's subset has it.
    void UsarCaractere(int face, unsigned char c) { usados_[face][c >> 6] |= uint64_t{1} << (c & 63); }
    // The resource index of a picture; the first use writes its objects.
    int UsarImagem(const std::shared_ptr<const report::Imagem>& img);

private:
    int Reservar() {
        offsets_.push_back(0);
        return static_cast<int>(offsets_.size() - 1);
    }
    void Abrir(int obj) {
        offsets_[obj] = out_.size();
        Inteiro(out_, obj);
        out_ += " 0 obj\n";
    }
    void Fechar() { out_ += "endobj\n"; }
    // A stream object whose data is already compressed; `extra` goes into its dictionary.
    void Fluxo(int obj, std::string_view dados, std::string_view extra = {}) {
        Abrir(obj);
        out_ += "<</Length ";
        Inteiro(out_, static_cast<int64_t>(dados.size()));
        out_ += "/Filter/FlateDecode";
        out_ += extra;
        out_ += ">>stream\n";
        out_ += dados;
        out_ += "\nendstream\n";
        Fechar();
    }
    void Ref(int obj) {
        Inteiro(out_, obj);
        out_ += " 0 R";
    }
    void EscreverFonte(int face, int obj);

    FontesBase& fontes_;
    std::string out_;
    std::vector<size_t> offsets_;
    Usados usados_[kFaces] = {};
    // Pictures by display-list object: the same picture on many pages is written once.
    std::unordered_map<const report::Imagem*, int> imagens_;
    std::vector<int> objImagens_;
    std::vector<std::shared_ptr<const report::Imagem>> donos_;  // keeps the keys alive
};

// ------------------------------------------------------------ page items

void Conteudo::Caminho(double x0, double y0, double x1, double y1, double raio) {
    if (raio <= 0) {
        p_ = N(p_, x0), p_ = N(p_, y0), p_ = N(p_, x1 - x0), p_ = N(p_, y1 - y0);
        p_ = Txt(p_, "re\n");
        return;
    }
    // Corners counterclockwise from the bottom right, each a quarter of a circle.
    const double c = raio * kKappa;
    const double pontos[][6] = {
        {x1 - raio + c, y0, x1, y0 + raio - c, x1, y0 + raio},
        {x1, y1 - raio + c, x1 - raio + c, y1, x1 - raio, y1},
        {x0 + raio - c, y1, x0, y1 - raio + c, x0, y1 - raio},
        {x0, y0 + raio - c, x0 + raio - c, y0, x0 + raio, y0},
    };
    const double retas[][2] = {{x1, y1 - raio}, {x0 + raio, y1}, {x0, y0 + raio}};
    p_ = N(p_, x1 - raio), p_ = N(p_, y0);
    p_ = Txt(p_, "m\n");
    for (int k = 0; k < 4; ++k) {
        for (double v : pontos[k]) p_ = N(p_, v);
        p_ = Txt(p_, "c\n");
        if (k == 3) break;
        p_ = N(p_, retas[k][0]), p_ = N(p_, retas[k][1]);
        p_ = Txt(p_, "l\n");
    }
    p_ = Txt(p_, "h\n");
}

// Filled white; the outline lies inside the box: the ring between the box
// and the box inset by the pen width, filled with the even-odd rule.
void Conteudo::operator()(const report::ItemRetangulo& f) {
    const Caixa& c = f.caixa;
    if (c.w <= 0 || c.h <= 0) return;
    Inicio(3 * kCaminho);
    FecharTexto();
    const double x0 = c.x, x1 = double(c.x) + c.w;
    const double y0 = double(altura_) - c.y - c.h, y1 = double(altura_) - c.y;
    const double raio = f.arredondado ? std::min<double>(c.w, c.h) / 8 : 0;
    const bool anel = f.contorno && c.w > 2 * kContorno && c.h > 2 * kContorno;
    const double e = kContorno;
    if (anel && raio > 0) {
        // A rounded path is long: the box's is written once, as the clip
        // of both fills, which cover the page. The same pixels as filling
        // the box white and then the ring (the clip keeps of every fill
        // exactly what the box's path covers), in two paths instead of
        // three; a stroke would not do, as viewers snap strokes to pixels.
        Salvar();
        Caminho(x0, y0, x1, y1, raio);
        p_ = Txt(p_, "W n\n");
        Cinza(1);
        Folha();
        p_ = Txt(p_, "f\n");
        Cinza(0);
        Folha();
        if (raio > e)
            Caminho(x0 + e, y0 + e, x1 - e, y1 - e, raio - e);
        else
            Re(c.x + kContorno, c.y + kContorno, c.w - 2 * kContorno, c.h - 2 * kContorno);
        p_ = Txt(p_, "f*\n");
        Restaurar();
        Fim();
        return;
    }
    const auto contorno = [&] {
        if (raio > 0)
            Caminho(x0, y0, x1, y1, raio);
        else
            Re(c);
    };
    Cinza(1);
    contorno();
    p_ = Txt(p_, "f\n");
    if (f.contorno) {
        Cinza(0);
        contorno();
        if (anel) {
            Re(c.x + kContorno, c.y + kContorno, c.w - 2 * kContorno, c.h - 2 * kContorno);
            p_ = Txt(p_, "f*\n");
        } else {
            p_ = Txt(p_, "f\n");
        }
    }
    Fim();
}

void Conteudo::operator()(const report::ItemLinha& l) {
    const Caixa& c = l.caixa;
    if (c.w <= 0 || c.h <= 0) return;
    Inicio(16 * kMaiorNumero);
    FecharTexto();
    Cinza(0);
    if (!l.pontilhada) {
        Re(c);
        p_ = Txt(p_, "f\n");
        Fim();
        return;
    }
    // Square dots as long as the stroke is thick, with gaps of the same size.
    const bool horizontal = c.w >= c.h;
    const int64_t espessura = horizontal ? c.h : c.w;
    Salvar();
    p_ = N(p_, espessura);
    p_ = Txt(p_, "w [");
    p_ = N(p_, espessura), p_ = N(p_, espessura);
    p_ = Txt(p_, "]0 d\n");
    const int64_t topo = altura_ - c.y;
    if (horizontal) {
        const double y = topo - c.h / 2.0;
        p_ = N(p_, int64_t{c.x}), p_ = N(p_, y), p_ = Txt(p_, "m\n");
        p_ = N(p_, int64_t{c.x} + c.w), p_ = N(p_, y), p_ = Txt(p_, "l\n");
    } else {
        const double x = c.x + c.w / 2.0;
        p_ = N(p_, x), p_ = N(p_, topo), p_ = Txt(p_, "m\n");
        p_ = N(p_, x), p_ = N(p_, topo - c.h), p_ = Txt(p_, "l\n");
    }
    p_ = Txt(p_, "S\n");
    Restaurar();
    Fim();
}

bool Entre(double v, double menor, double maior) { return std::isfinite(v) && v >= menor && v <= maior; }

bool Valida(const std::shared_ptr<const report::Imagem>& imagem) {
    const report::Imagem* img = imagem.get();
    return img && img->largura > 0 && img->altura > 0 &&
           img->pixels.size() >= static_cast<size_t>(img->largura) * img->altura;
}

void Conteudo::operator()(const report::ItemImagem& i) {
    if (i.caixa.w <= 0 || i.caixa.h <= 0) return;
    if (i.vetorial) {
        Vetorial(i.caixa, *i.vetorial);
        return;
    }
    if (!Valida(i.imagem)) return;
    Inicio(12 * kMaiorNumero);
    Figura(i.imagem, i.caixa.x, altura_ - int64_t{i.caixa.y} - i.caixa.h, i.caixa.w, i.caixa.h);
    Fim();
}

// The picture stretched over a rectangle of the page (y up), proportions not kept.
void Conteudo::Figura(const std::shared_ptr<const report::Imagem>& imagem, double x, double y, double w, double h) {
    const int indice = escritor_.UsarImagem(imagem);
    // Clipped to its own rectangle: the picture covers it exactly, but a
    // viewer then smooths the picture's edges like any other edge.
    Salvar();
    p_ = N(p_, x), p_ = N(p_, y), p_ = N(p_, w), p_ = N(p_, h);
    p_ = Txt(p_, "re W n\n");
    p_ = N(p_, w);
    p_ = Txt(p_, "0 0 ");
    p_ = N(p_, h), p_ = N(p_, x), p_ = N(p_, y);
    p_ = Txt(p_, "cm /I");
    p_ = Digitos(p_, static_cast<uint64_t>(indice));
    p_ = Txt(p_, " Do\n");
    Restaurar();
}

// A vector picture: its bounds stretched onto the box, clipped to it. Points
// are mapped here, so a pen stays round whatever the box's proportions.
void Conteudo::Vetorial(const Caixa& caixa, const report::ImagemVetorial& v) {
    if (!(v.largura > 0) || !(v.altura > 0) || !std::isfinite(v.largura) || !std::isfinite(v.altura) ||
        !std::isfinite(v.x) || !std::isfinite(v.y))
        return;
    const double sx = caixa.w / v.largura, sy = caixa.h / v.altura;
    if (!Entre(sx, 1e-9, 1e9) || !Entre(sy, 1e-9, 1e9)) return;
    Inicio(8 * kMaiorNumero);
    Salvar();
    Re(caixa);
    p_ = Txt(p_, "W n\n");
    Fim();
    mapa_ = {sx, sy, caixa.x - v.x * sx, caixa.y - v.y * sy};
    caixaVetor_ = caixa;
    for (const report::ComandoVetorial& c : v.comandos) std::visit([this](const auto& k) { Comando(k); }, c);
    Inicio(8);
    Restaurar();
    Fim();
}

void Conteudo::Cor(const char* op, report::CorRgb c) {
    for (const uint8_t v : {c.r, c.g, c.b}) {
        p_ = Fixo(p_, (v * 1000 + 127) / 255, 3);
        *p_++ = ' ';
    }
    while (*op) *p_++ = *op++;
    *p_++ = '\n';
    estado_.cinza = -1;
}

void Conteudo::Comando(const report::ComandoCaminho& c) {
    if (!c.preenchimento && !c.traco) return;
    Inicio(c.segmentos.size() * (6 * kMaiorNumero + 4) + 16 * kMaiorNumero);
    const auto& pt = c.pontos;
    for (const report::PontoV& q : pt)
        if (!std::isfinite(q.x) || !std::isfinite(q.y)) return Fim();
    // Emitted as cairo builds it: a line or curve without a current point
    // starts the subpath, and closing without one does nothing.
    bool ponto = false, algum = false;
    size_t k = 0;
    for (const report::Segmento s : c.segmentos) {
        const size_t n = s == report::Segmento::Curva ? 3 : s == report::Segmento::Fechar ? 0 : 1;
        if (pt.size() - k < n) break;
        switch (s) {
            case report::Segmento::Mover: Ponto(pt[k]), p_ = Txt(p_, "m\n"); break;
            case report::Segmento::Linha:
                Ponto(pt[k]);
                p_ = ponto ? Txt(p_, "l\n") : Txt(p_, "m\n");
                break;
            case report::Segmento::Curva:
                if (!ponto) Ponto(pt[k]), p_ = Txt(p_, "m\n");
                Ponto(pt[k]), Ponto(pt[k + 1]), Ponto(pt[k + 2]);
                p_ = Txt(p_, "c\n");
                break;
            case report::Segmento::Fechar:
                if (ponto) p_ = Txt(p_, "h\n");
                break;
        }
        if (s != report::Segmento::Fechar || ponto) ponto = true, algum = true;
        k += n;
    }
    if (!algum) return Fim();
    if (c.preenchimento) Cor("rg", *c.preenchimento);
    if (c.traco) {
        Cor("RG", c.traco->cor);
        // At least 0.1 mm, the thinnest line the PDF device draws.
        const double escala = std::sqrt(mapa_.sx * mapa_.sy);
        const double largura = std::isfinite(c.traco->espessura) ? c.traco->espessura * escala : 0;
        p_ = N(p_, std::clamp(largura, 100.0, 1e7));
        p_ = Txt(p_, "w ");
        // Caps round, square, butt and joins round, bevel, miter are PDF's 1, 2, 0.
        *p_++ = "120"[std::min(2, static_cast<int>(c.traco->terminal))];
        p_ = Txt(p_, " J ");
        *p_++ = "120"[std::min(2, static_cast<int>(c.traco->juncao))];
        p_ = Txt(p_, " j\n");
    }
    if (c.preenchimento && c.traco)
        p_ = c.parImpar ? Txt(p_, "B*\n") : Txt(p_, "B\n");
    else if (c.preenchimento)
        p_ = c.parImpar ? Txt(p_, "f*\n") : Txt(p_, "f\n");
    else
        p_ = Txt(p_, "S\n");
    Fim();
}

void Conteudo::Comando(const report::ComandoTexto& t) {
    // An em from a hundredth of a point to 30000 points each way, as the
    // other devices draw them.
    constexpr double kPt = 72.0 / 25400;
    if (t.texto.empty() || !Entre(t.tamanho * mapa_.sx * kPt, 0.01, 3e4) ||
        !Entre(t.tamanho * mapa_.sy * kPt, 0.01, 3e4) || !std::isfinite(t.origem.x) || !std::isfinite(t.origem.y))
        return;
    const fontes::Fonte fonte{t.familia, 8, t.negrito};
    const int face = IndiceFace(fonte);
    const FonteBase& fb = fontes_.Face(face);
    ParaAnsi(t.texto, ansi_);
    const std::string& ansi = ansi_;
    const bool avancos = t.avancos.size() == ansi.size();
    const double k = t.tamanho / fb.unidadesPorEm;
    const std::optional<Janela> janela = JanelaDe(&caixaVetor_, t.tamanho * std::max(mapa_.sx, mapa_.sy) * kPt);
    const double y = mapa_.dy + t.origem.y * mapa_.sy;
    if (!janela || !janela->ContemY(y * kPt)) return;
    Inicio(ansi.size() * (6 * kMaiorNumero + 16) + 64);
    // The glyphs are scaled with the picture: one text matrix per glyph, at
    // the picture's pen positions.
    bool aberto = false;
    double x = t.origem.x;
    for (size_t i = 0; i < ansi.size(); ++i) {
        const auto c = static_cast<unsigned char>(ansi[i]);
        const double avanco = avancos ? t.avancos[i] : fb.avanco[c] * k;
        if (fb.glifo[c] != 0 && std::isfinite(x) && janela->ContemX((mapa_.dx + x * mapa_.sx) * kPt)) {
            if (!aberto) {
                p_ = Txt(p_, "BT\n");
                Cor("rg", t.cor);
                p_ = Txt(p_, "/F");
                p_ = Digitos(p_, static_cast<uint64_t>(face));
                p_ = Txt(p_, " 1 Tf\n");
                aberto = true;
            }
            p_ = Escala(p_, t.tamanho * mapa_.sx / 10), *p_++ = ' ';
            p_ = Txt(p_, "0 0 ");
            p_ = Escala(p_, t.tamanho * mapa_.sy / 10), *p_++ = ' ';
            p_ = N(p_, mapa_.dx + x * mapa_.sx);
            p_ = N(p_, altura_ - y);
            p_ = Txt(p_, "Tm(");
            std::memcpy(p_, fb.codigo[c].data(), 4);
            p_ += fb.tamanhoCodigo[c];
            p_ = Txt(p_, ")Tj\n");
            escritor_.UsarCaractere(face, c);
        }
        x += avanco;
        if (!std::isfinite(x)) break;
    }
    if (aberto) p_ = Txt(p_, "ET\n");
    // The font set here is not the one the page's texts last set.
    estado_.face = -1;
    Fim();
}

void Conteudo::Comando(const report::ComandoBitmap& b) {
    // A bitmap pixel from a ten-thousandth of a point to 30000 points.
    constexpr double kPt = 72.0 / 25400;
    if (!Valida(b.imagem) || !std::isfinite(b.x) || !std::isfinite(b.y) ||
        !Entre(b.largura / b.imagem->largura * mapa_.sx * kPt, 1e-4, 3e4) ||
        !Entre(b.altura / b.imagem->altura * mapa_.sy * kPt, 1e-4, 3e4))
        return;
    Inicio(12 * kMaiorNumero);
    const double x = mapa_.dx + b.x * mapa_.sx, topo = mapa_.dy + b.y * mapa_.sy;
    const double w = b.largura * mapa_.sx, h = b.altura * mapa_.sy;
    Figura(b.imagem, x, altura_ - topo - h, w, h);
    Fim();
}

// Only the bars are painted; spaces stay as the page has them.
void Conteudo::operator()(const report::ItemCodigoBarras& b) {
    if (b.barras.empty() || b.modulo <= 0 || b.caixa.h <= 0) return;
    Inicio(b.barras.size() * (2 * kMaiorNumero + 4) + 4 * kMaiorNumero);
    FecharTexto();
    Cinza(0);
    const int64_t base = altura_ - b.caixa.y - b.caixa.h;
    int64_t modulos = 0;
    for (size_t k = 0; k < b.barras.size(); ++k) {
        if (k % 2 == 0) {
            p_ = N(p_, b.caixa.x + modulos * b.modulo), p_ = N(p_, base);
            p_ = N(p_, int64_t{b.barras[k]} * b.modulo), p_ = N(p_, int64_t{b.caixa.h});
            p_ = Txt(p_, "re\n");
        }
        modulos += b.barras[k];
    }
    p_ = Txt(p_, "f\n");
    Fim();
}

// The area where glyphs are kept, in points: the clip (or the page) rounded
// out to whole points and widened by ten em. A glyph whose origin lies
// outside is left out of the file, as cairo's PDF leaves it, so both files
// hold the same text; it could not show anyway.
std::optional<Conteudo::Janela> Conteudo::JanelaDe(const Caixa* recorte, double emPontos) const {
    constexpr double k = 72.0 / 25400;
    Janela j{0, 0, std::ceil(largura_ * k), std::ceil(altura_ * k)};
    if (recorte) {
        j.x0 = std::max(j.x0, std::floor(recorte->x * k));
        j.y0 = std::max(j.y0, std::floor(recorte->y * k));
        j.x1 = std::min(j.x1, std::ceil((double(recorte->x) + recorte->w) * k));
        j.y1 = std::min(j.y1, std::ceil((double(recorte->y) + recorte->h) * k));
    }
    if (j.x1 <= j.x0 || j.y1 <= j.y0) return std::nullopt;
    const double m = 10 * emPontos;
    return Janela{j.x0 - m, j.y0 - m, j.x1 + m, j.y1 + m};
}

void Conteudo::operator()(const report::ItemTexto& t) {
    if (t.texto.empty() || t.fonte.pontos == 0) return;
    if (t.recorte && (t.recorte->w <= 0 || t.recorte->h <= 0)) return;
    const int face = IndiceFace(t.fonte);
    const FonteBase& fb = fontes_.Face(face);
    // Plain ASCII is the same in both encodings, and most texts are.
    std::string_view ansi = t.texto;
    if (std::any_of(ansi.begin(), ansi.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        ParaAnsi(t.texto, ansi_);
        ansi = ansi_;
    }
    const std::optional<Janela> janela = JanelaDe(t.recorte ? &*t.recorte : nullptr, t.fonte.pontos);
    if (!janela) return;
    // The pen starts at the box's left on the baseline; the font's widths are
    // our advances, so the viewer puts each glyph where the metrics did.
    const fontes::Face& metricas = fontes::FaceDe(t.fonte);
    const int64_t base = int64_t{t.caixa.y} +
                         fontes::UnidadesParaMm(metricas.ascendente, t.fonte.pontos, metricas.unidadesPorEm);
    constexpr double kPt = 72.0 / 25400;
    if (!janela->ContemY(base * kPt)) return;
    // A glyph is drawn when the font has it and it lies in the window; one
    // that is not keeps its advance.
    const double escala = metricas.Escala(t.fonte.pontos);
    const auto desenha = [&](unsigned char c, int64_t unidades) {
        return fb.glifo[c] != 0 && janela->ContemX((t.caixa.x + unidades * escala) * kPt);
    };
    bool algum = false, todos = true;
    int64_t unidades = 0;
    // The ink of the glyphs drawn, in font units from the pen's start.
    int64_t tintaX0 = INT64_MAX, tintaX1 = INT64_MIN;
    int32_t tintaY0 = INT32_MAX, tintaY1 = INT32_MIN;
    for (const char ch : ansi) {
        const auto c = static_cast<unsigned char>(ch);
        const bool d = desenha(c, unidades);
        if (d && fb.tinta[c][0] <= fb.tinta[c][2]) {
            const auto& k = fb.tinta[c];
            tintaX0 = std::min(tintaX0, unidades + k[0]), tintaX1 = std::max(tintaX1, unidades + k[2]);
            tintaY0 = std::min(tintaY0, k[1]), tintaY1 = std::max(tintaY1, k[3]);
        }
        unidades += fb.avanco[c];
        algum = algum || d;
        todos = todos && d;
    }
    if (!algum) return;
    // The clip is left out when it cannot cut any ink: a margin of a
    // hundredth of a millimetre covers the rounding of glyph positions
    // and of the font size in the file.
    bool recortar = false;
    if (t.recorte && tintaX0 <= tintaX1) {
        constexpr double kFolga = 10;
        const Caixa& r = *t.recorte;
        recortar = !(t.caixa.x + tintaX0 * escala >= r.x + kFolga &&
                     t.caixa.x + tintaX1 * escala <= double(r.x) + r.w - kFolga &&
                     base - tintaY1 * escala >= r.y + kFolga && base - tintaY0 * escala <= double(r.y) + r.h - kFolga);
    }
    Inicio(ansi.size() * 24 + 12 * kMaiorNumero);
    if (recortar) {
        Salvar();
        Re(*t.recorte);
        p_ = Txt(p_, "W n\n");
    }
    if (!emTexto_) {
        p_ = Txt(p_, "BT\n");
        emTexto_ = true;
        linhaX_ = linhaY_ = 0;
    }
    Cinza(0);
    if (estado_.face != face || estado_.pontos != t.fonte.pontos) {
        p_ = Txt(p_, "/F");
        p_ = Digitos(p_, static_cast<uint64_t>(face));
        *p_++ = ' ';
        p_ = Fixo(p_, std::llround(t.fonte.pontos * 25400000.0 / 72.0), 4);  // hundredths of a mm
        p_ = Txt(p_, " Tf\n");
        estado_.face = face;
        estado_.pontos = t.fonte.pontos;
    }
    const int64_t x = t.caixa.x, y = altura_ - base;
    p_ = N(p_, x - linhaX_);
    p_ = N(p_, y - linhaY_);
    p_ = Txt(p_, "Td\n");
    linhaX_ = x, linhaY_ = y;
    if (todos) {
        *p_++ = '(';
        for (unsigned char c : ansi) {
            std::memcpy(p_, fb.codigo[c].data(), 4);
            p_ += fb.tamanhoCodigo[c];
            escritor_.UsarCaractere(face, c);
        }
        p_ = Txt(p_, ")Tj\n");
    } else {
        *p_++ = '[';
        int64_t pular = 0;  // font units to move over before the next glyph
        bool aberta = false;
        unidades = 0;
        for (const char ch : ansi) {
            const auto c = static_cast<unsigned char>(ch);
            const bool d = desenha(c, unidades);
            unidades += fb.avanco[c];
            if (!d) {
                pular += fb.avanco[c];
                continue;
            }
            if (pular) {
                if (aberta) *p_++ = ')';
                aberta = false;
                p_ = Fixo(p_, -std::llround(pular * 1000000.0 / fb.unidadesPorEm), 3);
                pular = 0;
            }
            if (!aberta) *p_++ = '(';
            aberta = true;
            std::memcpy(p_, fb.codigo[c].data(), 4);
            p_ += fb.tamanhoCodigo[c];
            escritor_.UsarCaractere(face, c);
        }
        if (aberta) *p_++ = ')';
        p_ = Txt(p_, "]TJ\n");
    }
    if (recortar) Restaurar();
    Fim();
}

// -------------------------------------------------------------- document

int Escritor::UsarImagem(const std::shared_ptr<const report::Imagem>& img) {
    const auto it = imagens_.find(img.get());
    if (it != imagens_.end()) return it->second;
    const auto cod = CacheImagens::Instancia().Obter(*img);
    const int obj = Reservar();
    std::string extra = "/Type/XObject/Subtype/Image/Width ";
    Inteiro(extra, cod->largura);
    extra += "/Height ";
    Inteiro(extra, cod->altura);
    extra += "/ColorSpace/DeviceRGB/BitsPerComponent 8/Interpolate true";
    if (!cod->alfa.empty()) {
        const int mascara = Reservar();
        std::string m = "/Type/XObject/Subtype/Image/Width ";
        Inteiro(m, cod->largura);
        m += "/Height ";
        Inteiro(m, cod->altura);
        m += "/ColorSpace/DeviceGray/BitsPerComponent 8/Interpolate true";
        Fluxo(mascara, cod->alfa, m);
        extra += "/SMask ";
        Inteiro(extra, mascara);
        extra += " 0 R";
    }
    Fluxo(obj, cod->rgb, extra);
    const int indice = static_cast<int>(objImagens_.size());
    objImagens_.push_back(obj);
    imagens_.emplace(img.get(), indice);
    donos_.push_back(img);
    return indice;
}

void Escritor::EscreverFonte(int face, int obj) {
    const FonteBase& b = fontes_.Face(face);
    const auto s = CacheSubconjuntos::Instancia().Obter(face, b, Arredondar(usados_[face]));
    const int cid = Reservar(), descritor = Reservar(), arquivo = Reservar(), unicode = Reservar();

    Abrir(obj);
    out_ += "<</Type/Font/Subtype/Type0/BaseFont/";
    out_ += s->nome;
    out_ += "/Encoding/Identity-H/DescendantFonts[";
    Ref(cid);
    out_ += "]/ToUnicode ";
    Ref(unicode);
    out_ += ">>\n";
    Fechar();

    Abrir(cid);
    out_ += "<</Type/Font/Subtype/CIDFontType2/BaseFont/";
    out_ += s->nome;
    out_ += "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor ";
    Ref(descritor);
    out_ += "/CIDToGIDMap/Identity/W";
    out_ += s->larguras;
    out_ += ">>\n";
    Fechar();

    Abrir(descritor);
    out_ += "<</Type/FontDescriptor/FontName/";
    out_ += s->nome;
    out_ += b.descritor;
    out_ += "/FontFile2 ";
    Ref(arquivo);
    out_ += ">>\n";
    Fechar();

    std::string extra = "/Length1 ";
    Inteiro(extra, static_cast<int64_t>(s->tamanho));
    Fluxo(arquivo, s->programa, extra);
    Fluxo(unicode, s->paraUnicode);
}

std::string Escritor::Gerar(const report::Documento& doc, const PropriedadesPdf& props) {
    // A document without pages is one blank A4 page.
    static const report::Pagina kVazia{210000, 297000, 0, 0, 0, {}};
    const size_t paginas = std::max<size_t>(1, doc.paginas.size());
    // Room for pages heavier than a DANFE's; what is never written is never
    // touched, so costs nothing.
    out_.reserve((256 << 10) + paginas * (64 << 10));
    out_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    // 1 catalog, 2 page tree, 3 resources, 4 information; then per page its
    // object and its content; fonts and pictures after them as they come.
    offsets_.assign(5 + 2 * paginas, 0);
    int fonteObj[kFaces] = {};

    Emprestimo rascunho;  // its buffers serve every page
    for (size_t i = 0; i < paginas; ++i) {
        const report::Pagina& p = doc.paginas.empty() ? kVazia : doc.paginas[i];
        rascunho->conteudo.Limpar();
        Conteudo c(*rascunho.r, p, *this, fontes_);
        for (const report::Item& item : p.itens) std::visit(c, item);
        c.Terminar();
        const int objPagina = static_cast<int>(5 + 2 * i), objConteudo = objPagina + 1;
        Fluxo(objConteudo, Comprimir(*rascunho.r, rascunho->conteudo.Vista(), kNivelConteudo));
        Abrir(objPagina);
        out_ += "<</Type/Page/Parent 2 0 R/MediaBox[0 0 ";
        Decimal(out_, (int64_t{p.largura} * 72000000 + 12700) / 25400, 6);
        out_ += ' ';
        Decimal(out_, (int64_t{p.altura} * 72000000 + 12700) / 25400, 6);
        out_ += "]/Resources 3 0 R/Contents ";
        Ref(objConteudo);
        out_ += ">>\n";
        Fechar();
    }

    for (int f = 0; f < kFaces; ++f)
        if (usados_[f] != Usados{}) {
            fonteObj[f] = Reservar();
            EscreverFonte(f, fonteObj[f]);
        }

    Abrir(3);
    out_ += "<</ProcSet[/PDF/Text/ImageB/ImageC]";
    out_ += "/Font<<";
    for (int f = 0; f < kFaces; ++f)
        if (fonteObj[f]) {
            out_ += "/F";
            Inteiro(out_, f);
            out_ += ' ';
            Ref(fonteObj[f]);
        }
    out_ += ">>";
    if (!objImagens_.empty()) {
        out_ += "/XObject<<";
        for (size_t k = 0; k < objImagens_.size(); ++k) {
            out_ += "/I";
            Inteiro(out_, static_cast<int64_t>(k));
            out_ += ' ';
            Ref(objImagens_[k]);
        }
        out_ += ">>";
    }
    out_ += ">>\n";
    Fechar();

    Abrir(2);
    out_ += "<</Type/Pages/Count ";
    Inteiro(out_, static_cast<int64_t>(paginas));
    out_ += "/Kids[";
    for (size_t i = 0; i < paginas; ++i) {
        if (i) out_ += ' ';
        Ref(static_cast<int>(5 + 2 * i));
    }
    out_ += "]>>\n";
    Fechar();

    Abrir(1);
    out_ += "<</Type/Catalog/Pages 2 0 R>>\n";
    Fechar();

    Abrir(4);
    out_ += "<<";
    const std::pair<const char*, const std::string*> campos[] = {
        {"/Title", &props.titulo}, {"/Author", &props.autor}, {"/Subject", &props.assunto},
        {"/Keywords", &props.palavrasChave}};
    for (const auto& [chave, valor] : campos)
        if (!valor->empty()) {
            out_ += chave;
            TextoPdf(out_, *valor);
        }
    out_ += "/Creator(Corvexa)/Producer(Corvexa)";
    const std::time_t agora = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&agora, &utc);
    char data[64];
    std::snprintf(data, sizeof data, "/CreationDate(D:%04d%02d%02d%02d%02d%02dZ)", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    out_ += data;
    out_ += ">>\n";
    Fechar();

    // Cross-reference table: 20-byte entries.
    const size_t xref = out_.size();
    out_ += "xref\n0 ";
    Inteiro(out_, static_cast<int64_t>(offsets_.size()));
    out_ += "\n0000000000 65535 f \n";
    for (size_t k = 1; k < offsets_.size(); ++k) {
        char e[21];
        std::snprintf(e, sizeof e, "%010zu 00000 n \n", offsets_[k]);
        out_.append(e, 20);
    }
    out_ += "trailer\n<</Size ";
    Inteiro(out_, static_cast<int64_t>(offsets_.size()));
    out_ += "/Root 1 0 R/Info 4 0 R>>\nstartxref\n";
    Inteiro(out_, static_cast<int64_t>(xref));
    out_ += "\n%%EOF\n";
    return std::move(out_);
}

}  // namespace

std::string GerarPdfDireto(const report::Documento& documento, const PropriedadesPdf& propriedades) {
    for (const auto& p : documento.paginas)
        if (p.largura <= 0 || p.altura <= 0) throw Falha("Página sem tamanho no documento");
    Escritor e(FontesBase::Instancia());
    return e.Gerar(documento, propriedades);
}

}  // namespace corvexa::render
