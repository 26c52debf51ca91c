#include "data/tabela.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "base/falha.h"
#include "base/texto.h"
#include "data/conversoes.h"

namespace corvexa::data {
namespace {

const Valor kVazio{};

[[noreturn]] void FalharValor(const DefCampo& c) {
    throw Falha(Formatar("Invalid value for field '%s'", texto::AnsiParaUtf8(c.nome)));
}

// The text of a value, without a copy for the usual case of a text field.
const std::string& TextoDe(const Valor& v, std::string& aux) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    aux = ValorComoTexto(v);
    return aux;
}

std::string DataComoTexto(const Data& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.dia, d.mes, d.ano);
    return buf;
}

}  // namespace

std::string ValorComoTexto(const Valor& v) {
    struct Visitante {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const Data& d) const { return DataComoTexto(d); }
        std::string operator()(const Decimal& d) const { return d.Texto(); }
        std::string operator()(int32_t i) const { return std::to_string(i); }
    };
    return std::visit(Visitante{}, v);
}

Tabela::Tabela(std::string nome, std::vector<DefCampo> campos, std::string indice)
    : nome_(std::move(nome)), campos_(std::move(campos)) {
    if (!indice.empty()) indice_ = Exigir(indice);
}

int Tabela::IndiceCampo(std::string_view nome) const {
    for (size_t i = 0; i < campos_.size(); ++i)
        if (texto::IgualSemCaixa(campos_[i].nome, nome)) return static_cast<int>(i);
    return -1;
}

int Tabela::Exigir(std::string_view campo) const {
    const int i = IndiceCampo(campo);
    if (i < 0) throw Falha(Formatar("Field '%s' not found", texto::AnsiParaUtf8(campo)));
    return i;
}

std::vector<Valor>& Tabela::Pendente() {
    if (!pendente_) throw Falha(Formatar("Table '%s' is not in edit mode", texto::AnsiParaUtf8(nome_)));
    return *pendente_;
}

void Tabela::Esvaziar() {
    pendente_.reset();
    registros_.clear();
    atual_ = -1;
}

void Tabela::Adicionar() {
    // A record still being written is stored before the next one starts.
    if (pendente_) Gravar();
    pendente_.emplace(campos_.size());
}

void Tabela::Gravar() {
    if (!pendente_) return;
    size_t pos = registros_.size();
    if (indice_ >= 0) {
        // After every record whose key is not greater: equal keys keep the
        // order in which they were stored.
        const std::string chave = ValorComoTexto((*pendente_)[indice_]);
        const auto it = std::upper_bound(registros_.begin(), registros_.end(), chave,
                                         [this](const std::string& k, const std::vector<Valor>& r) {
                                             std::string aux;
                                             return k < TextoDe(r[indice_], aux);
                                         });
        pos = static_cast<size_t>(it - registros_.begin());
    }
    registros_.insert(registros_.begin() + static_cast<long>(pos), std::move(*pendente_));
    pendente_.reset();
    atual_ = static_cast<long>(pos);
}

void Tabela::DefinirTexto(std::string_view campo, std::string_view valor) {
    const int i = Exigir(campo);
    const DefCampo& c = campos_[i];
    Valor& destino = Pendente()[i];
    switch (c.tipo) {
        case TipoCampo::Texto:
            destino = std::string(valor.substr(0, static_cast<size_t>(std::max(c.tamanho, 0))));
            break;
        case TipoCampo::Data: {
            const auto d = TextoParaData(valor);
            if (!d) FalharValor(c);
            destino = *d;
            break;
        }
        case TipoCampo::Decimal: {
            const auto d = TextoParaDecimal(valor);
            if (!d) FalharValor(c);
            destino = *d;
            break;
        }
        case TipoCampo::Inteiro: {
            const auto n = TextoParaInteiro(valor);
            if (!n) FalharValor(c);
            destino = *n;
            break;
        }
    }
}

void Tabela::DefinirDecimal(std::string_view campo, Decimal valor) {
    const int i = Exigir(campo);
    const DefCampo& c = campos_[i];
    switch (c.tipo) {
        case TipoCampo::Decimal:
            Pendente()[i] = valor;
            break;
        case TipoCampo::Texto:
            DefinirTexto(campo, valor.Texto());
            break;
        case TipoCampo::Inteiro: {
            const int64_t v = valor.dezMilesimos;
            if (v % 10000 != 0 || v / 10000 < std::numeric_limits<int32_t>::min() ||
                v / 10000 > std::numeric_limits<int32_t>::max())
                FalharValor(c);
            Pendente()[i] = static_cast<int32_t>(v / 10000);
            break;
        }
        case TipoCampo::Data:
            FalharValor(c);
    }
}

void Tabela::DefinirData(std::string_view campo, Data valor) {
    const int i = Exigir(campo);
    const DefCampo& c = campos_[i];
    if (!valor.Valida()) FalharValor(c);
    switch (c.tipo) {
        case TipoCampo::Data:
            Pendente()[i] = valor;
            break;
        case TipoCampo::Texto:
            DefinirTexto(campo, DataComoTexto(valor));
            break;
        default:
            FalharValor(c);
    }
}

void Tabela::DefinirInteiro(std::string_view campo, int32_t valor) {
    const int i = Exigir(campo);
    const DefCampo& c = campos_[i];
    switch (c.tipo) {
        case TipoCampo::Inteiro:
            Pendente()[i] = valor;
            break;
        case TipoCampo::Decimal:
            Pendente()[i] = Decimal::DeInteiro(valor);
            break;
        case TipoCampo::Texto:
            DefinirTexto(campo, std::to_string(valor));
            break;
        case TipoCampo::Data:
            FalharValor(c);
    }
}

void Tabela::LimparCampo(std::string_view campo) {
    const int i = Exigir(campo);
    Pendente()[i] = std::monostate{};
}

const Valor& Tabela::Ler(std::string_view campo) const {
    const int i = Exigir(campo);
    if (pendente_) return (*pendente_)[i];
    if (atual_ >= 0 && static_cast<size_t>(atual_) < registros_.size()) return registros_[atual_][i];
    return kVazio;
}

std::string Tabela::LerTexto(std::string_view campo) const { return ValorComoTexto(Ler(campo)); }

Pipeline::Pipeline(std::string nome, std::string nomeUsuario, const Tabela& tabela)
    : nome_(std::move(nome)), nomeUsuario_(std::move(nomeUsuario)), tabela_(tabela) {}

Pipeline::Pipeline(std::string nome, std::string nomeUsuario, const Tabela& tabela, const Pipeline& mestre,
                   std::string campoMestre, std::string campoDetalhe)
    : nome_(std::move(nome)), nomeUsuario_(std::move(nomeUsuario)), tabela_(tabela), mestre_(&mestre) {
    campoMestre_ = mestre.Dados().IndiceCampo(campoMestre);
    campoDetalhe_ = tabela.IndiceCampo(campoDetalhe);
    if (campoMestre_ < 0 || campoDetalhe_ < 0)
        throw Falha(Formatar("Field '%s' not found",
                             texto::AnsiParaUtf8(campoMestre_ < 0 ? campoMestre : campoDetalhe)));
}

std::vector<size_t> Pipeline::Registros(const std::vector<Valor>* registroMestre) const {
    std::vector<size_t> r;
    const size_t n = tabela_.Quantidade();
    if (!mestre_) {
        r.resize(n);
        for (size_t i = 0; i < n; ++i) r[i] = i;
        return r;
    }
    // A detail pipeline without a current master record shows nothing.
    if (!registroMestre || static_cast<size_t>(campoMestre_) >= registroMestre->size()) return r;
    const std::string chave = ValorComoTexto((*registroMestre)[campoMestre_]);
    std::string aux;
    for (size_t i = 0; i < n; ++i)
        if (TextoDe(tabela_.Registro(i)[campoDetalhe_], aux) == chave) r.push_back(i);
    return r;
}

}  // namespace corvexa::data
