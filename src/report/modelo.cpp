#include "report/modelo.h"

#include "base/texto.h"

namespace corvexa::report {
namespace {

Elemento* BuscarEm(std::vector<Elemento>& elementos, std::string_view nome);

Elemento* BuscarNaBanda(Banda& banda, std::string_view nome) {
    return BuscarEm(banda.elementos, nome);
}

Elemento* BuscarEm(std::vector<Elemento>& elementos, std::string_view nome) {
    for (auto& e : elementos) {
        if (texto::IgualSemCaixa(e.nome, nome)) return &e;
        if (auto* f = BuscarEm(e.filhos, nome)) return f;
        if (e.sub) {
            for (Banda* b : {&e.sub->titulo, &e.sub->cabecalhoColuna, &e.sub->detalhe, &e.sub->rodapeColuna,
                             &e.sub->sumario})
                if (auto* f = BuscarNaBanda(*b, nome)) return f;
        }
    }
    return nullptr;
}

}  // namespace

Elemento* Relatorio::BuscarElemento(std::string_view nome) {
    for (Banda* b : {&cabecalhoPagina, &cabecalhoGrupo, &detalhe, &rodapeGrupo, &rodapePagina})
        if (auto* e = BuscarNaBanda(*b, nome)) return e;
    return nullptr;
}

}  // namespace corvexa::report
