#include "xml/documento.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "base/falha.h"
#include "base/limites.h"
#include "base/memoria.h"
#include "base/texto.h"

namespace corvexa::xml {
namespace {

// Nodes live in one vector in document order. The descendants of node i are
// the nodes i+1 .. fim-1, so every search is a plain scan, never a recursion.
// Below the top level only elements are kept: nothing reads the other kinds
// there, and the own text of an element is kept on the element itself.
struct NoInterno {
    uint32_t fim = 0;                    // one past the last descendant
    uint32_t nome = 0, nomeTam = 0;      // view into the text
    uint32_t texto = 0, textoTam = 0;    // own text as written; length 0 when none
    uint32_t atributo = 0, atributos = 0;  // range in Dados::atributos
    TipoNo tipo = TipoNo::Elemento;
};

struct AtributoInterno {
    uint32_t nome, nomeTam, valor, valorTam;
};

enum : uint8_t { kEspaco = 1, kInicioNome = 2, kNome = 4 };

// Bytes from 0x80 up are letters of the code page, so they may form names.
constexpr std::array<uint8_t, 256> kClasse = [] {
    std::array<uint8_t, 256> t{};
    for (int c : {' ', '\t', '\r', '\n'}) t[c] = kEspaco;
    for (int c = 'a'; c <= 'z'; ++c) t[c] = kInicioNome | kNome;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = kInicioNome | kNome;
    for (int c = 0x80; c <= 0xFF; ++c) t[c] = kInicioNome | kNome;
    t['_'] = t[':'] = kInicioNome | kNome;
    for (int c = '0'; c <= '9'; ++c) t[c] = kNome;
    t['-'] = t['.'] = kNome;
    return t;
}();

inline uint8_t Classe(char c) { return kClasse[static_cast<unsigned char>(c)]; }

bool SoEspacos(std::string_view s) {
    for (char c : s)
        if (!(Classe(c) & kEspaco)) return false;
    return true;
}

// The byte of the reference at s[0] == '&' and its length, or -1 when the
// sequence is no entity we expand (then it stays as written).
int Referencia(std::string_view s, size_t& tamanho) {
    struct Predefinida { std::string_view nome; char c; };
    static constexpr Predefinida kPredefinidas[] = {
        {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"apos;", '\''}, {"quot;", '"'}};
    const std::string_view resto = s.substr(1);
    for (const auto& p : kPredefinidas)
        if (resto.starts_with(p.nome)) {
            tamanho = 1 + p.nome.size();
            return static_cast<unsigned char>(p.c);
        }
    if (!resto.starts_with('#')) return -1;
    const bool hexa = resto.size() > 1 && resto[1] == 'x';
    size_t j = hexa ? 2 : 1;
    const size_t inicio = j;
    uint32_t valor = 0;
    for (; j < resto.size(); ++j) {
        const char c = resto[j];
        uint32_t d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (hexa && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (hexa && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else break;
        // Saturates past the last code point, so long runs of digits cannot overflow.
        valor = std::min<uint32_t>(valor * (hexa ? 16 : 10) + d, 0x110000);
    }
    if (j == inicio || j >= resto.size() || resto[j] != ';') return -1;
    // &#0; is no XML character; a NUL would only cut texts short further on.
    if (valor == 0) return -1;
    const int b = texto::UnicodeParaAnsi(valor);
    if (b < 0) return -1;
    tamanho = 1 + j + 1;
    return b;
}

std::string Decodificar(std::string_view s) {
    std::string r;
    r.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const size_t e = s.find('&', i);
        if (e == std::string_view::npos) {
            r.append(s.substr(i));
            break;
        }
        r.append(s.substr(i, e - i));
        size_t tamanho = 0;
        const int c = Referencia(s.substr(e), tamanho);
        if (c >= 0) {
            r.push_back(static_cast<char>(c));
            i = e + tamanho;
        } else {
            r.push_back('&');
            i = e + 1;
        }
    }
    return r;
}

// Texts of the text that go into a message: UTF-8, and short.
std::string ParaMensagem(std::string_view s) {
    constexpr size_t kMaximo = 60;
    if (s.size() <= kMaximo) return texto::AnsiParaUtf8(s);
    return texto::AnsiParaUtf8(s.substr(0, kMaximo)) + "...";
}

std::string CaractereParaMensagem(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return "de código " + std::to_string(b);
    return "'" + texto::AnsiParaUtf8(std::string_view(&c, 1)) + "'";
}

// One pass over the text, left to right; open elements wait on a stack of our
// own, so the depth of nesting costs memory, not call stack.
class Analisador {
public:
    Analisador(std::string_view t, std::pmr::vector<NoInterno>& nos, std::pmr::vector<AtributoInterno>& atributos)
        : t_(t), nos_(nos), atributos_(atributos) {}

    // Fails unless the text holds at least one element, every one closed.
    void Executar() {
        const size_t n = t_.size();
        while (p_ < n) {
            // Text between nodes: the own texts were taken at their start tags,
            // and text outside the elements is passed over.
            const void* lt = std::memchr(t_.data() + p_, '<', n - p_);
            if (!lt) break;
            p_ = static_cast<const char*>(lt) - t_.data();
            Marcacao();
        }
        if (!abertos_.empty()) {
            const NoInterno& no = nos_[abertos_.back()];
            Erro(no.nome - 1, "a marca <" + Nome(no.nome, no.nomeTam) + "> não foi fechada");
        }
        if (!temElemento_) Erro(n, "o texto não contém nenhum elemento");
    }

private:
    [[noreturn]] void Erro(size_t pos, const std::string& mensagem) const {
        size_t linha = 1, inicioLinha = 0;
        for (size_t i = 0; i < pos && i < t_.size(); ++i)
            if (t_[i] == '\n') {
                ++linha;
                inicioLinha = i + 1;
            }
        throw Falha("XML inválido na linha " + std::to_string(linha) + ", coluna " +
                    std::to_string(pos - inicioLinha + 1) + ": " + mensagem);
    }

    std::string Nome(size_t ini, size_t tam) const { return ParaMensagem(t_.substr(ini, tam)); }

    bool Comeca(std::string_view s) const { return t_.substr(p_).starts_with(s); }

    size_t PularEspacos(size_t q) const {
        while (q < t_.size() && (Classe(t_[q]) & kEspaco)) ++q;
        return q;
    }

    size_t PularNome(size_t q) const {
        while (q < t_.size() && (Classe(t_[q]) & kNome)) ++q;
        return q;
    }

    // Callers add non-element nodes at the top level only (see NoInterno).
    uint32_t Acrescentar(TipoNo tipo, size_t nome, size_t nomeTam) {
        NoInterno no;
        no.tipo = tipo;
        no.nome = static_cast<uint32_t>(nome);
        no.nomeTam = static_cast<uint32_t>(nomeTam);
        no.atributo = static_cast<uint32_t>(atributos_.size());
        const auto i = static_cast<uint32_t>(nos_.size());
        if (i >= limites::kNosXml)
            Erro(p_, "o texto tem mais de " + std::to_string(limites::kNosXml) + " nós");
        no.fim = i + 1;
        nos_.push_back(no);
        return i;
    }

    void Marcacao() {
        if (p_ + 1 >= t_.size()) Erro(p_, "marcação não terminada");
        const char c = t_[p_ + 1];
        if (c == '/') return FimElemento();
        if (c == '?') return Instrucao();
        if (c == '!') {
            if (Comeca("<!--")) return Ignorar(TipoNo::Comentario, 4, "-->", "comentário não terminado");
            if (Comeca("<![CDATA[")) return Ignorar(TipoNo::CData, 9, "]]>", "seção CDATA não terminada");
            if (Comeca("<!DOCTYPE")) return TipoDocumento();
            for (std::string_view s : {"<!--", "<![CDATA[", "<!DOCTYPE"})
                if (s.starts_with(t_.substr(p_))) Erro(p_, "marcação não terminada");
            Erro(p_, "marcação desconhecida depois de \"<!\"");
        }
        InicioElemento();
    }

    void InicioElemento() {
        const size_t ini = p_;
        size_t q = p_ + 1;
        if (!(Classe(t_[q]) & kInicioNome))
            Erro(q, "caractere inesperado " + CaractereParaMensagem(t_[q]) + " depois de \"<\"");
        const size_t nome = q;
        q = PularNome(q);
        const size_t nomeTam = q - nome;
        if (abertos_.empty()) temElemento_ = true;
        const uint32_t i = Acrescentar(TipoNo::Elemento, nome, nomeTam);
        auto naoTerminada = [&] { Erro(ini, "a marca <" + Nome(nome, nomeTam) + "> não foi terminada"); };
        auto inesperado = [&](size_t pos) {
            Erro(pos, "caractere inesperado " + CaractereParaMensagem(t_[pos]) + " na marca <" +
                          Nome(nome, nomeTam) + ">");
        };
        for (;;) {
            q = PularEspacos(q);
            if (q >= t_.size()) naoTerminada();
            const char c = t_[q];
            if (c == '>') {
                ++q;
                if (abertos_.size() >= limites::kProfundidadeXml)
                    Erro(ini, "mais de " + std::to_string(limites::kProfundidadeXml) + " elementos aninhados");
                abertos_.push_back(i);
                // The own text: the run up to the next markup, unless only white space.
                const void* lt = std::memchr(t_.data() + q, '<', t_.size() - q);
                const size_t fimTexto = lt ? static_cast<const char*>(lt) - t_.data() : t_.size();
                if (!SoEspacos(t_.substr(q, fimTexto - q))) {
                    nos_[i].texto = static_cast<uint32_t>(q);
                    nos_[i].textoTam = static_cast<uint32_t>(fimTexto - q);
                }
                p_ = fimTexto;
                break;
            }
            if (c == '/') {
                if (q + 1 >= t_.size()) naoTerminada();
                if (t_[q + 1] != '>') inesperado(q);
                p_ = q + 2;
                break;
            }
            if (!(Classe(c) & kInicioNome)) inesperado(q);
            if (nos_[i].atributos >= limites::kAtributosPorElemento)
                Erro(q, "a marca <" + Nome(nome, nomeTam) + "> tem mais de " +
                            std::to_string(limites::kAtributosPorElemento) + " atributos");
            q = Atributo(q, ini, nome, nomeTam);
            ++nos_[i].atributos;
        }
    }

    // Reads one attribute from its name at q; returns the position after its value.
    size_t Atributo(size_t q, size_t ini, size_t nome, size_t nomeTam) {
        const size_t an = q;
        q = PularNome(q);
        const size_t anTam = q - an;
        q = PularEspacos(q);
        auto naoTerminada = [&] { Erro(ini, "a marca <" + Nome(nome, nomeTam) + "> não foi terminada"); };
        if (q >= t_.size()) naoTerminada();
        if (t_[q] != '=') Erro(q, "falta \"=\" depois do atributo \"" + Nome(an, anTam) + "\"");
        q = PularEspacos(q + 1);
        if (q >= t_.size()) naoTerminada();
        const char aspa = t_[q];
        if (aspa != '"' && aspa != '\'')
            Erro(q, "o valor do atributo \"" + Nome(an, anTam) + "\" não está entre aspas");
        const size_t valor = q + 1;
        const size_t fim = t_.find(aspa, valor);
        if (fim == std::string_view::npos) naoTerminada();
        const size_t nul = t_.substr(valor, fim - valor).find('\0');
        if (nul != std::string_view::npos)
            Erro(valor + nul, "caractere inesperado de código 0 no atributo \"" + Nome(an, anTam) + "\"");
        atributos_.push_back({static_cast<uint32_t>(an), static_cast<uint32_t>(anTam),
                              static_cast<uint32_t>(valor), static_cast<uint32_t>(fim - valor)});
        return fim + 1;
    }

    void FimElemento() {
        const size_t ini = p_;
        size_t q = p_ + 2;
        if (q >= t_.size()) Erro(ini, "marcação não terminada");
        if (!(Classe(t_[q]) & kInicioNome))
            Erro(q, "caractere inesperado " + CaractereParaMensagem(t_[q]) + " depois de \"</\"");
        const size_t nome = q;
        q = PularNome(q);
        const size_t nomeTam = q - nome;
        q = PularEspacos(q);
        if (q >= t_.size()) Erro(ini, "a marca </" + Nome(nome, nomeTam) + "> não foi terminada");
        if (t_[q] != '>')
            Erro(q, "caractere inesperado " + CaractereParaMensagem(t_[q]) + " na marca </" +
                        Nome(nome, nomeTam) + ">");
        if (abertos_.empty())
            Erro(ini, "a marca </" + Nome(nome, nomeTam) + "> não fecha nenhum elemento");
        NoInterno& aberto = nos_[abertos_.back()];
        if (!texto::IgualSemCaixa(t_.substr(nome, nomeTam), t_.substr(aberto.nome, aberto.nomeTam)))
            Erro(ini, "a marca </" + Nome(nome, nomeTam) + "> não fecha <" + Nome(aberto.nome, aberto.nomeTam) + ">");
        aberto.fim = static_cast<uint32_t>(nos_.size());
        abertos_.pop_back();
        p_ = q + 1;
    }

    // Comments and CDATA sections: skipped to their end, kept as nodes at the top level.
    void Ignorar(TipoNo tipo, size_t abertura, std::string_view fecho, const char* naoTerminado) {
        const size_t fim = t_.find(fecho, p_ + abertura);
        if (fim == std::string_view::npos) Erro(p_, naoTerminado);
        if (abertos_.empty()) Acrescentar(tipo, 0, 0);
        p_ = fim + fecho.size();
    }

    void Instrucao() {
        const size_t q = p_ + 2;
        if (q >= t_.size()) Erro(p_, "marcação não terminada");
        if (!(Classe(t_[q]) & kInicioNome))
            Erro(q, "caractere inesperado " + CaractereParaMensagem(t_[q]) + " depois de \"<?\"");
        const size_t alvoFim = PularNome(q);
        const size_t fim = t_.find("?>", alvoFim);
        if (fim == std::string_view::npos) Erro(p_, "instrução de processamento não terminada");
        if (abertos_.empty()) {
            // <?xml ...?> is the declaration, whose encoding we ignore: the text is 8-bit.
            if (texto::IgualSemCaixa(t_.substr(q, alvoFim - q), "xml"))
                Acrescentar(TipoNo::Declaracao, 0, 0);
            else
                Acrescentar(TipoNo::Instrucao, q, alvoFim - q);
        }
        p_ = fim + 2;
    }

    // The internal subset is skipped whole: its entities are never expanded.
    void TipoDocumento() {
        const size_t ini = p_;
        if (!abertos_.empty()) Erro(ini, "declaração de tipo de documento dentro de um elemento");
        size_t q = p_ + 9;
        int colchetes = 0;
        const size_t n = t_.size();
        for (;;) {
            if (q >= n) Erro(ini, "declaração de tipo de documento não terminada");
            const char c = t_[q];
            if (c == '"' || c == '\'') {
                q = t_.find(c, q + 1);
                if (q == std::string_view::npos) Erro(ini, "declaração de tipo de documento não terminada");
                ++q;
            } else if (c == '<' && t_.substr(q).starts_with("<!--")) {
                q = t_.find("-->", q + 4);
                if (q == std::string_view::npos) Erro(ini, "declaração de tipo de documento não terminada");
                q += 3;
            } else if (c == '[') {
                ++colchetes;
                ++q;
            } else if (c == ']') {
                if (colchetes > 0) --colchetes;
                ++q;
            } else if (c == '>' && colchetes == 0) {
                break;
            } else {
                ++q;
            }
        }
        Acrescentar(TipoNo::TipoDocumento, 0, 0);
        p_ = q + 1;
    }

    std::string_view t_;
    std::pmr::vector<NoInterno>& nos_;
    std::pmr::vector<AtributoInterno>& atributos_;
    std::vector<uint32_t> abertos_;  // open elements, innermost last
    size_t p_ = 0;
    bool temElemento_ = false;
};

}  // namespace

struct Documento::Dados {
    std::string texto;
    // Large and made anew for every document: their memory is kept for the next.
    std::pmr::vector<NoInterno> nos{memoria::Documentos()};
    std::pmr::vector<AtributoInterno> atributos{memoria::Documentos()};
    bool temElemento = false;

    std::string_view Fatia(uint32_t ini, uint32_t tam) const { return std::string_view(texto).substr(ini, tam); }
    // Null for an index out of range: a handle left over from an earlier text.
    const NoInterno* Obter(uint32_t indice) const { return indice < nos.size() ? &nos[indice] : nullptr; }
};

// An empty or stale handle reads as a nameless text node: no lookup can match it.
TipoNo No::Tipo() const {
    const NoInterno* no = doc_ ? doc_->d_->Obter(indice_) : nullptr;
    return no ? no->tipo : TipoNo::Texto;
}

std::string_view No::Nome() const {
    const NoInterno* no = doc_ ? doc_->d_->Obter(indice_) : nullptr;
    return no ? doc_->d_->Fatia(no->nome, no->nomeTam) : std::string_view();
}

Documento::Documento() : d_(std::make_unique<Dados>()) {}
Documento::~Documento() = default;

void Documento::Carregar(std::string texto) {
    Limpar();
    // Also keeps every position within the 32 bits of the nodes.
    static_assert(limites::kTamanhoXml < std::numeric_limits<uint32_t>::max());
    if (texto.size() > limites::kTamanhoXml) throw Falha(limites::kMensagemTamanhoXml);
    auto novo = std::make_unique<Dados>();
    novo->texto = std::move(texto);
    // About one node per two tags (start and end): room for them at once,
    // within what a document may hold; untouched room costs nothing.
    size_t marcas = 0;
    for (const char* p = novo->texto.data(), *fim = p + novo->texto.size();
         (p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(fim - p)))) != nullptr; ++p)
        ++marcas;
    novo->nos.reserve(std::min(marcas / 2 + 16, limites::kNosXml));
    Analisador(novo->texto, novo->nos, novo->atributos).Executar();
    novo->temElemento = true;
    d_ = std::move(novo);
}

void Documento::Limpar() { d_ = std::make_unique<Dados>(); }

std::vector<No> Documento::NosTopo() const {
    std::vector<No> r;
    for (uint32_t i = 0; i < d_->nos.size(); i = d_->nos[i].fim) r.push_back(No(this, i));
    return r;
}

bool Documento::TemElementoRaiz() const { return d_->temElemento; }

No Documento::PrimeiroDescendente(No inicio, std::string_view nome) const {
    const NoInterno* no = inicio.doc_ == this ? d_->Obter(inicio.indice_) : nullptr;
    if (!no) return {};
    for (uint32_t j = inicio.indice_ + 1; j < no->fim; ++j) {
        const NoInterno& d = d_->nos[j];
        if (d.tipo == TipoNo::Elemento && d.nomeTam == nome.size() &&
            texto::IgualSemCaixa(d_->Fatia(d.nome, d.nomeTam), nome))
            return No(this, j);
    }
    return {};
}

std::vector<No> Documento::TodosDescendentes(No inicio, std::string_view nome) const {
    std::vector<No> r;
    const NoInterno* no = inicio.doc_ == this ? d_->Obter(inicio.indice_) : nullptr;
    if (!no) return r;
    for (uint32_t j = inicio.indice_ + 1; j < no->fim; ++j) {
        const NoInterno& d = d_->nos[j];
        if (d.tipo == TipoNo::Elemento && d.nomeTam == nome.size() &&
            texto::IgualSemCaixa(d_->Fatia(d.nome, d.nomeTam), nome))
            r.push_back(No(this, j));
    }
    return r;
}

std::string Documento::TextoProprio(No elemento) const {
    const NoInterno* no = elemento.doc_ == this ? d_->Obter(elemento.indice_) : nullptr;
    if (!no || no->textoTam == 0) return {};
    return Decodificar(d_->Fatia(no->texto, no->textoTam));
}

std::string Documento::Atributo(No elemento, std::string_view nome) const {
    const NoInterno* no = elemento.doc_ == this ? d_->Obter(elemento.indice_) : nullptr;
    if (!no) return {};
    for (uint32_t k = no->atributo; k < no->atributo + no->atributos; ++k) {
        const AtributoInterno& a = d_->atributos[k];
        if (texto::IgualSemCaixa(d_->Fatia(a.nome, a.nomeTam), nome))
            return Decodificar(d_->Fatia(a.valor, a.valorTam));
    }
    return {};
}

}  // namespace corvexa::xml
