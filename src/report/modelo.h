#pragma once
// The banded report model: what a layout describes and the engine runs.
// The engine knows bands, regions, sub-reports and elements; a layout binds
// elements to pipelines and fields by name (letter case ignored).
//
// Coordinates of an element are relative to the top-left corner of the band
// that holds it (elements inside a region use the band's coordinates too;
// elements of a sub-report's bands are relative to the sub-report's left edge
// and their own band's top).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fontes/metricas.h"
#include "report/pagina.h"

namespace corvexa::report {

enum class Alinhamento : uint8_t { Esquerda, Direita, Centro };

enum class TipoElemento : uint8_t {
    Rotulo,           // static text (caption)
    TextoDados,       // data text (pipeline + field)
    Memo,             // data memo: stretches, wraps by characters
    Retangulo,        // shape: rectangle or rounded rectangle
    Linha,            // line along the top or left edge of its box
    VariavelSistema,  // page number, page count or time of day
    Imagem,           // picture stretched to the box
    CodigoBarras,     // Code 128 of a data field
    Regiao,           // group of elements that fills white and may stretch
    SubRelatorio,     // child report over a pipeline
};

enum class TipoVariavel : uint8_t { NumeroPagina, TotalPaginas, Hora };

struct SubRelatorio;

struct Elemento {
    TipoElemento tipo = TipoElemento::Rotulo;
    // Name used as the item id in the display list and for lookups by the
    // event handlers: the element's number in its band's drawing order, or its
    // component name ("SystemVariable4", "RegFatura1").
    std::string nome;
    Caixa g;  // designed left, top, width, height

    // Texts
    std::string texto;       // caption of a static text, in UTF-8
    std::string pipeline;    // data binding (pipeline name), data texts, memos, barcodes
    std::string campo;       // field name
    std::string formato;     // DisplayFormat, empty for none
    fontes::Fonte fonte;
    Alinhamento alinhamento = Alinhamento::Esquerda;
    bool autoSize = false;
    bool wordWrap = false;
    TipoVariavel variavel = TipoVariavel::NumeroPagina;

    bool visivel = true;  // switched at run time by event handlers

    // Shapes and lines
    bool arredondado = false;
    bool linhaEsquerda = false;  // Position left (else top)
    bool pontilhada = false;
    bool parentWidth = false;
    bool parentHeight = false;
    bool stretchWithParent = false;

    // Images: the picture (the layout's default until one is loaded), a
    // raster or a vector one; a vector picture is shown in place of the raster.
    std::shared_ptr<const Imagem> imagem;
    std::shared_ptr<const ImagemVetorial> vetorial;

    // Regions
    bool esticar = false;               // Stretch
    std::string deslocarRelativoA;      // ShiftRelativeTo: name of another region
    std::vector<Elemento> filhos;       // drawn after the region's white fill

    // Sub-reports
    std::shared_ptr<SubRelatorio> sub;
};

struct Banda {
    std::string nome;
    Mm altura = 0;
    bool dinamica = true;   // PrintHeight dynamic; static bands never grow or split
    bool visivel = true;    // switched at run time by event handlers
    int printCount = 0;     // detail bands: rows per page, 0 for no limit
    std::vector<Elemento> elementos;
};

struct SubRelatorio {
    std::string nome;
    std::string pipeline;
    bool keepTogether = false;
    // Column left edges from the sub-report's left edge and their width;
    // empty for a single column as wide as the sub-report.
    std::vector<Mm> colunas;
    Mm larguraColuna = 0;
    Banda titulo, cabecalhoColuna, detalhe, rodapeColuna, sumario;
};

class Execucao;

// Output settings of a layout, written by the render jobs and read by the
// devices; the engine does not look at them. They persist from job to job.
struct ConfiguracaoSaida {
    std::string dispositivo = "Screen";     // DeviceType: "Screen", "Printer", "PDF", "GraphicFile"
    std::string arquivo;                    // TextFileName
    bool dialogoImpressao = true;           // ShowPrintDialog
    bool dialogoCancelar = true;            // ShowCancelDialog (progress with a cancel button)
    bool imprimirEmArquivo = true;          // AllowPrintToFile
    int copias = 1;                         // PrinterSetup.Copies
    std::string impressora = "Default";     // PrinterSetup.PrinterName; "Default": the system's default

    struct Pdf {                            // PDFSettings (UTF-8)
        std::string autor, palavrasChave, assunto, titulo;
    } pdf;

    enum class Zoom : uint8_t { PaginaInteira, LarguraPagina, Cem };
    struct Visualizacao {                   // PreviewFormSettings
        bool maximizada = true;
        Zoom zoom = Zoom::PaginaInteira;
    } visualizacao;

    struct Email {                          // EmailSettings (8-bit texts as the host gave them)
        bool habilitado = false;
        std::string formato = "PDF";
        std::string arquivo;                // FileName, without extension
        std::string remetente, nomeRemetente, responderPara;
        std::string servidor, usuario, senha;
        std::string assunto;
        std::vector<std::string> corpo;     // lines
        std::string destinatarios;          // recipient list, ";" or "," separated
    } email;
};

struct Relatorio {
    std::string nome;          // "RelDanfe"
    std::string nomeTrabalho;  // print job document name ("Report")
    Mm larguraPapel = 210000, alturaPapel = 297000;
    Mm margemSuperior = 6350, margemInferior = 6350, margemEsquerda = 6350, margemDireita = 6350;

    std::string pipelineMestre;
    std::string campoQuebra;   // the group's break field (new page, page numbers reset)

    Banda cabecalhoPagina, cabecalhoGrupo, detalhe, rodapeGrupo, rodapePagina;

    // Events: at the start of every page, before any band of it (both passes);
    // before every generation of the group header band (reprints included).
    std::function<void(Execucao&)> aoIniciarPagina;
    std::function<void(Execucao&)> antesGerarCabecalhoGrupo;

    ConfiguracaoSaida saida;

    Mm LarguraUtil() const { return larguraPapel - margemEsquerda - margemDireita; }

    // Finds an element anywhere in the report (regions and sub-reports
    // included) by name; nullptr when there is none. Names are unique.
    Elemento* BuscarElemento(std::string_view nome);
};

}  // namespace corvexa::report
