// The library's C++ functions, as a host that needs no windows uses them.
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/texto.h"
#include "comum.h"
#include "corvexa/corvexa.hpp"
#include "job/uDM_Danfe.h"
#include "job/uDanfeUtils.h"
#include "platform/plataforma.h"
#include "report/json.h"

namespace {

using namespace corvexa;
using namespace corvexa::teste;


std::string Simples() { return Amostra("br_danfe-v200-simples-nacional.xml"); }

// The pages the exported functions' render job lays out for the same text.
std::string JsonDoJob(const std::string& utf8) {
    platform::PlataformaSemTela semTela;
    job::TDM_Danfe dm;
    job::TDanfeUtils danfe(dm, semTela);
    danfe.Ler(texto::Utf8ParaUtf16(utf8));
    return report::DocumentoParaJson(dm.Produzir(dm.Layout(danfe.TipoImpressao())));
}

bool Contem(const std::string& s, const std::string& parte) { return s.find(parte) != std::string::npos; }

// A 2 x 2 BMP, 24 bits, bottom-up.
std::string Bmp2x2() {
    std::string b = "BM";
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>(v >> (8 * i))); };
    auto u16 = [&](uint16_t v) { for (int i = 0; i < 2; ++i) b.push_back(static_cast<char>(v >> (8 * i))); };
    u32(54 + 16), u32(0), u32(54);
    u32(40), u32(2), u32(2), u16(1), u16(24), u32(0), u32(16), u32(2835), u32(2835), u32(0), u32(0);
    for (int linha = 0; linha < 2; ++linha) b += std::string("\x00\x00\xFF\x00\xFF\x00\x00\x00", 8);
    return b;
}

TEST(ApiCpp, LeituraNasTresCodificacoesEResumoDaNota) {
    PastaTemporaria pasta("api-cpp-leitura");
    const std::string utf8 = Trocar(Simples(), "Tijolo Macico Tipo A", "Tijolo Maci\xC3\xA7o Tipo A");
    std::string le = "\xFF\xFE";
    // The sample is ASCII apart from the one "ç" put in above.
    for (unsigned char c : Trocar(utf8, "\xC3\xA7", "\xE7")) le += {static_cast<char>(c), '\0'};
    Gravar(*pasta / "utf16.xml", le);

    const Notas lidas[] = {Notas::LerUtf8(utf8), Notas::LerUtf16(texto::Utf8ParaUtf16(utf8)),
                           Notas::LerAnsi(Trocar(utf8, "\xC3\xA7", "\xE7")), Notas::LerArquivo(pasta / "utf16.xml")};
    for (const Notas& n : lidas) {
        ASSERT_EQ(n.Quantidade(), 1u);
        EXPECT_EQ(n.TipoImpressao(), 1);
        const Nota a = n.Obter(0);
        EXPECT_EQ(a.numero, "1");
        EXPECT_EQ(a.serie, "1");
        EXPECT_EQ(a.chave, "35131260891033000109550010000000011000000016");
        EXPECT_EQ(a.emissao, "2013-12-28");
        EXPECT_EQ(a.emitente, "KRON INSTRUMENTOS ELETRICOS LTDA");
        EXPECT_EQ(a.valorTotal, "200.00");
        EXPECT_EQ(a.itens, 3u);
        EXPECT_EQ(a.duplicatas, 5u);
        EXPECT_FALSE(a.homologacao);
    }
    EXPECT_THROW(lidas[0].Obter(1), Erro);

    // The library reads top-level NF-e only: one inside nfeProc is none.
    const Notas proc = Notas::LerUtf8(Amostra("br_danfe-v200-nfeproc-15itens.xml"));
    EXPECT_EQ(proc.Quantidade(), 0u);
    EXPECT_EQ(proc.TipoImpressao(), 0);
    EXPECT_EQ(Produzir(proc).Quantidade(), 1u);  // one blank page
}

TEST(ApiCpp, FalhasSaoErroComAMensagemDaBiblioteca) {
    const struct {
        const char* nome;
        std::function<void()> chamada;
        std::string inicio;
    } casos[] = {
        {"xml quebrado", [] { Notas::LerUtf8("<NFe><ide>"); }, "XML inválido na linha 1"},
        {"sem chave", [] { Notas::LerUtf8(Trocar(Trocar(Simples(), "<infNFe", "<infNFX"), "</infNFe>", "</infNFX>")); },
         "Existe Nota sem Chave (ID)."},
        {"arquivo ausente", [] { Notas::LerArquivo("/nao/existe.xml"); },
         "Não foi possível abrir o arquivo: /nao/existe.xml"},
        {"logo ausente", [] { Logo::DoArquivo("/nao/existe.bmp"); },
         "Arquivo do logotipo de Emitente não localizado: /nao/existe.bmp"},
        {"logo gif", [] { Logo::DosBytes("GIF89a", "gif"); }, "Unknown picture file extension (.gif)"},
        {"logo irreconhecível", [] { Logo::DosBytes("nada disso"); }, "Arquivo do logotipo inválido: <memória>"},
        {"png truncado", [] { Logo::DosBytes("\x89PNG\r\n\x1A\n", ""); }, "Arquivo do logotipo inválido: <memória> ("},
        {"hora", [] {
             OpcoesLayout o;
             o.hora = 86400;
             Produzir(Notas::LerUtf8(Simples()), o);
         }, "Hora de impressão inválida: 86400"},
        {"página", [] { GerarPng(Produzir(Notas::LerUtf8(Simples())), 2); }, "Página inexistente: 2 (o documento tem 1)"},
        {"qualidade", [] {
             OpcoesImagem o;
             o.qualidadeJpeg = 0;
             GerarJpeg(Produzir(Notas::LerUtf8(Simples())), 1, o);
         }, "Qualidade JPEG inválida: 0"},
        {"pasta ausente", [] { EscreverPdf(Produzir(Notas::LerUtf8(Simples())), "/nao/existe/nota.pdf"); },
         ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        try {
            c.chamada();
            ADD_FAILURE() << "no failure";
        } catch (const Erro& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, c.inicio.size()), c.inicio) << e.what();
            EXPECT_STRNE(e.what(), "");
        }
    }
}

// The C++ functions and the exported ones lay out the same pages.
TEST(ApiCpp, PaginasIguaisAsDoJobDasFuncoesExportadas) {
    for (const std::string& xml : {Simples(), Amostra("bfr-v400-paisagem-29itens.xml"), Exemplo()})
        EXPECT_EQ(Produzir(Notas::LerUtf8(xml)).Json(), JsonDoJob(xml));
}

TEST(ApiCpp, OpcoesDoLayout) {
    const Notas notas = Notas::LerUtf8(Simples());
    const Paginas padrao = Produzir(notas);
    ASSERT_EQ(padrao.Quantidade(), 1u);
    EXPECT_EQ(padrao.Layout(), "RelDanfe");
    const Paginas::Pagina p = padrao.Obter(1);
    EXPECT_EQ(p.largura, 210000);
    EXPECT_EQ(p.altura, 297000);
    EXPECT_EQ(p.nota, 1);
    EXPECT_EQ(p.numero, 1);
    EXPECT_EQ(p.total, 1);
    EXPECT_FALSE(Contem(padrao.Json(), "Sem Valor Fiscal"));
    EXPECT_FALSE(Contem(padrao.Json(), "12:34:56"));

    OpcoesLayout o;
    o.orientacao = Orientacao::Paisagem;
    o.homologacao = true;
    o.contingencia = true;
    o.imprimirHora = true;
    o.hora = 12 * 3600 + 34 * 60 + 56;
    const Paginas paisagem = Produzir(notas, o);
    EXPECT_EQ(paisagem.Layout(), "RelDanfePais");
    EXPECT_EQ(paisagem.Obter(1).largura, 297000);
    const std::string json = paisagem.Json();
    EXPECT_TRUE(Contem(json, "\"Sem Valor Fiscal\""));
    EXPECT_TRUE(Contem(json, "\"DANFE EM CONTINGÊNCIA\""));
    EXPECT_TRUE(Contem(json, "\"12:34:56\""));

    // A layout lent to that call keeps nothing of it for the next one.
    OpcoesLayout soPaisagem;
    soPaisagem.orientacao = Orientacao::Paisagem;
    EXPECT_EQ(Produzir(notas, soPaisagem).Json(),
              Produzir(Notas::LerUtf8(Trocar(Simples(), "<tpImp>1</tpImp>", "<tpImp>2</tpImp>"))).Json());
    EXPECT_EQ(Produzir(notas).Json(), padrao.Json());
}

TEST(ApiCpp, LogoDeArquivoOuDeBytesVaiParaAPagina) {
    PastaTemporaria pasta("api-cpp-logo");
    Gravar(*pasta / "logo.BMP", Bmp2x2());
    const Logo deBytes = Logo::DosBytes(Bmp2x2());
    const Logo doArquivo = Logo::DoArquivo((*pasta / "logo.BMP").string());
    EXPECT_TRUE(Logo().Vazio());
    EXPECT_TRUE(Logo::DoArquivo("  ").Vazio());
    ASSERT_FALSE(deBytes.Vazio());
    ASSERT_FALSE(doArquivo.Vazio());

    const Notas notas = Notas::LerUtf8(Simples());
    for (const Logo* logo : {&deBytes, &doArquivo}) {
        OpcoesLayout o;
        o.logo = *logo;
        EscreverPdf(Produzir(notas, o), (*pasta / "com-logo.pdf").string());
        const std::string imagens = Executar("pdfimages -list " + Aspas((*pasta / "com-logo.pdf").string()) + " 2>&1");
        EXPECT_TRUE(Contem(imagens, "     2     2  rgb")) << imagens;
    }
    // Without a logo the page shows the layout's own picture again.
    EscreverPdf(Produzir(notas), (*pasta / "sem-logo.pdf").string());
    EXPECT_FALSE(Contem(Executar("pdfimages -list " + Aspas((*pasta / "sem-logo.pdf").string())), "     2     2  rgb"));
}

TEST(ApiCpp, SaidasEmArquivoEEmMemoria) {
    PastaTemporaria pasta("api-cpp-saida");
    const Paginas paginas = Produzir(Notas::LerUtf8(Amostra("bfr-v400-paisagem-29itens.xml")));
    ASSERT_EQ(paginas.Quantidade(), 4u);

    const std::string pdf = GerarPdf(paginas);
    EXPECT_TRUE(pdf.starts_with("%PDF-"));
    Gravar(*pasta / "memoria.pdf", pdf);
    EXPECT_EQ(PaginasPdf(*pasta / "memoria.pdf"), 4);
    const std::string info = Executar("pdfinfo " + Aspas((*pasta / "memoria.pdf").string()));
    EXPECT_TRUE(Contem(info, "Author:          Tessalin")) << info;
    EXPECT_TRUE(Contem(info, "Title:           NFe - DANFE")) << info;

    OpcoesPdf duas;
    duas.paginas = {4, 1};
    duas.titulo = "Lote";
    EscreverPdf(paginas, (*pasta / "duas.pdf").string(), duas);
    EXPECT_EQ(PaginasPdf(*pasta / "duas.pdf"), 2);
    EXPECT_TRUE(Contem(Executar("pdfinfo " + Aspas((*pasta / "duas.pdf").string())), "Title:           Lote"));

    OpcoesImagem baixa;
    baixa.dpi = 50;
    baixa.paginas = {1, 3};
    const auto jpegs = EscreverJpeg(paginas, (*pasta / "nota.jpg").string(), baixa);
    ASSERT_EQ(jpegs, (std::vector<std::string>{(*pasta / "nota.jpg").string(), (*pasta / "nota-3.jpg").string()}));
    for (const auto& j : jpegs) EXPECT_TRUE(LerArquivo(j).starts_with("\xFF\xD8\xFF"));
    EXPECT_EQ(EscreverPng(paginas, (*pasta / "nota.png").string(), baixa).size(), 2u);

    // Landscape A4 at 50 dpi: 585 x 413 pixels, in the PNG's header.
    const std::string png = GerarPng(paginas, 2, baixa);
    ASSERT_TRUE(png.starts_with("\x89PNG\r\n\x1A\n"));
    auto u32 = [&](size_t i) {
        return uint32_t(uint8_t(png[i])) << 24 | uint32_t(uint8_t(png[i + 1])) << 16 | uint32_t(uint8_t(png[i + 2])) << 8 |
               uint8_t(png[i + 3]);
    };
    EXPECT_EQ(u32(16), 585u);
    EXPECT_EQ(u32(20), 413u);

    // A page that cannot be written takes the ones already written with it.
    fs::create_directory(*pasta / "x-3.png");  // page 3's name is a folder
    EXPECT_THROW(EscreverPng(paginas, (*pasta / "x.png").string(), baixa), Erro);
    EXPECT_FALSE(fs::exists(*pasta / "x.png"));
}

TEST(ApiCpp, AcrescentarNumeraCadaNotaEPreservaCopias) {
    const Paginas a = Produzir(Notas::LerUtf8(Amostra("bfr-v400-paisagem-29itens.xml")));
    const Paginas b = Produzir(Notas::LerUtf8(Simples()));
    Paginas unidas = a;
    unidas.Acrescentar(b).Acrescentar(unidas);
    EXPECT_EQ(a.Quantidade(), 4u);
    ASSERT_EQ(unidas.Quantidade(), 10u);
    EXPECT_EQ(unidas.Layout(), "RelDanfePais");
    const Paginas::Pagina quinta = unidas.Obter(5), ultima = unidas.Obter(10);
    EXPECT_EQ(quinta.nota, 2);
    EXPECT_EQ(quinta.numero, 1);
    EXPECT_EQ(quinta.total, 1);
    EXPECT_EQ(quinta.largura, 210000);
    EXPECT_EQ(ultima.nota, 4);
    EXPECT_EQ(ultima.numero, 1);
}

// Different documents laid out and written by several threads at once come
// out as they do one at a time.
TEST(ApiCpp, VariasThreadsAoMesmoTempo) {
    const std::vector<std::string> xmls = {Simples(), Amostra("bfr-v400-paisagem-29itens.xml"), Exemplo(),
                                           Trocar(Simples(), "<tpAmb>1</tpAmb>", "<tpAmb>2</tpAmb>")};
    std::vector<std::string> esperado;
    for (const auto& x : xmls) esperado.push_back(Produzir(Notas::LerUtf8(x)).Json());

    constexpr int kThreads = 4, kVoltas = 6;
    std::vector<std::vector<std::string>> obtido(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int v = 0; v < kVoltas; ++v) {
                const size_t i = (t + v) % xmls.size();
                const Paginas p = Produzir(Notas::LerUtf8(xmls[i]));
                (void)GerarPdf(p);
                obtido[t].push_back(p.Json() == esperado[i] ? "ok" : "diferente: " + std::to_string(i));
            }
        });
    for (auto& t : threads) t.join();
    for (const auto& o : obtido) EXPECT_EQ(o, std::vector<std::string>(kVoltas, "ok"));
}

}  // namespace
