#include "comum.h"

#include <cstdlib>

namespace teste {
namespace {

void Le32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}
void Le16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}

// The job reads ./nfeConfig.ini: every test program runs in a folder of its
// own, so no file of the build tree is taken for one.
class PastaDeTrabalho : public ::testing::Environment {
public:
    void SetUp() override {
        antes_ = fs::current_path();
        pasta_ = std::make_unique<PastaTemporaria>("cwd");
        fs::current_path(**pasta_);
    }
    void TearDown() override {
        fs::current_path(antes_);
        pasta_.reset();
    }

private:
    std::unique_ptr<PastaTemporaria> pasta_;
    fs::path antes_;
};

const auto* const kAmbiente = ::testing::AddGlobalTestEnvironment(new PastaDeTrabalho);

}  // namespace

std::string Bmp(int largura, int altura, uint32_t rgb, int larguraDeclarada, int alturaDeclarada) {
    const int linha = (largura * 3 + 3) / 4 * 4;
    const uint32_t tamanhoPixels = static_cast<uint32_t>(linha * altura);
    std::string s = "BM";
    Le32(s, 54 + tamanhoPixels);
    Le32(s, 0);
    Le32(s, 54);
    Le32(s, 40);
    Le32(s, static_cast<uint32_t>(larguraDeclarada ? larguraDeclarada : largura));
    Le32(s, static_cast<uint32_t>(alturaDeclarada ? alturaDeclarada : altura));
    Le16(s, 1);
    Le16(s, 24);
    Le32(s, 0);
    Le32(s, tamanhoPixels);
    Le32(s, 2835);
    Le32(s, 2835);
    Le32(s, 0);
    Le32(s, 0);
    for (int y = 0; y < altura; ++y) {
        for (int x = 0; x < largura; ++x) {
            s.push_back(static_cast<char>(rgb & 0xFF));
            s.push_back(static_cast<char>(rgb >> 8 & 0xFF));
            s.push_back(static_cast<char>(rgb >> 16 & 0xFF));
        }
        s.append(static_cast<size_t>(linha - largura * 3), '\0');
    }
    return s;
}

}  // namespace teste
