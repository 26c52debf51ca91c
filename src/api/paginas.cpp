// The C++ functions that lay out the DANFE: the logo, the layouts lent to one
// call at a time, and the pages.
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "api/interno.h"
#include "base/falha.h"
#include "base/texto.h"
#include "job/logotipo.h"
#include "job/uDM_Danfe.h"
#include "metafile/metafile.h"
#include "report/json.h"

namespace corvexa {
namespace {

// ---------------------------------------------------------------- logo

// The decoder of a kind ("bmp", "ico", "png", "jpeg"), empty for the
// metafile kinds, nullptr for a kind we do not draw.
const char* Decodificador(std::string_view tipo) {
    static constexpr std::pair<std::string_view, const char*> kTipos[] = {
        {"bmp", "bmp"}, {"ico", "ico"}, {"png", "png"}, {"jpg", "jpeg"}, {"jpeg", "jpeg"}, {"wmf", ""}, {"emf", ""},
    };
    for (const auto& [nome, decodificador] : kTipos)
        if (texto::IgualSemCaixa(tipo, nome)) return decodificador;
    return nullptr;
}

// The kind of picture bytes by their signature, or empty.
std::string_view TipoPelosBytes(std::string_view b) {
    const auto u = [&](size_t i) { return i < b.size() ? static_cast<unsigned char>(b[i]) : 0u; };
    if (b.starts_with("\x89PNG\r\n\x1A\n")) return "png";
    if (u(0) == 0xFF && u(1) == 0xD8 && u(2) == 0xFF) return "jpeg";
    if (b.starts_with("BM")) return "bmp";
    if (b.size() >= 6 && u(0) == 0 && u(1) == 0 && u(2) == 1 && u(3) == 0) return "ico";
    // A placeable metafile's key, or a plain one's header (in memory or on disk, 9 words).
    if (u(0) == 0xD7 && u(1) == 0xCD && u(2) == 0xC6 && u(3) == 0x9A) return "wmf";
    if ((u(0) == 1 || u(0) == 2) && u(1) == 0 && u(2) == 9 && u(3) == 0) return "wmf";
    // The header record (type 1) with the " EMF" signature at its offset 40.
    if (u(0) == 1 && u(1) == 0 && u(2) == 0 && u(3) == 0 && b.size() >= 44 && b.substr(40, 4) == " EMF") return "emf";
    return {};
}

using texto::Extensao;

Logo CriarLogo(std::shared_ptr<const report::Imagem> imagem, std::shared_ptr<const report::ImagemVetorial> vetorial) {
    auto d = std::make_shared<Logo::Dados>();
    d->imagem = std::move(imagem);
    d->vetorial = std::move(vetorial);
    return Acesso::Criar(std::move(d));
}

// ---------------------------------------------------------------- layouts

// Both layouts with the flags their handlers read. The handlers switch the
// visibility of elements while pages are produced, so one set serves one call
// at a time.
struct Conjunto {
    layouts::FlagsDanfe flags;
    std::unique_ptr<layouts::LayoutsDanfe> layouts = layouts::CriarLayouts(flags);
    // The emitter image as built, given back when a call brings no logo.
    std::shared_ptr<const report::Imagem> imagemPadrao;
    std::shared_ptr<const report::ImagemVetorial> vetorialPadrao;

    Conjunto() {
        if (const report::Elemento* e = layouts->RelDanfe.BuscarElemento(layouts::NomeImagemEmitente)) {
            imagemPadrao = e->imagem;
            vetorialPadrao = e->vetorial;
        }
    }
};

// The sets not in use, lent to one call at a time: as many get made as calls
// run at once, and building one costs more than laying out a small DANFE.
class Reservatorio {
public:
    std::unique_ptr<Conjunto> Tomar() {
        {
            std::lock_guard<std::mutex> trava(mutex_);
            if (!livres_.empty()) {
                auto c = std::move(livres_.back());
                livres_.pop_back();
                return c;
            }
        }
        return std::make_unique<Conjunto>();
    }
    void Devolver(std::unique_ptr<Conjunto> c) {
        std::lock_guard<std::mutex> trava(mutex_);
        if (livres_.size() < kMaximo) livres_.push_back(std::move(c));
    }
    static Reservatorio& Instancia() {
        // Never destroyed: threads of the host may still lay out while the
        // process ends.
        static Reservatorio* r = new Reservatorio();
        return *r;
    }

private:
    static constexpr size_t kMaximo = 64;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Conjunto>> livres_;
};

// A set for the length of one call. A call that fails does not give its set
// back: nothing it left half-switched reaches the next call.
class Emprestimo {
public:
    Emprestimo() : c_(Reservatorio::Instancia().Tomar()) {}
    ~Emprestimo() {
        if (devolver_) Reservatorio::Instancia().Devolver(std::move(c_));
    }
    Emprestimo(const Emprestimo&) = delete;
    Emprestimo& operator=(const Emprestimo&) = delete;
    Conjunto& operator*() const { return *c_; }
    void Concluido() { devolver_ = true; }

private:
    std::unique_ptr<Conjunto> c_;
    bool devolver_ = false;
};

constexpr int kSegundosDoDia = 24 * 60 * 60;

}  // namespace

// ---------------------------------------------------------------- Logo

Logo::Logo() = default;

bool Logo::Vazio() const { return !d_; }

Logo Logo::DoArquivo(const std::string& caminho) {
    return Proteger([&] {
        if (texto::Aparar(caminho).empty()) return Logo();
        std::error_code erro;
        const auto estado = std::filesystem::status(caminho, erro);
        if (erro || !std::filesystem::exists(estado) || std::filesystem::is_directory(estado))
            throw Falha("Arquivo do logotipo de Emitente não localizado: " + texto::HostParaUtf8(caminho));
        const std::string_view ext = Extensao(caminho);
        const char* decodificador = Decodificador(ext);
        if (!decodificador) throw Falha(Formatar("Unknown picture file extension (.%s)", texto::HostParaUtf8(ext)));
        if (*decodificador) return CriarLogo(job::CarregarImagemLogo(caminho, decodificador), nullptr);
        try {
            return CriarLogo(nullptr, metafile::CarregarMetarquivo(caminho, ext));
        } catch (const Falha& f) {
            throw Falha("Arquivo do logotipo inválido: " + texto::HostParaUtf8(caminho) + ": " + f.what());
        }
    });
}

Logo Logo::DosBytes(std::string_view bytes, std::string_view tipo) {
    return Proteger([&] {
        constexpr std::string_view kNome = "<memória>";
        const std::string_view kind = tipo.empty() ? TipoPelosBytes(bytes) : tipo;
        if (kind.empty()) throw Falha("Arquivo do logotipo inválido: <memória> (formato não reconhecido)");
        const char* decodificador = Decodificador(kind);
        if (!decodificador) throw Falha(Formatar("Unknown picture file extension (.%s)", texto::HostParaUtf8(kind)));
        if (*decodificador) return CriarLogo(job::DecodificarImagemLogo(bytes, decodificador, kNome), nullptr);
        const std::span<const uint8_t> dados(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        try {
            return CriarLogo(nullptr, texto::IgualSemCaixa(kind, "wmf") ? metafile::LerWmf(dados) : metafile::LerEmf(dados));
        } catch (const Falha& f) {
            throw Falha("Arquivo do logotipo inválido: <memória>: " + std::string(f.what()));
        }
    });
}

// ---------------------------------------------------------------- Produzir

Paginas Produzir(const Notas& notas, const OpcoesLayout& opcoes) {
    return Proteger([&] {
        const Notas::Dados& n = Acesso::De(notas);
        if (opcoes.hora && (*opcoes.hora < 0 || *opcoes.hora >= kSegundosDoDia))
            throw Falha("Hora de impressão inválida: " + std::to_string(*opcoes.hora) +
                        " (segundos desde a meia-noite, de 0 a 86399)");
        const int tipo = opcoes.orientacao == Orientacao::Retrato    ? 1
                         : opcoes.orientacao == Orientacao::Paisagem ? 2
                                                                     : n.tipoImpressao;
        Emprestimo emprestimo;
        Conjunto& c = *emprestimo;
        c.flags.Homologacao = opcoes.homologacao.value_or(n.flags.Homologacao);
        c.flags.Contingencia = opcoes.contingencia.value_or(n.flags.Contingencia);
        c.flags.ImprimirHora = opcoes.imprimirHora;

        report::Relatorio& layout = job::LayoutDoTipo(*c.layouts, tipo);
        if (report::Elemento* e = layout.BuscarElemento(layouts::NomeImagemEmitente)) {
            const Logo::Dados* logo = Acesso::De(opcoes.logo);
            e->imagem = logo ? logo->imagem : c.imagemPadrao;
            e->vetorial = logo ? logo->vetorial : c.vetorialPadrao;
        }
        Paginas r = Acesso::Criar(job::ProduzirDanfe(layout, n.tabelas, opcoes.hora.value_or(-1)));
        emprestimo.Concluido();
        return r;
    });
}

// ---------------------------------------------------------------- Paginas

Paginas::Paginas() : d_(std::make_shared<Dados>()) {}
Paginas::Paginas(std::shared_ptr<Dados> d) : d_(std::move(d)) {}

size_t Paginas::Quantidade() const { return d_->documento.paginas.size(); }

Paginas::Pagina Paginas::Obter(size_t n) const {
    return Proteger([&] {
        const auto& paginas = d_->documento.paginas;
        if (n < 1 || n > paginas.size())
            throw Falha("Página inexistente: " + std::to_string(n) + " (o documento tem " +
                        std::to_string(paginas.size()) + ")");
        const report::Pagina& p = paginas[n - 1];
        return Pagina{p.largura, p.altura, p.grupo, p.numero, p.total};
    });
}

std::string Paginas::Layout() const { return d_->documento.layout; }

std::string Paginas::Json() const {
    return Proteger([&] { return report::DocumentoParaJson(d_->documento); });
}

Paginas& Paginas::Acrescentar(const Paginas& outras) {
    Proteger([&] {
        // Copied first: `outras` may be these very pages, and a failure
        // midway must leave them as they were.
        std::vector<report::Pagina> novas = outras.d_->documento.paginas;
        const report::Documento& deles = outras.d_->documento;
        // Copies of these pages share them and keep what they had.
        if (d_.use_count() > 1) d_ = std::make_shared<Dados>(*d_);
        auto& doc = d_->documento;
        int grupos = 0;
        for (const auto& p : doc.paginas) grupos = std::max(grupos, p.grupo);
        for (auto& p : novas) p.grupo += grupos;
        if (doc.paginas.empty()) {
            doc.layout = deles.layout;
            doc.nomeTrabalho = deles.nomeTrabalho;
        }
        doc.paginas.reserve(doc.paginas.size() + novas.size());
        for (auto& p : novas) doc.paginas.push_back(std::move(p));
    });
    return *this;
}

}  // namespace corvexa
