#include "job/uDanfeUtils.h"

#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/falha.h"
#include "base/limites.h"
#include "base/texto.h"
#include "job/logotipo.h"
#include "job/saida.h"
#include "metafile/metafile.h"
#include "platform/ini.h"

namespace corvexa::job {
namespace {

using texto::Extensao;
using texto::HostParaUtf8;

// The decoder of a logo by its extension: empty for the metafile kinds,
// which are played into a vector picture; nullptr for an unknown kind.
const char* TipoDeFigura(std::string_view ext) {
    static constexpr std::pair<std::string_view, const char*> kTipos[] = {
        {"bmp", "bmp"}, {"ico", "ico"}, {"wmf", ""}, {"emf", ""}, {"png", "png"}, {"jpg", "jpeg"}, {"jpeg", "jpeg"},
    };
    for (const auto& [extensao, tipo] : kTipos)
        if (texto::IgualSemCaixa(ext, extensao)) return tipo;
    return nullptr;
}

constexpr int kPastaSomenteSistemaDeArquivos = 1;
constexpr int kPastaDialogoNovo = 64;

// The flags value 65 of the folder chooser: file-system folders, new style.
constexpr int kFlagsEscolherPasta = kPastaSomenteSistemaDeArquivos | kPastaDialogoNovo;

template <class F>
void EmAmbos(TDM_Danfe& dm, F&& escrever) {
    escrever(dm.layouts->RelDanfe.saida);
    escrever(dm.layouts->RelDanfePais.saida);
}

// A file, not a folder, at the path.
bool ArquivoExiste(const std::string& caminho) {
    std::error_code erro;
    const auto estado = std::filesystem::status(caminho, erro);
    return !erro && std::filesystem::exists(estado) && !std::filesystem::is_directory(estado);
}

}  // namespace

TDanfeUtils::TDanfeUtils(TDM_Danfe& dm, platform::Plataforma& plataforma, ServicoImpressao impressao)
    : dm_(dm), plataforma_(plataforma), impressao_(std::move(impressao)), leitor_(dm.tabelas) {
    EmAmbos(dm_, [](report::ConfiguracaoSaida& s) {
        s.imprimirEmArquivo = true;
        s.pdf.autor = "Tessalin";
        s.pdf.palavrasChave = "NFe, DANFE";
        s.pdf.assunto = "NFe - DANFE";
        s.pdf.titulo = "NFe - DANFE";
        s.visualizacao.maximizada = true;
        s.visualizacao.zoom = report::ConfiguracaoSaida::Zoom::LarguraPagina;
        s.email.habilitado = true;
    });
}

TDanfeUtils::~TDanfeUtils() = default;

void TDanfeUtils::CarregarLogo(const std::string& caminho) {
    arquivoLogo_ = caminho;
    if (texto::Aparar(caminho).empty()) return;
    if (!ArquivoExiste(caminho)) {
        plataforma_.MostrarMensagem("Arquivo do logotipo de Emitente não localizado: " + HostParaUtf8(caminho));
        return;
    }
    const auto ext = Extensao(caminho);
    const char* tipo = TipoDeFigura(ext);
    if (!tipo) throw Falha(Formatar("Unknown picture file extension (.%s)", HostParaUtf8(ext)));
    // The image shows one picture: a raster one or a metafile's vector one.
    std::shared_ptr<const report::Imagem> imagem;
    std::shared_ptr<const report::ImagemVetorial> vetorial;
    if (*tipo) {
        imagem = CarregarImagemLogo(caminho, tipo);
    } else {
        try {
            vetorial = metafile::CarregarMetarquivo(caminho, ext);
        } catch (const Falha& f) {
            throw Falha("Arquivo do logotipo inválido: " + HostParaUtf8(caminho) + ": " + f.what());
        }
    }
    for (report::Relatorio* layout : {&dm_.layouts->RelDanfe, &dm_.layouts->RelDanfePais})
        if (report::Elemento* e = layout->BuscarElemento(layouts::NomeImagemEmitente)) {
            e->imagem = imagem;
            e->vetorial = vetorial;
        }
}

std::string TDanfeUtils::EscolherPasta(std::string_view titulo, int flags) {
    return plataforma_.EscolherPasta(titulo, flags);
}

void TDanfeUtils::LerXml(const std::u16string& xml) {
    leitor_.LimparTabelas();
    // Measured before the conversion, which would copy all of it.
    if (xml.size() > limites::kTamanhoXml) throw Falha(limites::kMensagemTamanhoXml);
    leitor_.CarregarXml(texto::Utf16ParaAnsi(xml));
    leitor_.LerNotas();
}

void TDanfeUtils::DerivarFlags() { job::DerivarFlags(dm_.tabelas, dm_.flags); }

void TDanfeUtils::Ler(const std::u16string& xml) {
    LerXml(xml);
    DerivarFlags();
}

void TDanfeUtils::AplicarConfiguracao() {
    const auto ini = platform::ArquivoIni::Abrir(kArquivoConfiguracao);
    const int32_t vias = ini.LerInteiro("DANFE", "Vias", 1);
    if (vias >= 1) EmAmbos(dm_, [&](report::ConfiguracaoSaida& s) { s.copias = vias; });
    dm_.flags.ImprimirHora = ini.LerInteiro("DANFE", "ImprimeHora", 1) == 1;

    const std::string impressora = ini.LerTexto("DANFE", "Impressora", "");
    if (!texto::Aparar(impressora).empty()) {
        // A name that no installed queue has keeps the printer as it was.
        const bool existe = impressao_.impressoraExiste && impressao_.impressoraExiste(impressora);
        EmAmbos(dm_, [&](report::ConfiguracaoSaida& s) {
            if (existe) s.impressora = impressora;
            s.dialogoImpressao = false;
            s.dialogoCancelar = false;
        });
    } else {
        EmAmbos(dm_, [](report::ConfiguracaoSaida& s) {
            s.dialogoImpressao = true;
            s.dialogoCancelar = true;
        });
    }
}

bool TDanfeUtils::EscolherArquivo(ModoExecucao modo, const std::string& nomeArquivo) {
    const std::string pasta = EscolherPasta("", kFlagsEscolherPasta);
    if (pasta.empty()) return false;
    const bool pdf = modo == ModoExecucao::Pdf;
    const std::string arquivo = NomeArquivoSaida(pasta, nomeArquivo, pdf ? ".pdf" : ".jpg");
    EmAmbos(dm_, [&](report::ConfiguracaoSaida& s) {
        s.dispositivo = pdf ? "PDF" : "GraphicFile";
        s.arquivo = arquivo;
        s.dialogoImpressao = false;
        if (pdf) s.dialogoCancelar = false;
    });
    return true;
}

void TDanfeUtils::Executar(ModoExecucao modo, const std::u16string& xml, const std::string& nomeArquivo) {
    LerXml(xml);
    bool semPasta = false;
    switch (modo) {
        case ModoExecucao::Tela:
            EmAmbos(dm_, [](report::ConfiguracaoSaida& s) { s.dispositivo = "Screen"; });
            break;
        case ModoExecucao::Impressora:
            EmAmbos(dm_, [](report::ConfiguracaoSaida& s) { s.dispositivo = "Printer"; });
            break;
        case ModoExecucao::Pdf:
        case ModoExecucao::Jpeg:
            semPasta = !EscolherArquivo(modo, nomeArquivo);
            break;
    }
    if (modo == ModoExecucao::Impressora || modo == ModoExecucao::Tela) AplicarConfiguracao();
    DerivarFlags();

    report::Relatorio& layout = dm_.Layout(TipoImpressao());
    // No folder chosen: an export that was called off. A layout still on the
    // preview window shows it; on any other device it would overwrite the file
    // of an earlier export or print unasked, so nothing is produced.
    if (semPasta && layout.saida.dispositivo != "Screen") return;
    Imprimir(dm_, layout, plataforma_, impressao_);
}

void TDanfeUtils::EnviarEmail(const std::u16string& xml, const std::string& nomeArquivo, const DadosEmail& email) {
    (void)nomeArquivo;  // the attachment is always NFeDANFE.pdf
    Ler(xml);
    // The e-mail texts are 8-bit: Windows-1252, or UTF-8 from hosts that
    // speak it, which is turned into the code page like the rest.
    const auto ansi = [](const std::string& s) { return texto::EhUtf8Valido(s) ? texto::Utf8ParaAnsi(s) : s; };
    std::vector<std::string> corpo;
    {
        const std::string c = ansi(email.corpo);
        size_t i = 0;
        while (i <= c.size()) {
            size_t fim = c.find_first_of("\r\n", i);
            if (fim == std::string::npos) fim = c.size();
            corpo.push_back(c.substr(i, fim - i));
            if (fim >= c.size()) break;
            i = fim + ((c[fim] == '\r' && fim + 1 < c.size() && c[fim + 1] == '\n') ? 2 : 1);
        }
    }
    EmAmbos(dm_, [&](report::ConfiguracaoSaida& s) {
        auto& e = s.email;
        e.arquivo = "NFeDANFE";
        e.remetente = e.nomeRemetente = e.responderPara = ansi(email.remetente);
        e.servidor = email.host;
        e.senha = ansi(email.senha);
        e.usuario = ansi(email.usuario);
        e.assunto = ansi(email.assunto);
        e.corpo = corpo;
        // The sixth argument is the recipient list: a server delivers nothing without one.
        e.destinatarios = ansi(email.destinatarios);
    });
    // One message, with the layout the print format selects, as print and preview do.
    report::Relatorio& layout = dm_.Layout(TipoImpressao());
    EnviarEmailDoLayout(layout, dm_.Produzir(layout));
}

}  // namespace corvexa::job
