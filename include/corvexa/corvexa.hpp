// Corvexa for C++ hosts: the DANFE of Brazilian NF-e invoices without windows.
//
// Read the NF-e text into its tables, lay the DANFE out into pages, and write
// the pages as PDF, JPEG or PNG, to a file or to memory:
//
//     #include <corvexa/corvexa.hpp>
//
//     corvexa::Notas notas = corvexa::Notas::LerArquivo("/entrada/nota.xml");
//     corvexa::Paginas paginas = corvexa::Produzir(notas);
//     corvexa::EscreverPdf(paginas, "/saida/nota.pdf");
//     std::string png = corvexa::GerarPng(paginas, 1);   // page 1, 200 dpi
//
// Failures throw corvexa::Erro, whose what() is the library's message in
// UTF-8 (the same texts the exported C functions of <corvexa.h> report).
//
// Texts: every std::string going in or out is UTF-8 unless said otherwise;
// paths are used byte for byte.
//
// Threads: no call sees anything of another one (each lays out on layouts
// lent to it alone; what is cached, fonts and encoded pictures, is read-only
// or locked), so different threads may read, lay out and write different
// documents at the same time. A Notas, Paginas or Logo may also be used by
// several threads at once through its const functions. None of this touches
// the process-wide state of the exported C functions: their settings (logo,
// output, nfeConfig.ini) do not apply here.
//
// The NF-e reading is the library's: every top-level "NFe" element of the text
// is read (letter case ignored); an NF-e kept inside another element, as in an
// "nfeProc" file, is not (hand the library the "NFe" element's own text).
#ifndef CORVEXA_CORVEXA_HPP
#define CORVEXA_CORVEXA_HPP

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#  if defined(CORVEXA_CONSTRUINDO)
#    define CORVEXA_CXX_API __declspec(dllexport)
#  else
#    define CORVEXA_CXX_API __declspec(dllimport)
#  endif
#else
#  define CORVEXA_CXX_API __attribute__((visibility("default")))
#endif

namespace corvexa {

// The one failure type of these functions.
class CORVEXA_CXX_API Erro : public std::runtime_error {
public:
    explicit Erro(const std::string& mensagem);
    ~Erro() override;
};

// The library's version, "major.minor.patch".
CORVEXA_CXX_API std::string Versao();

// Removes the temporary files of the writes in progress: a file appears under
// its name only when complete, and until then is written under a hidden name
// next to it. Async-signal-safe, for a host's handler of SIGINT or SIGTERM.
CORVEXA_CXX_API void ApagarTemporarios() noexcept;

// ---------------------------------------------------------------- reading

// One NF-e as read, in short. Texts are UTF-8.
struct Nota {
    std::string chave;         // the 44 digits of the access key ("Id" of "infNFe" without "NFe")
    std::string numero;        // "nNF"
    std::string serie;         // "serie"
    std::string emissao;       // issue date, "yyyy-mm-dd"
    std::string emitente;      // emitter's name
    std::string cnpjEmitente;  // as in the XML (CNPJ, or CPF)
    std::string destinatario;  // recipient's name
    std::string valorTotal;    // "vNF" with two decimals and a point: "1234.50"
    std::size_t itens = 0;       // product lines shown with this NF-e
    std::size_t duplicatas = 0;  // billing instalments shown with it
    bool homologacao = false;    // "tpAmb" 2: no fiscal value
    bool contingencia = false;   // "tpEmis" 2
};

// The NF-e of one text, read into the DANFE's tables. Items and instalments
// belong to their NF-e through its number ("nNF"), as on the DANFE: NF-e of
// equal number in one text share their items. Move-only.
class CORVEXA_CXX_API Notas {
public:
    // UTF-8 text; a byte order mark is skipped, and bytes that are not valid
    // UTF-8 are read as Windows-1252.
    static Notas LerUtf8(std::string_view xml);
    // UTF-16 text (native byte order); a leading byte order mark is skipped.
    static Notas LerUtf16(std::u16string_view xml);
    // 8-bit Windows-1252 text (older systems' files).
    static Notas LerAnsi(std::string_view xml);
    // The bytes of an XML file: UTF-16 when they start with a byte order mark
    // (little or big endian), else UTF-8 as LerUtf8. Fails with "Não foi
    // possível abrir o arquivo: <caminho>" when the file cannot be read.
    static Notas LerArquivo(const std::string& caminho);

    // Fails with the reader's message: text that is no XML ("XML inválido na
    // linha 3, coluna 7: ..."), an NF-e without its key ("Existe Nota sem
    // Chave (ID). ..."), without items, with a date that is no date.
    // A text without top-level NF-e reads as none (Quantidade() == 0).

    Notas(Notas&&) noexcept;
    Notas& operator=(Notas&&) noexcept;
    ~Notas();

    std::size_t Quantidade() const;
    // NF-e `i` (from 0) in the order of the text. Fails for i >= Quantidade().
    corvexa::Nota Obter(std::size_t i) const;
    // The print format ("tpImp") of the last NF-e: 2 is landscape; 0 when
    // there is none, 1 when it is blank or not a number.
    int TipoImpressao() const;

    struct Dados;  // the tables, inside the library

private:
    explicit Notas(std::unique_ptr<Dados> d);
    std::unique_ptr<Dados> d_;
    friend class Acesso;
};

// ---------------------------------------------------------------- layout

// The emitter's logo, decoded once and reusable for any number of documents
// (and by several threads). A default-constructed Logo is none: the DANFE
// keeps the layout's own picture in the logo box.
class CORVEXA_CXX_API Logo {
public:
    Logo();
    // A picture file, its kind told by the extension (letter case ignored):
    // bmp, ico, png, jpg, jpeg (pictures) or wmf, emf (metafiles, drawn as
    // vectors). Fails with "Arquivo do logotipo de Emitente não localizado:
    // <caminho>" for a missing file, "Unknown picture file extension (.gif)"
    // for another kind, "Arquivo do logotipo inválido: <caminho> (...)" for a
    // file that does not decode.
    static Logo DoArquivo(const std::string& caminho);
    // Picture bytes of the kind `tipo` ("bmp", "ico", "png", "jpeg"/"jpg",
    // "wmf", "emf"); empty `tipo`: recognised from the bytes. Fails as
    // DoArquivo, with "<memória>" in place of the path.
    static Logo DosBytes(std::string_view bytes, std::string_view tipo = {});

    bool Vazio() const;

    struct Dados;

private:
    std::shared_ptr<const Dados> d_;
    friend class Acesso;
};

enum class Orientacao {
    Automatica,  // by the print format of the last NF-e: tpImp 2 landscape, else portrait
    Retrato,     // A4 portrait
    Paisagem,    // A4 landscape
};

struct OpcoesLayout {
    // Which of the two layouts. Default: by the NF-e's print format.
    Orientacao orientacao = Orientacao::Automatica;
    // Whether the print time is shown in the header. Default: not shown (as
    // in the exported PDF and JPEG files).
    bool imprimirHora = false;
    // The print time, seconds since midnight (0 to 86399). Default: the
    // clock, local time, when the pages are laid out.
    std::optional<int> hora;
    // The "sem valor fiscal" notice. Default: from the last NF-e ("tpAmb" 2).
    std::optional<bool> homologacao;
    // The contingency notice. Default: from the last NF-e ("tpEmis" 2).
    std::optional<bool> contingencia;
    // The emitter's logo. Default: none, the layout's own picture.
    Logo logo;
};

// The laid-out pages of a DANFE: page size, page numbering (each NF-e
// numbered on its own) and the drawing of each page. Cheap to copy; a copy
// shares the pages.
class CORVEXA_CXX_API Paginas {
public:
    Paginas();  // no pages

    struct Pagina {
        std::int32_t largura = 0, altura = 0;  // thousandths of a millimetre (A4: 210000 x 297000)
        int nota = 0;     // which NF-e, from 1
        int numero = 0;   // page number within its NF-e
        int total = 0;    // page count of its NF-e
    };

    std::size_t Quantidade() const;
    // Page `n`, from 1. Fails for a page that is not there.
    Pagina Obter(std::size_t n) const;
    // "RelDanfe" (portrait) or "RelDanfePais" (landscape); of the first pages
    // for pages put together with Acrescentar.
    std::string Layout() const;
    // The display list: positions in thousandths of a millimetre, texts and
    // shapes in drawing order (what `danfe paginas` prints).
    std::string Json() const;

    // Puts the pages of `outras` after these (their NF-e numbered after ours,
    // their page numbering kept): one PDF of several documents.
    Paginas& Acrescentar(const Paginas& outras);

    struct Dados;

private:
    explicit Paginas(std::shared_ptr<Dados> d);
    std::shared_ptr<Dados> d_;
    friend class Acesso;
};

// Lays out the DANFE of `notas`: every NF-e starts a new page and has its own
// page numbering. Notas without any NF-e give one blank page.
CORVEXA_CXX_API Paginas Produzir(const Notas& notas, const OpcoesLayout& opcoes = {});

// ---------------------------------------------------------------- output

struct OpcoesPdf {
    // Document properties (UTF-8); an empty one is left out. The defaults are
    // those of the library's exported files.
    std::string autor = "Tessalin";
    std::string palavrasChave = "NFe, DANFE";
    std::string assunto = "NFe - DANFE";
    std::string titulo = "NFe - DANFE";
    // The pages to write, by number from 1, in the order given. Default
    // (empty): every page.
    std::vector<std::size_t> paginas;
};

struct OpcoesImagem {
    // Resolution in dots per inch, 1 or more; a page may be at most 32767
    // pixels a side (A4 at 200 dpi: 1654 x 2339 pixels).
    int dpi = 200;
    // JPEG quality, 1 to 100; PNG ignores it.
    int qualidadeJpeg = 90;
    // For the functions that write files: the pages, by number from 1.
    // Default (empty): every page.
    std::vector<std::size_t> paginas;
};

// A PDF, one PDF page per page, fonts embedded. The file appears whole or
// not at all (it is written under a temporary name and renamed), and an
// existing file of that name is replaced only when the new one is complete.
CORVEXA_CXX_API void EscreverPdf(const Paginas& paginas, const std::string& caminho, const OpcoesPdf& opcoes = {});
CORVEXA_CXX_API std::string GerarPdf(const Paginas& paginas, const OpcoesPdf& opcoes = {});

// One picture file per page: page 1 at `caminho`, page n after it with "-n"
// before the extension ("nota.jpg", "nota-2.jpg", ...). Every page is encoded
// before the first file is written; when a file cannot be written, the files
// of this call already written are removed. Returns the paths written.
CORVEXA_CXX_API std::vector<std::string> EscreverJpeg(const Paginas& paginas, const std::string& caminho,
                                                      const OpcoesImagem& opcoes = {});
CORVEXA_CXX_API std::vector<std::string> EscreverPng(const Paginas& paginas, const std::string& caminho,
                                                     const OpcoesImagem& opcoes = {});
// Page `n` (from 1) as the bytes of a JPEG or PNG file (`opcoes.paginas` is
// not read).
CORVEXA_CXX_API std::string GerarJpeg(const Paginas& paginas, std::size_t n, const OpcoesImagem& opcoes = {});
CORVEXA_CXX_API std::string GerarPng(const Paginas& paginas, std::size_t n, const OpcoesImagem& opcoes = {});

}  // namespace corvexa

#endif  // CORVEXA_CORVEXA_HPP
