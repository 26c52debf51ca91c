// The whole reading over any text: the load and the walk into the tables.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/falha.h"
#include "data/tabelas_danfe.h"
#include "nfe/leitor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace corvexa;
    data::TabelasDanfe tabelas;
    nfe::LeitorNFe leitor(tabelas);
    try {
        leitor.LimparTabelas();
        leitor.CarregarXml(std::string(reinterpret_cast<const char*>(dados), tamanho));
        leitor.LerNotas();
    } catch (const Falha&) {
        // A refused text; the tables must still empty cleanly for the next one.
        leitor.LimparTabelas();
    }
    return 0;
}
