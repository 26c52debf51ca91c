#include "xml/documento.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "base/falha.h"
#include "base/limites.h"

using namespace corvexa;
using namespace corvexa::xml;
using namespace std::string_literals;

namespace {

// The message of the failure of a load, or "" when the text loads.
std::string FalhaDe(Documento& doc, std::string texto) {
    try {
        doc.Carregar(std::move(texto));
    } catch (const Falha& f) {
        return f.what();
    }
    return "";
}

No Raiz(const Documento& doc) {
    for (No n : doc.NosTopo())
        if (n.Tipo() == TipoNo::Elemento) return n;
    return {};
}

std::string Repetir(std::string_view s, size_t n) {
    std::string r;
    r.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) r.append(s);
    return r;
}

}  // namespace

TEST(Documento, NosDeTopoEmOrdemComVariosElementos) {
    Documento doc;
    EXPECT_TRUE(doc.NosTopo().empty());
    EXPECT_FALSE(doc.TemElementoRaiz());

    doc.Carregar(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- antes -->\n"
        "<!DOCTYPE NFe [ <!ENTITY e \"a]>b\"> <!-- ]> --> ]>\n"
        "<?estilo href='x'?>\n"
        "<NFe/> texto solto <nfe:NFe xmlns:nfe=\"u\"><a/></nfe:NFe>\n"
        "<!-- depois -->");
    const std::vector<No> topo = doc.NosTopo();
    const std::vector<std::pair<TipoNo, std::string_view>> esperado = {
        {TipoNo::Declaracao, ""}, {TipoNo::Comentario, ""}, {TipoNo::TipoDocumento, ""},
        {TipoNo::Instrucao, "estilo"}, {TipoNo::Elemento, "NFe"}, {TipoNo::Elemento, "nfe:NFe"},
        {TipoNo::Comentario, ""}};
    ASSERT_EQ(topo.size(), esperado.size());
    for (size_t i = 0; i < topo.size(); ++i) {
        EXPECT_EQ(topo[i].Tipo(), esperado[i].first) << i;
        EXPECT_EQ(topo[i].Nome(), esperado[i].second) << i;
    }
    EXPECT_TRUE(doc.TemElementoRaiz());
    // The second NF-e is its own subtree: the first one has no descendants.
    EXPECT_FALSE(doc.PrimeiroDescendente(topo[4], "a"));
    EXPECT_TRUE(doc.PrimeiroDescendente(topo[5], "a"));
}

TEST(Documento, DescendentesEmOrdemDeDocumento) {
    Documento doc;
    doc.Carregar(
        "<r><a id='1'><b><a id='2'/></b><A id='3'/></a><x:a id='4'/><c><a id='5'>"
        "<A\xC7\xC3O id='6'/></a></c></r><s><a id='7'/></s>");
    const No r = Raiz(doc);
    auto ids = [&](const std::vector<No>& nos) {
        std::string s;
        for (No n : nos) s += doc.Atributo(n, "id");
        return s;
    };
    // Case ignored, prefix kept, and matched subtrees are entered; the search
    // never leaves the start element.
    EXPECT_EQ(ids(doc.TodosDescendentes(r, "a")), "1235");
    EXPECT_EQ(ids(doc.TodosDescendentes(r, "X:A")), "4");
    EXPECT_EQ(ids(doc.TodosDescendentes(r, "nada")), "");

    const No a1 = doc.PrimeiroDescendente(r, "A");
    EXPECT_EQ(doc.Atributo(a1, "id"), "1");
    EXPECT_EQ(a1.Nome(), "a");
    EXPECT_EQ(doc.Atributo(doc.PrimeiroDescendente(a1, "a"), "id"), "2");  // the start is no match
    EXPECT_EQ(doc.Atributo(doc.PrimeiroDescendente(r, "a\xe7\xe3o"), "id"), "6");  // ação ~ AÇÃO
    EXPECT_FALSE(doc.PrimeiroDescendente(r, "r"));
    EXPECT_FALSE(doc.PrimeiroDescendente(doc.PrimeiroDescendente(r, "b"), "c"));
    EXPECT_FALSE(doc.PrimeiroDescendente(r, ""));

    // An empty handle finds nothing and reads empty.
    EXPECT_FALSE(doc.PrimeiroDescendente(No{}, "a"));
    EXPECT_TRUE(doc.TodosDescendentes(No{}, "a").empty());
    EXPECT_EQ(doc.TextoProprio(No{}), "");
    EXPECT_EQ(doc.Atributo(No{}, "id"), "");
    EXPECT_EQ(No{}.Nome(), "");

    // A handle of another document is no handle of this one.
    Documento outro;
    outro.Carregar("<r><a/></r>");
    EXPECT_FALSE(outro.PrimeiroDescendente(a1, "a"));
}

TEST(Documento, TextoProprio) {
    const struct {
        std::string xml, esperado;
    } casos[] = {
        {"<v>  A &amp; B  </v>", "  A & B  "},
        {"<v>\r\n linha\r\n</v>", "\r\n linha\r\n"},
        {"<v><![CDATA[x]]></v>", ""},
        {"<v></v>", ""},
        {"<v/>", ""},
        {"<v> \r\n\t </v>", ""},
        {"<v>antes<f>filho</f>depois</v>", "antes"},
        {"<v><!-- c -->depois</v>", ""},
        {"<v>antes<!-- c -->depois</v>", "antes"},
        {"<v>antes<?pi x?>depois</v>", "antes"},
        {"<v>antes<![CDATA[x]]>depois</v>", "antes"},
        {"<v>&lt;&gt;&apos;&quot;&amp;amp;</v>", "<>'\"&amp;"},
        {"<v>&#65;&#x42;&#233;&#8364;&#x20ac;&#0000067;</v>", "AB\xE9\x80\x80" "C"},
        // What the code page lacks, or what is no reference, stays as written.
        {"<v>&#x4E2D;&#0;&#;&#x;&#65&#X43;&#99999999999999999999;&#xD800;</v>",
         "&#x4E2D;&#0;&#;&#x;&#65&#X43;&#99999999999999999999;&#xD800;"},
        {"<v>a & b &nbsp; &AMP; &amp &lol9; &</v>", "a & b &nbsp; &AMP; &amp &lol9; &"},
        {"<v>S\xE9rie \x80 > ]]> x</v>", "S\xE9rie \x80 > ]]> x"},
        {"<v>a\0b</v>"s, "a\0b"s},
    };
    for (const auto& c : casos) {
        Documento doc;
        doc.Carregar(c.xml);
        EXPECT_EQ(doc.TextoProprio(Raiz(doc)), c.esperado) << c.xml;
    }
}

TEST(Documento, Atributos) {
    Documento doc;
    doc.Carregar(
        "<e Id=\"NFe123\" versao='4.00' a=\"x &amp; &lt;y&gt; &#233; &z;\" b = \"1\"\n"
        "   dup=\"primeiro\" DUP=\"segundo\" vazio=\"\" gt=\"a>b\" sq=\"it's\">texto</e>");
    const No e = Raiz(doc);
    const std::pair<std::string_view, std::string_view> casos[] = {
        {"id", "NFe123"}, {"VERSAO", "4.00"}, {"a", "x & <y> \xE9 &z;"}, {"b", "1"},
        {"Dup", "primeiro"}, {"vazio", ""}, {"gt", "a>b"}, {"sq", "it's"}, {"ausente", ""}};
    for (const auto& [nome, valor] : casos) EXPECT_EQ(doc.Atributo(e, nome), valor) << nome;
    EXPECT_EQ(doc.TextoProprio(e), "texto");
}

TEST(Documento, MarcasDeFimIgnoramCaixa) {
    for (const std::string xml : {"<NFe></nfe>", "<A\xC7\xC3O></a\xE7\xE3o>", "<a></a >",
                                  "<a\n  b = 'x'\n></A>", "<a><b></B></A>"}) {
        Documento doc;
        EXPECT_EQ(FalhaDe(doc, xml), "") << xml;
        EXPECT_TRUE(doc.TemElementoRaiz()) << xml;
    }
}

TEST(Documento, FalhasDizemOQueEOnde) {
    const struct {
        std::string xml, mensagem;
    } casos[] = {
        {"<r>\n<a>\n   x  </b></a></r>", "linha 3, coluna 7: a marca </b> não fecha <a>"},
        {"<a><b></a>", "linha 1, coluna 7: a marca </a> não fecha <b>"},
        {"<a\xE7\xE3o></acao>", "linha 1, coluna 7: a marca </acao> não fecha <ação>"},
        {"<a>\n</a>\n</a>", "linha 3, coluna 1: a marca </a> não fecha nenhum elemento"},
        {"<a>\n  <b></b>", "linha 1, coluna 1: a marca <a> não foi fechada"},
        {"<a><b>x", "linha 1, coluna 4: a marca <b> não foi fechada"},
        {"", "linha 1, coluna 1: o texto não contém nenhum elemento"},
        {"texto", "linha 1, coluna 6: o texto não contém nenhum elemento"},
        {"<?xml version=\"1.0\"?>\n<!-- só -->", "linha 2, coluna 13: o texto não contém nenhum elemento"},
        {"<a><!-- x</a>", "linha 1, coluna 4: comentário não terminado"},
        {"<a><![CDATA[x</a>", "linha 1, coluna 4: seção CDATA não terminada"},
        {"<?xml version='1.0'", "linha 1, coluna 1: instrução de processamento não terminada"},
        {"<!DOCTYPE a [ <!ENTITY x \"]>\"> <a/>", "linha 1, coluna 1: declaração de tipo de documento não terminada"},
        {"<a><!DOCTYPE a></a>", "linha 1, coluna 4: declaração de tipo de documento dentro de um elemento"},
        {"<a><!ELEMENT a></a>", "linha 1, coluna 4: marcação desconhecida depois de \"<!\""},
        {"<a b=1/>", "linha 1, coluna 6: o valor do atributo \"b\" não está entre aspas"},
        {"<a b/>", "linha 1, coluna 5: falta \"=\" depois do atributo \"b\""},
        {"<a b=\"1/>", "linha 1, coluna 1: a marca <a> não foi terminada"},
        {"<a b='1' <c/>", "linha 1, coluna 10: caractere inesperado '<' na marca <a>"},
        {"<a\0/>"s, "linha 1, coluna 3: caractere inesperado de código 0 na marca <a>"},
        {"<a b=\"x\0\"/>"s, "linha 1, coluna 8: caractere inesperado de código 0 no atributo \"b\""},
        {"<a>1 < 2</a>", "linha 1, coluna 7: caractere inesperado ' ' depois de \"<\""},
        {"<a></ a>", "linha 1, coluna 6: caractere inesperado ' ' depois de \"</\""},
        {"<a></a b>", "linha 1, coluna 8: caractere inesperado 'b' na marca </a>"},
        {"<a/><", "linha 1, coluna 5: marcação não terminada"},
        {"<a/><!-", "linha 1, coluna 5: marcação não terminada"},
    };
    Documento doc;
    for (const auto& c : casos) {
        doc.Carregar("<ok/>");
        const No velho = Raiz(doc);
        EXPECT_EQ(FalhaDe(doc, c.xml), "XML inválido na " + c.mensagem) << c.xml;
        // A failed load leaves the document empty, and old handles read empty.
        EXPECT_TRUE(doc.NosTopo().empty());
        EXPECT_FALSE(doc.TemElementoRaiz());
        EXPECT_EQ(velho.Nome(), "");
    }
}

TEST(Documento, NotasReais) {
    const std::pair<const char*, size_t> amostras[] = {
        {"br_danfe-v200-nfeproc-15itens.xml", 15}, {"sped-da-v400-nfeproc-41itens.xml", 41},
        {"bfr-v400-paisagem-29itens.xml", 29}, {"br_danfe-v200-simples-nacional.xml", 0}};
    for (const auto& [arquivo, itens] : amostras) {
        std::ifstream f(std::string(CORVEXA_SAMPLES) + "/" + arquivo, std::ios::binary);
        ASSERT_TRUE(f) << arquivo;
        std::stringstream ss;
        ss << f.rdbuf();
        Documento doc;
        doc.Carregar(ss.str());
        const No raiz = Raiz(doc);
        const No inf = doc.PrimeiroDescendente(raiz, "INFNFE");
        const std::string id = doc.Atributo(inf, "id");
        EXPECT_EQ(id.size(), 47u) << arquivo;
        EXPECT_EQ(id.substr(0, 3), "NFe") << arquivo;
        // The first CNPJ of an NF-e is the emitter's.
        const No cnpj = doc.PrimeiroDescendente(raiz, "CNPJ");
        EXPECT_EQ(cnpj.Nome(), "CNPJ");
        EXPECT_EQ(doc.TextoProprio(cnpj),
                  doc.TextoProprio(doc.PrimeiroDescendente(doc.PrimeiroDescendente(raiz, "emit"), "CNPJ")));
        EXPECT_EQ(doc.TextoProprio(cnpj).size(), 14u) << arquivo;
        if (itens) {
            EXPECT_EQ(doc.TodosDescendentes(raiz, "det").size(), itens) << arquivo;
        }
    }
}

TEST(DocumentoHostil, AninhamentoProfundo) {
    // As deep as the reader goes; one level more is refused.
    constexpr size_t kNiveis = limites::kProfundidadeXml;
    const std::string abre = Repetir("<a>", kNiveis), fecha = Repetir("</a>", kNiveis);
    Documento doc;
    doc.Carregar(abre + "fundo" + fecha);
    const std::vector<No> todos = doc.TodosDescendentes(Raiz(doc), "a");
    ASSERT_EQ(todos.size(), kNiveis - 1);
    EXPECT_EQ(doc.TextoProprio(todos.back()), "fundo");
    EXPECT_EQ(doc.TextoProprio(Raiz(doc)), "");

    EXPECT_EQ(FalhaDe(doc, abre + fecha.substr(4)), "XML inválido na linha 1, coluna 1: a marca <a> não foi fechada");
    EXPECT_EQ(FalhaDe(doc, abre + "</b>" + fecha),
              "XML inválido na linha 1, coluna " + std::to_string(3 * kNiveis + 1) + ": a marca </b> não fecha <a>");
    EXPECT_EQ(FalhaDe(doc, abre + "<a>" + fecha + "</a>"),
              "XML inválido na linha 1, coluna " + std::to_string(3 * kNiveis + 1) + ": mais de 1000 elementos aninhados");
}

TEST(DocumentoHostil, TextosEnormes) {
    // 60 MB of references that never expand: the reading must stay linear.
    const std::string corpo = Repetir("&#9999&", 30'000'000 / 7);
    Documento doc;
    doc.Carregar("<v a='" + corpo + "'>" + corpo + "</v>");
    EXPECT_EQ(doc.TextoProprio(Raiz(doc)), corpo);
    EXPECT_EQ(doc.Atributo(Raiz(doc), "a"), corpo);

    std::string xml = "<v";
    for (size_t i = 0; i + 1 < limites::kAtributosPorElemento; ++i)
        xml += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
    doc.Carregar(xml + " a0='de novo'/>");
    EXPECT_EQ(doc.Atributo(Raiz(doc), "A254"), "254");
    EXPECT_EQ(doc.Atributo(Raiz(doc), "a0"), "0");
    const std::string excesso = xml + " a0='de novo' z='1'/>";
    EXPECT_EQ(FalhaDe(doc, excesso), "XML inválido na linha 1, coluna " + std::to_string(excesso.size() - 6) +
                                         ": a marca <v> tem mais de 256 atributos");

    // Past the size limit: refused before any parsing.
    EXPECT_EQ(FalhaDe(doc, "<v>" + std::string(limites::kTamanhoXml, 'x') + "</v>"),
              "O texto do XML excede o limite de 64 MiB.");
}

TEST(DocumentoHostil, EntidadesDeDoctypeNuncaSeExpandem) {
    Documento doc;
    doc.Carregar(
        "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n"
        " <!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n"
        " <!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">\n]>\n"
        "<lolz a='&lol3;'>&lol3;</lolz>");
    EXPECT_EQ(doc.TextoProprio(Raiz(doc)), "&lol3;");
    EXPECT_EQ(doc.Atributo(Raiz(doc), "a"), "&lol3;");
}

TEST(DocumentoHostil, TextoCortadoEmCadaPosicao) {
    // The root closes only at the very end, so every shorter cut must fail.
    const std::string xml =
        "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e \"x\">]><!-- c --><r a=\"1 &amp; 2\" b='x'>"
        " t&#233;xto <f/><![CDATA[<no>]]><?pi y?><g h = \"v\">&lt;</g></R>";
    Documento doc;
    ASSERT_EQ(FalhaDe(doc, xml), "");
    for (size_t n = 0; n < xml.size(); ++n)
        EXPECT_EQ(FalhaDe(doc, xml.substr(0, n)).rfind("XML inválido na linha 1, coluna ", 0), 0u) << n;
}

TEST(DocumentoHostil, BytesTrocadosAoAcaso) {
    // Mutations of a small document: each one loads or fails cleanly, and a
    // loaded one answers every lookup.
    const std::string base = "<?xml version='1.0'?><r a=\"1\"><b>x &amp; y</b><!-- c --><c d='&#65;'/></r>";
    const std::string trocas = "<>/&;#\"'=!?-[] \0ax"s;
    uint32_t semente = 12345;
    auto sorteio = [&](uint32_t n) {
        semente = semente * 1103515245u + 12345u;
        return (semente >> 16) % n;
    };
    Documento doc;
    for (int i = 0; i < 5000; ++i) {
        std::string xml = base;
        for (int k = 0, n = 1 + sorteio(4); k < n; ++k)
            xml[sorteio(static_cast<uint32_t>(xml.size()))] = trocas[sorteio(static_cast<uint32_t>(trocas.size()))];
        if (!FalhaDe(doc, xml).empty()) continue;
        for (No n : doc.NosTopo())
            for (No d : doc.TodosDescendentes(n, "b")) {
                doc.TextoProprio(d);
                doc.Atributo(d, "d");
            }
    }
}
