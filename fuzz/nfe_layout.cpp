// Reading and layout: any text read into the tables, then both layouts
// produced into their display lists, as an export would before drawing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/falha.h"
#include "job/uDM_Danfe.h"
#include "nfe/leitor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace corvexa;
    // The data module lives as long as the library: built once, its tables
    // emptied by every reading, as the exported calls use it.
    static job::TDM_Danfe dm;
    nfe::LeitorNFe leitor(dm.tabelas);
    try {
        leitor.LimparTabelas();
        leitor.CarregarXml(std::string(reinterpret_cast<const char*>(dados), tamanho));
        leitor.LerNotas();
    } catch (const Falha&) {
        return 0;
    }
    job::DerivarFlags(dm.tabelas, dm.flags);
    try {
        // The layout chosen by the text, then the other one.
        report::Relatorio& escolhido = dm.Layout(leitor.TipoImpressao());
        report::Relatorio& outro = dm.Layout(leitor.TipoImpressao() == 2 ? 1 : 2);
        for (report::Relatorio* layout : {&escolhido, &outro}) {
            const report::Documento doc = dm.Produzir(*layout);
            if (doc.paginas.empty()) __builtin_trap();  // every run gives at least one page
        }
    } catch (const Falha&) {
        // A limit reached is a message, not a fault.
    }
    return 0;
}
