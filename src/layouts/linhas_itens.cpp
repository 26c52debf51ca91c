// The item grid (the items sub-report: one row per product line, then the
// ISSQN and additional-data blocks) and the continuation footer. These bands
// list their elements in drawing order.
#include "layouts/linhas.h"

namespace corvexa::layouts::linhas {

namespace {

using enum Tipo;
using namespace f;
constexpr auto Dir = report::Alinhamento::Direita;
constexpr auto Cen = report::Alinhamento::Centro;
constexpr const char* Moeda = "#,0.00;-#,0.00";
constexpr const char* Duas = "#0.00;-#0.00";
constexpr const char* Quatro = "#0.0000;-#0.0000";
constexpr unsigned Regra = Esquerda | EsticaPai;  // column rule: left edge, as tall as the row

// One item row. The description wraps and lengthens the row; the rules follow it.
constexpr Linha kItem[] = {
    {.tipo = Memo, .texto = "ItemDescricao", .fonte = A6, .r = {9525, 0, 49742, 3175}, .p = {23019, 0, 122238, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {8996, 0, 1058, 3704}, .p = {22225, 0, 1058, 2910}},
    {.tipo = Dados, .texto = "ItemCodigo", .fonte = A6, .r = {529, 0, 7938, 2822}, .p = {529, 0, 21167, 2910}},
    {.tipo = Dados, .texto = "ItemCST", .fonte = A6, .al = Cen, .r = {71967, 0, 4763, 2822}, .p = {157692, 0, 4763, 2822}},
    {.tipo = Dados, .texto = "ItemCFOP", .fonte = A6, .al = Cen, .r = {77523, 0, 6085, 2822}, .p = {163248, 0, 6085, 2822}},
    {.tipo = Dados, .texto = "ItemUnidade", .fonte = A6, .al = Cen, .r = {85196, 0, 5027, 2822}, .p = {170921, 0, 5027, 2822}},
    {.tipo = Traco, .aj = Regra, .r = {0, 0, 1058, 3704}, .p = {0, 0, 1058, 2910}},
    {.tipo = Dados, .texto = "ItemAliqICMS", .formato = Moeda, .fonte = A6, .al = Dir,
     .r = {175948, 0, 5821, 2822}, .p = {261673, 0, 5821, 2822}},
    {.tipo = Traco, .aj = Regra, .r = {59531, 0, 1058, 3704}, .p = {145257, 0, 1058, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {71438, 0, 1058, 3704}, .p = {157163, 0, 1058, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {76994, 0, 1058, 3704}, .p = {162719, 0, 1058, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {84138, 0, 1058, 3704}, .p = {169863, 0, 1058, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {91281, 0, 1058, 3704}, .p = {177007, 0, 1058, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {119856, 0, 529, 3704}, .p = {205582, 0, 529, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {133879, 0, 2646, 3704}, .p = {219605, 0, 2646, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {147373, 0, 265, 3704}, .p = {233098, 0, 265, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {161396, 0, 265, 3704}, .p = {247121, 0, 265, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {174625, 0, 265, 3704}, .p = {260351, 0, 265, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {182298, 0, 265, 3704}, .p = {268023, 0, 1323, 2910}},
    {.tipo = Traco, .aj = Regra, .r = {189971, 0, 265, 3704}, .p = {275432, 0, 265, 2910}},
    {.tipo = Dados, .texto = "ItemNCM", .fonte = A6, .r = {60325, 0, 10583, 2822}, .p = {146050, 0, 10583, 2822}},
    {.tipo = Dados, .texto = "ItemQuantidade", .formato = Quatro, .fonte = A6, .al = Dir, .aj = Auto,
     .r = {91811, 0, 12912, 2822}, .p = {177536, 0, 12912, 2822}},
    {.tipo = Dados, .texto = "ItemVUnit", .formato = Quatro, .fonte = A6, .al = Dir, .aj = Auto,
     .r = {106892, 0, 12277, 2822}, .p = {192617, 0, 12277, 2822}},
    {.tipo = Dados, .texto = "ItemVTotal", .formato = Duas, .fonte = T6, .al = Dir,
     .r = {120915, 0, 12435, 2999}, .p = {206640, 0, 12435, 2999}},
    {.tipo = Dados, .texto = "ItemVICMS", .formato = Duas, .fonte = A6, .al = Dir,
     .r = {148167, 0, 12700, 2822}, .p = {233892, 0, 12700, 2822}},
    {.tipo = Dados, .texto = "ItemVIPI", .formato = Duas, .fonte = A6, .al = Dir,
     .r = {161925, 0, 12435, 2822}, .p = {247650, 0, 12435, 2822}},
    {.tipo = Dados, .texto = "ItemAliqIPI", .formato = Moeda, .fonte = A6, .al = Dir,
     .r = {183092, 0, 6350, 2822}, .p = {268553, 0, 6350, 2822}},
    {.tipo = Traco, .aj = Regra, .r = {106098, 0, 1058, 3704}, .p = {191823, 0, 1058, 2910}},
    {.tipo = Dados, .texto = "ItemBCalcIcms", .formato = Duas, .fonte = A6, .al = Dir, .aj = Auto,
     .r = {134938, 0, 11853, 2822}, .p = {220663, 0, 11853, 2822}},
};

// After the last row: ISSQN and additional data (reads the NF-e record).
constexpr const char* Cpl = "RegInfoCpl1";
constexpr const char* Fisco = "RegInfoFisco1";
constexpr Linha kSumario[] = {
    {.tipo = Traco, .r = {0, 0, 190500, 1852}, .p = {0, 0, 275961, 1852}},
    {.tipo = Arredondado, .r = {265, 4763, 46038, 7938}, .p = {265, 4763, 67204, 7938}},
    {.tipo = Arredondado, .r = {46038, 4763, 46038, 7938}, .p = {67204, 4763, 72496, 7938}},
    {.tipo = Arredondado, .r = {91811, 4763, 50006, 7938}, .p = {139436, 4763, 73819, 7938}},
    {.tipo = Arredondado, .r = {141552, 4763, 47890, 7938}, .p = {212990, 4763, 62971, 7938}},
    {.texto = "CÁLCULO DO ISSQN", .fonte = A8, .r = {794, 794, 28046, 3175}, .p = {794, 794, 28046, 3175}},
    {.texto = "DADOS ADICIONAIS", .fonte = A8, .r = {794, 13758, 27252, 3175}, .p = {794, 13758, 27252, 3175}},
    {.texto = "INCRIÇÃO MUNICIPAL", .fonte = A5, .r = {1588, 5292, 18785, 2117}, .p = {1588, 5292, 18785, 2117}},
    {.texto = "VALOR TOTAL DOS SERVIÇOS", .fonte = A5, .r = {47096, 5292, 26458, 2117}, .p = {68263, 5292, 50271, 2117}},
    {.texto = "BASE DE CALCULO DO ISSQN", .fonte = A5, .r = {93134, 5292, 25665, 2117}, .p = {140759, 5292, 49477, 2117}},
    {.texto = "VALOR DO ISSQN", .fonte = A5, .r = {142611, 5292, 15346, 2117}, .p = {214048, 5292, 30427, 2117}},
    {.tipo = Dados, .texto = "EmitIM", .fonte = A8, .al = Cen, .r = {2117, 7408, 42598, 3969}, .p = {2117, 7408, 63765, 3969}},
    {.tipo = Dados, .texto = "ValorTotServ", .formato = Moeda, .fonte = A8, .al = Cen,
     .r = {47625, 7673, 42069, 3175}, .p = {68792, 7673, 68527, 3175}},
    {.tipo = Dados, .texto = "BaseCalcISSQN", .formato = Moeda, .fonte = A8, .al = Cen,
     .r = {94456, 7408, 42069, 3175}, .p = {142082, 7408, 65881, 3175}},
    {.tipo = Dados, .texto = "ValorTotISSQN", .formato = Moeda, .fonte = A8, .al = Cen,
     .r = {145257, 7408, 42069, 3175}, .p = {216694, 7408, 57150, 3175}},
    {.nome = Cpl, .tipo = Regiao, .aj = Estica, .r = {0, 17727, 92340, 21696}, .p = {0, 17727, 129382, 21696}},
    {.em = Cpl, .tipo = Arredondado, .aj = AlturaPai | LarguraPai,
     .r = {0, 17727, 92340, 21696}, .p = {0, 17727, 129382, 21696}},
    {.em = Cpl, .tipo = Memo, .texto = "ObsContribuinte", .fonte = A6,
     .r = {1588, 21960, 89165, 15346}, .p = {1588, 21960, 125677, 15346}},
    {.em = Cpl, .texto = "INFORMAÇÕES COMPLEMENTARES", .fonte = A5,
     .r = {1059, 19050, 31221, 2117}, .p = {1059, 19050, 31221, 2117}},
    {.nome = Fisco, .tipo = Regiao, .aj = Estica, .r = {92075, 17727, 98161, 21431}, .p = {128588, 17727, 147373, 21431}},
    {.em = Fisco, .tipo = Arredondado, .aj = AlturaPai | LarguraPai,
     .r = {92075, 17727, 98161, 21431}, .p = {128588, 17727, 147373, 21431}},
    {.em = Fisco, .texto = "RESERVADO AO FISCO", .fonte = A5,
     .r = {92868, 19050, 20108, 2117}, .p = {129381, 19050, 20108, 2117}},
    {.em = Fisco, .tipo = Memo, .texto = "ObsFisco", .fonte = A6,
     .r = {94192, 21960, 93663, 15346}, .p = {130704, 21960, 143934, 15346}},
};

constexpr DescSub kSubItens{
    .pipeline = "PipelineNFE_Itens",
    .keepTogether = true,
    .titulo = {.pipeline = "PipelineNFE_Itens"},
    .detalhe = {.alturaR = 3704, .alturaP = 2910, .printCountR = 26, .printCountP = 10,
                .pipeline = "PipelineNFE_Itens", .prefixo = "Item", .linhas = kItem},
    .sumario = {.alturaR = 39423, .alturaP = 39423, .pipeline = "PipelineNFE", .prefixo = "Sumario", .linhas = kSumario},
};

constexpr Linha kDetalheMestre[] = {
    {.nome = "SubReport1", .tipo = Sub, .aj = LarguraPai, .sub = &kSubItens, .r = {0, 0, 197300, 3440}, .p = {0, 0, 284300, 3440}},
};

// Continuation footer: the closing blocks as an empty skeleton, values masked.
constexpr Linha kRodape[] = {
    {.tipo = Arredondado, .r = {92075, 18785, 97631, 25135}, .p = {134409, 18785, 139965, 12171}},
    {.tipo = Arredondado, .r = {0, 6085, 46038, 7938}, .p = {0, 6085, 64558, 7938}},
    {.tipo = Arredondado, .r = {45773, 6085, 46038, 7938}, .p = {64294, 6085, 64558, 7938}},
    {.tipo = Arredondado, .r = {91546, 6085, 50006, 7938}, .p = {128588, 6085, 68527, 7938}},
    {.tipo = Arredondado, .r = {141288, 6085, 47890, 7938}, .p = {196850, 6085, 77788, 7938}},
    {.texto = "CÁLCULO DO ISSQN", .fonte = A8, .r = {0, 2646, 28046, 3175}, .p = {0, 2646, 28046, 3175}},
    {.texto = "INCRIÇÃO MUNICIPAL", .fonte = A5, .r = {1323, 7144, 18785, 2117}, .p = {1323, 7144, 18785, 2117}},
    {.texto = "VALOR TOTAL DOS SERVIÇOS", .fonte = A5, .r = {46831, 7144, 26458, 2117}, .p = {65352, 7144, 44979, 2117}},
    {.texto = "BASE DE CALCULO DO ISSQN", .fonte = A5, .r = {92869, 7144, 25665, 2117}, .p = {129911, 7144, 44186, 2117}},
    {.texto = "VALOR DO ISSQN", .fonte = A5, .r = {142346, 7144, 15346, 2117}, .p = {199496, 7144, 33867, 2117}},
    {.texto = "DADOS ADICIONAIS", .fonte = A8, .r = {0, 15081, 27252, 3175}, .p = {0, 15081, 27252, 3175}},
    {.tipo = Arredondado, .r = {0, 18785, 92340, 25135}, .p = {0, 18785, 134673, 12171}},
    {.texto = "INFORMAÇÕES COMPLEMENTARES", .fonte = A5, .r = {1323, 19844, 31221, 2117}, .p = {1323, 19844, 31221, 2117}},
    {.texto = "RESERVADO AO FISCO", .fonte = A5, .r = {94456, 19844, 20108, 2117}, .p = {136790, 19844, 62442, 2117}},
    {.tipo = Traco, .r = {0, 0, 190236, 794}, .p = {0, 0, 274638, 794}},
    {.texto = "CONTINUA NA PRÓXIMA FOLHA....", .fonte = A8, .r = {17198, 29104, 47413, 3175}, .p = {37042, 24342, 47361, 3175}},
    {.texto = "**************", .fonte = A8, .al = Cen, .r = {16274, 9525, 14817, 3175}, .p = {16274, 9525, 33338, 3175}},
    {.texto = "**************", .fonte = A8, .al = Cen, .r = {61516, 9525, 14817, 3175}, .p = {80169, 9525, 33338, 3175}},
    {.texto = "**************", .fonte = A8, .al = Cen, .r = {109141, 9525, 14817, 3175}, .p = {146315, 9525, 33338, 3175}},
    {.texto = "**************", .fonte = A8, .al = Cen, .r = {159412, 9525, 14817, 3175}, .p = {212461, 9525, 33338, 3175}},
};

}  // namespace

const DescBanda kDetalhe{.alturaR = 3440, .alturaP = 3440, .dinamica = true, .linhas = kDetalheMestre};

const DescBanda kRodapePagina{
    .alturaR = 43921, .alturaP = 31485, .dinamica = false, .prefixo = "Rodape", .linhas = kRodape,
};

}  // namespace corvexa::layouts::linhas
