#include "report/json.h"

#include <cstdio>
#include <variant>

#include "base/texto.h"

namespace corvexa::report {
namespace {

// Appends a JSON string. Text that is not valid UTF-8 is read as the code page.
void Texto(std::string& o, std::string_view s) {
    const std::string convertido = texto::EhUtf8Valido(s) ? std::string() : texto::AnsiParaUtf8(s);
    if (!convertido.empty()) s = convertido;
    o.push_back('"');
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': o += "\\\""; break;
            case '\\': o += "\\\\"; break;
            case '\n': o += "\\n"; break;
            case '\r': o += "\\r"; break;
            case '\t': o += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    o += buf;
                } else {
                    o.push_back(ch);
                }
        }
    }
    o.push_back('"');
}

void Numero(std::string& o, const char* chave, long long v) {
    o += ", \"";
    o += chave;
    o += "\": ";
    o += std::to_string(v);
}

void Logico(std::string& o, const char* chave, bool v) {
    o += ", \"";
    o += chave;
    o += "\": ";
    o += v ? "true" : "false";
}

void Cadeia(std::string& o, const char* chave, std::string_view v) {
    o += ", \"";
    o += chave;
    o += "\": ";
    Texto(o, v);
}

void Inicio(std::string& o, const char* tipo, const Caixa& c) {
    o += "{\"kind\": \"";
    o += tipo;
    o += '"';
    Numero(o, "x", c.x);
    Numero(o, "y", c.y);
    Numero(o, "w", c.w);
    Numero(o, "h", c.h);
}

void Fim(std::string& o, const std::string& id) {
    if (!id.empty()) Cadeia(o, "id", id);
    o += '}';
}

struct Escritor {
    std::string& o;

    void operator()(const ItemTexto& t) const {
        Inicio(o, "text", t.caixa);
        Cadeia(o, "text", t.texto);
        Cadeia(o, "font", fontes::NomeFamilia(t.fonte.familia));
        Numero(o, "size", t.fonte.pontos);
        Logico(o, "bold", t.fonte.negrito);
        if (t.recorte) {
            const Caixa& r = *t.recorte;
            o += ", \"clip\": [" + std::to_string(r.x) + ", " + std::to_string(r.y) + ", " + std::to_string(r.w) +
                 ", " + std::to_string(r.h) + "]";
        }
        Fim(o, t.id);
    }
    void operator()(const ItemRetangulo& r) const {
        Inicio(o, "rect", r.caixa);
        Logico(o, "rounded", r.arredondado);
        if (!r.contorno) Logico(o, "outline", false);
        Fim(o, r.id);
    }
    void operator()(const ItemLinha& l) const {
        Inicio(o, "line", l.caixa);
        Logico(o, "dotted", l.pontilhada);
        Fim(o, l.id);
    }
    void operator()(const ItemImagem& i) const {
        Inicio(o, "image", i.caixa);
        if (i.vetorial) Logico(o, "vector", true);
        Fim(o, i.id);
    }
    void operator()(const ItemCodigoBarras& b) const {
        Inicio(o, "barcode", b.caixa);
        Numero(o, "modules", b.modulos);
        Cadeia(o, "data", b.dados);
        Fim(o, b.id);
    }
};

}  // namespace

std::string DocumentoParaJson(const Documento& documento) {
    std::string o;
    o.reserve(256 + documento.paginas.size() * 16384);
    o += "{\"layout\": ";
    Texto(o, documento.layout);
    o += ", \"pages\": [";
    bool primeiraPagina = true;
    for (const Pagina& p : documento.paginas) {
        o += primeiraPagina ? "\n  " : ",\n  ";
        primeiraPagina = false;
        o += "{\"width\": " + std::to_string(p.largura);
        Numero(o, "height", p.altura);
        Numero(o, "group", p.grupo);
        Numero(o, "pageNo", p.numero);
        Numero(o, "pageCount", p.total);
        o += ",\n   \"items\": [";
        bool primeiro = true;
        for (const Item& item : p.itens) {
            o += primeiro ? "\n    " : ",\n    ";
            primeiro = false;
            std::visit(Escritor{o}, item);
        }
        o += "]}";
    }
    o += "]}\n";
    return o;
}

}  // namespace corvexa::report
