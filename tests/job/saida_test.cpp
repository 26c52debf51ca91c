#include <gtest/gtest.h>

#include <cairo.h>

#include <optional>
#include <string>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"
#include "comum.h"
#include "job/saida.h"
#include "job/uDM_Danfe.h"
#include "job/uDanfeUtils.h"

namespace {

using namespace corvexa;
using namespace teste;
using job::ModoExecucao;

TEST(NomeArquivoTest, RegraDoNome) {
    struct Caso {
        const char *pasta, *xml, *ext, *esperado;
    };
    const Caso casos[] = {
        {"/saida", "/notas/nota-nfe.xml", ".pdf", "/saida/nota-nfe.pdf"},
        {"/saida", "C:\\notas\\nota-nfe.xml", ".jpg", "/saida/nota-nfe.jpg"},
        {"/saida", "C:nota.v2.xml", ".pdf", "/saida/nota.v2.pdf"},
        {"/saida", "nota", ".pdf", "/saida/nota.pdf"},
        {"/saida", "/notas.v2/nota", ".pdf", "/saida/nota.pdf"},     // the point of a folder is no extension
        {"/saida", "nota.", ".pdf", "/saida/nota.pdf"},
        {"/saida", "/notas/.xml", ".pdf", "/saida/.pdf"},
        {"/saida", "", ".pdf", "/saida/.pdf"},
        {"/saida", "/notas/", ".pdf", "/saida/.pdf"},
        {"/", "nota.xml", ".pdf", "//nota.pdf"},
        {"/saida/", "nota.xml", ".pdf", "/saida//nota.pdf"},
    };
    for (const auto& c : casos) EXPECT_EQ(job::NomeArquivoSaida(c.pasta, c.xml, c.ext), c.esperado) << c.xml;

    EXPECT_EQ(job::NomePaginaJpeg("/s/nota-nfe.jpg", 1), "/s/nota-nfe.jpg");
    EXPECT_EQ(job::NomePaginaJpeg("/s/nota-nfe.jpg", 2), "/s/nota-nfe-2.jpg");
    EXPECT_EQ(job::NomePaginaJpeg("/s/.jpg", 12), "/s/-12.jpg");
    EXPECT_EQ(job::NomePaginaJpeg("/s.v2/nota", 3), "/s.v2/nota-3");
}

// What a step of the mode table expects on both layouts afterwards.
struct Estado {
    std::string dispositivo, arquivo;
    bool dialogoImpressao, dialogoCancelar;
    int copias;
    std::string impressora;
    bool imprimirHora;
};

void ConferirEstado(job::TDM_Danfe& dm, const Estado& e) {
    for (const report::Relatorio* r : {&dm.layouts->RelDanfe, &dm.layouts->RelDanfePais}) {
        SCOPED_TRACE(r->nome);
        const auto& s = r->saida;
        EXPECT_EQ(s.dispositivo, e.dispositivo);
        EXPECT_EQ(s.arquivo, e.arquivo);
        EXPECT_EQ(s.dialogoImpressao, e.dialogoImpressao);
        EXPECT_EQ(s.dialogoCancelar, e.dialogoCancelar);
        EXPECT_EQ(s.copias, e.copias);
        EXPECT_EQ(s.impressora, e.impressora);
        // Creation settings, written by every job.
        EXPECT_TRUE(s.imprimirEmArquivo);
        EXPECT_EQ(s.pdf.autor, "Tessalin");
        EXPECT_EQ(s.pdf.palavrasChave, "NFe, DANFE");
        EXPECT_EQ(s.pdf.assunto, "NFe - DANFE");
        EXPECT_EQ(s.pdf.titulo, "NFe - DANFE");
        EXPECT_TRUE(s.visualizacao.maximizada);
        EXPECT_EQ(s.visualizacao.zoom, report::ConfiguracaoSaida::Zoom::LarguraPagina);
        EXPECT_TRUE(s.email.habilitado);
    }
    EXPECT_EQ(dm.flags.ImprimirHora, e.imprimirHora);
}

// One process's calls in a row: each writes only what its mode writes.
TEST(ModosTest, CadaModoEscreveSoOQueLheCabe) {
    PastaTemporaria a("modos-a"), b("modos-b");
    struct Passo {
        const char* nome;
        ModoExecucao modo;
        std::optional<std::string> ini;  // nfeConfig.ini, or none
        std::string pasta;               // answer of the folder chooser
        Estado depois;
        int visualizacoes, trabalhos, progressos;  // outputs of this step
    };
    const std::string jpgA = a / "nota-nfe.jpg", pdfB = b / "nota-nfe.pdf";
    const Passo passos[] = {
        {"preview sem configuracao", ModoExecucao::Tela, std::nullopt, "",
         {"Screen", "", true, true, 1, "Default", true}, 1, 0, 0},
        // JPEG keeps the progress dialog switched on, and shows it.
        {"jpeg", ModoExecucao::Jpeg, "[DANFE]\nImprimeHora=0\n", (*a).string(),
         {"GraphicFile", jpgA, false, true, 1, "Default", true}, 0, 0, 1},
        {"impressora configurada", ModoExecucao::Impressora, "[danfe]\nVias=$3\nImpressora= HP \nImprimeHora=0\n", "",
         {"Printer", jpgA, false, false, 3, "HP", false}, 0, 1, 0},
        {"pdf", ModoExecucao::Pdf, "[DANFE]\nVias=5\nImprimeHora=1\n", (*b).string(),
         {"PDF", pdfB, false, false, 3, "HP", false}, 0, 0, 0},
        // No folder: nothing changes and the earlier file is not written over.
        {"pdf sem pasta", ModoExecucao::Pdf, std::nullopt, "", {"PDF", pdfB, false, false, 3, "HP", false}, 0, 0, 0},
        // Copies below 1 and a printer that is not installed keep what was set;
        // the dialogs still go off.
        {"preview com impressora ausente", ModoExecucao::Tela, "[DANFE]\nVias=0\nImpressora=Nenhuma\n", "",
         {"Screen", pdfB, false, false, 3, "HP", true}, 1, 0, 0},
        {"impressora sem configuracao", ModoExecucao::Impressora, std::nullopt, "",
         {"Printer", pdfB, true, true, 1, "HP", true}, 0, 1, 1},
        {"impressora hexadecimal", ModoExecucao::Impressora, "[DANFE]\nVias=0x2\nImprimeHora=$1\n", "",
         {"Printer", pdfB, true, true, 2, "HP", true}, 0, 1, 1},
    };

    job::TDM_Danfe dm;
    ImpressoraGravada impressora;
    const std::u16string xml = texto::Utf8ParaUtf16(Nota());
    std::string pdfAnterior;
    for (const auto& p : passos) {
        SCOPED_TRACE(p.nome);
        if (p.ini) Gravar("nfeConfig.ini", *p.ini);
        else fs::remove("nfeConfig.ini");
        PlataformaGravada plataforma;
        plataforma.pasta = p.pasta;
        impressora.trabalhos.clear();
        {
            job::TDanfeUtils danfe(dm, plataforma, impressora.Servico());
            danfe.Executar(p.modo, xml, "/entrada/nota-nfe.xml");
        }
        ConferirEstado(dm, p.depois);
        EXPECT_EQ(plataforma.visualizacoes, p.visualizacoes);
        EXPECT_EQ(impressora.trabalhos.size(), static_cast<size_t>(p.trabalhos));
        EXPECT_EQ(plataforma.progressos, p.progressos);
        const bool exporta = p.modo == ModoExecucao::Pdf || p.modo == ModoExecucao::Jpeg;
        ASSERT_EQ(plataforma.pedidosPasta.size(), exporta ? 1u : 0u);
        if (exporta) {
            EXPECT_EQ(plataforma.pedidosPasta[0].titulo, "");
            EXPECT_EQ(plataforma.pedidosPasta[0].flags, 65);
        }
        for (const auto& t : impressora.trabalhos) {
            EXPECT_EQ(t.impressora, p.depois.impressora);
            EXPECT_EQ(t.copias, p.depois.copias);
            EXPECT_EQ(t.nome, "Report");
            EXPECT_TRUE(t.pdf.starts_with("%PDF-"));
        }
        // The print dialog is offered the layout's copies and printer.
        if (!plataforma.dialogosImpressao.empty()) {
            EXPECT_EQ(plataforma.dialogosImpressao[0].impressora, p.depois.impressora);
            EXPECT_EQ(plataforma.dialogosImpressao[0].copias, p.depois.copias);
        }
        if (std::string(p.nome) == "pdf") pdfAnterior = LerArquivo(pdfB);
    }
    EXPECT_EQ(a.Nomes(), (std::set<std::string>{"nota-nfe.jpg"}));
    EXPECT_TRUE(LerArquivo(jpgA).starts_with("\xFF\xD8\xFF"));
    EXPECT_EQ(b.Nomes(), (std::set<std::string>{"nota-nfe.pdf"}));
    EXPECT_TRUE(pdfAnterior.starts_with("%PDF-"));
    EXPECT_EQ(LerArquivo(pdfB), pdfAnterior);
}

// An export without a folder produces nothing, unless the layout is still on
// the preview window.
TEST(ModosTest, ExportacaoSemPasta) {
    struct Caso {
        std::optional<ModoExecucao> antes;
        int visualizacoes;
    };
    const Caso casos[] = {{std::nullopt, 1}, {ModoExecucao::Tela, 1}, {ModoExecucao::Impressora, 0}};
    for (const auto& c : casos) {
        job::TDM_Danfe dm;
        ImpressoraGravada impressora;
        const std::u16string xml = texto::Utf8ParaUtf16(Nota());
        if (c.antes) {
            PlataformaGravada p;
            job::TDanfeUtils(dm, p, impressora.Servico()).Executar(*c.antes, xml, "nota.xml");
        }
        impressora.trabalhos.clear();
        for (const auto modo : {ModoExecucao::Pdf, ModoExecucao::Jpeg}) {
            PlataformaGravada plataforma;
            job::TDanfeUtils(dm, plataforma, impressora.Servico()).Executar(modo, xml, "nota.xml");
            EXPECT_EQ(plataforma.visualizacoes, c.visualizacoes);
            EXPECT_TRUE(impressora.trabalhos.empty());
            EXPECT_TRUE(plataforma.dialogosImpressao.empty());
        }
    }
}

TEST(ModosTest, LayoutPeloFormatoDaUltimaNota) {
    const std::string nota = Nota();
    auto comTpImp = [&](const std::string& tpImp) { return Trocar(nota, "<tpImp>1</tpImp>", tpImp); };
    const std::pair<std::string, const char*> casos[] = {
        {comTpImp("<tpImp>2</tpImp>"), "RelDanfePais"},
        {comTpImp("<tpImp>2</tpImp>") + nota, "RelDanfe"},
        {nota + comTpImp("<tpImp>2</tpImp>"), "RelDanfePais"},
        {comTpImp(""), "RelDanfe"},
        {comTpImp("<tpImp>A</tpImp>"), "RelDanfe"},
        {"<nada/>", "RelDanfe"},
    };
    for (const auto& [xml, layout] : casos) {
        job::TDM_Danfe dm;
        PlataformaGravada plataforma;
        ImpressoraGravada impressora;
        std::string produzido;
        plataforma.naJanela = [&](const report::Documento& d, const platform::AcoesVisualizacao&) { produzido = d.layout; };
        job::TDanfeUtils(dm, plataforma, impressora.Servico()).Executar(ModoExecucao::Tela, texto::Utf8ParaUtf16(xml), "");
        EXPECT_EQ(produzido, layout);
    }
}

class DispositivoTest : public ::testing::Test {
protected:
    // Reads the sample into the tables and puts both layouts on `dispositivo`.
    report::Relatorio& Preparar(const std::string& dispositivo, const std::string& amostra = "") {
        PlataformaGravada p;
        job::TDanfeUtils danfe(dm, p, impressora.Servico());
        danfe.Ler(texto::Utf8ParaUtf16(amostra.empty() ? Nota() : LerAmostra(amostra)));
        report::Relatorio& r = dm.Layout(danfe.TipoImpressao());
        r.saida.dispositivo = dispositivo;
        return r;
    }
    void Imprimir(report::Relatorio& r) { job::Imprimir(dm, r, plataforma, impressora.Servico()); }

    job::TDM_Danfe dm;
    PlataformaGravada plataforma;
    ImpressoraGravada impressora;
    PastaTemporaria pasta{"dispositivo"};
};

TEST_F(DispositivoTest, ImpressoraComDialogoEProgresso) {
    struct Caso {
        const char* nome;
        bool dialogo, progresso, confirma;
        int cancelarNaPagina;
        std::function<void(platform::ConfigImpressao&)> usuario;
        bool imprime;
        std::string impressoraEsperada;
        int copiasEsperadas;
    };
    const Caso casos[] = {
        {"sem dialogos", false, false, true, -1, nullptr, true, "Default", 2},
        {"usuario troca impressora e copias", true, false, true, -1,
         [](platform::ConfigImpressao& c) {
             EXPECT_EQ(c.impressora, "");  // "Default": the default destination
             c.impressora = "Outra";
             c.copias = 4;
         },
         true, "Outra", 4},
        {"dialogo cancelado", true, true, false, -1, nullptr, false, "", 0},
        {"progresso cancelado", false, true, true, 0, nullptr, false, "", 0},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        report::Relatorio& r = Preparar("Printer");
        r.saida.copias = 2;
        r.saida.dialogoImpressao = c.dialogo;
        r.saida.dialogoCancelar = c.progresso;
        plataforma = PlataformaGravada();
        plataforma.confirmarImpressao = c.confirma;
        plataforma.cancelarNaPagina = c.cancelarNaPagina;
        plataforma.aoDialogo = c.usuario;
        impressora.trabalhos.clear();
        Imprimir(r);
        EXPECT_EQ(plataforma.dialogosImpressao.size(), c.dialogo ? 1u : 0u);
        ASSERT_EQ(impressora.trabalhos.size(), c.imprime ? 1u : 0u);
        if (c.imprime) {
            EXPECT_EQ(impressora.trabalhos[0].impressora, c.impressoraEsperada);
            EXPECT_EQ(impressora.trabalhos[0].copias, c.copiasEsperadas);
        }
        // The dialog's choices hold for that print only.
        EXPECT_EQ(r.saida.impressora, "Default");
        EXPECT_EQ(r.saida.copias, 2);
    }
}

TEST_F(DispositivoTest, JanelaDeVisualizacao) {
    report::Relatorio& r = Preparar("Screen");
    const std::string pdf = pasta / "salvo.pdf";
    plataforma.naJanela = [&](const report::Documento& doc, const platform::AcoesVisualizacao& a) {
        EXPECT_TRUE(a.maximizada);
        EXPECT_EQ(a.zoom, 1);  // page width
        ASSERT_TRUE(a.desenhar && a.imprimir && a.salvarPdf && a.enviarEmail);
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 210, 297);
        cairo_t* cr = cairo_create(s);
        cairo_scale(cr, 0.001, 0.001);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        a.desenhar(cr, 0);
        a.desenhar(cr, doc.paginas.size());  // past the end: nothing
        cairo_surface_flush(s);
        int tinta = 0;
        const auto* px = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s));
        for (int i = 0; i < 210 * 297; ++i) tinta += (px[i] & 0xFFFFFF) != 0xFFFFFF;
        EXPECT_GT(tinta, 1000);
        cairo_destroy(cr);
        cairo_surface_destroy(s);

        a.imprimir();                 // through the print dialog, as the layout says
        a.salvarPdf(pdf);
        a.salvarPdf(pasta / "nao-existe/x.pdf");
        a.enviarEmail();
    };
    Imprimir(r);
    EXPECT_EQ(plataforma.visualizacoes, 1);
    EXPECT_EQ(plataforma.dialogosImpressao.size(), 1u);
    ASSERT_EQ(impressora.trabalhos.size(), 1u);
    EXPECT_TRUE(LerArquivo(pdf).starts_with("%PDF-"));
    // Failures inside the window are shown there; the window stays.
    ASSERT_EQ(plataforma.mensagens.size(), 2u);
    EXPECT_NE(plataforma.mensagens[0].find("nao-existe/x.pdf"), std::string::npos) << plataforma.mensagens[0];
    EXPECT_EQ(plataforma.mensagens[1], "Nenhum destinatário informado para o envio do e-mail.");

    // E-mail switched off: not offered.
    r.saida.email.habilitado = false;
    plataforma.naJanela = [](const report::Documento&, const platform::AcoesVisualizacao& a) {
        EXPECT_FALSE(a.enviarEmail);
    };
    Imprimir(r);
}

TEST_F(DispositivoTest, JpegUmArquivoPorPaginaInteiroOuNenhum) {
    report::Relatorio& r = Preparar("GraphicFile", "bfr-v400-paisagem-29itens.xml");
    r.saida.dialogoCancelar = false;
    r.saida.arquivo = pasta / "nota.jpg";
    Imprimir(r);
    const std::set<std::string> quatro{"nota.jpg", "nota-2.jpg", "nota-3.jpg", "nota-4.jpg"};
    ASSERT_EQ(pasta.Nomes(), quatro);
    for (const auto& n : quatro) EXPECT_TRUE(LerArquivo(pasta / n).starts_with("\xFF\xD8\xFF")) << n;

    // The third page cannot be written: the pages of this call go too.
    PastaTemporaria outra("jpeg");
    fs::create_directory(*outra / "nota-3.jpg");
    r.saida.arquivo = outra / "nota.jpg";
    EXPECT_THROW(Imprimir(r), Falha);
    EXPECT_EQ(outra.Nomes(), (std::set<std::string>{"nota-3.jpg"}));

    // Cancelled while drawing: nothing written.
    fs::remove(*outra / "nota-3.jpg");
    r.saida.dialogoCancelar = true;
    plataforma.cancelarNaPagina = 2;
    Imprimir(r);
    EXPECT_TRUE(outra.Nomes().empty());
}

TEST_F(DispositivoTest, PdfQueNaoPodeSerGravadoFalhaSemDeixarArquivo) {
    report::Relatorio& r = Preparar("PDF");
    r.saida.arquivo = pasta / "nao-existe/nota.pdf";
    EXPECT_THROW(Imprimir(r), Falha);
    EXPECT_TRUE(pasta.Nomes().empty());
    r.saida.dispositivo = "Fax";
    EXPECT_THROW(Imprimir(r), Falha);
}

}  // namespace
