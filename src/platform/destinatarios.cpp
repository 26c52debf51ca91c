#include "platform/destinatarios.h"

#include <utility>

#include "base/texto.h"

namespace corvexa::platform {

std::vector<std::string_view> SepararDestinatarios(std::string_view lista) {
    std::vector<std::pair<size_t, size_t>> partes;  // [inicio, fim) in lista
    size_t inicio = 0;
    bool aspas = false, angulo = false;
    for (size_t i = 0; i < lista.size(); ++i) {
        const char c = lista[i];
        if (aspas) {
            if (c == '"') aspas = false;
        } else if (c == '"') {
            aspas = true;
        } else if (c == '<') {
            angulo = true;
        } else if (c == '>') {
            angulo = false;
        } else if ((c == ';' || c == ',') && !angulo) {
            partes.emplace_back(inicio, i);
            inicio = i + 1;
        }
    }
    partes.emplace_back(inicio, lista.size());  // the last part, even inside an unclosed quote

    const auto texto = [&](const std::pair<size_t, size_t>& p) {
        return texto::Aparar(lista.substr(p.first, p.second - p.first));
    };
    std::vector<std::string_view> r;
    for (size_t k = 0; k < partes.size(); ++k) {
        auto parte = partes[k];
        while (!texto(parte).empty() && texto(parte).find('@') == std::string_view::npos && k + 1 < partes.size() &&
               texto(partes[k + 1]).ends_with('>'))
            parte.second = partes[++k].second;
        if (!texto(parte).empty()) r.push_back(texto(parte));
    }
    return r;
}

}  // namespace corvexa::platform
