// The PDF written from the display list, checked against cairo's PDF of the
// same pages (page count and sizes, properties, text, pixels) and through
// poppler and qpdf; then what only the direct writer promises: glyphs at the
// metrics' positions, pictures stored once, odd input, parallel documents.
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "base/falha.h"
#include "base/texto.h"
#include "fontes/metricas.h"
#include "render/dispositivos.h"
#include "report/code128.h"

using namespace corvexa;
using namespace corvexa::report;
using fontes::Familia;
namespace fs = std::filesystem;

namespace {

bool TemFerramenta(const char* nome) {
    return std::system((std::string("command -v ") + nome + " >/dev/null 2>&1").c_str()) == 0;
}

// Standard output of a command; `status` gets its exit code.
std::string Executar(const std::string& comando, int* status = nullptr) {
    std::string saida;
    FILE* p = popen(comando.c_str(), "r");
    if (!p) return saida;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) saida.append(buf, n);
    const int st = pclose(p);
    if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return saida;
}

std::string Ler(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

void Gravar(const std::string& caminho, const std::string& dados) {
    std::ofstream(caminho, std::ios::binary) << dados;
}

// ------------------------------------------------- display list from JSON

// Just enough JSON for what `danfe paginas` prints.
struct Json {
    enum Tipo { Nulo, Logico, Numero, Texto, Lista, Objeto } tipo = Nulo;
    bool b = false;
    double n = 0;
    std::string s;
    std::vector<Json> lista;
    std::map<std::string, Json> campos;

    const Json& operator[](const std::string& k) const {
        static const Json nada;
        const auto it = campos.find(k);
        return it == campos.end() ? nada : it->second;
    }
    int I() const { return static_cast<int>(std::lround(n)); }
};

class LeitorJson {
public:
    explicit LeitorJson(const std::string& t) : t_(t) {}

    Json Valor() {
        Espacos();
        Json v;
        const char c = t_.at(i_);
        if (c == '{') {
            v.tipo = Json::Objeto;
            ++i_;
            while (Espacos(), t_.at(i_) != '}') {
                const std::string k = Cadeia();
                Espacos();
                ++i_;  // ':'
                v.campos[k] = Valor();
                Espacos();
                if (t_.at(i_) == ',') ++i_;
            }
            ++i_;
        } else if (c == '[') {
            v.tipo = Json::Lista;
            ++i_;
            while (Espacos(), t_.at(i_) != ']') {
                v.lista.push_back(Valor());
                Espacos();
                if (t_.at(i_) == ',') ++i_;
            }
            ++i_;
        } else if (c == '"') {
            v.tipo = Json::Texto;
            v.s = Cadeia();
        } else if (t_.compare(i_, 4, "true") == 0 || t_.compare(i_, 5, "false") == 0) {
            v.tipo = Json::Logico;
            v.b = c == 't';
            i_ += v.b ? 4 : 5;
        } else if (t_.compare(i_, 4, "null") == 0) {
            i_ += 4;
        } else {
            v.tipo = Json::Numero;
            size_t fim = 0;
            v.n = std::stod(t_.substr(i_, 32), &fim);
            i_ += fim;
        }
        return v;
    }

private:
    void Espacos() {
        while (i_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[i_]))) ++i_;
    }
    std::string Cadeia() {
        std::string r;
        ++i_;  // '"'
        while (t_.at(i_) != '"') {
            char c = t_[i_++];
            if (c != '\\') {
                r += c;
                continue;
            }
            c = t_.at(i_++);
            switch (c) {
                case 'n': r += '\n'; break;
                case 'r': r += '\r'; break;
                case 't': r += '\t'; break;
                case 'u':
                    texto::AcrescentarUtf8(r, static_cast<char32_t>(std::stoul(t_.substr(i_, 4), nullptr, 16)));
                    i_ += 4;
                    break;
                default: r += c;
            }
        }
        ++i_;
        return r;
    }

    const std::string& t_;
    size_t i_ = 0;
};

Caixa CaixaDe(const Json& j) { return {j["x"].I(), j["y"].I(), j["w"].I(), j["h"].I()}; }

// The display list that `danfe paginas` printed. The JSON carries neither
// pixels nor bars: every picture becomes `figura`, and the bars are encoded
// again from the symbol's data.
Documento DocumentoDoJson(const std::string& texto, std::shared_ptr<const Imagem> figura) {
    LeitorJson leitor(texto);
    const Json raiz = leitor.Valor();
    Documento d;
    d.layout = raiz["layout"].s;
    for (const Json& jp : raiz["pages"].lista) {
        Pagina p;
        p.largura = jp["width"].I();
        p.altura = jp["height"].I();
        p.grupo = jp["group"].I();
        p.numero = jp["pageNo"].I();
        p.total = jp["pageCount"].I();
        for (const Json& ji : jp["items"].lista) {
            const std::string& tipo = ji["kind"].s;
            if (tipo == "text") {
                ItemTexto t;
                t.caixa = CaixaDe(ji);
                t.texto = ji["text"].s;
                const std::string& f = ji["font"].s;
                t.fonte.familia = f == "Tahoma" ? Familia::Tahoma : f == "Courier New" ? Familia::CourierNew : Familia::Arial;
                t.fonte.pontos = static_cast<uint8_t>(ji["size"].I());
                t.fonte.negrito = ji["bold"].b;
                if (ji["clip"].tipo == Json::Lista) {
                    const auto& c = ji["clip"].lista;
                    t.recorte = Caixa{c.at(0).I(), c.at(1).I(), c.at(2).I(), c.at(3).I()};
                }
                p.itens.push_back(t);
            } else if (tipo == "rect") {
                ItemRetangulo r;
                r.caixa = CaixaDe(ji);
                r.arredondado = ji["rounded"].b;
                r.contorno = ji["outline"].tipo != Json::Logico || ji["outline"].b;
                p.itens.push_back(r);
            } else if (tipo == "line") {
                ItemLinha l;
                l.caixa = CaixaDe(ji);
                l.pontilhada = ji["dotted"].b;
                p.itens.push_back(l);
            } else if (tipo == "image") {
                ItemImagem i;
                i.caixa = CaixaDe(ji);
                i.imagem = figura;
                p.itens.push_back(i);
            } else if (tipo == "barcode") {
                const SimboloCode128 s = CodificarCode128(ji["data"].s);
                ItemCodigoBarras b;
                b.caixa = CaixaDe(ji);
                b.dados = ji["data"].s;
                b.barras = s.barras;
                b.modulos = s.modulos;
                b.modulo = s.modulos ? b.caixa.w / s.modulos : 254;
                p.itens.push_back(b);
            }
        }
        d.paginas.push_back(std::move(p));
    }
    return d;
}

// A picture with opaque colour, half-transparent and fully transparent
// pixels, premultiplied.
std::shared_ptr<const Imagem> Figura() {
    auto img = std::make_shared<Imagem>();
    img->largura = 60;
    img->altura = 40;
    for (int y = 0; y < img->altura; ++y)
        for (int x = 0; x < img->largura; ++x) {
            const uint32_t a = x < 10 ? 0 : x < 20 ? 128 : 255;
            const uint32_t r = (x * 4) * a / 255, g = (y * 6) * a / 255, b = 200 * a / 255;
            img->pixels.push_back(a << 24 | r << 16 | g << 8 | b);
        }
    return img;
}

// A layout 2.00 NF-e with `itens` items (many pages at 200).
std::string NotaSintetica(int itens) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><NFe><infNFe Id=\"NFe35240612345678000195550010000012341000012349\">"
        "<ide><natOp>VENDA DE MERCADORIA</natOp><serie>1</serie><nNF>1234</nNF><dEmi>2024-06-10</dEmi>"
        "<tpNF>1</tpNF><tpImp>1</tpImp><tpEmis>1</tpEmis><tpAmb>1</tpAmb></ide>"
        "<emit><CNPJ>12345678000195</CNPJ><xNome>Oficina Exemplo de Ferragens Ltda</xNome><enderEmit>"
        "<xLgr>Rua das Acácias</xLgr><nro>1500</nro><xBairro>Jardim Paulista</xBairro><xMun>São Paulo</xMun>"
        "<UF>SP</UF><CEP>01415002</CEP></enderEmit><IE>111222333444</IE></emit>"
        "<dest><CNPJ>98765432000110</CNPJ><xNome>Construtora Horizonte Azul S.A.</xNome><enderDest>"
        "<xLgr>Avenida Brasil</xLgr><nro>250</nro><xBairro>Centro</xBairro><xMun>Rio de Janeiro</xMun>"
        "<UF>RJ</UF><CEP>20040002</CEP></enderDest><IE>87654321</IE></dest>";
    for (int i = 1; i <= itens; ++i) {
        const std::string n = std::to_string(i);
        x += "<det nItem=\"" + n + "\"><prod><cProd>PRD-" + n + "</cProd><xProd>PARAFUSO SEXTAVADO ZINCADO M8 " +
             "COM ARRUELA (CAIXA) N\xC2\xBA " + n + "</xProd><NCM>73181500</NCM><CFOP>6102</CFOP><uCom>CX</uCom>"
             "<qCom>12.0000</qCom><vUnCom>38.5000</vUnCom><vProd>462.00</vProd></prod><imposto><ICMS><ICMS00>"
             "<orig>0</orig><CST>00</CST><vBC>462.00</vBC><pICMS>12.00</pICMS><vICMS>55.44</vICMS></ICMS00></ICMS>"
             "</imposto></det>";
    }
    x += "<total><ICMSTot><vBC>0.00</vBC><vICMS>0.00</vICMS><vProd>924.00</vProd><vNF>924.00</vNF></ICMSTot></total>"
         "<transp><modFrete>0</modFrete></transp><infAdic><infCpl>Pedido 4587/2024.</infCpl></infAdic></infNFe></NFe>";
    return x;
}

// ------------------------------------------------------------ comparisons

struct Cinza {
    int largura = 0, altura = 0;
    std::string pixels;
};

Cinza LerPgm(const std::string& caminho) {
    const std::string d = Ler(caminho);
    Cinza c;
    int maximo = 0, lidos = 0;
    if (std::sscanf(d.c_str(), "P5 %d %d %d%n", &c.largura, &c.altura, &maximo, &lidos) == 3 && lidos > 0)
        c.pixels = d.substr(static_cast<size_t>(lidos) + 1);
    return c;
}

// Page `n` in grey.
Cinza Renderizar(const std::string& pdf, int n, int dpi, const std::string& saida) {
    Executar("pdftoppm -r " + std::to_string(dpi) + " -gray -f " + std::to_string(n) + " -l " + std::to_string(n) + " -singlefile '" + pdf +
             "' '" + saida + "'");
    return LerPgm(saida + ".pgm");
}

struct Diferenca {
    double forte = 0;    // pixels whose grey differs by more than 32 levels
    double isolada = 0;  // of those, the ones that an edge moved by a pixel does not explain
};

// Anti-aliased edges a fraction of a pixel apart differ in grey but not in
// shape: the grey of one image then lies within the range of greys around
// the same place in the other. A pixel outside that range in either
// direction is a real difference.
Diferenca Comparar(const Cinza& a, const Cinza& b) {
    if (a.largura != b.largura || a.altura != b.altura || a.pixels.size() != b.pixels.size()) return {1, 1};
    const auto v = [](const Cinza& c, int x, int y) {
        return static_cast<int>(static_cast<unsigned char>(c.pixels[static_cast<size_t>(y) * c.largura + x]));
    };
    const auto dentro = [&](const Cinza& de, const Cinza& em, int x, int y) {
        int menor = 255, maior = 0;
        for (int yy = std::max(0, y - 1); yy <= std::min(em.altura - 1, y + 1); ++yy)
            for (int xx = std::max(0, x - 1); xx <= std::min(em.largura - 1, x + 1); ++xx)
                menor = std::min(menor, v(em, xx, yy)), maior = std::max(maior, v(em, xx, yy));
        return v(de, x, y) >= menor - 32 && v(de, x, y) <= maior + 32;
    };
    size_t fortes = 0, isoladas = 0;
    for (int y = 0; y < a.altura; ++y)
        for (int x = 0; x < a.largura; ++x) {
            if (std::abs(v(a, x, y) - v(b, x, y)) <= 32) continue;
            ++fortes;
            if (!dentro(a, b, x, y) || !dentro(b, a, x, y)) ++isoladas;
        }
    const double total = static_cast<double>(a.largura) * a.altura;
    return {fortes / total, isoladas / total};
}

// The "Key: value" lines of pdfinfo that must agree, page sizes included.
std::string Propriedades(const std::string& pdf, int paginas) {
    const std::string info = Executar("pdfinfo -f 1 -l " + std::to_string(paginas) + " '" + pdf + "' 2>&1");
    std::istringstream in(info);
    std::string r;
    for (std::string linha; std::getline(in, linha);)
        for (const char* chave : {"Title:", "Subject:", "Keywords:", "Author:", "Creator:", "Pages:", "Page "})
            if (linha.rfind(chave, 0) == 0) r += linha + "\n";
    return r;
}

// pdftotext's layout with runs of spaces as one: cairo rounds glyph
// positions, which moves a column by one space here and there.
std::string TextoCompacto(const std::string& pdf) {
    const std::string t = Executar("pdftotext -layout '" + pdf + "' -");
    return std::regex_replace(t, std::regex(" +"), " ");
}

class PdfDireto : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TemFerramenta("pdfinfo") || !TemFerramenta("pdftotext") || !TemFerramenta("pdftoppm"))
            GTEST_SKIP() << "poppler-utils missing";
        char modelo[] = "/tmp/corvexa-pdf-XXXXXX";
        ASSERT_NE(mkdtemp(modelo), nullptr);
        pasta_ = modelo;
    }
    void TearDown() override {
        if (!pasta_.empty()) fs::remove_all(pasta_);
    }
    std::string Caminho(const std::string& nome) const { return (pasta_ / nome).string(); }

    // The checks of a valid file: qpdf finds nothing, poppler reads it
    // without a word on stderr, and every font is an embedded subset with
    // a ToUnicode map.
    void Valido(const std::string& pdf) {
        if (TemFerramenta("qpdf")) {
            int st = -1;
            const std::string r = Executar("qpdf --check '" + pdf + "' 2>&1", &st);
            EXPECT_EQ(st, 0) << r;
            EXPECT_EQ(r.find("WARNING"), std::string::npos) << r;
        }
        EXPECT_EQ(Executar("pdfinfo '" + pdf + "' 2>&1 >/dev/null"), "");
        EXPECT_EQ(Executar("pdftotext '" + pdf + "' /dev/null 2>&1"), "");
        std::istringstream fontes(Executar("pdffonts '" + pdf + "' 2>&1"));
        std::string linha;
        std::getline(fontes, linha);
        std::getline(fontes, linha);
        while (std::getline(fontes, linha)) {
            EXPECT_NE(linha.find("+"), std::string::npos) << linha;
            EXPECT_NE(linha.find("CID TrueType"), std::string::npos) << linha;
            EXPECT_NE(linha.find(" yes yes yes "), std::string::npos) << linha;
        }
    }

    // The worst page of the two writers' images of a document.
    Diferenca Pixels(const Documento& doc, const std::string& nome, int dpi) {
        const std::string direto = Caminho(nome + "-direto.pdf"), cairo = Caminho(nome + "-cairo.pdf");
        render::EscreverPdf(doc, direto);
        render::EscreverPdfCairo(doc, cairo);
        Diferenca pior;
        for (int n = 1; n <= static_cast<int>(std::max<size_t>(1, doc.paginas.size())); ++n) {
            const Cinza a = Renderizar(direto, n, dpi, Caminho("d")), b = Renderizar(cairo, n, dpi, Caminho("c"));
            EXPECT_GT(a.pixels.size(), 0u);
            const Diferenca d = Comparar(a, b);
            pior.forte = std::max(pior.forte, d.forte);
            pior.isolada = std::max(pior.isolada, d.isolada);
        }
        return pior;
    }

    // Both writers on one document: the same pages, sizes, properties and
    // text, and page images at 100 dpi that differ only at anti-aliased edges.
    void CompararComCairo(const Documento& doc, const std::string& nome) {
        const render::PropriedadesPdf props{"Tessalin", "NFe, DANFE", "NFe - DANFE", "Nota Fiscal Eletrônica (DANFE)"};
        const std::string direto = Caminho(nome + "-direto.pdf"), cairo = Caminho(nome + "-cairo.pdf");
        render::EscreverPdf(doc, direto, props);
        render::EscreverPdfCairo(doc, cairo, props);
        Valido(direto);

        const int paginas = static_cast<int>(std::max<size_t>(1, doc.paginas.size()));
        const std::string info = Propriedades(direto, paginas);
        EXPECT_NE(info.find("Pages:           " + std::to_string(paginas) + "\n"), std::string::npos) << info;
        EXPECT_EQ(info, Propriedades(cairo, paginas));
        EXPECT_EQ(Executar("pdftotext -raw '" + direto + "' -"), Executar("pdftotext -raw '" + cairo + "' -"));
        EXPECT_EQ(TextoCompacto(direto), TextoCompacto(cairo));

        // Texts: glyphs drift in cairo's file (see below), so their pixels
        // are compared loosely; shapes, pictures and bars alone, closely, at
        // 103 dpi: at 100 many edges of the layouts fall exactly on poppler's
        // quarter-pixel sample rows, where the last digit of a coordinate
        // decides a whole row of anti-aliasing.
        const Diferenca tudo = Pixels(doc, nome, 100);
        Documento formas = doc;
        for (Pagina& p : formas.paginas)
            std::erase_if(p.itens, [](const Item& i) { return std::holds_alternative<ItemTexto>(i); });
        const Diferenca semTexto = Pixels(formas, nome + "-formas", 103);
        std::printf("  %s: %d page(s); worst page: %.3f%% of pixels differ by more than 32 grey levels, %.3f%% "
                    "beyond a 1-pixel shift; without the texts %.4f%% and %.4f%%\n",
                    nome.c_str(), paginas, 100 * tudo.forte, 100 * tudo.isolada, 100 * semTexto.forte,
                    100 * semTexto.isolada);
        EXPECT_LE(tudo.forte, 0.015) << nome;
        EXPECT_LE(tudo.isolada, 0.002) << nome;
        EXPECT_LE(semTexto.forte, 0.0001) << nome;
        EXPECT_LE(semTexto.isolada, 0.00001) << nome;
    }

    fs::path pasta_;
};

}  // namespace

// The DANFE of the bundled samples and of a 200-item invoice (12 pages).
// Measured at 100 dpi (a portrait page is 827 x 1170 pixels), worst page of
// each: 0.7 to 1.2% of the pixels differ by more than 32 grey levels and 0.08
// to 0.11% by more than an edge moved one pixel explains, all of them in
// glyphs: cairo stores glyph widths truncated to 1/1000 em and paths in
// 1/256 pt, so its glyphs drift left along a line (0.3 pt at the end of a
// long caption) while ours stay where the metrics put them. Without the
// texts (at 103 dpi) no pixel differs by more than 32 levels.
TEST_F(PdfDireto, DanfesIguaisAosDoCairo) {
    const std::string danfe = std::string(CORVEXA_BIN) + "/danfe";
    if (!fs::exists(danfe)) GTEST_SKIP() << "danfe not built";
    Gravar(Caminho("200itens.xml"), NotaSintetica(200));
    const std::string exemplo = (fs::path(CORVEXA_FIXTURES).parent_path().parent_path() / "samples/nfe-exemplo.xml").string();
    const struct {
        const char* nome;
        std::string xml;
        const char* layout;
    } casos[] = {
        {"retrato", exemplo, "--retrato"},
        {"paisagem", exemplo, "--paisagem"},
        {"simples-nacional", std::string(CORVEXA_SAMPLES) + "/br_danfe-v200-simples-nacional.xml", ""},
        {"200-itens", Caminho("200itens.xml"), ""},
    };
    const auto figura = Figura();
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        ASSERT_TRUE(fs::exists(c.xml)) << c.xml;
        const std::string json = Executar("'" + danfe + "' paginas '" + c.xml + "' " + c.layout + " 2>/dev/null");
        const Documento doc = DocumentoDoJson(json, figura);
        ASSERT_FALSE(doc.paginas.empty()) << json.substr(0, 500);
        CompararComCairo(doc, c.nome);
    }
}

namespace {

ItemTexto Texto(Mm x, Mm y, const std::string& utf8, fontes::Fonte f) {
    const auto& m = fontes::Metricas::Padrao();
    ItemTexto t;
    t.texto = utf8;
    t.fonte = f;
    t.caixa = {x, y, m.Largura(f, texto::Utf8ParaAnsi(utf8)), m.AlturaLinha(f)};
    return t;
}

Pagina A4() {
    Pagina p;
    p.largura = 210000;
    p.altura = 297000;
    p.grupo = p.numero = p.total = 1;
    return p;
}

// A logo as a metafile leaves it: filled and stroked paths (one begun by a
// curve, one closed twice), a text with its own advances and a bitmap.
std::shared_ptr<const ImagemVetorial> Vetor(std::shared_ptr<const Imagem> bitmap) {
    auto v = std::make_shared<ImagemVetorial>();
    v->x = 100, v->y = 50, v->largura = 400, v->altura = 200;
    ComandoCaminho estrela;
    using S = Segmento;
    estrela.segmentos = {S::Mover, S::Linha, S::Linha, S::Linha, S::Linha, S::Fechar};
    estrela.pontos = {{300, 60}, {360, 240}, {120, 120}, {480, 120}, {240, 240}};
    estrela.preenchimento = CorRgb{200, 30, 30};
    estrela.parImpar = true;
    estrela.traco = Traco{{0, 0, 120}, 6, Terminal::Quadrado, Juncao::Aguda};
    ComandoCaminho gota;
    gota.segmentos = {S::Curva, S::Linha, S::Fechar, S::Fechar};
    gota.pontos = {{110, 200}, {150, 60}, {200, 200}, {110, 200}};
    gota.preenchimento = CorRgb{20, 160, 20};
    gota.parImpar = false;
    ComandoCaminho risco;
    risco.segmentos = {S::Mover, S::Linha};
    risco.pontos = {{100, 245}, {500, 245}};
    risco.traco = Traco{{0, 0, 0}, 0, Terminal::Redondo, Juncao::Redonda};
    ComandoTexto marca;
    marca.origem = {380, 90};
    marca.texto = "Ação";
    marca.tamanho = 30;
    marca.negrito = true;
    marca.cor = {0, 0, 200};
    marca.avancos = {30, 22, 20, 20};
    ComandoBitmap foto;
    foto.imagem = std::move(bitmap);
    foto.x = 400, foto.y = 150, foto.largura = 90, foto.altura = 45;
    v->comandos = {estrela, gota, risco, marca, foto};
    return v;
}

}  // namespace

// Every character of the code page from 0x21 up in every face (the undefined
// ones draw nothing in either file) and every kind of item: the same text and
// pixels as cairo's PDF. The text proves the ToUnicode maps and the escaping
// of glyph ids that read as string delimiters.
TEST_F(PdfDireto, TodosOsCaracteresETiposDeItem) {
    std::string todos;
    for (int c = 0x21; c < 0x100; ++c) todos += static_cast<char>(c);
    Documento d;
    Pagina p = A4();
    Mm y = 10000;
    for (int f = 0; f < 6; ++f) {
        const fontes::Fonte fonte{static_cast<Familia>(f / 2), 7, f % 2 == 1};
        for (size_t i = 0; i < todos.size(); i += 64, y += 4000)
            p.itens.push_back(Texto(10000, y, texto::AnsiParaUtf8(todos.substr(i, 64)), fonte));
    }
    ItemRetangulo caixa;
    caixa.caixa = {10000, 110000, 90000, 30000};
    caixa.arredondado = true;
    p.itens.push_back(caixa);
    ItemTexto cortado = Texto(12000, 112000, "TEXTO CORTADO PELA CAIXA DE RECORTE", {Familia::Arial, 12, true});
    cortado.recorte = Caixa{12000, 112000, 30000, 3000};
    p.itens.push_back(cortado);
    ItemLinha vertical;
    vertical.caixa = {105000, 110000, 265, 30000};
    vertical.pontilhada = true;
    p.itens.push_back(vertical);
    ItemLinha horizontal;
    horizontal.caixa = {110000, 112000, 80000, 265};
    horizontal.pontilhada = true;
    p.itens.push_back(horizontal);
    ItemRetangulo regiao;  // white over the dots
    regiao.caixa = {150000, 111000, 10000, 3000};
    regiao.contorno = false;
    p.itens.push_back(regiao);
    const auto figura = Figura();
    ItemImagem logo;
    logo.caixa = {110000, 120000, 30000, 20000};
    logo.imagem = figura;
    p.itens.push_back(logo);
    ItemImagem vetor;
    vetor.caixa = {150000, 120000, 40000, 30000};
    vetor.vetorial = Vetor(figura);
    p.itens.push_back(vetor);
    const SimboloCode128 s = CodificarCode128("35240612345678000199550010000001231000001234");
    ItemCodigoBarras barras;
    barras.caixa = {20000, 150000, s.modulos * 254, 10554};
    barras.barras = s.barras;
    barras.modulos = s.modulos;
    p.itens.push_back(barras);
    d.paginas.push_back(p);
    // The same picture again on a landscape page, and an opaque one.
    Pagina paisagem = A4();
    std::swap(paisagem.largura, paisagem.altura);
    logo.caixa = {20000, 20000, 60000, 40000};
    paisagem.itens.push_back(logo);
    auto opaca = std::make_shared<Imagem>(*figura);
    for (uint32_t& px : opaca->pixels) px |= 0xFF000000u;
    ItemImagem outra;
    outra.caixa = {100000, 20000, 30000, 20000};
    outra.imagem = opaca;
    paisagem.itens.push_back(outra);
    d.paginas.push_back(paisagem);

    CompararComCairo(d, "itens");

    // Each picture stored once, the transparent one with its soft mask.
    const std::string pdf = render::GerarPdf(d);
    const auto contar = [&](const std::string& s) {
        size_t n = 0;
        for (size_t i = pdf.find(s); i != std::string::npos; i = pdf.find(s, i + 1)) ++n;
        return n;
    };
    EXPECT_EQ(contar("/Subtype/Image"), 3u);
    EXPECT_EQ(contar("/SMask "), 1u);
}

// A clip box that cuts into the glyphs on any side still cuts them (the
// writer leaves out only clips that no ink crosses): at 150 dpi no dark
// pixel lies beyond the box, and the part inside is drawn.
TEST_F(PdfDireto, RecorteCortaATintaQueSai) {
    const fontes::Fonte f{Familia::Arial, 20, true};
    const struct {
        const char* lado;
        const char* texto;
        Mm esquerda, topo, direita, base;  // how far the clip box is moved in from each side of the text's box
    } casos[] = {
        {"direita", "RECORTE", 0, 0, 3000, 0},
        {"esquerda", "RECORTE", 1500, 0, 0, 0},
        {"topo", "RECORTE", 0, 2500, 0, 0},
        {"base", "gjpqy", 0, 0, 0, 1200},
    };
    Documento d;
    Pagina p = A4();
    std::vector<Caixa> recortes;
    Mm y = 20000;
    for (const auto& c : casos) {
        ItemTexto t = Texto(20000, y, c.texto, f);
        const Caixa& k = t.caixa;
        t.recorte = Caixa{k.x + c.esquerda, k.y + c.topo, k.w - c.esquerda - c.direita, k.h - c.topo - c.base};
        recortes.push_back(*t.recorte);
        p.itens.push_back(t);
        y += 30000;
    }
    d.paginas.push_back(p);
    const std::string pdf = Caminho("recorte.pdf");
    render::EscreverPdf(d, pdf);
    Valido(pdf);
    const Cinza img = Renderizar(pdf, 1, 150, Caminho("recorte"));
    ASSERT_GT(img.pixels.size(), 0u);
    const auto px = [](double mm) { return mm * 150 / 25400; };
    for (size_t i = 0; i < recortes.size(); ++i) {
        SCOPED_TRACE(casos[i].lado);
        const Caixa& r = recortes[i];
        // One pixel of anti-aliasing around the box.
        const double x0 = px(r.x) - 1, x1 = px(double(r.x) + r.w) + 1, y0 = px(r.y) - 1, y1 = px(double(r.y) + r.h) + 1;
        size_t dentro = 0, fora = 0;
        for (int yy = static_cast<int>(px(r.y - 10000)); yy < static_cast<int>(px(r.y + 20000)); ++yy)
            for (int xx = 0; xx < img.largura; ++xx)
                if (static_cast<unsigned char>(img.pixels[static_cast<size_t>(yy) * img.largura + xx]) < 128)
                    ++(xx >= x0 && xx + 1 <= x1 && yy >= y0 && yy + 1 <= y1 ? dentro : fora);
        EXPECT_GT(dentro, 100u);
        EXPECT_EQ(fora, 0u);
    }
}

// pdftotext's word boxes: each word starts where the metrics put it, also
// after a character the font lacks (which keeps its advance).
TEST_F(PdfDireto, GlifosNasPosicoesDasMetricas) {
    const fontes::Fonte f{Familia::Tahoma, 8, false};
    const std::string texto = "NATUREZA DA OPERACAO VENDA DE MERCADORIA ADQUIRIDA DE TERCEIROS \xC2\x81" "FIM (1) 2\\3";
    Documento d;
    Pagina p = A4();
    p.itens.push_back(Texto(12345, 50000, texto, f));
    d.paginas.push_back(p);
    const std::string pdf = Caminho("glifos.pdf");
    render::EscreverPdf(d, pdf);
    Valido(pdf);
    const std::string bbox = Executar("pdftotext -bbox '" + pdf + "' -");
    const std::regex palavra(R"re(<word xMin="([0-9.]+)" yMin="[0-9.]+" xMax="([0-9.]+)" yMax="[0-9.]+">([^<]*)</word>)re");
    const std::string ansi = texto::Utf8ParaAnsi(texto);
    const auto& m = fontes::Metricas::Padrao();
    const double pt = 72.0 / 25400;
    size_t inicio = 0, palavras = 0;
    for (std::sregex_iterator it(bbox.begin(), bbox.end(), palavra), fim; it != fim; ++it, ++palavras) {
        std::string w = (*it)[3];
        w = std::regex_replace(w, std::regex("&amp;"), "&");
        inicio = ansi.find(w, inicio);
        ASSERT_NE(inicio, std::string::npos) << w << "\n" << bbox;
        const double x0 = (12345 + m.Largura(f, ansi.substr(0, inicio))) * pt;
        const double x1 = (12345 + m.Largura(f, ansi.substr(0, inicio + w.size()))) * pt;
        EXPECT_NEAR(std::stod((*it)[1]), x0, 0.003) << w;
        EXPECT_NEAR(std::stod((*it)[2]), x1, 0.003) << w;
        inicio += w.size();
    }
    EXPECT_EQ(palavras, 12u) << bbox;
}

// Properties are PDF text strings: delimiters escaped, anything beyond
// ASCII in UTF-16 (characters outside the BMP as surrogate pairs), and
// code-page bytes that are not UTF-8 read as the code page.
TEST_F(PdfDireto, PropriedadesComCaracteresEspeciais) {
    Documento d;
    d.paginas.push_back(A4());
    const std::string pdf = Caminho("props.pdf");
    render::EscreverPdf(d, pdf, {"Jos\xE9 da Silva", "a) b( c\\d", "Assunto \xF0\x9F\x98\x80 fim", ""});
    const std::string info = Executar("pdfinfo '" + pdf + "'");
    EXPECT_NE(info.find("Author:          José da Silva\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Keywords:        a) b( c\\d\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Subject:         Assunto \xF0\x9F\x98\x80 fim\n"), std::string::npos) << info;
    EXPECT_EQ(info.find("Title:"), std::string::npos) << info;
    EXPECT_NE(info.find("Creator:         Corvexa\n"), std::string::npos) << info;
    Valido(pdf);
}

// Input that draws nothing or that no page could hold: a valid file all the
// same. A page without size fails before any file appears.
TEST_F(PdfDireto, EntradaEstranha) {
    Documento d;
    Pagina p = A4();
    ItemTexto semTamanho = Texto(10000, 10000, "TAMANHO ZERO", {Familia::Arial, 8, false});
    semTamanho.fonte.pontos = 0;
    p.itens.push_back(semTamanho);
    p.itens.push_back(Texto(10000, 20000, "\xC2\x81\xC2\x8D", {Familia::Arial, 8, false}));  // no glyph at all
    ItemTexto recorteVazio = Texto(10000, 30000, "SEM AREA", {Familia::Arial, 8, false});
    recorteVazio.recorte = Caixa{10000, 30000, 0, 2000};
    p.itens.push_back(recorteVazio);
    p.itens.push_back(Texto(-50000, -40000, "FORA DA PAGINA", {static_cast<Familia>(9), 200, true}));
    p.itens.push_back(Texto(2000000000, 2000000000, "MUITO LONGE", {Familia::CourierNew, 255, false}));
    ItemRetangulo enorme;
    enorme.caixa = {-2000000000, -2000000000, 2147483647, 2147483647};
    enorme.arredondado = true;
    p.itens.push_back(enorme);
    ItemLinha plana;
    plana.caixa = {10000, 10000, 0, 265};
    p.itens.push_back(plana);
    ItemImagem semImagem;
    semImagem.caixa = {10000, 10000, 5000, 5000};
    p.itens.push_back(semImagem);
    auto curta = std::make_shared<Imagem>();
    curta->largura = curta->altura = 10;
    curta->pixels.resize(5);
    ItemImagem truncada = semImagem;
    truncada.imagem = curta;
    p.itens.push_back(truncada);
    auto quebrado = std::make_shared<ImagemVetorial>(*Vetor(nullptr));
    auto& caminho = std::get<ComandoCaminho>(quebrado->comandos[0]);
    caminho.pontos[1].x = std::nan("");
    std::get<ComandoCaminho>(quebrado->comandos[1]).pontos.resize(2);  // a curve short of points
    ComandoCaminho soFechar;
    soFechar.segmentos = {Segmento::Fechar};
    soFechar.preenchimento = CorRgb{};
    quebrado->comandos.push_back(soFechar);
    ItemImagem vetor;
    vetor.caixa = {20000, 20000, 40000, 30000};
    vetor.vetorial = quebrado;
    p.itens.push_back(vetor);
    auto semLimites = std::make_shared<ImagemVetorial>(*quebrado);
    semLimites->largura = 0;
    vetor.vetorial = semLimites;
    p.itens.push_back(vetor);
    ItemCodigoBarras semBarras;
    semBarras.caixa = {10000, 10000, 1000, 1000};
    p.itens.push_back(semBarras);
    d.paginas.push_back(p);

    const std::string pdf = Caminho("estranha.pdf");
    ASSERT_NO_THROW(render::EscreverPdf(d, pdf));
    Valido(pdf);
    // A text far off the page is left out of the file.
    const std::string txt = Executar("pdftotext -nopgbrk '" + pdf + "' -");
    EXPECT_EQ(txt.find("MUITO"), std::string::npos) << txt;
    EXPECT_NE(txt.find("ORA D"), std::string::npos) << txt;

    d.paginas.push_back(A4());
    d.paginas.back().altura = 0;
    try {
        render::EscreverPdf(d, Caminho("sem-tamanho.pdf"));
        FAIL() << "no failure";
    } catch (const Falha& e) {
        EXPECT_STREQ(e.what(), "Página sem tamanho no documento");
    }
    EXPECT_FALSE(fs::exists(Caminho("sem-tamanho.pdf")));
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(pasta_)) ++n;
    EXPECT_EQ(n, 1u);
}

// Documents written at the same time in several threads, each making font
// subsets and pictures no other document made before: the same bytes as
// when written alone (the creation date aside).
TEST_F(PdfDireto, DocumentosEmParalelo) {
    const auto semData = [](std::string pdf) {
        const size_t i = pdf.find("/CreationDate(");
        if (i != std::string::npos) pdf.replace(i, 32, 32, ' ');
        return pdf;
    };
    constexpr int kThreads = 4;
    std::vector<Documento> docs(kThreads);
    for (int k = 0; k < kThreads; ++k) {
        Pagina p = A4();
        std::string s = "PARALELO ";
        s += static_cast<char>(0x80 + 4 * k);
        s += static_cast<char>(0x90 + 3 * k);
        p.itens.push_back(Texto(10000, 10000, texto::AnsiParaUtf8(s), {static_cast<Familia>(k % 3), 9, k >= 2}));
        auto img = std::make_shared<Imagem>(*Figura());
        img->pixels[k] ^= 0x00010101u * static_cast<uint32_t>(k + 1);
        ItemImagem i;
        i.caixa = {50000, 50000, 20000, 20000};
        i.imagem = img;
        p.itens.push_back(i);
        docs[k].paginas.assign(3, p);
    }
    std::vector<std::string> paralelo(kThreads);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k)
        threads.emplace_back([&, k] { paralelo[k] = render::GerarPdf(docs[k]); });
    for (auto& t : threads) t.join();
    for (int k = 0; k < kThreads; ++k) {
        EXPECT_EQ(semData(paralelo[k]), semData(render::GerarPdf(docs[k]))) << k;
        const std::string pdf = Caminho("paralelo" + std::to_string(k) + ".pdf");
        Gravar(pdf, paralelo[k]);
        Valido(pdf);
    }
}
