// A corpus of hostile texts, each with the clear failure or the correct
// reading it must give, through the C++ functions and through the exports.
#include <gtest/gtest.h>

#include <string>

#include "../api/biblioteca.h"
#include "base/texto.h"
#include "corvexa/corvexa.hpp"

namespace corvexa::teste {
namespace {

std::string Exemplo() { return LerArquivo(CORVEXA_RAIZ "/samples/nfe-exemplo.xml"); }

// The sample with the text of its first element `tag` replaced.
std::string Trocar(std::string xml, const std::string& tag, const std::string& valor) {
    const size_t ini = xml.find("<" + tag + ">") + tag.size() + 2;
    return xml.replace(ini, xml.find("</" + tag + ">", ini) - ini, valor);
}

struct Resultado {
    std::string erro;      // empty when read
    std::string total;     // valorTotal of the first NF-e
    std::string emitente;  // its emitter's name
    size_t itens = 0;
};

Resultado Ler(const std::string& xml) {
    Resultado r;
    try {
        const Notas n = Notas::LerUtf8(xml);
        if (n.Quantidade() > 0) {
            r.total = n.Obter(0).valorTotal;
            r.emitente = n.Obter(0).emitente;
            r.itens = n.Obter(0).itens;
            Produzir(n);  // and it lays out
        }
    } catch (const Erro& e) {
        r.erro = e.what();
    }
    return r;
}

TEST(CorpusHostil, CadaTextoFalhaComClarezaOuLeCorretamente) {
    const std::string x = Exemplo();
    const std::string risadas =
        "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
        "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
        "<!ENTITY lol9 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">]>";
    struct Caso {
        const char* nome;
        std::string xml;
        Resultado esperado;
    } casos[] = {
        {"cortado", x.substr(0, x.size() / 2), {"XML inválido na linha 99, coluna 25: a marca </vUnTrib> não foi terminada"}},
        {"vazio", "", {"XML inválido na linha 1, coluna 1: o texto não contém nenhum elemento"}},
        {"UTF-16 lido como UTF-8", std::string(reinterpret_cast<const char*>(texto::Utf8ParaUtf16(x).data()), x.size() * 2),
         {"XML inválido na linha 1, coluna 2: caractere inesperado de código 0 depois de \"<\""}},
        // Amounts that are no number fail with the conversion's own message.
        {"número enorme", Trocar(x, "vNF", "99999999999999999999999"),
         {"'99999999999999999999999' is not a valid floating point value"}},
        {"NaN", Trocar(x, "vNF", "NaN"), {"'NaN' is not a valid floating point value"}},
        {"infinito", Trocar(x, "vNF", "1e999"), {"'1e999' is not a valid floating point value"}},
        {"negativo", Trocar(x, "vNF", "-1234.5"), {"", "-1234.50", "Oficina Exemplo de Ferragens Ltda", 3}},
        // Texts are kept as written, cut to the field's 255 characters.
        {"campo de 10000 caracteres", Trocar(x, "xNome", std::string(10000, 'A')), {"", "910.83", std::string(255, 'A'), 3}},
        {"caracteres de controle", Trocar(x, "xNome", "A\x01\x02\x1B[31mB\x7F"), {"", "910.83", "A\x01\x02\x1B[31mB\x7F", 3}},
        // &#0; is no character: it stays as written rather than cut the text.
        {"referência a caractere nulo", Trocar(x, "xNome", "A&#0;B"), {"", "910.83", "A&#0;B", 3}},
        // The document type's entities are never expanded.
        {"entidades em cascata", risadas + Trocar(x, "xNome", "&lol9;"), {"", "910.83", "&lol9;", 3}},
    };
    for (const auto& c : casos) {
        const Resultado r = Ler(c.xml);
        EXPECT_EQ(r.erro, c.esperado.erro) << c.nome;
        EXPECT_EQ(r.total, c.esperado.total) << c.nome;
        EXPECT_EQ(r.emitente, c.esperado.emitente) << c.nome;
        EXPECT_EQ(r.itens, c.esperado.itens) << c.nome;
    }
}

TEST(CorpusHostil, ArquivosEPastasNoLugarDoXml) {
    PastaTemporaria pasta("hostil-arquivos");
    fs::create_directories(*pasta / "pasta.xml");
    for (const fs::path& p : {*pasta / "pasta.xml", *pasta / "nao-existe.xml"}) {
        try {
            Notas::LerArquivo(p.string());
            ADD_FAILURE() << p;
        } catch (const Erro& e) {
            EXPECT_EQ(std::string(e.what()), "Não foi possível abrir o arquivo: " + p.string());
        }
    }
}

TEST(CorpusHostil, PelasFuncoesExportadas) {
    Biblioteca lib;
    ASSERT_TRUE(lib.Carregada());
    PastaTemporaria pasta("hostil-exportadas");
    lib.DefinirPasta((*pasta).c_str());
    Gravar(*pasta / "logo.bmp", "BM isto não é uma imagem");
    fs::create_directories(*pasta / "pasta.png");
    const std::u16string x = texto::Utf8ParaUtf16(Exemplo());
    struct Caso {
        std::u16string xml;
        fs::path logo;
        std::string erro;  // "" when the PDF is written
    } casos[] = {
        {x.substr(0, x.size() / 2), "", "XML inválido na linha 99, coluna 25: a marca </vUnTrib> não foi terminada"},
        {texto::Utf8ParaUtf16(Trocar(Exemplo(), "vNF", "NaN")), "", "'NaN' is not a valid floating point value"},
        {x, *pasta / "logo.bmp", "Arquivo do logotipo inválido: " + (*pasta / "logo.bmp").string() + " ("},
        // A folder is no logo file: the user is told and the DANFE goes on.
        {x, *pasta / "pasta.png", ""},
        {texto::Utf8ParaUtf16(Trocar(Exemplo(), "xNome", std::string(10000, 'A'))), "", ""},
    };
    for (const auto& c : casos) {
        fs::remove(*pasta / "nota.pdf");
        lib.Export(c.xml.c_str(), "nota.xml", c.logo.c_str(), 1);
        const std::string erro = lib.UltimoErro();
        if (c.erro.empty()) {
            EXPECT_EQ(erro, "");
            EXPECT_EQ(LerArquivo(*pasta / "nota.pdf").substr(0, 5), "%PDF-");
        } else {
            EXPECT_EQ(erro.substr(0, c.erro.size()), c.erro);
            EXPECT_FALSE(fs::exists(*pasta / "nota.pdf"));
        }
    }
}

}  // namespace
}  // namespace corvexa::teste
