#include "report/code128.h"

namespace corvexa::report {
namespace {

// Bar and space widths of the symbol characters 0..105 (six elements, eleven
// modules each) and of the stop character (seven elements, thirteen modules).
constexpr char kPadroes[107][8] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213",
    "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132",
    "221231", "213212", "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211",
    "212123", "212321", "232121", "111323", "131123", "131321", "112313", "132113", "132311", "211313",
    "231113", "231311", "112133", "112331", "132131", "113123", "113321", "133121", "313121", "211331",
    "231131", "213113", "213311", "213131", "311123", "311321", "331121", "312113", "312311", "332111",
    "314111", "221411", "431111", "111224", "111422", "121124", "121421", "141122", "141221", "112214",
    "112412", "122114", "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",
    "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311", "113141",
    "114131", "311141", "411131", "211412", "211214", "211232", "2331112",
};

enum Conjunto { A, B, C };

constexpr int kStartA = 103, kStartB = 104, kStartC = 105, kStop = 106;
constexpr int kCodeA = 101, kCodeB = 100, kCodeC = 99;
constexpr int kFnc4A = 101, kFnc4B = 100;  // FNC4 in sets A and B (same values as the set changes there)

bool EhDigito(unsigned char c) { return c >= '0' && c <= '9'; }

// The set a character needs (A for controls, B for the lower-case range,
// either for the rest); high code-page bytes go by their low seven bits.
Conjunto ConjuntoDe(unsigned char c, Conjunto atual) {
    const unsigned char baixo = c & 0x7F;
    if (baixo < 32) return A;
    if (baixo >= 96) return B;
    return atual == A ? A : B;
}

int ValorEm(Conjunto s, unsigned char c) {
    const unsigned char baixo = c & 0x7F;
    if (s == A) return baixo < 32 ? baixo + 64 : baixo - 32;
    return baixo - 32;
}

}  // namespace

SimboloCode128 CodificarCode128(std::string_view dados) {
    SimboloCode128 r;
    if (dados.empty()) return r;

    // Each pair of consecutive digits goes in set C; every other character in
    // set B, or A when only A holds it, changing sets where needed.
    std::vector<int> valores;
    valores.reserve(dados.size() + 4);
    Conjunto atual = B;
    auto par = [&](size_t i) {
        return i + 1 < dados.size() && EhDigito(static_cast<unsigned char>(dados[i])) &&
               EhDigito(static_cast<unsigned char>(dados[i + 1]));
    };
    for (size_t i = 0; i < dados.size();) {
        const auto c = static_cast<unsigned char>(dados[i]);
        if (par(i)) {
            if (valores.empty()) valores.push_back(kStartC);
            else if (atual != C) valores.push_back(kCodeC);
            atual = C;
            valores.push_back((c - '0') * 10 + (dados[i + 1] - '0'));
            i += 2;
            continue;
        }
        const Conjunto s = ConjuntoDe(c, atual);
        if (valores.empty()) valores.push_back(s == A ? kStartA : kStartB);
        else if (s != atual) valores.push_back(s == A ? kCodeA : kCodeB);
        atual = s;
        if (c >= 0x80) valores.push_back(s == A ? kFnc4A : kFnc4B);  // extended (code-page) character
        valores.push_back(ValorEm(s, c));
        ++i;
    }

    long soma = valores[0];
    for (size_t i = 1; i < valores.size(); ++i) soma += static_cast<long>(i) * valores[i];
    valores.push_back(static_cast<int>(soma % 103));
    valores.push_back(kStop);

    r.barras.reserve(valores.size() * 6 + 1);
    for (int v : valores) {
        for (const char* p = kPadroes[v]; *p; ++p) {
            r.barras.push_back(static_cast<uint8_t>(*p - '0'));
            r.modulos += *p - '0';
        }
    }
    return r;
}

}  // namespace corvexa::report
