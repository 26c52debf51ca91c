// The C++ functions that read NF-e text into the DANFE's tables.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "api/interno.h"
#include "base/falha.h"
#include "base/limites.h"
#include "base/texto.h"
#include "job/uDM_Danfe.h"
#include "nfe/leitor.h"
#include "render/arquivo.h"

#ifndef CORVEXA_VERSAO
#define CORVEXA_VERSAO "0.0.0"
#endif

namespace corvexa {
namespace {

Notas Ler(std::string ansi) {
    auto d = std::make_unique<Notas::Dados>();
    nfe::LeitorNFe leitor(d->tabelas);
    leitor.CarregarXml(std::move(ansi));
    leitor.LerNotas();
    d->tipoImpressao = leitor.TipoImpressao();
    job::DerivarFlags(d->tabelas, d->flags);
    return Acesso::Criar(std::move(d));
}

// Measured before any copy or conversion: a text of gigabytes fails at once.
void ConferirTamanho(size_t caracteres) {
    if (caracteres > limites::kTamanhoXml) throw Falha(limites::kMensagemTamanhoXml);
}

std::string Utf16ParaAnsi(std::u16string_view xml) {
    ConferirTamanho(xml.size());
    if (!xml.empty() && xml.front() == u'\xFEFF') xml.remove_prefix(1);
    return texto::Utf16ParaAnsi(xml);
}

std::string Utf8ParaAnsi(std::string_view xml) {
    ConferirTamanho(xml.size());
    if (xml.starts_with("\xEF\xBB\xBF")) xml.remove_prefix(3);
    return texto::Utf8ParaAnsi(xml);
}

const data::Valor& Campo(const data::Tabela& t, size_t registro, const char* nome) {
    static const data::Valor vazio;
    const int i = t.IndiceCampo(nome);
    const auto& r = t.Registro(registro);
    return i >= 0 && static_cast<size_t>(i) < r.size() ? r[i] : vazio;
}

std::string Texto(const data::Tabela& t, size_t registro, const char* nome) {
    return texto::AnsiParaUtf8(data::ValorComoTexto(Campo(t, registro, nome)));
}

// Two decimals, rounded half away from zero: "1234.50", "-0.10".
std::string DuasCasas(const Decimal& d) {
    const int64_t v = d.dezMilesimos;
    const uint64_t a = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    const uint64_t centavos = (a + 50) / 100;
    std::string r = std::to_string(centavos / 100) + "." + (centavos % 100 < 10 ? "0" : "") +
                    std::to_string(centavos % 100);
    return v < 0 && centavos != 0 ? "-" + r : r;
}

}  // namespace

Erro::Erro(const std::string& mensagem) : std::runtime_error(mensagem) {}
Erro::~Erro() = default;

std::string Versao() { return CORVEXA_VERSAO; }

void ApagarTemporarios() noexcept { render::ApagarTemporarios(); }

Notas::Notas(std::unique_ptr<Dados> d) : d_(std::move(d)) {}
Notas::Notas(Notas&&) noexcept = default;
Notas& Notas::operator=(Notas&&) noexcept = default;
Notas::~Notas() = default;

Notas Notas::LerUtf8(std::string_view xml) {
    return Proteger([&] { return Ler(Utf8ParaAnsi(xml)); });
}

Notas Notas::LerUtf16(std::u16string_view xml) {
    return Proteger([&] { return Ler(Utf16ParaAnsi(xml)); });
}

Notas Notas::LerAnsi(std::string_view xml) {
    return Proteger([&] {
        ConferirTamanho(xml.size());
        return Ler(std::string(xml));
    });
}

Notas Notas::LerArquivo(const std::string& caminho) {
    return Proteger([&] {
        // A folder opens as a file here, and a file over the limit is not read.
        std::error_code erro;
        const auto estado = std::filesystem::status(caminho, erro);
        if (!erro && std::filesystem::is_directory(estado)) throw Falha("Não foi possível abrir o arquivo: " + caminho);
        if (!erro && std::filesystem::is_regular_file(estado)) {
            const auto bytes = std::filesystem::file_size(caminho, erro);
            // UTF-16 counts two bytes a character.
            if (!erro && bytes > 2 * limites::kTamanhoXml + 2) throw Falha(limites::kMensagemTamanhoXml);
        }
        std::ifstream f(caminho, std::ios::binary);
        if (!f) throw Falha("Não foi possível abrir o arquivo: " + caminho);
        const std::string b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (f.bad()) throw Falha("Não foi possível ler o arquivo: " + caminho);
        const auto byte = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
        if (b.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
            const bool bigEndian = byte(0) == 0xFE;
            std::u16string u;
            u.reserve(b.size() / 2);
            // A lone last byte cannot be a character: it is left out.
            for (size_t i = 2; i + 1 < b.size(); i += 2)
                u.push_back(static_cast<char16_t>(bigEndian ? byte(i) << 8 | byte(i + 1) : byte(i + 1) << 8 | byte(i)));
            return Ler(Utf16ParaAnsi(u));
        }
        return Ler(Utf8ParaAnsi(b));
    });
}

size_t Notas::Quantidade() const { return d_->tabelas.cdsNFE.Quantidade(); }

int Notas::TipoImpressao() const { return d_->tipoImpressao; }

Nota Notas::Obter(size_t i) const {
    return Proteger([&] {
        const auto& t = d_->tabelas;
        const size_t n = t.cdsNFE.Quantidade();
        if (i >= n)
            throw Falha("NF-e inexistente: " + std::to_string(i) + " (o texto tem " + std::to_string(n) + ")");
        Nota r;
        r.chave = Texto(t.cdsNFE, i, "CodBarra");
        r.numero = Texto(t.cdsNFE, i, "nNF");
        r.serie = Texto(t.cdsNFE, i, "Serie");
        if (const auto* d = std::get_if<Data>(&Campo(t.cdsNFE, i, "DtEmissao"))) r.emissao = d->Iso();
        r.emitente = Texto(t.cdsNFE, i, "EmitNome");
        r.cnpjEmitente = Texto(t.cdsNFE, i, "EmitCNPJ");
        r.destinatario = Texto(t.cdsNFE, i, "DestNome");
        const auto* total = std::get_if<Decimal>(&Campo(t.cdsNFE, i, "ValorTotNota"));
        r.valorTotal = DuasCasas(total ? *total : Decimal{});
        // The records the DANFE shows under this NF-e, linked as its pipelines link them.
        const auto& registro = t.cdsNFE.Registro(i);
        r.itens = t.PipelineNFE_Itens.Registros(&registro).size();
        r.duplicatas = t.PipelineCobranca.Registros(&registro).size();
        r.homologacao = texto::IgualSemCaixa(Texto(t.cdsNFE, i, "tpAmb"), "2");
        r.contingencia = texto::IgualSemCaixa(Texto(t.cdsNFE, i, "tpEmis"), "2");
        return r;
    });
}

}  // namespace corvexa
