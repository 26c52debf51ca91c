// The GTK windows on a virtual X server of the test's own (Xvfb), driven with
// xdotool and photographed with ImageMagick's import. The call under test runs
// on the test's thread, as a host calls it; a script on a second thread waits
// for its window and answers it.
#include <cairo.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/falha.h"
#include "base/texto.h"
#include "corvexa.h"
#include "platform/plataforma.h"

extern char** environ;

namespace {

using namespace corvexa;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string LerArquivo(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

bool NoPath(const std::string& programa) {
    const char* path = std::getenv("PATH");
    std::string resto = path ? path : "/usr/bin:/bin";
    for (size_t i = 0; i <= resto.size();) {
        const size_t fim = std::min(resto.find(':', i), resto.size());
        if (access((resto.substr(i, fim - i) + "/" + programa).c_str(), X_OK) == 0) return true;
        i = fim + 1;
    }
    return false;
}

struct Resultado {
    int status = -1;  // exit code; -1 when killed or not started
    std::string saida, erros;
};

// Runs a program with the given changes to this process's environment
// ("NOME=valor" sets, "NOME" removes), its output captured; killed after
// `limite`.
Resultado Rodar(const std::vector<std::string>& args, const std::vector<std::string>& ambiente = {},
                std::chrono::seconds limite = 30s) {
    static std::atomic<int> serie{0};
    const fs::path base = fs::temp_directory_path() /
                          ("corvexa-gtk-" + std::to_string(getpid()) + "-" + std::to_string(serie++));
    const std::string fOut = base.string() + ".out", fErr = base.string() + ".err";

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    for (const std::string& m : ambiente) {
        const std::string nome = m.substr(0, m.find('='));
        std::erase_if(env, [&](const std::string& v) { return v.compare(0, nome.size() + 1, nome + "=") == 0; });
        if (m.find('=') != std::string::npos) env.push_back(m);
    }
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t acoes;
    posix_spawn_file_actions_init(&acoes);
    posix_spawn_file_actions_addopen(&acoes, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&acoes, 1, fOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&acoes, 2, fErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    Resultado r;
    if (posix_spawnp(&pid, argv[0], &acoes, nullptr, argv.data(), envp.data()) == 0) {
        const auto ate = std::chrono::steady_clock::now() + limite;
        int st = 0;
        while (waitpid(pid, &st, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > ate) {
                kill(pid, SIGKILL);
                waitpid(pid, &st, 0);
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
        if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
    }
    posix_spawn_file_actions_destroy(&acoes);
    r.saida = LerArquivo(fOut);
    r.erros = LerArquivo(fErr);
    fs::remove(fOut);
    fs::remove(fErr);
    return r;
}

std::string SemFimDeLinha(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// ---- the X server

class ServidorX {
public:
    // Starts Xvfb on a display number it picks itself (-displayfd) and waits
    // until the display takes connections. Empty on success, else why not.
    std::string Iniciar() {
        int fds[2];
        if (pipe(fds) != 0) return "pipe";
        const pid_t pai = getpid();
        pid_ = fork();
        if (pid_ < 0) return "fork";
        if (pid_ == 0) {
            // The server goes with the test, whatever way the test ends.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != pai) _exit(1);
            close(fds[0]);
            const int nulo = open("/dev/null", O_RDWR);
            dup2(nulo, 0);
            dup2(nulo, 1);
            dup2(nulo, 2);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string numero;
        pollfd p{fds[0], POLLIN, 0};
        const auto ate = std::chrono::steady_clock::now() + 20s;
        while (numero.find('\n') == std::string::npos && std::chrono::steady_clock::now() < ate) {
            if (poll(&p, 1, 200) > 0) {
                char b[32];
                const ssize_t n = read(fds[0], b, sizeof b);
                if (n <= 0) break;
                numero.append(b, static_cast<size_t>(n));
            }
        }
        close(fds[0]);
        numero = SemFimDeLinha(numero);
        if (numero.empty()) return "o Xvfb não informou o número da tela";
        tela = ":" + numero;
        // Ready means: a client can connect to its socket.
        const std::string caminho = "/tmp/.X11-unix/X" + numero;
        while (std::chrono::steady_clock::now() < ate) {
            const int s = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            caminho.copy(a.sun_path, sizeof a.sun_path - 1);
            const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            close(s);
            if (ok) return {};
            std::this_thread::sleep_for(20ms);
        }
        return "a tela " + tela + " não aceitou conexões";
    }

    ~ServidorX() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) std::this_thread::sleep_for(20ms);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }

    std::string tela;

private:
    pid_t pid_ = -1;
};

// ---- driving the screen

// X clients that start within milliseconds of each other now and then fail to
// connect: every command waits a little and is tried again.
Resultado X(const std::vector<std::string>& args, int tentativas = 5) {
    Resultado r;
    for (int i = 0; i < tentativas; ++i) {
        std::this_thread::sleep_for(100ms);
        r = Rodar(args);
        if (r.status == 0) break;
    }
    return r;
}

// The id of the visible window with exactly this title, once it shows; empty
// when it has not shown within `limite`.
std::string EsperarJanela(const std::string& titulo, std::chrono::seconds limite = 20s) {
    const auto ate = std::chrono::steady_clock::now() + limite;
    do {
        Resultado r = Rodar({"xdotool", "search", "--onlyvisible", "--name", "^" + titulo + "$"});
        if (r.status == 0 && !r.saida.empty()) return SemFimDeLinha(r.saida.substr(0, r.saida.find('\n')));
        std::this_thread::sleep_for(150ms);
    } while (std::chrono::steady_clock::now() < ate);
    return {};
}

bool Visivel(const std::string& titulo) {
    Resultado r = Rodar({"xdotool", "search", "--onlyvisible", "--name", "^" + titulo + "$"});
    return r.status == 0 && !r.saida.empty();
}

// Keys to the window (XTEST to the focused window: GTK ignores sent events).
bool Teclas(const std::string& janela, const std::vector<std::string>& teclas) {
    std::vector<std::string> a{"xdotool", "windowfocus", "--sync", janela, "key", "--delay", "30"};
    a.insert(a.end(), teclas.begin(), teclas.end());
    return X(a).status == 0;
}

bool Digitar(const std::string& janela, const std::string& texto) {
    return X({"xdotool", "windowfocus", "--sync", janela, "type", "--delay", "5", texto}).status == 0;
}

template <class Condicao>
bool Aguardar(Condicao c, std::chrono::milliseconds limite = 10s) {
    const auto ate = std::chrono::steady_clock::now() + limite;
    while (!c()) {
        if (std::chrono::steady_clock::now() > ate) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// Runs `chamada` here while `roteiro` answers its windows from another thread.
// When the call has not returned a while after the script ended, the windows
// the script names get an Escape, and if the call is still stuck the test
// program ends rather than hang.
void ComRoteiro(const std::function<void()>& chamada, const std::function<void()>& roteiro,
                const std::vector<std::string>& titulos) {
    std::atomic<bool> voltou{false};
    std::thread t([&] {
        roteiro();
        // The last answer may still be on its way (a file chooser checks the
        // typed path before it closes).
        if (Aguardar([&] { return voltou.load(); }, 10s)) return;
        const auto ate = std::chrono::steady_clock::now() + 30s;
        while (!voltou && std::chrono::steady_clock::now() < ate) {
            for (const std::string& titulo : titulos) {
                const std::string w = EsperarJanela(titulo, 1s);
                if (!w.empty()) Teclas(w, {"Escape"});
            }
        }
        if (!voltou) {
            std::fprintf(stderr, "a chamada não voltou depois do roteiro\n");
            std::_Exit(1);
        }
    });
    chamada();
    voltou = true;
    t.join();
}

// ---- the screenshot

struct Foto {
    cairo_surface_t* s = nullptr;
    explicit Foto(const std::string& png) : s(cairo_image_surface_create_from_png(png.c_str())) {}
    ~Foto() { cairo_surface_destroy(s); }
    Foto(const Foto&) = delete;
    Foto& operator=(const Foto&) = delete;
    bool Ok() const { return cairo_surface_status(s) == CAIRO_STATUS_SUCCESS; }
    int L() const { return cairo_image_surface_get_width(s); }
    int A() const { return cairo_image_surface_get_height(s); }
    uint32_t Px(int x, int y) const {
        const unsigned char* d = cairo_image_surface_get_data(s);
        return *reinterpret_cast<const uint32_t*>(d + y * cairo_image_surface_get_stride(s) + x * 4) & 0xFFFFFF;
    }
    bool Branco(int x, int y) const { return Px(x, y) == 0xFFFFFF; }
    bool Escuro(int x, int y) const {
        const uint32_t p = Px(x, y);
        return ((p >> 16) & 255) < 90 && ((p >> 8) & 255) < 90 && (p & 255) < 90;
    }
};

// The top row of the white page: the first row that is nine tenths white
// (the toolbar above it is not); -1 when there is none.
int TopoDaPagina(const Foto& f) {
    if (!f.Ok()) return -1;
    for (int y = 0; y < f.A(); ++y) {
        int brancos = 0;
        for (int x = 0; x < f.L(); ++x) brancos += f.Branco(x, y);
        if (brancos > f.L() * 9 / 10) return y;
    }
    return -1;
}

// ---- the fixture: one X server for the test program

class JanelasTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!NoPath("Xvfb")) return;
        servidor_ = new ServidorX;
        falhaServidor_ = servidor_->Iniciar();
        pasta_ = fs::temp_directory_path() / ("corvexa-gtk-" + std::to_string(getpid()));
        fs::create_directories(pasta_ / "home");
        setenv("DISPLAY", servidor_->tela.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        // No session bus, no settings daemon, no accessibility bus here; and
        // GTK's file chooser keeps its history in a home of the test's own.
        setenv("GSETTINGS_BACKEND", "memory", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        setenv("HOME", (pasta_ / "home").c_str(), 1);
        // No print server: the print dialog lists GTK's "print to file" only.
        setenv("CUPS_SERVER", (pasta_ / "sem-cups.sock").c_str(), 1);
    }

    static void TearDownTestSuite() {
        delete servidor_;
        servidor_ = nullptr;
        if (!pasta_.empty()) fs::remove_all(pasta_);
    }

    void SetUp() override {
        if (!servidor_) GTEST_SKIP() << "Xvfb não está instalado";
        ASSERT_EQ(falhaServidor_, "");
        for (const char* p : {"xdotool", "import"}) ASSERT_TRUE(NoPath(p)) << p << " não está instalado";
    }

    // The implementation that the platform loads here: the GTK one.
    static platform::Plataforma& Gtk() {
        platform::Plataforma& p = platform::PlataformaPadrao();
        EXPECT_EQ(dynamic_cast<platform::PlataformaSemTela*>(&p), nullptr) << "a plataforma carregada é a sem tela";
        return p;
    }

    static inline ServidorX* servidor_ = nullptr;
    static inline std::string falhaServidor_;
    static inline fs::path pasta_;
};

// Blank A4 pages: for the navigation.
report::Documento Paginas(size_t n) {
    report::Documento d;
    for (size_t i = 0; i < n; ++i) {
        report::Pagina p;
        p.largura = 210000;
        p.altura = 297000;
        d.paginas.push_back(p);
    }
    return d;
}

// ---- tests

TEST_F(JanelasTest, PlataformaEscolhidaPorProcessoConformeATela) {
    struct Caso {
        std::vector<std::string> ambiente;
        std::string implementacao, pasta, erro;
    } casos[] = {
        // No display at all: headless, and one line says why.
        {{"DISPLAY", "WAYLAND_DISPLAY"}, "sem-tela", "/pasta/definida pelo host", "DISPLAY"},
        {{"DISPLAY=", "WAYLAND_DISPLAY="}, "sem-tela", "/pasta/definida pelo host", "DISPLAY"},
        // A display that nobody serves: GTK cannot open it.
        {{"DISPLAY=:4987", "WAYLAND_DISPLAY"}, "sem-tela", "/pasta/definida pelo host", ":4987"},
        // The test's server: GTK, whose folder chooser also returns the
        // host's folder without asking (a dialog would block until killed).
        {{"DISPLAY=" + servidor_->tela, "WAYLAND_DISPLAY"}, "gtk", "/pasta/definida pelo host", ""},
    };
    for (const Caso& c : casos) {
        const std::string nome = c.ambiente[0];
        const Resultado r = Rodar({CORVEXA_PLATAFORMA_EM_USO}, c.ambiente, 20s);
        ASSERT_EQ(r.status, 0) << nome << "\n" << r.erros;
        EXPECT_EQ(r.saida, c.implementacao + "\n" + c.pasta + "\nmesma\n") << nome;
        if (c.erro.empty()) {
            EXPECT_EQ(r.erros.find("sem janelas"), std::string::npos) << nome << ": " << r.erros;
        } else {
            // One line, saying why.
            EXPECT_NE(r.erros.find(c.erro), std::string::npos) << nome << ": " << r.erros;
            EXPECT_EQ(std::count(r.erros.begin(), r.erros.end(), '\n'), 1) << nome << ": " << r.erros;
        }
    }
}

TEST(ModuloGtk, NemABibliotecaNemAFerramentaDependemDoGtk) {
    for (const std::string& arquivo : {std::string(CORVEXA_LIB), std::string(CORVEXA_BIN) + "/danfe"}) {
        const Resultado r = Rodar({"ldd", arquivo});
        ASSERT_EQ(r.status, 0) << arquivo << r.erros;
        EXPECT_EQ(r.saida.find("libgtk-"), std::string::npos) << arquivo << "\n" << r.saida;
        EXPECT_EQ(r.saida.find("libgdk-3"), std::string::npos) << arquivo << "\n" << r.saida;
    }
    EXPECT_TRUE(fs::exists(fs::path(CORVEXA_LIB).parent_path() / "libcorvexa-gtk.so"));
}

TEST_F(JanelasTest, PreviewDanfeMostraAPaginaEFechaComEsc) {
    // As a host does: the library, through its export, loads the module
    // beside itself and opens the preview over the DANFE of the sample.
    void* lib = dlopen(CORVEXA_LIB, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto preview = reinterpret_cast<decltype(&PreviewDanfe)>(dlsym(lib, "PreviewDanfe"));
    auto ultimoErro = reinterpret_cast<decltype(&DanfeUltimoErro)>(dlsym(lib, "DanfeUltimoErro"));
    ASSERT_TRUE(preview && ultimoErro);
    const std::u16string xml = texto::Utf8ParaUtf16(LerArquivo(CORVEXA_AMOSTRA));

    const std::string titulo = "Visualizar DANFE";
    const std::string foto = (pasta_ / "visualizacao.png").string();
    std::string janela;
    int topo = -1;
    ComRoteiro([&] { preview(xml.c_str(), "nfe-exemplo.xml", ""); },
               [&] {
                   janela = EsperarJanela(titulo);
                   if (janela.empty()) return;
                   // Photographed until the page is on the screen.
                   Aguardar(
                       [&] {
                           X({"import", "-window", "root", foto});
                           return (topo = TopoDaPagina(Foto(foto))) >= 0;
                       },
                       15s);
                   Teclas(janela, {"Escape"});
               },
               {titulo});
    ASSERT_NE(janela, "") << "a janela não apareceu";
    EXPECT_STREQ(ultimoErro(), "");
    EXPECT_FALSE(Visivel(titulo)) << "a janela ficou aberta";

    Foto f(foto);
    ASSERT_TRUE(f.Ok()) << foto;
    // The page, at page width, from margin to margin of the maximised window.
    const int meio = f.L() / 2;
    ASSERT_GT(topo, 20) << "nenhuma página branca (a barra de ferramentas fica acima dela)";
    ASSERT_LT(topo, 200);
    int esq = meio, dir = meio;
    while (esq > 0 && f.Branco(esq - 1, topo)) --esq;
    while (dir + 1 < f.L() && f.Branco(dir + 1, topo)) ++dir;
    EXPECT_NEAR(esq, 16, 2);
    EXPECT_NEAR(dir, f.L() - 17, 2);
    // Grey desk beside the page.
    const uint32_t mesa = f.Px(esq / 2, topo + 100);
    EXPECT_EQ(mesa & 0xFF, (mesa >> 8) & 0xFF);
    EXPECT_GT(mesa & 0xFF, 100u);
    EXPECT_LT(mesa & 0xFF, 200u);
    // Mostly white paper, with the header's frames and texts dark on it.
    long brancos = 0, escuros = 0, todos = 0, escurosCabecalho = 0;
    for (int y = topo; y < f.A(); ++y)
        for (int x = esq; x <= dir; ++x) {
            ++todos;
            brancos += f.Branco(x, y);
            if (f.Escuro(x, y)) {
                ++escuros;
                if (y < topo + 350) ++escurosCabecalho;
            }
        }
    EXPECT_GT(brancos, todos * 7 / 10);
    EXPECT_GT(escurosCabecalho, 2000);
    EXPECT_LT(escuros, todos / 5);
}

TEST_F(JanelasTest, VisualizacaoNavegaEAmpliaPeloTeclado) {
    platform::Plataforma& gtk = Gtk();
    const report::Documento doc = Paginas(3);
    std::atomic<long> ultima{-1};
    std::atomic<double> pxPorMm{0};
    std::atomic<int> desenhos{0};
    platform::AcoesVisualizacao acoes;
    acoes.titulo = "Navegação";
    acoes.desenhar = [&](cairo_t* cr, size_t i) {
        double dx = 1000, dy = 0;
        cairo_user_to_device_distance(cr, &dx, &dy);
        pxPorMm = dx;
        ultima = static_cast<long>(i);
        ++desenhos;
    };
    struct Passo {
        std::vector<std::string> teclas;
        long pagina;
    } passos[] = {
        {{"Next"}, 1}, {{"Next"}, 2}, {{"Home"}, 0}, {{"End"}, 2}, {{"Prior"}, 1}, {{"Prior", "Prior", "Prior"}, 0},
    };
    std::vector<std::string> erros;
    double larguraPagina = 0, tamanhoReal = 0, inteira = 0;
    ComRoteiro([&] { gtk.Visualizar(doc, acoes); },
               [&] {
                   const std::string w = EsperarJanela(acoes.titulo);
                   if (w.empty() || !Aguardar([&] { return desenhos > 0; })) return erros.push_back("sem janela");
                   larguraPagina = pxPorMm;
                   for (const Passo& p : passos) {
                       Teclas(w, p.teclas);
                       if (!Aguardar([&] { return ultima == p.pagina; }, 5s))
                           erros.push_back(p.teclas[0] + " -> " + std::to_string(ultima));
                   }
                   // Past the ends nothing moves: still the first page.
                   Teclas(w, {"Prior", "Home"});
                   std::this_thread::sleep_for(300ms);
                   if (ultima != 0) erros.push_back("Prior na primeira página -> " + std::to_string(ultima));
                   int antes = desenhos;
                   Teclas(w, {"alt+1"});
                   if (Aguardar([&] { return desenhos > antes; }, 5s)) tamanhoReal = pxPorMm;
                   antes = desenhos;
                   Teclas(w, {"alt+p"});
                   if (Aguardar([&] { return desenhos > antes; }, 5s)) inteira = pxPorMm;
                   Teclas(w, {"Escape"});
               },
               {acoes.titulo});
    EXPECT_TRUE(erros.empty()) << ::testing::PrintToString(erros);
    // Page width: the 1280 pixels of the screen less the desk's 16 on each side.
    EXPECT_NEAR(larguraPagina, (1280 - 32) / 210.0, 0.05);
    // 100 %: the screen's 96 dots per inch.
    EXPECT_NEAR(tamanhoReal, 96 / 25.4, 0.01);
    // Whole page: the height decides, below the toolbar.
    EXPECT_LT(inteira * 297, 1024 - 32);
    EXPECT_GT(inteira * 297, 1024 - 200);
}

TEST_F(JanelasTest, AcoesDaVisualizacaoFalhaMostradaEJanelaFica) {
    platform::Plataforma& gtk = Gtk();
    const report::Documento doc = Paginas(1);
    const fs::path destino = pasta_ / "saida pdf";
    fs::create_directories(destino);
    std::vector<std::string> salvos;
    int impressoes = 0;
    std::atomic<int> desenhos{0};
    platform::AcoesVisualizacao acoes;
    acoes.titulo = "Ações";
    acoes.desenhar = [&](cairo_t*, size_t) { ++desenhos; };
    acoes.imprimir = [&] {
        ++impressoes;
        throw Falha("Impressora fora de linha.");
    };
    acoes.salvarPdf = [&](const std::string& caminho) { salvos.push_back(caminho); };
    std::vector<std::string> erros;
    ComRoteiro([&] { gtk.Visualizar(doc, acoes); },
               [&] {
                   const std::string w = EsperarJanela(acoes.titulo);
                   if (w.empty() || !Aguardar([&] { return desenhos > 0; })) return erros.push_back("sem janela");
                   // The failure of printing comes up in a message...
                   Teclas(w, {"alt+i"});
                   const std::string erro = EsperarJanela("Erro", 10s);
                   if (erro.empty()) return erros.push_back("sem mensagem de erro");
                   Teclas(erro, {"Return"});
                   // ...and the window stays for the next action.
                   if (!Aguardar([] { return !Visivel("Erro"); }, 5s) || !Visivel(acoes.titulo))
                       erros.push_back("janela fechada após a falha");
                   Teclas(w, {"alt+s"});
                   const std::string salvar = EsperarJanela("Salvar PDF", 10s);
                   if (salvar.empty()) return erros.push_back("sem diálogo Salvar PDF");
                   Teclas(salvar, {"ctrl+a"});
                   Digitar(salvar, (destino / "nota.pdf").string());
                   std::this_thread::sleep_for(300ms);
                   Teclas(salvar, {"Return"});
                   if (!Aguardar([] { return !Visivel("Salvar PDF"); }, 5s)) erros.push_back("Salvar PDF ficou aberto");
                   Teclas(w, {"Escape"});
               },
               {"Erro", "Salvar PDF", acoes.titulo});
    EXPECT_TRUE(erros.empty()) << ::testing::PrintToString(erros);
    EXPECT_EQ(impressoes, 1);
    EXPECT_EQ(salvos, std::vector<std::string>{(destino / "nota.pdf").string()});
}

TEST_F(JanelasTest, DialogosVoltamComAEscolhaDoUsuario) {
    platform::Plataforma& gtk = Gtk();
    platform::DefinirPastaSemDialogo("");
    const fs::path escolhida = pasta_ / "home" / "pasta escolhida";
    fs::create_directories(escolhida);

    // The message box returns once it is answered.
    bool voltou = false;
    ComRoteiro([&] { gtk.MostrarMensagem("Arquivo do logotipo de Emitente não localizado: /x/logo.bmp"); voltou = true; },
               [] { Teclas(EsperarJanela("Informação"), {"Return"}); }, {"Informação"});
    EXPECT_TRUE(voltou);

    // The folder chooser: Escape is no folder; a typed folder is that folder.
    std::string pasta = "?";
    ComRoteiro([&] { pasta = gtk.EscolherPasta("Pasta do PDF", 65); },
               [] { Teclas(EsperarJanela("Pasta do PDF"), {"Escape"}); }, {"Pasta do PDF"});
    EXPECT_EQ(pasta, "");
    ComRoteiro([&] { pasta = gtk.EscolherPasta("Pasta do PDF", 65); },
               [&] {
                   // The path goes into the location entry from the home
                   // folder, where the folder's name is the only one: elsewhere
                   // a list of completions would take the keys. Delete drops
                   // an inline completion.
                   const std::string w = EsperarJanela("Pasta do PDF");
                   Teclas(w, {"ctrl+l"});
                   Digitar(w, "~/pasta escolhida/");
                   std::this_thread::sleep_for(300ms);
                   X({"xdotool", "key", "Delete"});
                   X({"xdotool", "key", "Return"});
               },
               {"Pasta do PDF"});
    EXPECT_EQ(pasta, escolhida.string());

    // The print dialog cancelled: false, and the configuration as it was.
    platform::ConfigImpressao config;
    config.impressora = "Fila";
    config.copias = 3;
    bool confirmou = true;
    ComRoteiro([&] { confirmou = gtk.DialogoImpressao(config); },
               [] { Teclas(EsperarJanela("Imprimir"), {"Escape"}); }, {"Imprimir"});
    EXPECT_FALSE(confirmou);
    EXPECT_EQ(config.impressora, "Fila");
    EXPECT_EQ(config.copias, 3);

    // "Print to file" is no print queue: confirming it is refused with a
    // word, and the dialog stays for another choice (here: cancel).
    std::vector<std::string> erros;
    ComRoteiro([&] { confirmou = gtk.DialogoImpressao(config); },
               [&] {
                   const std::string w = EsperarJanela("Imprimir");
                   std::this_thread::sleep_for(1s);  // the printers are listed
                   Teclas(w, {"Down", "Return"});
                   const std::string aviso = EsperarJanela("Impressora", 10s);
                   if (aviso.empty()) return erros.push_back("sem aviso");
                   Teclas(aviso, {"Return"});
                   if (!Aguardar([] { return !Visivel("Impressora"); }, 5s) || !Visivel("Imprimir"))
                       return erros.push_back("o diálogo não ficou");
                   Teclas(w, {"Escape"});
               },
               {"Impressora", "Imprimir"});
    EXPECT_TRUE(erros.empty()) << ::testing::PrintToString(erros);
    EXPECT_FALSE(confirmou);
    EXPECT_EQ(config.impressora, "Fila");

    // Progress: goes on until cancelled, then says so on every later step.
    auto progresso = gtk.MostrarProgresso("Gerando o DANFE");
    std::atomic<bool> cancelou{false};
    std::thread roteiro([&] { Teclas(EsperarJanela("Gerando o DANFE"), {"Escape"}); });
    int passos = 0;
    const auto ate = std::chrono::steady_clock::now() + 30s;
    while (progresso->Avancar(passos % 10 + 1, 10) && std::chrono::steady_clock::now() < ate) {
        ++passos;
        std::this_thread::sleep_for(10ms);
    }
    cancelou = std::chrono::steady_clock::now() < ate;
    roteiro.join();
    EXPECT_TRUE(cancelou);
    EXPECT_FALSE(progresso->Avancar(1, 10));
    progresso.reset();
    EXPECT_FALSE(Visivel("Gerando o DANFE"));
}

}  // namespace
