#include "platform/correio.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "base/falha.h"
#include "servidor_smtp.h"

using namespace corvexa;
using corvexa::teste::ServidorSmtp;
using corvexa::teste::Valores;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Campos = ServidorSmtp::Campos;

namespace {

// A PDF-looking payload with what a careless transport would damage: NUL,
// high bytes, bare CR and LF, a line holding a lone dot.
const std::string kPdf = std::string("%PDF-1.4\n\x00\x01\xFF\xFE\r\n.\r\n\r\x80\xE9", 20) + "\n%%EOF\n";

std::string Hex(std::string_view s) {
    static constexpr char kDigitos[] = "0123456789abcdef";
    std::string r;
    for (unsigned char c : s) {
        r += kDigitos[c >> 4];
        r += kDigitos[c & 15];
    }
    return r;
}

platform::Mensagem MensagemPara(const std::string& servidor) {
    platform::Mensagem m;
    m.servidor = servidor;
    m.remetente = "nfe@emitente.com.br";
    m.destinatarios = "fiscal@cliente.com.br";
    m.assunto = "DANFE";
    m.corpo = {"Segue o DANFE."};
    m.anexo = kPdf;
    return m;
}

// Sends and returns the one message the sink stored.
Campos EnviarERecolher(ServidorSmtp& servidor, const platform::Mensagem& m) {
    platform::EnviarEmail(m);
    const auto mensagens = servidor.Mensagens();
    EXPECT_EQ(mensagens.size(), 1u);
    return mensagens.empty() ? Campos{} : ServidorSmtp::Ler(mensagens.back());
}

std::string Falhou(const platform::Mensagem& m) {
    try {
        platform::EnviarEmail(m);
    } catch (const Falha& f) {
        return f.what();
    }
    ADD_FAILURE() << "EnviarEmail não falhou";
    return "";
}

TEST(Correio, EntregaMensagemComRemetenteDestinatariosCorpoEAnexo) {
    ServidorSmtp servidor;
    platform::Mensagem m = MensagemPara(servidor.Endereco());
    m.destinatarios = " fiscal@cliente.com.br ;compras@cliente.com.br,, ";
    m.assunto = "DANFE da NF-e 123 \x96 emiss\xE3o \x80";  // Windows-1252: en dash, ã, €
    m.corpo = {"Segue o DANFE em anexo.", "Atenciosamente, Jos\xE9"};
    m.nomeAnexo = "NFeDANFE.pdf";

    const Campos c = EnviarERecolher(servidor, m);
    EXPECT_EQ(Valores(c, "mail_from"), std::vector<std::string>{"nfe@emitente.com.br"});
    EXPECT_EQ(Valores(c, "rcpt_to"),
              (std::vector<std::string>{"fiscal@cliente.com.br", "compras@cliente.com.br"}));
    EXPECT_EQ(Valores(c, "from"), std::vector<std::string>{"nfe@emitente.com.br"});
    EXPECT_EQ(Valores(c, "reply_to"), std::vector<std::string>{"nfe@emitente.com.br"});
    EXPECT_EQ(Valores(c, "to"),
              std::vector<std::string>{"fiscal@cliente.com.br, compras@cliente.com.br"});
    EXPECT_EQ(Valores(c, "subject"), std::vector<std::string>{"DANFE da NF-e 123 – emissão €"});
    EXPECT_EQ(Valores(c, "auth_user"), std::vector<std::string>{""});
    EXPECT_EQ(Valores(c, "content_type"), std::vector<std::string>{"multipart/mixed"});
    EXPECT_EQ(Valores(c, "body"),
              std::vector<std::string>{"Segue o DANFE em anexo.\nAtenciosamente, José"});
    EXPECT_EQ(Valores(c, "attachment.name"), std::vector<std::string>{"NFeDANFE.pdf"});
    EXPECT_EQ(Valores(c, "attachment.type"), std::vector<std::string>{"application/pdf"});
    EXPECT_EQ(Valores(c, "attachment.disposition"), std::vector<std::string>{"attachment"});
    EXPECT_EQ(Valores(c, "attachment.hex"), std::vector<std::string>{Hex(kPdf)});
    for (const char* h : {"Date", "Message-ID"})
        EXPECT_THAT(Valores(c, "header"), testing::Contains(h)) << h;

    // Every line of the message ends in CRLF.
    std::ifstream f(servidor.Mensagens().at(0), std::ios::binary);
    std::ostringstream bruto;
    bruto << f.rdbuf();
    const std::string eml = bruto.str();
    for (size_t i = eml.find('\n'); i != std::string::npos; i = eml.find('\n', i + 1))
        ASSERT_TRUE(i > 0 && eml[i - 1] == '\r') << "LF sem CR na posição " << i;
}

// Names with the separators in them: quoted, in angle brackets, or a plain
// "Sobrenome, Nome" before its address; each is one recipient.
TEST(Correio, NomesComVirgulaSaoUmDestinatario) {
    ServidorSmtp servidor;
    platform::Mensagem m = MensagemPara(servidor.Endereco());
    m.destinatarios = "Silva, Ana <ana@cliente.com.br>; \"Compras; Matriz\" <compras@cliente.com.br>,"
                      "fiscal@cliente.com.br ; Souza, Jo\xE3o <joao@cliente.com.br>";
    const Campos c = EnviarERecolher(servidor, m);
    EXPECT_EQ(Valores(c, "rcpt_to"), (std::vector<std::string>{"ana@cliente.com.br", "compras@cliente.com.br",
                                                               "fiscal@cliente.com.br", "joao@cliente.com.br"}));
    EXPECT_EQ(Valores(c, "to"),
              std::vector<std::string>{"\"Silva, Ana\" <ana@cliente.com.br>, \"Compras; Matriz\" "
                                       "<compras@cliente.com.br>, fiscal@cliente.com.br, \"Souza, João\" "
                                       "<joao@cliente.com.br>"});
}

TEST(Correio, CabecalhosSobrevivemAoQueOHostEscrever) {
    struct Caso {
        std::string assunto;    // Windows-1252
        std::string esperado;   // UTF-8, as the reader decodes it
    };
    const std::string longo(120, '\xE7');  // 120 × ç: several encoded words
    const Caso casos[] = {
        {"", ""},
        {"Nota 35 =?UTF-8?B?x?=", "Nota 35 =?UTF-8?B?x?="},
        {longo, [&] { std::string s; for (int i = 0; i < 120; ++i) s += "ç"; return s; }()},
        // A line break must not open a header of its own.
        {"Oi\r\nBcc: intruso@exemplo.com", "Oi  Bcc: intruso@exemplo.com"},
    };
    for (const Caso& caso : casos) {
        ServidorSmtp servidor;
        platform::Mensagem m = MensagemPara(servidor.Endereco());
        m.assunto = caso.assunto;
        m.remetente = "Fiscal S\xE3o Paulo <nfe@emitente.com.br>";
        const Campos c = EnviarERecolher(servidor, m);
        EXPECT_EQ(Valores(c, "subject"), std::vector<std::string>{caso.esperado}) << caso.assunto;
        EXPECT_EQ(Valores(c, "from"), std::vector<std::string>{"Fiscal São Paulo <nfe@emitente.com.br>"});
        EXPECT_EQ(Valores(c, "mail_from"), std::vector<std::string>{"nfe@emitente.com.br"});
        EXPECT_THAT(Valores(c, "header"), testing::Not(testing::Contains("Bcc")));
    }
}

TEST(Correio, TextosVaziosSaemVazios) {
    ServidorSmtp servidor;
    platform::Mensagem m = MensagemPara(servidor.Endereco());
    m.remetente.clear();
    m.usuario.clear();
    m.senha.clear();
    m.corpo.clear();
    const Campos c = EnviarERecolher(servidor, m);
    EXPECT_EQ(Valores(c, "mail_from"), std::vector<std::string>{"<>"});  // the null sender
    EXPECT_EQ(Valores(c, "auth_user"), std::vector<std::string>{""});
    EXPECT_TRUE(Valores(c, "from").empty());
    EXPECT_EQ(Valores(c, "body"), std::vector<std::string>{""});
    EXPECT_EQ(Valores(c, "attachment.hex"), std::vector<std::string>{Hex(kPdf)});
}

TEST(Correio, AutenticaComASenhaCerta) {
    ServidorSmtp servidor({"fiscal@emitente.com.br", "s3nhã!", ""});
    platform::Mensagem m = MensagemPara("smtp://" + servidor.Endereco());
    m.usuario = "fiscal@emitente.com.br";
    m.senha = "s3nh\xE3!";  // Windows-1252 ã, sent as UTF-8
    const Campos c = EnviarERecolher(servidor, m);
    EXPECT_EQ(Valores(c, "auth_user"), std::vector<std::string>{"fiscal@emitente.com.br"});
}

TEST(Correio, RecusaDoServidorFalhaComAResposta) {
    struct Caso {
        const char* nome;
        std::string usuario, senha, destinatarios;
        const char* resposta;
    };
    const Caso casos[] = {
        {"senha errada", "fiscal", "errada", "a@cliente.com.br", "535 5.7.8 Authentication credentials invalid"},
        {"sem login", "", "", "a@cliente.com.br", "530 5.7.0 Authentication required"},
        {"destinatário recusado", "fiscal", "certa", "a@cliente.com.br; recusado@cliente.com.br",
         "550 5.1.1 <recusado@cliente.com.br>: Recipient address rejected"},
    };
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.nome);
        ServidorSmtp servidor({"fiscal", "certa", "recusado@cliente.com.br"});
        platform::Mensagem m = MensagemPara(servidor.Endereco());
        m.usuario = caso.usuario;
        m.senha = caso.senha;
        m.destinatarios = caso.destinatarios;
        EXPECT_EQ(Falhou(m), std::string("Falha ao enviar o e-mail: ") + caso.resposta);
        EXPECT_TRUE(servidor.Mensagens().empty());
    }
}

TEST(Correio, ServidorInalcancavelFalhaLogo) {
    const int porta = teste::PortaFechada();
    struct Caso {
        std::string servidor;
        std::string porta;  // the port the attempt went to
    };
    const Caso casos[] = {
        {" 127.0.0.1:" + std::to_string(porta) + " ", "port " + std::to_string(porta)},
        {"127.0.0.1", "port 587"},
        {"smtp://127.0.0.1", "port 587"},
        {"SMTPS://127.0.0.1/", "port 465"},
        {"::1", "port 587"},  // a bare IPv6 address has no port in it
    };
    for (const Caso& caso : casos) {
        const auto inicio = std::chrono::steady_clock::now();
        const std::string erro = Falhou(MensagemPara(caso.servidor));
        EXPECT_THAT(erro, StartsWith("Falha ao enviar o e-mail: ")) << caso.servidor;
        EXPECT_THAT(erro, HasSubstr(caso.porta)) << caso.servidor;
        EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(5)) << caso.servidor;
    }
}

TEST(Correio, FalhaAntesDeConectarSeFaltaDestinatarioOuHaEnderecoInvalido) {
    // Were anything sent, the closed port would give a connection failure.
    const std::string servidor = "127.0.0.1:" + std::to_string(teste::PortaFechada());
    struct Caso {
        std::string servidor, remetente, destinatarios;
        const char* falha;
    };
    const Caso casos[] = {
        {servidor, "a@b.com", "", "Nenhum destinatário informado para o envio do e-mail."},
        {servidor, "a@b.com", " ; ,  ", "Nenhum destinatário informado para o envio do e-mail."},
        {"", "a@b.com", "c@d.com", "Servidor de e-mail não informado."},
        {"http://127.0.0.1", "a@b.com", "c@d.com", "Endereço do servidor de e-mail inválido: \"http://127.0.0.1\"."},
        {servidor, "a@b.com>\r\nRCPT TO:<x@y.com", "c@d.com",
         "Endereço de e-mail inválido: \"a@b.com>  RCPT TO:<x@y.com\"."},
        {servidor, "a@b.com", "c@d.com; e\nf@g.com", "Endereço de e-mail inválido: \"e f@g.com\"."},
    };
    for (const Caso& caso : casos) {
        platform::Mensagem m = MensagemPara(caso.servidor);
        m.remetente = caso.remetente;
        m.destinatarios = caso.destinatarios;
        EXPECT_EQ(Falhou(m), caso.falha) << caso.destinatarios;
    }
}

}  // namespace
