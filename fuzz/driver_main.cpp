// Runs a fuzz target's entry point over files, as libFuzzer would over its
// corpus: each argument is a file or a folder of files. For compilers
// without libFuzzer, and to replay a corpus or a crash in a plain build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho);

namespace {

bool Executar(const std::filesystem::path& arquivo) {
    std::ifstream f(arquivo, std::ios::binary);
    if (!f) {
        std::fprintf(stderr, "não foi possível ler %s\n", arquivo.c_str());
        return false;
    }
    const std::vector<uint8_t> dados((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(dados.data(), dados.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int executados = 0, falhas = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code erro;
        if (std::filesystem::is_directory(argv[i], erro)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(argv[i], erro))
                if (e.is_regular_file()) (Executar(e.path()) ? executados : falhas) += 1;
        } else {
            (Executar(argv[i]) ? executados : falhas) += 1;
        }
    }
    std::printf("%d arquivos executados\n", executados);
    return falhas == 0 && executados > 0 ? 0 : 1;
}
