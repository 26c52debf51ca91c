// EmailDanfe as a host calls it, against a real SMTP server on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/texto.h"
#include "biblioteca.h"
#include "servidor_smtp.h"

using namespace corvexa;
using namespace corvexa::teste;
using ::testing::HasSubstr;

namespace {

std::string Exemplo(const std::string& tpAmb) {
    std::string x = LerArquivo(fs::path(CORVEXA_RAIZ) / "samples" / "nfe-exemplo.xml");
    const auto p = x.find("<tpAmb>2</tpAmb>");
    EXPECT_NE(p, std::string::npos);
    x.replace(p, 16, "<tpAmb>" + tpAmb + "</tpAmb>");
    return x;
}

std::string DeHex(const std::string& hex) {
    std::string r;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) r.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return r;
}

std::string TextoDoPdf(const fs::path& pdf) {
    std::string r;
    if (FILE* p = popen(("pdftotext -q '" + pdf.string() + "' - 2>/dev/null").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.append(buf, n);
        pclose(p);
    }
    return r;
}

struct Email : ::testing::Test {
    Biblioteca lib;
    PastaTemporaria pasta{"email"};
    std::u16string homologacao = texto::Utf8ParaUtf16(Exemplo("2"));
    std::u16string producao = texto::Utf8ParaUtf16(Exemplo("1"));

    void Enviar(const std::u16string& xml, const std::string& servidor, const char* de, const char* para,
                const char* usuario = nullptr, const char* senha = nullptr) {
        lib.Email(xml.c_str(), "qualquer-nome.xml", "", servidor.c_str(), de, para, "DANFE da NF-e 1234",
                  "Prezado cliente,\r\nsegue o DANFE.", usuario, senha);
    }
};

TEST_F(Email, MensagemComODanfeAnexoComoNFeDANFEpdf) {
    ASSERT_TRUE(lib.Carregada());
    ServidorSmtp servidor;
    // A production NF-e exported first: the notice must follow the e-mailed NF-e.
    lib.DefinirPasta((*pasta).string().c_str());
    lib.Export(producao.c_str(), "producao.xml", "", 1);
    ASSERT_STREQ(lib.UltimoErro(), "");
    ASSERT_THAT(TextoDoPdf(*pasta / "producao.pdf"), ::testing::Not(HasSubstr("Sem Valor Fiscal")));

    Enviar(homologacao, servidor.Endereco(), "nfe@emitente.com.br", "fiscal@cliente.com.br; compras@cliente.com.br");
    ASSERT_STREQ(lib.UltimoErro(), "");
    const auto mensagens = servidor.Mensagens();
    ASSERT_EQ(mensagens.size(), 1u);
    const auto c = ServidorSmtp::Ler(mensagens[0]);
    EXPECT_EQ(Valores(c, "mail_from"), std::vector<std::string>{"nfe@emitente.com.br"});
    EXPECT_EQ(Valores(c, "rcpt_to"), (std::vector<std::string>{"fiscal@cliente.com.br", "compras@cliente.com.br"}));
    EXPECT_EQ(Valores(c, "reply_to"), std::vector<std::string>{"nfe@emitente.com.br"});
    EXPECT_EQ(Valores(c, "subject"), std::vector<std::string>{"DANFE da NF-e 1234"});
    // Two lines arrive as two lines (the sink reads them with Python's line ends).
    EXPECT_EQ(Valores(c, "body"), std::vector<std::string>{"Prezado cliente,\nsegue o DANFE."});
    ASSERT_EQ(Valores(c, "attachment.name"), std::vector<std::string>{"NFeDANFE.pdf"});
    const std::string pdf = DeHex(Valores(c, "attachment.hex").at(0));
    EXPECT_TRUE(pdf.starts_with("%PDF-"));
    Gravar(*pasta / "anexo.pdf", pdf);
    const std::string texto = TextoDoPdf(*pasta / "anexo.pdf");
    EXPECT_THAT(texto, HasSubstr("Sem Valor Fiscal"));
    EXPECT_THAT(texto, HasSubstr("Construtora Horizonte Azul"));

    // And the other way round: a production NF-e after a homologation one.
    Enviar(producao, servidor.Endereco(), "nfe@emitente.com.br", "fiscal@cliente.com.br");
    ASSERT_STREQ(lib.UltimoErro(), "");
    const auto c2 = ServidorSmtp::Ler(servidor.Mensagens().at(1));
    Gravar(*pasta / "anexo2.pdf", DeHex(Valores(c2, "attachment.hex").at(0)));
    EXPECT_THAT(TextoDoPdf(*pasta / "anexo2.pdf"), ::testing::Not(HasSubstr("Sem Valor Fiscal")));
}

TEST_F(Email, NulosViramTextosVaziosEOLoginDoServidorEConferido) {
    ASSERT_TRUE(lib.Carregada());
    {
        ServidorSmtp servidor;
        Enviar(homologacao, servidor.Endereco(), nullptr, "a@b.com", nullptr, nullptr);
        ASSERT_STREQ(lib.UltimoErro(), "");
        const auto c = ServidorSmtp::Ler(servidor.Mensagens().at(0));
        EXPECT_EQ(Valores(c, "mail_from"), std::vector<std::string>{"<>"});
        EXPECT_EQ(Valores(c, "auth_user"), std::vector<std::string>{""});
    }
    ServidorSmtp servidor({.usuario = "emissor", .senha = "s3nha"});
    Enviar(homologacao, servidor.Endereco(), "nfe@emitente.com.br", "a@b.com", "emissor", "s3nha");
    ASSERT_STREQ(lib.UltimoErro(), "");
    EXPECT_EQ(Valores(ServidorSmtp::Ler(servidor.Mensagens().at(0)), "auth_user"), std::vector<std::string>{"emissor"});

    Enviar(homologacao, servidor.Endereco(), "nfe@emitente.com.br", "a@b.com", "emissor", "errada");
    EXPECT_THAT(lib.UltimoErro(), HasSubstr("535"));
    Enviar(homologacao, servidor.Endereco(), "nfe@emitente.com.br", "a@b.com");
    EXPECT_THAT(lib.UltimoErro(), HasSubstr("530"));
    EXPECT_EQ(servidor.Mensagens().size(), 1u);
}

TEST_F(Email, SemDestinatarioOuSemServidorAChamadaFalha) {
    ASSERT_TRUE(lib.Carregada());
    ServidorSmtp servidor;
    Enviar(homologacao, servidor.Endereco(), "nfe@emitente.com.br", nullptr);
    EXPECT_STREQ(lib.UltimoErro(), "Nenhum destinatário informado para o envio do e-mail.");
    Enviar(homologacao, "127.0.0.1:" + std::to_string(PortaFechada()), "nfe@emitente.com.br", "a@b.com");
    EXPECT_THAT(lib.UltimoErro(), HasSubstr("Falha ao enviar o e-mail"));
    EXPECT_TRUE(servidor.Mensagens().empty());
    // A failing reading sends nothing either.
    const std::u16string quebrado = u"<NFe><infNFe>";
    lib.Email(quebrado.c_str(), "", "", servidor.Endereco().c_str(), "a@b.com", "c@d.com", "", "", "", "");
    EXPECT_STRNE(lib.UltimoErro(), "");
    EXPECT_TRUE(servidor.Mensagens().empty());
}

}  // namespace
