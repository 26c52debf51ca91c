// Hostile input through the library's C++ functions: every limit fails with
// its message, just past it, and a real invoice's sizes read as they should;
// odd texts, pictures and paths fail clearly or read correctly.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "../api/biblioteca.h"
#include "base/limites.h"
#include "corvexa/corvexa.hpp"

namespace corvexa::teste {
namespace {

std::string Repetir(std::string_view s, size_t n) {
    std::string r;
    r.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) r += s;
    return r;
}

// A small NF-e that reads: its number, items and instalments as asked.
std::string Nota(int numero, size_t itens, size_t duplicatas, std::string_view extra = {}) {
    std::string n = "<NFe><infNFe Id=\"NFe35200112345678000190550010000000011000000019\"><ide><nNF>" +
                    std::to_string(numero) +
                    "</nNF><dEmi>2020-01-31</dEmi><tpAmb>1</tpAmb><tpEmis>1</tpEmis></ide>"
                    "<emit><xNome>Emitente</xNome></emit>";
    n += Repetir("<det><prod><xProd>P</xProd><qCom>1</qCom><vUnCom>1.00</vUnCom><vProd>1.00</vProd></prod></det>", itens);
    n += "<cobr>" + Repetir("<dup><nDup>1</nDup><dVenc>2020-02-29</dVenc><vDup>1.00</vDup></dup>", duplicatas) + "</cobr>";
    n += extra;
    return n + "</infNFe></NFe>";
}

std::string FalhaDe(const std::string& xml) {
    try {
        Notas::LerUtf8(xml);
        return "";
    } catch (const Erro& e) {
        return e.what();
    }
}

TEST(Limites, CadaLimiteFalhaComSuaMensagemLogoDepoisDele) {
    using namespace limites;
    struct Caso {
        const char* nome;
        std::string xml;
        std::string mensagem;
    } casos[] = {
        {"itens", Nota(1, kItensPorNota + 1, 1), "Existe Nota com mais de 10000 itens. Por favor, verifique."},
        {"duplicatas", Nota(1, 1, kDuplicatasPorNota + 1), "Existe Nota com mais de 1000 duplicatas. Por favor, verifique."},
        {"NF-e", Repetir(Nota(1, 1, 0), kNotasPorDocumento + 1), "O XML tem mais de 10000 NF-e. Por favor, divida o arquivo."},
        {"aninhamento", Nota(1, 1, 0, Repetir("<x>", kProfundidadeXml) + Repetir("</x>", kProfundidadeXml)),
         "mais de 1000 elementos aninhados"},
        {"atributos", "<NFe " + Repetir("a=\"1\" ", kAtributosPorElemento + 1) + "/>", "tem mais de 256 atributos"},
        {"nós", Repetir("<a/>", kNosXml + 1), "o texto tem mais de 2000000 nós"},
        {"tamanho", "<NFe>" + std::string(kTamanhoXml, ' ') + "</NFe>", "O texto do XML excede o limite de 64 MiB."},
    };
    for (const auto& c : casos) {
        const auto inicio = std::chrono::steady_clock::now();
        EXPECT_NE(FalhaDe(c.xml).find(c.mensagem), std::string::npos) << c.nome << ": " << FalhaDe(c.xml);
        EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(20)) << c.nome;
    }
    // A real invoice's sizes are far inside: 990 items, 120 instalments, 990 pages' worth of NF-e.
    const Notas notas = Notas::LerUtf8(Nota(7, 990, 120) + Nota(8, 1, 0));
    ASSERT_EQ(notas.Quantidade(), 2u);
    EXPECT_EQ(notas.Obter(0).itens, 990u);
    EXPECT_EQ(notas.Obter(0).duplicatas, 120u);
    EXPECT_EQ(Produzir(notas).Obter(1).nota, 1);
}

TEST(Limites, TextoDeUmGigabyteERecusadoSemSerLidoAteOFim) {
    // 1 GiB of UTF-16 with no terminator; only the first pages past the limit
    // can be read at all: reading further, or copying the text, would crash.
    const size_t caracteres = size_t{1} << 30, legiveis = limites::kTamanhoXml + (1u << 20);
    void* m = mmap(nullptr, caracteres * 2, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(m, MAP_FAILED);
    ASSERT_EQ(mprotect(m, legiveis * 2, PROT_READ | PROT_WRITE), 0);
    auto* texto = static_cast<char16_t*>(m);
    std::fill(texto, texto + legiveis, u'<');

    Biblioteca lib;
    ASSERT_TRUE(lib.Carregada());
    PastaTemporaria pasta("hostil-gb");
    lib.DefinirPasta((*pasta).c_str());
    const auto inicio = std::chrono::steady_clock::now();
    lib.Export(texto, "nota.xml", "", 1);
    EXPECT_STREQ(lib.UltimoErro(), "O texto do XML excede o limite de 64 MiB.");
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(2));
    EXPECT_TRUE(fs::is_empty(*pasta));

    try {
        Notas::LerUtf16(std::u16string_view(texto, caracteres));
        ADD_FAILURE() << "lido";
    } catch (const Erro& e) {
        EXPECT_STREQ(e.what(), "O texto do XML excede o limite de 64 MiB.");
    }
    munmap(m, caracteres * 2);
}

// The headers of a 24-bit BMP of the given size, and one row of its pixels.
std::string Bmp(int32_t largura, int32_t altura) {
    std::string b(54 + 64, '\0');
    const auto poe = [&](size_t i, uint32_t v) {
        for (int k = 0; k < 4; ++k) b[i + k] = static_cast<char>(v >> (8 * k) & 0xFF);
    };
    b[0] = 'B', b[1] = 'M';
    poe(2, 0x7FFFFFFF);
    poe(10, 54);
    poe(14, 40);
    poe(18, static_cast<uint32_t>(largura));
    poe(22, static_cast<uint32_t>(altura));
    b[26] = 1, b[28] = 24;
    return b;
}

TEST(Limites, LogoForaDosLimitesOuQueNaoEImagem) {
    PastaTemporaria pasta("hostil-logo");
    Gravar(*pasta / "texto.png", "isto não é uma imagem");
    fs::create_directories(*pasta / "pasta.bmp");
    struct Caso {
        fs::path arquivo;
        std::string mensagem;
    } casos[] = {
        // Headers of a few bytes that claim to be megabytes and gigabytes long.
        {fs::path(CORVEXA_FIXTURES) / "hostil/cabecalho-forjado.bmp", "(cabeçalho BMP inválido)"},
        {fs::path(CORVEXA_FIXTURES) / "hostil/cabecalho-gigante.bmp", "(cabeçalho BMP inválido)"},
        // Pixels said to start 4 GB into the file.
        {fs::path(CORVEXA_FIXTURES) / "hostil/deslocamento-gigante.bmp", "(cabeçalho BMP inválido)"},
        {*pasta / "texto.png", "Arquivo do logotipo inválido: " + (*pasta / "texto.png").string() + " ("},
        {*pasta / "pasta.bmp", "Arquivo do logotipo de Emitente não localizado: " + (*pasta / "pasta.bmp").string()},
    };
    for (const auto& c : casos) {
        try {
            Logo::DoArquivo(c.arquivo.string());
            ADD_FAILURE() << c.arquivo;
        } catch (const Erro& e) {
            EXPECT_NE(std::string(e.what()).find(c.mensagem), std::string::npos) << e.what();
        }
    }
    // Sides and pixels in all, from the header, before any pixel memory;
    // rows stored top-down have a negative height.
    const std::pair<std::string, std::string> bmps[] = {
        {Bmp(50331648, 2), "imagem de 50331648 x 2 pixels; o máximo é 10000 por lado"},
        {Bmp(2, -993722368), "imagem de 2 x 993722368 pixels; o máximo é 10000 por lado"},
        {Bmp(4001, 4001), "imagem de 4001 x 4001 pixels; o máximo é 16000000 pixels"},
    };
    for (const auto& [bytes, motivo] : bmps) {
        const auto inicio = std::chrono::steady_clock::now();
        try {
            Logo::DosBytes(bytes, "bmp");
            ADD_FAILURE() << motivo;
        } catch (const Erro& e) {
            EXPECT_EQ(std::string(e.what()), "Arquivo do logotipo inválido: <memória> (" + motivo + ")");
        }
        EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::milliseconds(500));
    }
    // Within the limits the same header decodes.
    EXPECT_FALSE(Logo::DosBytes(Bmp(1, 1), "bmp").Vazio());
}

}  // namespace
}  // namespace corvexa::teste
