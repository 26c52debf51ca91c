#pragma once
// The private CUPS scheduler of tests/tools/cups_privado.sh, run for the life
// of one object: started on a free port of 127.0.0.1 in the constructor, with
// CUPS_SERVER pointing at it (and LPDEST and PRINTER unset) for this process;
// stopped, its folder removed and the environment restored in the destructor.
// Should the process die first, the script's watcher stops it.
#include <string>
#include <vector>

namespace corvexa::teste {

class CupsPrivado {
public:
    // The two queues: both print into a file; kPadrao is the default.
    static constexpr const char* kPadrao = "padrao";
    static constexpr const char* kSegunda = "expedicao";

    CupsPrivado();
    ~CupsPrivado();
    CupsPrivado(const CupsPrivado&) = delete;
    CupsPrivado& operator=(const CupsPrivado&) = delete;

    const std::string& Servidor() const { return servidor_; }  // "127.0.0.1:<port>"
    const std::string& Pasta() const { return pasta_; }

    // The file a queue printed its last job into (each job writes it anew).
    std::string Saida(const std::string& fila) const;

    struct Trabalho {
        int id = 0;
        std::string titulo;
        int copias = 0;
        std::string formato;
        std::string estado;  // "completed", "aborted", ... or "" when there is no job
    };
    // The jobs of a queue, oldest first, as the scheduler reports them.
    std::vector<Trabalho> Trabalhos(const std::string& fila) const;
    // Waits (up to 10 s) until the last job of the queue has ended and
    // returns it; `estado` empty when the queue has no job.
    Trabalho EsperarUltimo(const std::string& fila) const;

private:
    std::string servidor_;
    std::string pasta_;
    struct Variavel {
        std::string nome;
        bool havia = false;
        std::string valor;
    };
    std::vector<Variavel> salvas_;
};

// Makes libcups read CUPS_SERVER again (it keeps the server it read first).
void RelerServidorCups();

// A valid PDF of `paginas` empty A4 pages.
std::string PdfDePaginas(int paginas);

// The page count pdfinfo reads from a file, or -1 when it reads no PDF there.
int PaginasDoPdf(const std::string& caminho);

}  // namespace corvexa::teste
