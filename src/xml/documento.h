#pragma once
// A small XML reader for the document model the NF-e readers rely on:
//  - the text is 8-bit (every byte one Windows-1252 character); the declared
//    encoding is ignored;
//  - several top-level elements may stand side by side;
//  - end tags match their start tags without regard to letter case;
//  - names are compared as whole names, letter case ignored (accented letters
//    included), namespace prefixes are part of the name;
//  - the "own text" of an element is the run of text between its start tag and
//    its first child node or end tag, white space kept, predefined entities and
//    numeric character references expanded; white space only counts as none.
//
// The document owns one buffer; nodes are small handles into it. An empty
// handle is valid: lookups on it find nothing and its texts are empty.
// Parsing is linear in the text and never recurses, so deep nesting is safe.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvexa::xml {

class Documento;

enum class TipoNo : uint8_t { Elemento, Texto, CData, Comentario, Instrucao, Declaracao, TipoDocumento };

// A handle to a node of a document; cheap to copy.
class No {
public:
    No() = default;
    explicit operator bool() const { return doc_ != nullptr; }
    TipoNo Tipo() const;
    // The tag as written (prefix included) for elements; the target for
    // processing instructions; empty for other kinds.
    std::string_view Nome() const;

private:
    friend class Documento;
    No(const Documento* d, uint32_t i) : doc_(d), indice_(i) {}
    const Documento* doc_ = nullptr;
    uint32_t indice_ = 0;
};

class Documento {
public:
    Documento();
    ~Documento();
    Documento(const Documento&) = delete;
    Documento& operator=(const Documento&) = delete;

    // Parses the 8-bit text, replacing what the document held. Fails with a
    // Falha whose message names the fault and its position (line, column):
    // an element not closed, closed by an end tag of another name, malformed
    // markup, or a text that holds no element at all; also for a text over
    // the limits of base/limites.h (size, nesting, attributes, nodes). After
    // a failure the document is empty.
    void Carregar(std::string texto);
    void Limpar();

    // Top-level nodes in document order.
    std::vector<No> NosTopo() const;
    bool TemElementoRaiz() const;

    // Depth first, in document order, the start element itself excluded.
    No PrimeiroDescendente(No inicio, std::string_view nome) const;
    std::vector<No> TodosDescendentes(No inicio, std::string_view nome) const;

    // The own text of an element (empty when it has none).
    std::string TextoProprio(No elemento) const;
    // The value of the first attribute whose name matches, letter case
    // ignored, entities expanded; empty when absent.
    std::string Atributo(No elemento, std::string_view nome) const;

private:
    friend class No;
    struct Dados;
    std::unique_ptr<Dados> d_;
};

}  // namespace corvexa::xml
