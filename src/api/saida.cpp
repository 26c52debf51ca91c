// The C++ functions that write the pages: PDF, JPEG and PNG, to files or memory.
#include <cairo.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "api/interno.h"
#include "base/falha.h"
#include "job/saida.h"
#include "render/arquivo.h"
#include "render/dispositivos.h"

namespace corvexa {
namespace {

render::PropriedadesPdf Propriedades(const OpcoesPdf& o) {
    return {o.autor, o.palavrasChave, o.assunto, o.titulo};
}

void ConferirPagina(size_t n, size_t total) {
    if (n < 1 || n > total)
        throw Falha("Página inexistente: " + std::to_string(n) + " (o documento tem " + std::to_string(total) + ")");
}

// The pages chosen, as a document of their own; null when all are (the
// document itself then serves, without a copy).
std::unique_ptr<report::Documento> Selecao(const report::Documento& doc, const std::vector<size_t>& paginas) {
    if (paginas.empty()) return nullptr;
    auto r = std::make_unique<report::Documento>();
    r->layout = doc.layout;
    r->nomeTrabalho = doc.nomeTrabalho;
    r->paginas.reserve(paginas.size());
    for (size_t n : paginas) {
        ConferirPagina(n, doc.paginas.size());
        r->paginas.push_back(doc.paginas[n - 1]);
    }
    return r;
}

void ConferirQualidade(int qualidade) {
    if (qualidade < 1 || qualidade > 100)
        throw Falha("Qualidade JPEG inválida: " + std::to_string(qualidade) + " (de 1 a 100)");
}

cairo_status_t AcrescentarBytes(void* destino, const unsigned char* dados, unsigned int tamanho) {
    try {
        static_cast<std::string*>(destino)->append(reinterpret_cast<const char*>(dados), tamanho);
        return CAIRO_STATUS_SUCCESS;
    } catch (...) {
        return CAIRO_STATUS_NO_MEMORY;
    }
}

std::string Png(const report::Pagina& pagina, int dpi) {
    report::Imagem img = render::RasterizarPagina(pagina, dpi);
    // The page is opaque: its pixels are RGB24 as they stand.
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> s(
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(img.pixels.data()), CAIRO_FORMAT_RGB24,
                                            img.largura, img.altura, img.largura * 4),
        &cairo_surface_destroy);
    std::string r;
    const cairo_status_t st = cairo_surface_write_to_png_stream(s.get(), AcrescentarBytes, &r);
    if (st != CAIRO_STATUS_SUCCESS) throw Falha(std::string("Erro ao gerar o PNG: ") + cairo_status_to_string(st));
    return r;
}

std::string Jpeg(const report::Pagina& pagina, const OpcoesImagem& o) {
    ConferirQualidade(o.qualidadeJpeg);
    return render::GerarJpeg(pagina, o.dpi, o.qualidadeJpeg);
}

// Every page chosen encoded first; then the files, removed again when one of
// them cannot be written.
template <class Codificar>
std::vector<std::string> EscreverImagens(const report::Documento& doc, const std::string& caminho,
                                         const std::vector<size_t>& escolhidas, Codificar&& codificar) {
    std::vector<size_t> paginas = escolhidas;
    if (paginas.empty())
        for (size_t n = 1; n <= doc.paginas.size(); ++n) paginas.push_back(n);
    std::vector<std::pair<std::string, std::string>> arquivos;
    arquivos.reserve(paginas.size());
    for (size_t n : paginas) {
        ConferirPagina(n, doc.paginas.size());
        arquivos.emplace_back(job::NomePaginaJpeg(caminho, n), codificar(doc.paginas[n - 1]));
    }
    std::vector<std::string> gravados;
    try {
        for (const auto& [nome, bytes] : arquivos) {
            render::ArquivoAtomico arquivo(nome);
            if (!arquivo.Escrever(bytes.data(), bytes.size())) arquivo.Falhar();
            arquivo.Concluir();
            gravados.push_back(nome);
        }
    } catch (...) {
        for (const auto& g : gravados) std::remove(g.c_str());
        throw;
    }
    return gravados;
}

}  // namespace

void EscreverPdf(const Paginas& paginas, const std::string& caminho, const OpcoesPdf& opcoes) {
    Proteger([&] {
        const report::Documento& doc = Acesso::De(paginas);
        const auto selecao = Selecao(doc, opcoes.paginas);
        render::EscreverPdf(selecao ? *selecao : doc, caminho, Propriedades(opcoes));
    });
}

std::string GerarPdf(const Paginas& paginas, const OpcoesPdf& opcoes) {
    return Proteger([&] {
        const report::Documento& doc = Acesso::De(paginas);
        const auto selecao = Selecao(doc, opcoes.paginas);
        return render::GerarPdf(selecao ? *selecao : doc, Propriedades(opcoes));
    });
}

std::vector<std::string> EscreverJpeg(const Paginas& paginas, const std::string& caminho, const OpcoesImagem& opcoes) {
    return Proteger([&] {
        ConferirQualidade(opcoes.qualidadeJpeg);
        return EscreverImagens(Acesso::De(paginas), caminho, opcoes.paginas,
                               [&](const report::Pagina& p) { return Jpeg(p, opcoes); });
    });
}

std::vector<std::string> EscreverPng(const Paginas& paginas, const std::string& caminho, const OpcoesImagem& opcoes) {
    return Proteger([&] {
        return EscreverImagens(Acesso::De(paginas), caminho, opcoes.paginas,
                               [&](const report::Pagina& p) { return Png(p, opcoes.dpi); });
    });
}

std::string GerarJpeg(const Paginas& paginas, size_t n, const OpcoesImagem& opcoes) {
    return Proteger([&] {
        const report::Documento& doc = Acesso::De(paginas);
        ConferirPagina(n, doc.paginas.size());
        return Jpeg(doc.paginas[n - 1], opcoes);
    });
}

std::string GerarPng(const Paginas& paginas, size_t n, const OpcoesImagem& opcoes) {
    return Proteger([&] {
        const report::Documento& doc = Acesso::De(paginas);
        ConferirPagina(n, doc.paginas.size());
        return Png(doc.paginas[n - 1], opcoes.dpi);
    });
}

}  // namespace corvexa
