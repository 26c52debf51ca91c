// NF-e found inside other elements, as danfe hands them to the library.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "entrada.h"

namespace {

using corvexa::cli::DesembrulharNFe;

TEST(Entrada, NFeDentroDeOutrosElementos) {
    const struct {
        const char* nome;
        std::string xml;
        std::optional<std::string> texto;  // nothing: the text goes as it stands
        size_t quantidade = 0;
        std::string envolvente;
    } casos[] = {
        {"nfeProc com marcação que engana uma busca de texto",
         "<?xml version=\"1.0\"?><!-- <NFe> --><nfeProc versao=\"4.00\">"
         "<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe Id=\"a>b\" x='</NFe>'>"
         "<obs><![CDATA[</NFe>]]></obs><vazio/></infNFe></NFe><protNFe><NFeX/></protNFe></nfeProc>",
         "<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe Id=\"a>b\" x='</NFe>'>"
         "<obs><![CDATA[</NFe>]]></obs><vazio/></infNFe></NFe>",
         1, "nfeProc"},
        {"lote de duas, nomes em outra caixa", "<enviNFe><lote><nfe>1</nfe></lote><NFE id=\"2\"><a/></NFE></enviNFe>",
         "<nfe>1</nfe>\n<NFE id=\"2\"><a/></NFE>", 2, "lote"},
        {"NF-e dentro de NF-e vai com a de fora", "<p><NFe><NFe>x</NFe></NFe></p>", "<NFe><NFe>x</NFe></NFe>", 1, "p"},
        {"vazia", "<p><NFe/></p>", "<NFe/>", 1, "p"},
        {"no nível mais alto", "<NFe><infNFe/></NFe><nfeProc><NFe/></nfeProc>", std::nullopt, 0, ""},
        {"nenhuma", "<procEventoNFe><evento/></procEventoNFe>", std::nullopt, 0, ""},
        {"só no DOCTYPE", "<!DOCTYPE p [<!ENTITY e \"<NFe/>\">]><p/>", std::nullopt, 0, ""},
        {"XML quebrado", "<nfeProc><NFe></nfeProc>", std::nullopt, 0, ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        const auto r = DesembrulharNFe(c.xml);
        ASSERT_EQ(r.has_value(), c.texto.has_value());
        if (!r) continue;
        EXPECT_EQ(r->texto, *c.texto);
        EXPECT_EQ(r->quantidade, c.quantidade);
        EXPECT_EQ(r->envolvente, c.envolvente);
    }
}

}  // namespace
