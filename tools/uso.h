#pragma once
// A wrong command line of danfe (exit 2), as opposed to a failure of the work
// (exit 1).
#include <string>

namespace corvexa::cli {

// `mensagem` says what is wrong, in front of the usage of the subcommand that
// `comando` names (empty: the one that was called).
struct ErroDeUso {
    std::string comando;
    std::string mensagem;
};

}  // namespace corvexa::cli
