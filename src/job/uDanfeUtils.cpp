#include "job/uDanfeUtils.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/falha.h"
#include "base/texto.h"

namespace corvexa::job {
namespace {

// 8-bit text from the host (usually UTF-8; Windows-1252 from older hosts) as
// UTF-8 for a message.
std::string HostParaUtf8(std::string_view s) {
    return texto::EhUtf8Valido(s) ? std::string(s) : texto::AnsiParaUtf8(s);
}

// The file's extension without its point: the text after the last "." of
// the last path component; empty when that component has no point.
std::string_view Extensao(std::string_view caminho) {
    const auto barra = caminho.find_last_of('/');
    const auto nome = barra == std::string_view::npos ? caminho : caminho.substr(barra + 1);
    const auto ponto = nome.find_last_of('.');
    return ponto == std::string_view::npos ? std::string_view() : nome.substr(ponto + 1);
}

bool ExtensaoDeFigura(std::string_view ext) {
    for (std::string_view aceita : {"bmp", "ico", "wmf", "emf"})
        if (texto::IgualSemCaixa(ext, aceita)) return true;
    return false;
}

// A file, not a folder, at the path.
bool ArquivoExiste(const std::string& caminho) {
    std::error_code erro;
    const auto estado = std::filesystem::status(caminho, erro);
    return !erro && std::filesystem::exists(estado) && !std::filesystem::is_directory(estado);
}

}  // namespace

TDanfeUtils::TDanfeUtils(TDM_Danfe& dm, platform::Plataforma& plataforma)
    : dm_(dm), plataforma_(plataforma), leitor_(dm.tabelas) {
    // Creation settings of both layouts (document properties, preview window,
    // e-mail switch) are to be written here once the layouts exist.
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
    if (!ExtensaoDeFigura(ext)) throw Falha(Formatar("Unknown picture file extension (.%s)", HostParaUtf8(ext)));
    // Loading the picture into the emitter image of both layouts comes here.
}

void TDanfeUtils::LerXml(const std::u16string& xml) {
    leitor_.LimparTabelas();
    leitor_.CarregarXml(texto::Utf16ParaAnsi(xml));
    leitor_.LerNotas();
}

void TDanfeUtils::DerivarFlags() {
    // An empty table has no current record: both texts are empty.
    const auto& nfe = dm_.tabelas.cdsNFE;
    dm_.flags.Homologacao = texto::IgualSemCaixa(nfe.LerTexto("tpAmb"), "2");
    dm_.flags.Contingencia = texto::IgualSemCaixa(nfe.LerTexto("tpEmis"), "2");
}

void TDanfeUtils::Ler(const std::u16string& xml) {
    LerXml(xml);
    DerivarFlags();
}

void TDanfeUtils::Executar(ModoExecucao modo, const std::u16string& xml, const std::string& nomeArquivo) {
    LerXml(xml);
    // Output device by mode, and the configuration file in printer and preview
    // modes, come here.
    (void)modo;
    (void)nomeArquivo;
    DerivarFlags();
    // Producing the layout chosen by TipoImpressao() comes here.
}

void TDanfeUtils::EnviarEmail(const std::u16string& xml, const std::string& nomeArquivo, const DadosEmail& email) {
    Ler(xml);
    // Filling the e-mail settings of both layouts and sending them comes here.
    (void)nomeArquivo;
    (void)email;
}

}  // namespace corvexa::job
