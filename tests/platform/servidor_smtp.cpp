#include "servidor_smtp.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace corvexa::teste {

namespace {

// Debian's interpreter: the one on PATH may lack the aiosmtpd package.
constexpr const char* kPython = "/usr/bin/python3";
// tests/tools/, beside the fixtures folder (which need not exist).
const std::string kSink =
    (std::filesystem::path(CORVEXA_FIXTURES).parent_path() / "tools" / "smtpsink.py").string();

std::string LerArquivo(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string Desescapar(std::string_view s) {
    std::string r;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            r += s[i];
            continue;
        }
        switch (s[++i]) {
            case 'n': r += '\n'; break;
            case 'r': r += '\r'; break;
            case 't': r += '\t'; break;
            default: r += s[i];
        }
    }
    return r;
}

}  // namespace

ServidorSmtp::ServidorSmtp(const Opcoes& opcoes) {
    char modelo[] = "/tmp/correio-sink.XXXXXX";
    if (!mkdtemp(modelo)) throw std::runtime_error("mkdtemp falhou");
    pasta_ = modelo;
    const std::string log = pasta_ + "/sink.log";

    std::vector<std::string> args = {kPython, kSink, "--dir", pasta_ + "/caixa"};
    if (!opcoes.usuario.empty()) {
        args.insert(args.end(), {"--user", opcoes.usuario, "--password", opcoes.senha});
    }
    if (!opcoes.recusar.empty()) args.insert(args.end(), {"--refuse-rcpt", opcoes.recusar});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int tubo[2];
    if (pipe2(tubo, O_CLOEXEC) != 0) throw std::runtime_error("pipe falhou");
    posix_spawn_file_actions_t acoes;
    posix_spawn_file_actions_init(&acoes);
    posix_spawn_file_actions_adddup2(&acoes, tubo[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&acoes, STDERR_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int erro = posix_spawn(&pid_, kPython, &acoes, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&acoes);
    close(tubo[1]);
    if (erro != 0) {
        pid_ = -1;
        close(tubo[0]);
        Parar();
        throw std::runtime_error("não foi possível iniciar " + kSink);
    }

    // Waits for "READY <porta>"; a sink that dies or stays silent ends the test.
    std::string saida;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (saida.find('\n') == std::string::npos && std::chrono::steady_clock::now() < limite) {
        pollfd p{tubo[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char buf[256];
        const ssize_t n = read(tubo[0], buf, sizeof buf);
        if (n <= 0) break;
        saida.append(buf, static_cast<size_t>(n));
    }
    close(tubo[0]);
    if (saida.rfind("READY ", 0) == 0) porta_ = std::atoi(saida.c_str() + 6);
    if (porta_ <= 0) {
        const std::string detalhe = LerArquivo(log);
        Parar();
        throw std::runtime_error("o servidor SMTP de teste não ficou pronto: " + saida + detalhe);
    }
}

ServidorSmtp::~ServidorSmtp() { Parar(); }

void ServidorSmtp::Parar() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        // A sink that ignores SIGTERM for too long is killed outright.
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            usleep(20000);
        }
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    if (!pasta_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(pasta_, ec);
        pasta_.clear();
    }
}

std::vector<std::string> ServidorSmtp::Mensagens() const {
    std::vector<std::string> r;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(pasta_ + "/caixa", ec))
        if (e.path().extension() == ".eml") r.push_back(e.path().string());
    std::sort(r.begin(), r.end());
    return r;
}

ServidorSmtp::Campos ServidorSmtp::Ler(const std::string& eml) {
    const std::string comando = std::string(kPython) + " '" + kSink + "' --read '" + eml + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(comando.c_str(), "r"), pclose);
    if (!p) throw std::runtime_error("popen falhou");
    std::string saida;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p.get())) > 0;) saida.append(buf, n);
    Campos campos;
    std::istringstream linhas(saida);
    for (std::string linha; std::getline(linhas, linha);) {
        const size_t igual = linha.find('=');
        if (igual == std::string::npos) continue;
        campos.emplace_back(linha.substr(0, igual), Desescapar(std::string_view(linha).substr(igual + 1)));
    }
    return campos;
}

std::vector<std::string> Valores(const ServidorSmtp::Campos& campos, std::string_view chave) {
    std::vector<std::string> r;
    for (const auto& [k, v] : campos)
        if (k == chave) r.push_back(v);
    return r;
}

int PortaFechada() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);  // bound but never listening: connections to it are refused
    return ntohs(a.sin_port);
}

}  // namespace corvexa::teste
