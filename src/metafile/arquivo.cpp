#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"
#include "metafile/metafile.h"

namespace corvexa::metafile {

Figura CarregarMetarquivo(const std::string& caminho, std::string_view tipo, const Limites& limites) {
    const bool wmf = texto::IgualSemCaixa(tipo, "wmf");
    if (!wmf && !texto::IgualSemCaixa(tipo, "emf")) throw Falha("tipo de metarquivo desconhecido");
    std::error_code erro;
    if (!std::filesystem::is_regular_file(caminho, erro)) throw Falha("não é um arquivo comum");
    const auto tamanho = std::filesystem::file_size(caminho, erro);
    if (erro) throw Falha("não foi possível ler o tamanho do arquivo");
    if (tamanho > limites.tamanhoArquivo)
        throw Falha("arquivo de " + std::to_string(tamanho) + " bytes; o máximo é " +
                    std::to_string(limites.tamanhoArquivo));
    std::ifstream f(caminho, std::ios::binary);
    if (!f) throw Falha("não foi possível abrir o arquivo");
    std::vector<uint8_t> dados(static_cast<size_t>(tamanho));
    f.read(reinterpret_cast<char*>(dados.data()), static_cast<std::streamsize>(dados.size()));
    // A file that changed size while read is read as far as it goes.
    dados.resize(static_cast<size_t>(f.gcount()));
    if (f.bad()) throw Falha("erro de leitura");
    return wmf ? LerWmf(dados, limites) : LerEmf(dados, limites);
}

}  // namespace corvexa::metafile
