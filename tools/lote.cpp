// danfe pdf|jpeg|png ARQUIVO.xml|PASTA... [-o DESTINO] [-r] [-j N] [--unir] ...
//
// The inputs become a list of tasks, one per XML file, known before any work
// starts (so output names are checked against each other first); workers take
// the next task until none is left. Each task reads its file, lays out its
// DANFE and writes it through the library's C++ functions, which share no
// mutable state between calls.
#include "lote.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"
#include "corvexa/corvexa.hpp"
#include "entrada.h"
#include "uso.h"

namespace corvexa::cli {
namespace {

namespace fs = std::filesystem;

struct Opcoes {
    Formato formato = Formato::Pdf;
    std::string comando;
    std::vector<std::string> entradas;
    std::optional<std::string> destino;
    bool recursivo = false, unir = false, verboso = false, hora = false;
    unsigned tarefas = 0;  // 0: one per processor
    Orientacao orientacao = Orientacao::Automatica;
    std::string logo;
    int dpi = 200, qualidade = 90;
};

const char* NomeComando(Formato f) {
    switch (f) {
        case Formato::Pdf: return "pdf";
        case Formato::Jpeg: return "jpeg";
        case Formato::Png: return "png";
    }
    return "pdf";
}

const char* ExtensaoSaida(Formato f) {
    switch (f) {
        case Formato::Pdf: return ".pdf";
        case Formato::Jpeg: return ".jpg";
        case Formato::Png: return ".png";
    }
    return ".pdf";
}

int LerInteiro(const Opcoes& o, const std::string& opcao, const std::string& valor, int minimo, int maximo) {
    int n = 0;
    size_t usados = 0;
    try {
        n = std::stoi(valor, &usados);
    } catch (const std::exception&) {
        usados = 0;
    }
    if (usados == 0 || usados != valor.size() || n < minimo || n > maximo)
        throw ErroDeUso{o.comando, "valor inválido para " + opcao + ": \"" + valor + "\" (de " +
                                       std::to_string(minimo) + " a " + std::to_string(maximo) + ")"};
    return n;
}

Opcoes LerOpcoes(Formato formato, const std::vector<std::string>& args) {
    Opcoes o;
    o.formato = formato;
    o.comando = NomeComando(formato);
    bool soArquivos = false;  // after "--"
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (soArquivos || a.size() < 2 || a[0] != '-') {
            o.entradas.push_back(a);
            continue;
        }
        auto valor = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw ErroDeUso{o.comando, "falta o valor de " + a};
            return args[++i];
        };
        if (a == "--") soArquivos = true;
        else if (a == "-o" || a == "--saida") o.destino = valor();
        else if (a == "-j" || a == "--tarefas") o.tarefas = LerInteiro(o, a, valor(), 1, 1024);
        else if (a.starts_with("-j")) o.tarefas = LerInteiro(o, "-j", a.substr(2), 1, 1024);
        else if (a == "-r" || a == "--recursivo") o.recursivo = true;
        else if (a == "-v" || a == "--verboso") o.verboso = true;
        else if (a == "--retrato") o.orientacao = Orientacao::Retrato;
        else if (a == "--paisagem") o.orientacao = Orientacao::Paisagem;
        else if (a == "--hora") o.hora = true;
        else if (a == "--logo") o.logo = valor();
        else if (a == "--unir" && formato == Formato::Pdf) o.unir = true;
        else if (a == "--dpi" && formato != Formato::Pdf) o.dpi = LerInteiro(o, a, valor(), 1, 2400);
        else if (a == "--qualidade" && formato == Formato::Jpeg) o.qualidade = LerInteiro(o, a, valor(), 1, 100);
        else throw ErroDeUso{o.comando, "opção desconhecida: " + a};
    }
    if (o.entradas.empty()) throw ErroDeUso{o.comando, "nenhum arquivo indicado"};
    if (o.unir && !o.destino) throw ErroDeUso{o.comando, "--unir precisa de -o ARQUIVO.pdf"};
    if (o.destino && o.destino->empty()) throw ErroDeUso{o.comando, "-o sem nome"};
    return o;
}

// ---------------------------------------------------------------- tasks

struct Tarefa {
    std::string entrada;  // as given, or the folder given joined with the file's place in it
    std::string saida;    // the PDF, or the first page's picture; empty with --unir
    std::string falha;    // known before any work: the task is not run
};

bool EhXml(const fs::path& p) { return texto::IgualSemCaixa(p.extension().string(), ".xml"); }

std::string ComExtensao(fs::path p, const char* extensao) {
    p.replace_extension(extensao);
    return p.string();
}

// The XML files of a folder, by name; `falhas` gets the parts that could not be read.
std::vector<fs::path> ArquivosDaPasta(const fs::path& pasta, bool recursivo, std::vector<Tarefa>& falhas) {
    std::vector<fs::path> r;
    std::error_code erro;
    auto anotar = [&](const fs::path& onde) {
        falhas.push_back({onde.string(), {}, "não foi possível ler a pasta: " + erro.message()});
        erro.clear();
    };
    auto considerar = [&](const fs::directory_entry& e) {
        std::error_code e2;
        if (EhXml(e.path()) && e.is_regular_file(e2)) r.push_back(e.path());
    };
    // The same walk, into subfolders or not.
    const auto percorrer = [&](auto it) {
        if (erro) anotar(pasta);
        for (decltype(it) fim; it != fim; it.increment(erro)) {
            if (erro) {
                anotar(pasta);
                break;
            }
            considerar(*it);
        }
    };
    if (recursivo)
        percorrer(fs::recursive_directory_iterator(pasta, erro));
    else
        percorrer(fs::directory_iterator(pasta, erro));
    std::sort(r.begin(), r.end());
    return r;
}

// The same file: one name of the other, or (both there) the same file on disk.
bool MesmoArquivo(const std::string& a, const std::string& b) {
    if (fs::path(a).lexically_normal() == fs::path(b).lexically_normal()) return true;
    std::error_code erro;
    return fs::equivalent(a, b, erro) && !erro;
}

std::vector<Tarefa> Tarefas(const Opcoes& o, std::vector<std::string>& avisos) {
    const char* ext = ExtensaoSaida(o.formato);
    std::error_code erro;
    // One file and a destination that is no folder: the destination is the output.
    const bool destinoArquivo =
        o.destino && !o.unir && o.entradas.size() == 1 && !fs::is_directory(o.entradas[0], erro) &&
        !o.destino->ends_with('/') && !fs::is_directory(*o.destino, erro);
    if (o.destino && !o.unir && !destinoArquivo && fs::exists(*o.destino, erro) && !fs::is_directory(*o.destino, erro))
        throw ErroDeUso{o.comando, "-o " + *o.destino + " não é uma pasta (há mais de um arquivo a gerar)"};

    std::vector<Tarefa> tarefas, falhas;
    for (const std::string& e : o.entradas) {
        const fs::path p(e);
        if (fs::is_directory(p, erro)) {
            const auto arquivos = ArquivosDaPasta(p, o.recursivo, falhas);
            if (arquivos.empty()) avisos.push_back(e + ": nenhum arquivo .xml na pasta");
            for (const fs::path& a : arquivos) {
                Tarefa t{a.string(), {}, {}};
                if (o.unir) t.saida.clear();
                else if (o.destino) t.saida = ComExtensao(fs::path(*o.destino) / a.lexically_relative(p), ext);
                else t.saida = ComExtensao(a, ext);
                tarefas.push_back(std::move(t));
            }
        } else {
            Tarefa t{e, {}, {}};
            if (!fs::exists(p, erro)) t.falha = "arquivo não encontrado";
            if (o.unir) t.saida.clear();
            else if (destinoArquivo) t.saida = *o.destino;
            else if (o.destino) t.saida = ComExtensao(fs::path(*o.destino) / p.filename(), ext);
            else t.saida = ComExtensao(p, ext);
            tarefas.push_back(std::move(t));
        }
    }
    // No output may replace an input, and two inputs must not write one
    // file: the later one is not run.
    std::map<std::string, const Tarefa*> saidas;
    for (Tarefa& t : tarefas) {
        if (!t.falha.empty()) continue;
        if (o.unir && MesmoArquivo(*o.destino, t.entrada))
            throw ErroDeUso{o.comando, "-o " + *o.destino + " é um dos arquivos de entrada"};
        if (t.saida.empty()) continue;
        if (MesmoArquivo(t.saida, t.entrada)) {
            t.falha = "a saída seria o próprio arquivo de entrada";
            continue;
        }
        const auto [it, nova] = saidas.emplace(fs::path(t.saida).lexically_normal().string(), &t);
        if (!nova) t.falha = "o arquivo de saída " + t.saida + " já é o de " + it->second->entrada;
    }
    tarefas.insert(tarefas.end(), falhas.begin(), falhas.end());
    return tarefas;
}

// ---------------------------------------------------------------- progress

// Lines on stderr, and, on a terminal, a progress bar under them.
class Painel {
public:
    Painel(size_t total, bool barra) : total_(total), barra_(barra) { Desenhar(); }

    void Linha(const std::string& s) {
        std::lock_guard<std::mutex> trava(mutex_);
        Apagar();
        std::fprintf(stderr, "%s\n", s.c_str());
        Desenhar();
    }
    void Avancar() {
        std::lock_guard<std::mutex> trava(mutex_);
        ++feitos_;
        Desenhar();
    }
    void Encerrar() {
        std::lock_guard<std::mutex> trava(mutex_);
        Apagar();
        barra_ = false;
    }

private:
    void Apagar() {
        if (barra_) std::fputs("\r\033[K", stderr);
    }
    void Desenhar() {
        if (!barra_) return;
        constexpr size_t kLargura = 30;
        const size_t cheio = total_ ? feitos_ * kLargura / total_ : kLargura;
        std::string s = "\r[";
        s.append(cheio, '#');
        s.append(kLargura - cheio, '-');
        s += "] " + std::to_string(feitos_) + "/" + std::to_string(total_);
        std::fputs(s.c_str(), stderr);
        std::fflush(stderr);
    }

    std::mutex mutex_;
    size_t total_, feitos_ = 0;
    bool barra_;
};

// ---------------------------------------------------------------- work

struct Resultado {
    bool ok = false;
    std::optional<Paginas> paginas;  // kept for --unir
};

std::string Plural(size_t n, const char* um, const char* varios) { return std::to_string(n) + " " + (n == 1 ? um : varios); }

void CriarPastaDe(const std::string& arquivo) {
    const fs::path pasta = fs::path(arquivo).parent_path();
    if (pasta.empty()) return;
    std::error_code erro;
    fs::create_directories(pasta, erro);
    if (erro) throw Falha("Não foi possível criar a pasta " + pasta.string() + ": " + erro.message());
}

// One task: read, lay out, write. Returns the line -v shows.
std::string Processar(const Tarefa& t, const Opcoes& o, const OpcoesLayout& layout, Resultado& r) {
    const std::string ansi = texto::Utf16ParaAnsi(LerArquivoXml(t.entrada));
    Notas notas = Notas::LerAnsi(ansi);
    std::string onde;
    if (notas.Quantidade() == 0) {
        // An authorised NF-e (nfeProc) or a batch: the NF-e elements themselves.
        const auto achadas = DesembrulharNFe(ansi);
        if (!achadas) throw Falha("nenhuma NF-e no arquivo");
        notas = Notas::LerAnsi(achadas->texto);
        onde = " dentro de <" + achadas->envolvente + ">";
    }
    Paginas paginas = Produzir(notas, layout);

    std::string linha = t.entrada + ": NF-e";
    for (size_t i = 0; i < notas.Quantidade(); ++i) linha += (i ? ", " : " ") + notas.Obter(i).numero;
    linha += onde;
    const std::string qtd = Plural(paginas.Quantidade(), "página", "páginas");
    if (o.unir) {
        r.paginas = std::move(paginas);
        return linha + " (" + qtd + ")";
    }
    CriarPastaDe(t.saida);
    size_t arquivos = 1;
    switch (o.formato) {
        case Formato::Pdf:
            EscreverPdf(paginas, t.saida);
            break;
        case Formato::Jpeg: {
            OpcoesImagem oi;
            oi.dpi = o.dpi;
            oi.qualidadeJpeg = o.qualidade;
            arquivos = EscreverJpeg(paginas, t.saida, oi).size();
            break;
        }
        case Formato::Png: {
            OpcoesImagem oi;
            oi.dpi = o.dpi;
            arquivos = EscreverPng(paginas, t.saida, oi).size();
            break;
        }
    }
    linha += " -> " + t.saida + " (" + qtd;
    if (o.formato != Formato::Pdf && arquivos > 1) linha += ", " + Plural(arquivos, "arquivo", "arquivos");
    return linha + ")";
}

}  // namespace

int ExecutarLote(Formato formato, const std::vector<std::string>& args) {
    const Opcoes o = LerOpcoes(formato, args);

    OpcoesLayout layout;
    layout.orientacao = o.orientacao;
    layout.imprimirHora = o.hora;
    if (!o.logo.empty()) {
        // Decoded once for every file; without it nothing is made.
        try {
            layout.logo = Logo::DoArquivo(o.logo);
        } catch (const Erro& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }

    std::vector<std::string> avisos;
    const std::vector<Tarefa> tarefas = Tarefas(o, avisos);
    for (const auto& a : avisos) std::fprintf(stderr, "%s\n", a.c_str());

    const size_t total = tarefas.size();
    Painel painel(total, total > 1 && isatty(STDERR_FILENO));
    std::vector<Resultado> resultados(total);
    std::atomic<size_t> proxima{0};
    auto trabalhar = [&] {
        for (size_t i; (i = proxima.fetch_add(1)) < total;) {
            const Tarefa& t = tarefas[i];
            try {
                if (!t.falha.empty()) throw Falha(t.falha);
                const std::string linha = Processar(t, o, layout, resultados[i]);
                resultados[i].ok = true;
                if (o.verboso) painel.Linha(linha);
            } catch (const std::exception& e) {
                painel.Linha(t.entrada + ": " + e.what());
            } catch (...) {
                painel.Linha(t.entrada + ": Falha desconhecida.");
            }
            painel.Avancar();
        }
    };

    unsigned n = o.tarefas ? o.tarefas : std::max(1u, std::thread::hardware_concurrency());
    n = static_cast<unsigned>(std::min<size_t>(n, std::max<size_t>(total, 1)));
    std::vector<std::thread> auxiliares;
    for (unsigned k = 1; k < n; ++k) {
        try {
            auxiliares.emplace_back(trabalhar);
        } catch (const std::system_error&) {
            break;  // no more threads: the ones there do the work
        }
    }
    trabalhar();
    for (auto& a : auxiliares) a.join();
    painel.Encerrar();

    size_t falhas = 0;
    for (const auto& r : resultados) falhas += !r.ok;

    if (o.unir) {
        Paginas todas;
        size_t notas = 0;
        for (const auto& r : resultados)
            if (r.paginas) {
                todas.Acrescentar(*r.paginas);
                ++notas;
            }
        if (notas > 0) {
            try {
                CriarPastaDe(*o.destino);
                EscreverPdf(todas, *o.destino);
                if (o.verboso)
                    std::fprintf(stderr, "%s: %s de %s\n", o.destino->c_str(),
                                 Plural(todas.Quantidade(), "página", "páginas").c_str(),
                                 Plural(notas, "arquivo", "arquivos").c_str());
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s: %s\n", o.destino->c_str(), e.what());
                ++falhas;
            }
        }
    }
    if (o.verboso || (total > 1 && isatty(STDERR_FILENO)))
        std::fprintf(stderr, "%s, %s.\n", Plural(total, "arquivo", "arquivos").c_str(),
                     Plural(falhas, "com falha", "com falha").c_str());
    return falhas > 0 ? 1 : 0;
}

}  // namespace corvexa::cli
