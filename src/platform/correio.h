#pragma once
// Sending a message with one attachment to a mail server over SMTP.
//
// The library has no mail client to hand the DANFE to, so it talks to the
// server named by the host itself: plain SMTP on port 587 with STARTTLS when
// the server offers it, or implicit TLS for an smtps:// address.
//
//   platform::Mensagem m;
//   m.servidor = "smtp.exemplo.com.br";
//   m.remetente = "nfe@exemplo.com.br";
//   m.destinatarios = "fiscal@cliente.com.br; compras@cliente.com.br";
//   m.assunto = "DANFE";
//   m.corpo = {"Segue o DANFE.", "Atenciosamente"};
//   m.anexo = bytesDoPdf;
//   platform::EnviarEmail(m);   // returns once the server took the message
#include <string>
#include <vector>

namespace corvexa::platform {

// Every text is 8-bit Windows-1252, as the host passed it; the message that
// leaves is UTF-8.
struct Mensagem {
    // "host", "host:porta", "smtp://host[:porta]" or "smtps://host[:porta]".
    std::string servidor;
    // Address of the sender: envelope sender, From and Reply-To. "Nome <endereço>"
    // is understood too. Empty: the null envelope sender and no From header.
    std::string remetente;
    // Addresses separated by ';' or ','; blanks around them are ignored.
    std::string destinatarios;
    std::string assunto;
    std::vector<std::string> corpo;  // one entry per line
    // Logs in when not empty.
    std::string usuario;
    std::string senha;
    std::string nomeAnexo = "NFeDANFE.pdf";
    std::string anexo;  // the bytes of the PDF attachment
};

// Sends the message, or throws corvexa::Falha with a Portuguese message that
// carries the server's reply (refused login, recipient or message) or the
// reason the server could not be reached. Fails before connecting when there is
// no recipient or no server. Does not write any file.
void EnviarEmail(const Mensagem& mensagem);

}  // namespace corvexa::platform
