// The C++ functions on different documents at once, as danfe -j runs them:
// run under ThreadSanitizer (scripts/test-sanitizers.sh) any shared state
// they touched would be reported. Each thread's output must also equal the
// same work done alone.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "../api/biblioteca.h"
#include "corvexa/corvexa.hpp"

namespace corvexa::teste {
namespace {

TEST(Paralelo, LerProduzirEscreverEmVariasLinhas) {
    const std::string amostra = LerArquivo(CORVEXA_RAIZ "/samples/nfe-exemplo.xml");
    // Different documents: the sample, and the sample in landscape.
    std::vector<std::string> textos = {amostra, amostra};
    const size_t tp = textos[1].find("<tpImp>1</tpImp>");
    ASSERT_NE(tp, std::string::npos);
    textos[1].replace(tp, 16, "<tpImp>2</tpImp>");
    const Logo logo;  // shared by every thread, as hosts share one

    const auto trabalho = [&](size_t i, std::string& json, std::string& png, std::string& erro) {
        try {
            OpcoesLayout opcoes;
            opcoes.hora = 3600;
            opcoes.logo = logo;
            const Notas notas = Notas::LerUtf8(textos[i % textos.size()]);
            const Paginas paginas = Produzir(notas, opcoes);
            json = paginas.Json();
            OpcoesImagem img;
            img.dpi = 30;
            png = GerarPng(paginas, 1, img);
            if (GerarPdf(paginas).substr(0, 5) != "%PDF-") erro = "PDF";
        } catch (const std::exception& e) {
            erro = e.what();
        }
    };
    std::vector<std::string> jsonSo(2), pngSo(2), erroSo(2);
    for (size_t i = 0; i < 2; ++i) trabalho(i, jsonSo[i], pngSo[i], erroSo[i]);
    ASSERT_EQ(erroSo[0] + erroSo[1], "");
    ASSERT_NE(jsonSo[0], jsonSo[1]);

    constexpr size_t kLinhas = 4;
    std::vector<std::string> json(kLinhas), png(kLinhas), erro(kLinhas);
    std::vector<std::thread> linhas;
    for (size_t i = 0; i < kLinhas; ++i) linhas.emplace_back(trabalho, i, std::ref(json[i]), std::ref(png[i]), std::ref(erro[i]));
    for (auto& l : linhas) l.join();
    for (size_t i = 0; i < kLinhas; ++i) {
        EXPECT_EQ(erro[i], "") << i;
        EXPECT_EQ(json[i], jsonSo[i % 2]) << i;
        EXPECT_EQ(png[i], pngSo[i % 2]) << i;
    }
}

}  // namespace
}  // namespace corvexa::teste
