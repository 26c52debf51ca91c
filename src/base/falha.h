#pragma once
// The one failure type of the library: an exception carrying the message that
// the host will see. Messages are UTF-8; pieces of 8-bit (Windows-1252) text
// that go into a message are converted with texto::AnsiParaUtf8 first.
#include <stdexcept>
#include <string>

namespace corvexa {

class Falha : public std::runtime_error {
public:
    explicit Falha(const std::string& mensagem) : std::runtime_error(mensagem) {}
};

// Replaces the first "%s" of a message pattern, as the system's messages do.
std::string Formatar(std::string_view padrao, std::string_view valor);

}  // namespace corvexa
