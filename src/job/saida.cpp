#include "job/saida.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <vector>

#include "base/falha.h"
#include "job/uDM_Danfe.h"
#include "platform/correio.h"
#include "render/arquivo.h"
#include "render/desenho.h"
#include "render/dispositivos.h"

namespace corvexa::job {
namespace {

constexpr int kDpiJpeg = 200;
constexpr int kQualidadeJpeg = 90;

render::PropriedadesPdf Propriedades(const report::ConfiguracaoSaida& s) {
    return {s.pdf.autor, s.pdf.palavrasChave, s.pdf.assunto, s.pdf.titulo};
}

// The pages of the layout, produced the first time they are asked for (a
// cancelled print dialog then costs nothing).
class Paginas {
public:
    Paginas(TDM_Danfe& dm, report::Relatorio& layout) : dm_(&dm), layout_(&layout) {}
    explicit Paginas(const report::Documento& pronto) : pronto_(&pronto) {}

    const report::Documento& operator()() {
        if (pronto_) return *pronto_;
        if (!doc_) doc_ = dm_->Produzir(*layout_);
        return *doc_;
    }

private:
    TDM_Danfe* dm_ = nullptr;
    report::Relatorio* layout_ = nullptr;
    const report::Documento* pronto_ = nullptr;
    std::optional<report::Documento> doc_;
};

// The progress dialog when the layout asks for it; `Continuar` is false
// once the user cancelled.
class Andamento {
public:
    Andamento(platform::Plataforma& plataforma, const report::ConfiguracaoSaida& s, std::string_view titulo) {
        if (s.dialogoCancelar) progresso_ = plataforma.MostrarProgresso(titulo);
    }
    bool Continuar(size_t pagina, size_t total) {
        return !progresso_ || progresso_->Avancar(static_cast<int>(pagina), static_cast<int>(total));
    }

private:
    std::unique_ptr<platform::Progresso> progresso_;
};

// The printer: print dialog, progress, then the PDF to the spooler. The
// choices made in the dialog hold for this print only.
void NaImpressora(const report::Relatorio& layout, Paginas& paginas, platform::Plataforma& plataforma,
                  const ServicoImpressao& impressao) {
    const auto& s = layout.saida;
    platform::ConfigImpressao config;
    config.impressora = s.impressora == "Default" ? std::string() : s.impressora;
    config.copias = s.copias;
    config.imprimirEmArquivo = s.imprimirEmArquivo;
    if (s.dialogoImpressao && !plataforma.DialogoImpressao(config)) return;

    Andamento andamento(plataforma, s, "Imprimindo o DANFE");
    const report::Documento& doc = paginas();
    const size_t total = doc.paginas.size();
    if (!andamento.Continuar(0, total)) return;
    if (impressao.imprimirPaginas) {
        impressao.imprimirPaginas(doc, config.impressora.empty() ? std::string("Default") : config.impressora,
                                  config.copias, layout.nomeTrabalho,
                                  [&](size_t pagina, size_t n) { return andamento.Continuar(pagina, n); });
        return;
    }
    const std::string pdf = render::GerarPdf(doc, Propriedades(s));
    if (!andamento.Continuar(total, total)) return;
    impressao.imprimirPdf(pdf, config.impressora.empty() ? std::string("Default") : config.impressora, config.copias,
                          layout.nomeTrabalho);
}

void EmPdf(const report::Relatorio& layout, Paginas& paginas, platform::Plataforma& plataforma) {
    const auto& s = layout.saida;
    Andamento andamento(plataforma, s, "Gerando o DANFE");
    const report::Documento& doc = paginas();
    if (!andamento.Continuar(0, doc.paginas.size())) return;
    render::EscreverPdf(doc, s.arquivo, Propriedades(s));
}

// Every page is encoded before the first file is written, so a failure or a
// cancel while drawing leaves nothing; a failure while writing removes the
// pages this call already wrote.
void EmJpeg(const report::Relatorio& layout, Paginas& paginas, platform::Plataforma& plataforma) {
    const auto& s = layout.saida;
    Andamento andamento(plataforma, s, "Gerando o DANFE");
    const report::Documento& doc = paginas();
    const size_t total = doc.paginas.size();
    std::vector<std::string> jpegs;
    jpegs.reserve(total);
    for (size_t i = 0; i < total; ++i) {
        if (!andamento.Continuar(i, total)) return;
        jpegs.push_back(render::GerarJpeg(doc.paginas[i], kDpiJpeg, kQualidadeJpeg));
    }
    if (!andamento.Continuar(total, total)) return;

    std::vector<std::string> gravados;
    try {
        for (size_t i = 0; i < total; ++i) {
            render::ArquivoAtomico arquivo(NomePaginaJpeg(s.arquivo, i + 1));
            if (!arquivo.Escrever(jpegs[i].data(), jpegs[i].size())) arquivo.Falhar();
            arquivo.Concluir();
            gravados.push_back(arquivo.Caminho());
        }
    } catch (...) {
        for (const auto& g : gravados) std::remove(g.c_str());
        throw;
    }
}

// Runs an action of the preview window: its failure is shown to the user and
// the window stays open (a failure must not cross the window's event loop).
template <class Acao>
void NaJanela(platform::Plataforma& plataforma, Acao&& acao) {
    try {
        acao();
    } catch (const std::exception& e) {
        plataforma.MostrarMensagem(e.what());
    } catch (...) {
        plataforma.MostrarMensagem("Falha desconhecida.");
    }
}

void NaTela(report::Relatorio& layout, Paginas& paginas, platform::Plataforma& plataforma,
            const ServicoImpressao& impressao) {
    const report::Documento& doc = paginas();
    Paginas prontas(doc);
    platform::AcoesVisualizacao acoes;
    acoes.desenhar = [&doc](cairo_t* cr, size_t indice) {
        if (indice < doc.paginas.size()) render::DesenharPagina(cr, doc.paginas[indice], render::OpcoesDesenho{1.0});
    };
    acoes.imprimir = [&] { NaJanela(plataforma, [&] { NaImpressora(layout, prontas, plataforma, impressao); }); };
    acoes.salvarPdf = [&](const std::string& caminho) {
        NaJanela(plataforma, [&] { render::EscreverPdf(doc, caminho, Propriedades(layout.saida)); });
    };
    if (layout.saida.email.habilitado)
        acoes.enviarEmail = [&] { NaJanela(plataforma, [&] { EnviarEmailDoLayout(layout, doc); }); };
    acoes.maximizada = layout.saida.visualizacao.maximizada;
    acoes.zoom = static_cast<int>(layout.saida.visualizacao.zoom);
    plataforma.Visualizar(doc, acoes);
}

}  // namespace

std::string NomeArquivoSaida(std::string_view pasta, std::string_view nomeXml, std::string_view extensao) {
    const auto ultimoSeparador = nomeXml.find_last_of("\\:/");
    const auto ponto = nomeXml.find_last_of('.');
    std::string nome(nomeXml);
    if (ponto != std::string_view::npos && (ultimoSeparador == std::string_view::npos || ponto > ultimoSeparador))
        nome.erase(ponto);
    nome += extensao;
    if (ultimoSeparador != std::string_view::npos) nome.erase(0, ultimoSeparador + 1);
    std::string r(pasta);
    r += '/';
    return r + nome;
}

std::string NomePaginaJpeg(std::string_view arquivo, size_t pagina) {
    std::string nome(arquivo);
    if (pagina <= 1) return nome;
    const auto barra = nome.find_last_of('/');
    const auto ponto = nome.find_last_of('.');
    const auto onde = ponto != std::string::npos && (barra == std::string::npos || ponto > barra) ? ponto : nome.size();
    nome.insert(onde, "-" + std::to_string(pagina));
    return nome;
}

void Imprimir(TDM_Danfe& dm, report::Relatorio& layout, platform::Plataforma& plataforma,
              const ServicoImpressao& impressao) {
    Paginas paginas(dm, layout);
    const std::string& dispositivo = layout.saida.dispositivo;
    if (dispositivo == "Screen") NaTela(layout, paginas, plataforma, impressao);
    else if (dispositivo == "Printer") NaImpressora(layout, paginas, plataforma, impressao);
    else if (dispositivo == "PDF") EmPdf(layout, paginas, plataforma);
    else if (dispositivo == "GraphicFile") EmJpeg(layout, paginas, plataforma);
    else throw Falha("Dispositivo de saída desconhecido: " + dispositivo);
}

void EnviarEmailDoLayout(report::Relatorio& layout, const report::Documento& documento) {
    const auto& e = layout.saida.email;
    platform::Mensagem m;
    m.servidor = e.servidor;
    m.remetente = e.remetente;
    m.destinatarios = e.destinatarios;
    m.assunto = e.assunto;
    m.corpo = e.corpo;
    m.usuario = e.usuario;
    m.senha = e.senha;
    m.nomeAnexo = (e.arquivo.empty() ? std::string("NFeDANFE") : e.arquivo) + ".pdf";
    // The attachment is rendered in memory: no temporary file to remove.
    m.anexo = render::GerarPdf(documento, Propriedades(layout.saida));
    platform::EnviarEmail(m);
}

}  // namespace corvexa::job
