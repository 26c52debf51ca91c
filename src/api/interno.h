#pragma once
// What the C++ functions of the library keep behind their public types, and
// the one place where failures become corvexa::Erro.
#include <exception>
#include <memory>
#include <new>

#include "corvexa/corvexa.hpp"
#include "data/tabelas_danfe.h"
#include "layouts/danfe.h"
#include "report/pagina.h"
#include "report/vetorial.h"

namespace corvexa {

struct Notas::Dados {
    data::TabelasDanfe tabelas;
    int tipoImpressao = 0;
    layouts::FlagsDanfe flags;  // Homologacao and Contingencia of the last NF-e
};

struct Logo::Dados {
    // One of the two: a raster picture or a metafile's vector picture.
    std::shared_ptr<const report::Imagem> imagem;
    std::shared_ptr<const report::ImagemVetorial> vetorial;
};

struct Paginas::Dados {
    report::Documento documento;
};

// The friend of the public types: their insides, for the library's own code.
class Acesso {
public:
    static const Notas::Dados& De(const Notas& n) { return *n.d_; }
    static Notas Criar(std::unique_ptr<Notas::Dados> d) { return Notas(std::move(d)); }
    static const Logo::Dados* De(const Logo& l) { return l.d_.get(); }
    static Logo Criar(std::shared_ptr<const Logo::Dados> d) {
        Logo l;
        l.d_ = std::move(d);
        return l;
    }
    static const report::Documento& De(const Paginas& p) { return p.d_->documento; }
    static Paginas Criar(report::Documento documento) {
        auto d = std::make_shared<Paginas::Dados>();
        d->documento = std::move(documento);
        return Paginas(std::move(d));
    }
};

// Runs `corpo`; any failure leaves as an Erro with its message.
template <class Corpo>
auto Proteger(Corpo&& corpo) -> decltype(corpo()) {
    try {
        return corpo();
    } catch (const Erro&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw Erro("Memória insuficiente.");
    } catch (const std::exception& e) {
        throw Erro(e.what());
    } catch (...) {
        throw Erro("Falha desconhecida.");
    }
}

}  // namespace corvexa
