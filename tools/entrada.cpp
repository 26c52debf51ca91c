// Reading NF-e files for the library: the encodings of the file, and NF-e
// kept inside other elements.
#include <fstream>
#include <iterator>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"
#include "entrada.h"
#include "xml/documento.h"

namespace corvexa::cli {

std::u16string LerArquivoXml(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    if (!f) throw Falha("Não foi possível abrir o arquivo: " + caminho);
    std::string b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (f.bad()) throw Falha("Não foi possível ler o arquivo: " + caminho);

    auto byte = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
    if (b.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool bigEndian = byte(0) == 0xFE;
        std::u16string r;
        r.reserve(b.size() / 2);
        // A lone last byte cannot be a character: it is left out.
        for (size_t i = 2; i + 1 < b.size(); i += 2) {
            const unsigned hi = bigEndian ? byte(i) : byte(i + 1);
            const unsigned lo = bigEndian ? byte(i + 1) : byte(i);
            r.push_back(static_cast<char16_t>(hi << 8 | lo));
        }
        return r;
    }
    std::string_view texto(b);
    if (texto.starts_with("\xEF\xBB\xBF")) texto.remove_prefix(3);
    return texto::Utf8ParaUtf16(texto);
}

namespace {

bool EhNFe(std::string_view nome) { return texto::IgualSemCaixa(nome, "NFe"); }

// How many "NFe" elements the library's reader sees in the document, at any
// depth, and whether one of them is at the top level.
size_t ContarNFe(const xml::Documento& doc, bool& noTopo) {
    size_t n = 0;
    noTopo = false;
    for (const xml::No no : doc.NosTopo()) {
        if (no.Tipo() != xml::TipoNo::Elemento) continue;
        if (EhNFe(no.Nome())) {
            noTopo = true;
            ++n;
        }
        n += doc.TodosDescendentes(no, "NFe").size();
    }
    return n;
}

// Where the elements of a text begin and end. Only run over text that the
// library's reader has accepted, so it needs to tell the kinds of markup
// apart the way the reader does, not to judge them.
class Varredura {
public:
    explicit Varredura(std::string_view t) : t_(t) {}

    struct Trecho {
        size_t inicio, fim;
        std::string_view envolvente;
    };

    // The outermost "NFe" elements in document order; `total` counts every
    // "NFe" start tag, nested ones included.
    std::vector<Trecho> NFe(size_t& total) {
        std::vector<Trecho> r;
        struct Aberto {
            std::string_view nome;
            size_t inicio;
            bool nfe;  // an outermost NF-e
        };
        std::vector<Aberto> abertos;
        size_t dentroDeNFe = 0;  // open NF-e elements
        total = 0;
        size_t p = 0;
        while ((p = t_.find('<', p)) != std::string_view::npos) {
            const std::string_view resto = t_.substr(p);
            if (resto.starts_with("<!--")) {
                p = Depois(p + 4, "-->");
            } else if (resto.starts_with("<![CDATA[")) {
                p = Depois(p + 9, "]]>");
            } else if (resto.starts_with("<!")) {
                p = FimTipoDocumento(p);
            } else if (resto.starts_with("<?")) {
                p = Depois(p + 2, "?>");
            } else if (resto.starts_with("</")) {
                const size_t fim = Depois(p + 2, ">");
                if (!abertos.empty()) {
                    const Aberto a = abertos.back();
                    abertos.pop_back();
                    if (EhNFe(a.nome)) --dentroDeNFe;
                    if (a.nfe) r.push_back({a.inicio, fim, abertos.empty() ? std::string_view() : abertos.back().nome});
                }
                p = fim;
            } else {
                const size_t nome = p + 1;
                size_t q = nome;
                while (q < t_.size() && !EhEspaco(t_[q]) && t_[q] != '>' && t_[q] != '/') ++q;
                const std::string_view n = t_.substr(nome, q - nome);
                bool vazio = false;
                q = FimMarca(q, vazio);
                const bool nfe = EhNFe(n);
                const bool externa = nfe && dentroDeNFe == 0;
                if (nfe) ++total;
                if (vazio) {
                    if (externa) r.push_back({p, q, abertos.empty() ? std::string_view() : abertos.back().nome});
                } else {
                    abertos.push_back({n, p, externa});
                    if (nfe) ++dentroDeNFe;
                }
                p = q;
            }
        }
        return r;
    }

private:
    static bool EhEspaco(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    size_t Depois(size_t de, std::string_view fecho) const {
        const size_t f = t_.find(fecho, de);
        return f == std::string_view::npos ? t_.size() : f + fecho.size();
    }

    // After the '>' of a start tag whose name ends at q; quoted attribute
    // values may hold '>' and '/'.
    size_t FimMarca(size_t q, bool& vazio) const {
        while (q < t_.size()) {
            const char c = t_[q];
            if (c == '"' || c == '\'') {
                q = Depois(q + 1, std::string_view(&c, 1));
            } else if (c == '>') {
                return q + 1;
            } else if (c == '/' && q + 1 < t_.size() && t_[q + 1] == '>') {
                vazio = true;
                return q + 2;
            } else {
                ++q;
            }
        }
        return q;
    }

    // A document type declaration with its internal subset: quotes, comments
    // and brackets skipped as the reader skips them.
    size_t FimTipoDocumento(size_t p) const {
        int colchetes = 0;
        size_t q = p + 2;
        while (q < t_.size()) {
            const char c = t_[q];
            if (c == '"' || c == '\'') q = Depois(q + 1, std::string_view(&c, 1));
            else if (t_.substr(q).starts_with("<!--")) q = Depois(q + 4, "-->");
            else if (c == '[') ++colchetes, ++q;
            else if (c == ']') colchetes -= colchetes > 0, ++q;
            else if (c == '>' && colchetes == 0) return q + 1;
            else ++q;
        }
        return q;
    }

    std::string_view t_;
};

}  // namespace

std::optional<NFeEncontradas> DesembrulharNFe(std::string_view ansi) {
    xml::Documento doc;
    try {
        doc.Carregar(std::string(ansi));
    } catch (const Falha&) {
        return std::nullopt;
    }
    bool noTopo = false;
    const size_t esperadas = ContarNFe(doc, noTopo);
    if (noTopo || esperadas == 0) return std::nullopt;

    size_t total = 0;
    const auto trechos = Varredura(ansi).NFe(total);
    // Both must see the same elements; otherwise the text goes as it stands.
    if (total != esperadas || trechos.empty()) return std::nullopt;
    NFeEncontradas r;
    for (const auto& t : trechos) {
        if (!r.texto.empty()) r.texto += '\n';
        r.texto.append(ansi.substr(t.inicio, t.fim - t.inicio));
    }
    r.quantidade = trechos.size();
    r.envolvente = texto::AnsiParaUtf8(trechos.front().envolvente);
    return r;
}

}  // namespace corvexa::cli
