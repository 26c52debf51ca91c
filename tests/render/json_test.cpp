#include "report/json.h"

#include <gtest/gtest.h>

using namespace corvexa::report;
using corvexa::fontes::Familia;

TEST(Json, TodosOsTiposDeItem) {
    Documento d;
    d.layout = "RelDanfe";
    Pagina p;
    p.largura = 210000;
    p.altura = 297000;
    p.grupo = 1;
    p.numero = 1;
    p.total = 2;
    ItemTexto t;
    t.caixa = {86783, 22490, 16739, 5518};
    t.texto = "DANFE";
    t.fonte = {Familia::Arial, 14, false};
    t.id = "70";
    p.itens.push_back(t);
    ItemTexto recortado;
    recortado.caixa = {1, 2, 3, 4};
    recortado.texto = "Série \"A\"\\\n\x01";
    recortado.fonte = {Familia::CourierNew, 8, true};
    recortado.recorte = Caixa{5, 6, 7, 8};
    p.itens.push_back(recortado);
    p.itens.push_back(ItemRetangulo{{10, 20, 30, 40}, true, true, "69"});
    p.itens.push_back(ItemRetangulo{{0, 0, 5, 5}, false, false, ""});
    p.itens.push_back(ItemLinha{{0, 0, 100, 265}, true, ""});
    p.itens.push_back(ItemImagem{{7, 8, 9, 10}, nullptr, "Logo"});
    ItemCodigoBarras b;
    b.caixa = {112184, 20373, 70358, 10554};
    b.dados = "3524";
    b.modulos = 277;
    p.itens.push_back(b);
    d.paginas.push_back(p);

    EXPECT_EQ(DocumentoParaJson(d),
              "{\"layout\": \"RelDanfe\", \"pages\": [\n"
              "  {\"width\": 210000, \"height\": 297000, \"group\": 1, \"pageNo\": 1, \"pageCount\": 2,\n"
              "   \"items\": [\n"
              "    {\"kind\": \"text\", \"x\": 86783, \"y\": 22490, \"w\": 16739, \"h\": 5518, \"text\": \"DANFE\", "
              "\"font\": \"Arial\", \"size\": 14, \"bold\": false, \"id\": \"70\"},\n"
              "    {\"kind\": \"text\", \"x\": 1, \"y\": 2, \"w\": 3, \"h\": 4, \"text\": \"Série \\\"A\\\"\\\\\\n\\u0001\", "
              "\"font\": \"Courier New\", \"size\": 8, \"bold\": true, \"clip\": [5, 6, 7, 8]},\n"
              "    {\"kind\": \"rect\", \"x\": 10, \"y\": 20, \"w\": 30, \"h\": 40, \"rounded\": true, \"id\": \"69\"},\n"
              "    {\"kind\": \"rect\", \"x\": 0, \"y\": 0, \"w\": 5, \"h\": 5, \"rounded\": false, \"outline\": false},\n"
              "    {\"kind\": \"line\", \"x\": 0, \"y\": 0, \"w\": 100, \"h\": 265, \"dotted\": true},\n"
              "    {\"kind\": \"image\", \"x\": 7, \"y\": 8, \"w\": 9, \"h\": 10, \"id\": \"Logo\"},\n"
              "    {\"kind\": \"barcode\", \"x\": 112184, \"y\": 20373, \"w\": 70358, \"h\": 10554, \"modules\": 277, "
              "\"data\": \"3524\"}]}]}\n");
}

TEST(Json, TextoForaDeUtf8EDocumentoVazio) {
    Documento d;
    Pagina p;
    ItemTexto t;
    t.texto = "S\xE9rie";  // code-page bytes
    p.itens.push_back(t);
    d.paginas.push_back(p);
    d.paginas.push_back(Pagina{});
    const std::string j = DocumentoParaJson(d);
    EXPECT_NE(j.find("\"text\": \"Série\""), std::string::npos);
    EXPECT_NE(j.find("\"items\": []}]}"), std::string::npos);
    EXPECT_EQ(DocumentoParaJson(Documento{}), "{\"layout\": \"\", \"pages\": []}\n");
}
