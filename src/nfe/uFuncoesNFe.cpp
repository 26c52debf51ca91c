#include "nfe/uFuncoesNFe.h"

#include "base/falha.h"
#include "base/texto.h"
#include "data/conversoes.h"

namespace corvexa::nfe {

bool TextoVazio(std::string_view s) { return texto::Aparar(s).empty(); }

std::string ConverteData(std::string_view s) {
    if (TextoVazio(s)) return {};
    if (texto::Aparar(s).size() != 10) throw Falha("Erro na conversão de datas: data inválida");
    // The pieces are taken from the text as passed, not from the trimmed one.
    const std::string_view ano = s.substr(0, 4), mes = s.substr(5, 2), dia = s.substr(8, 2);
    if (!data::TextoParaInteiro(ano)) throw Falha("Erro na conversão de datas: ano inválido");
    if (!data::TextoParaInteiro(mes)) throw Falha("Erro na conversão de datas: mês inválido");
    std::string r;
    r.reserve(10);
    r.append(dia).append("/").append(mes).append("/").append(ano);
    return r;
}

Data LerData(std::string_view s) {
    const std::string t = ConverteData(s);
    const auto d = data::TextoParaData(t);
    if (!d) throw Falha(Formatar("'%s' is not a valid date", texto::AnsiParaUtf8(t)));
    return *d;
}

Decimal LerDecimal(std::string_view s) {
    if (TextoVazio(s)) return Decimal{};
    const auto d = data::TextoParaDecimal(s);
    if (!d) throw Falha(Formatar("'%s' is not a valid floating point value", texto::AnsiParaUtf8(s)));
    return *d;
}

Decimal MultiplicarOuMenos99(std::string_view a, std::string_view b) {
    const auto na = data::LerNumeroExato(a);
    const auto nb = na ? data::LerNumeroExato(b) : std::nullopt;
    if (!na || !nb) return Decimal::DeInteiro(-99);
    return data::ArredondarDecimal(data::Multiplicar(*na, *nb)).value_or(Decimal::DeInteiro(-99));
}

int LerTipoImpressao(std::string_view s) {
    if (TextoVazio(s)) return 1;
    return data::TextoParaInteiro(s).value_or(1);
}

}  // namespace corvexa::nfe
