#pragma once
// The loopback SMTP sink of tests/tools/smtpsink.py, run for the life of one
// object: started on a free port of 127.0.0.1 in the constructor, stopped
// (SIGTERM, then waited for) in the destructor, its folder removed with it.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace corvexa::teste {

class ServidorSmtp {
public:
    struct Opcoes {
        std::string usuario;   // not empty: AUTH required with this login
        std::string senha;
        std::string recusar;   // a recipient refused with 550
    };

    explicit ServidorSmtp(const Opcoes& opcoes);
    ServidorSmtp() : ServidorSmtp(Opcoes{}) {}
    ~ServidorSmtp();
    ServidorSmtp(const ServidorSmtp&) = delete;
    ServidorSmtp& operator=(const ServidorSmtp&) = delete;

    int Porta() const { return porta_; }
    std::string Endereco() const { return "127.0.0.1:" + std::to_string(porta_); }

    // The stored messages (.eml paths), in the order received.
    std::vector<std::string> Mensagens() const;

    using Campos = std::vector<std::pair<std::string, std::string>>;
    // What the sink reads of a stored message: headers, body, attachments and
    // envelope as key/value pairs (see smtpsink.py --read).
    static Campos Ler(const std::string& eml);

private:
    void Parar();

    std::string pasta_;
    pid_t pid_ = -1;
    int porta_ = 0;
};

// The values of one key, in order.
std::vector<std::string> Valores(const ServidorSmtp::Campos& campos, std::string_view chave);

// A loopback port where nothing listens.
int PortaFechada();

}  // namespace corvexa::teste
