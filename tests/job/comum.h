#pragma once
// What the render job tests share: a platform that records what the job asked
// of it, a spooler that records print jobs, sample NF-e texts and files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "job/saida.h"
#include "platform/plataforma.h"

namespace teste {

namespace fs = std::filesystem;
using namespace corvexa;

inline std::string LerArquivo(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void Gravar(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

inline std::string LerAmostra(const std::string& nome) {
    const std::string s = LerArquivo(fs::path(CORVEXA_SAMPLES) / nome);
    EXPECT_FALSE(s.empty()) << nome;
    return s;
}

inline std::string Trocar(std::string s, const std::string& de, const std::string& para) {
    const auto p = s.find(de);
    EXPECT_NE(p, std::string::npos) << de;
    if (p != std::string::npos) s.replace(p, de.size(), para);
    return s;
}

// A bare NF-e (tpAmb 1, tpEmis 1, tpImp 1) with the environment and emission type given.
inline std::string Nota(const std::string& tpAmb = "1", const std::string& tpEmis = "1") {
    std::string s = LerAmostra("br_danfe-v200-simples-nacional.xml");
    s = Trocar(s, "<tpAmb>1</tpAmb>", "<tpAmb>" + tpAmb + "</tpAmb>");
    return Trocar(s, "<tpEmis>1</tpEmis>", "<tpEmis>" + tpEmis + "</tpEmis>");
}

// A fresh folder, removed with everything in it.
class PastaTemporaria {
public:
    explicit PastaTemporaria(const std::string& nome = "job") {
        static int n = 0;
        p_ = fs::temp_directory_path() /
             ("corvexa-" + nome + "-" + std::to_string(::getpid()) + "-" + std::to_string(++n));
        fs::create_directories(p_);
    }
    ~PastaTemporaria() {
        std::error_code e;
        fs::remove_all(p_, e);
    }
    const fs::path& operator*() const { return p_; }
    std::string operator/(const std::string& nome) const { return (p_ / nome).string(); }

    // The names in the folder, sorted.
    std::set<std::string> Nomes() const {
        std::set<std::string> r;
        for (const auto& e : fs::directory_iterator(p_)) r.insert(e.path().filename().string());
        return r;
    }

private:
    fs::path p_;
};

// Records every request; answers with what the test set.
class PlataformaGravada : public platform::PlataformaSemTela {
public:
    void MostrarMensagem(std::string_view texto) override { mensagens.emplace_back(texto); }

    std::string EscolherPasta(std::string_view titulo, int flags) override {
        pedidosPasta.push_back({std::string(titulo), flags});
        return pasta;
    }

    bool DialogoImpressao(platform::ConfigImpressao& config) override {
        dialogosImpressao.push_back(config);
        if (aoDialogo) aoDialogo(config);
        return confirmarImpressao;
    }

    std::unique_ptr<platform::Progresso> MostrarProgresso(std::string_view) override {
        struct P : platform::Progresso {
            PlataformaGravada* dono;
            bool Avancar(int pagina, int total) override {
                dono->avancos.push_back({pagina, total});
                return !(dono->cancelarNaPagina >= 0 && pagina >= dono->cancelarNaPagina);
            }
        };
        ++progressos;
        auto p = std::make_unique<P>();
        p->dono = this;
        return p;
    }

    void Visualizar(const report::Documento& documento, const platform::AcoesVisualizacao& acoes) override {
        ++visualizacoes;
        paginasVistas = documento.paginas.size();
        if (naJanela) naJanela(documento, acoes);
    }

    struct Pedido {
        std::string titulo;
        int flags;
    };
    std::vector<std::string> mensagens;
    std::vector<Pedido> pedidosPasta;
    std::vector<platform::ConfigImpressao> dialogosImpressao;
    std::vector<std::pair<int, int>> avancos;
    int progressos = 0;
    int visualizacoes = 0;
    size_t paginasVistas = 0;

    std::string pasta;                 // answer of the folder chooser
    bool confirmarImpressao = true;    // answer of the print dialog
    std::function<void(platform::ConfigImpressao&)> aoDialogo;  // the user's changes
    int cancelarNaPagina = -1;         // progress: cancel once this page is reached
    std::function<void(const report::Documento&, const platform::AcoesVisualizacao&)> naJanela;
};

// A spooler that keeps the jobs sent to it.
struct ImpressoraGravada {
    struct Trabalho {
        std::string pdf, impressora, nome;
        int copias;
    };
    std::vector<Trabalho> trabalhos;
    std::set<std::string> instaladas{"HP"};

    job::ServicoImpressao Servico() {
        return {[this](std::string_view pdf, const std::string& impressora, int copias, const std::string& nome) {
                    trabalhos.push_back({std::string(pdf), impressora, nome, copias});
                },
                [this](const std::string& nome) { return instaladas.count(nome) > 0; }};
    }
};

// A 24-bit BMP of `largura` x `altura` pixels of one colour (0xRRGGBB). The
// header may claim other dimensions than the pixels written.
std::string Bmp(int largura, int altura, uint32_t rgb, int larguraDeclarada = 0, int alturaDeclarada = 0);

}  // namespace teste
