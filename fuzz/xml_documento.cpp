// The XML reader alone over any bytes: parse, then walk every node and read
// its texts and attributes as the NF-e readers would.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/falha.h"
#include "xml/documento.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace corvexa;
    xml::Documento doc;
    try {
        doc.Carregar(std::string(reinterpret_cast<const char*>(dados), tamanho));
    } catch (const Falha&) {
        return 0;  // refused with a message
    }
    size_t soma = 0;
    for (const xml::No topo : doc.NosTopo()) {
        soma += topo.Nome().size();
        if (topo.Tipo() != xml::TipoNo::Elemento) continue;
        soma += doc.TextoProprio(topo).size() + doc.Atributo(topo, "Id").size();
        for (const xml::No no : doc.TodosDescendentes(topo, "det"))
            soma += doc.TextoProprio(no).size() + doc.Atributo(no, "nItem").size();
        if (const xml::No no = doc.PrimeiroDescendente(topo, "infNFe")) soma += doc.Atributo(no, "Id").size();
    }
    asm volatile("" : : "r"(soma));  // keeps the reads from being optimised away
    return 0;
}
