#include "report/motor.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <memory_resource>
#include <optional>
#include <unordered_map>

#include "base/falha.h"
#include "base/limites.h"
#include "base/memoria.h"
#include "base/texto.h"
#include "report/code128.h"

namespace corvexa::report {
namespace {

constexpr Mm kTraco = 265;           // 0.75 pt strokes of lines
constexpr Mm kModulo = 254;          // Code 128 module, 0.254 mm
constexpr Mm kAlturaMinimaBarras = 6350;

// Where a field of a bound element is found: pipeline position and field position.
struct Ligacao {
    int pipeline = -1;
    int campo = -1;
};

// Display-list items on their way to a page.
using Itens = std::pmr::vector<Item>;

// A drawn piece of a band instance: the items [de, ate) of its unit. `y`/`h`
// give the extent the piece needs on a page (all lines of a fixed text move
// together, so they share one extent); the items keep their own drawing
// positions, relative to the unit's top.
struct Atomo {
    uint32_t de = 0, ate = 0;
    Mm y = 0, h = 0;
    // Pieces that follow their parent's height (rules that stretch with the
    // row, region fills) span [y, fim) and are cut to each page's part.
    bool segue = false;
    Mm fim = 0;
    // Page variables are written when the piece is placed on its page.
    const Elemento* variavel = nullptr;
    Mm varX = 0;
};

// One band instance ready to be placed on pages.
struct Unidade {
    Itens itens;
    std::vector<Atomo> atomos;
    Mm altura = 0;
    bool estatica = false;
};

enum class TipoPasso : uint8_t { DetalheMestre, Titulo, Linha, Sumario, RodapeGrupo };

// One step of a group's content: which band, over which records.
struct Passo {
    TipoPasso tipo;
    Banda* banda;
    size_t registroMestre;                  // position in the master pipeline
    const Elemento* sub = nullptr;          // the sub-report of titles, rows and summaries
    const std::vector<size_t>* detalhes = nullptr;
    size_t detalhe = 0;                     // position in `detalhes` (rows), last one for summaries
};

struct Grupo {
    std::vector<size_t> registros;  // master record positions
    std::vector<Passo> passos;
    std::vector<std::vector<size_t>> detalhesPorSub;  // owned lists the steps point into
};

// The progress through a group's steps; copied to retry a page.
struct Cursor {
    size_t passo = 0;
    std::shared_ptr<Unidade> atual;  // a unit begun on an earlier page
    std::vector<uint8_t> colocado;      // its atoms already placed
};

void DeslocarItem(Item& item, Mm dy) {
    std::visit(
        [dy](auto& i) {
            i.caixa.y += dy;
            if constexpr (std::is_same_v<std::decay_t<decltype(i)>, ItemTexto>)
                if (i.recorte) i.recorte->y += dy;
        },
        item);
}

// Cuts a following piece (a rule or a fill) to the part [de, ate) of its unit.
void CortarItem(Item& item, Mm de, Mm ate) {
    std::visit(
        [de, ate](auto& i) {
            const Mm topo = std::max(i.caixa.y, de);
            const Mm fundo = std::min(i.caixa.y + i.caixa.h, ate);
            i.caixa.y = topo;
            i.caixa.h = std::max<Mm>(0, fundo - topo);
        },
        item);
}

class Motor final : public Execucao {
public:
    Motor(Relatorio& rel, const std::vector<const data::Pipeline*>& pipelines, const fontes::Metricas& metricas,
          const OpcoesMotor& opcoes)
        : rel_(rel), pipelines_(pipelines), metricas_(metricas), opcoes_(opcoes) {
        segundos_ = opcoes.segundosDoDia;
        if (segundos_ < 0) {
            const std::time_t agora = std::time(nullptr);
            std::tm t{};
            localtime_r(&agora, &t);
            segundos_ = t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec;
        }
        for (Banda* b : {&rel_.cabecalhoPagina, &rel_.cabecalhoGrupo, &rel_.detalhe, &rel_.rodapeGrupo,
                         &rel_.rodapePagina})
            Ligar(b->elementos);
        mestre_ = IndicePipeline(rel_.pipelineMestre);
        if (mestre_ >= 0 && !rel_.campoQuebra.empty())
            campoQuebra_ = pipelines_[mestre_]->Dados().IndiceCampo(rel_.campoQuebra);
        registros_.assign(pipelines_.size(), nullptr);
    }

    Documento Gerar();

    Relatorio& Layout() override { return rel_; }
    bool PassoDeSaida() const override { return saida_; }
    std::string TextoVariavel(const Elemento& v) const override {
        switch (v.variavel) {
            case TipoVariavel::NumeroPagina: return std::to_string(numero_);
            case TipoVariavel::TotalPaginas: return std::to_string(total_);
            case TipoVariavel::Hora: return FormatarHora(segundos_, v.formato, opcoes_.separadores);
        }
        return {};
    }

private:
    int IndicePipeline(std::string_view nome) const {
        // Names are few and asked for again and again: remembered as written.
        const auto it = indicesPipeline_.find(nome);
        if (it != indicesPipeline_.end()) return it->second;
        int r = -1;
        for (size_t i = 0; i < pipelines_.size() && r < 0; ++i)
            if (texto::IgualSemCaixa(pipelines_[i]->Nome(), nome) ||
                texto::IgualSemCaixa(pipelines_[i]->NomeUsuario(), nome))
                r = static_cast<int>(i);
        indicesPipeline_.emplace(std::string(nome), r);
        return r;
    }

    void Ligar(std::vector<Elemento>& elementos) {
        for (auto& e : elementos) {
            if (!e.pipeline.empty()) {
                Ligacao l;
                l.pipeline = IndicePipeline(e.pipeline);
                if (l.pipeline >= 0) l.campo = pipelines_[l.pipeline]->Dados().IndiceCampo(e.campo);
                ligacoes_[&e] = l;
            }
            Ligar(e.filhos);
            if (e.sub) {
                for (Banda* b : {&e.sub->titulo, &e.sub->cabecalhoColuna, &e.sub->detalhe, &e.sub->rodapeColuna,
                                 &e.sub->sumario})
                    Ligar(b->elementos);
            }
        }
    }

    const data::Valor& ValorDe(const Elemento& e) const {
        static const data::Valor vazio;
        const auto it = ligacoes_.find(&e);
        if (it == ligacoes_.end() || it->second.campo < 0) return vazio;
        const auto* reg = registros_[it->second.pipeline];
        return reg ? (*reg)[it->second.campo] : vazio;
    }

    std::vector<size_t> RegistrosDe(const SubRelatorio& sub) const {
        const int p = IndicePipeline(sub.pipeline);
        if (p < 0) return {};
        const data::Pipeline* pl = pipelines_[p];
        const data::Pipeline* m = pl->Mestre();
        const std::vector<data::Valor>* regMestre = nullptr;
        if (m) {
            for (size_t i = 0; i < pipelines_.size(); ++i)
                if (pipelines_[i] == m) regMestre = registros_[i];
            if (!regMestre) return {};
        }
        return pl->Registros(regMestre);
    }

    void Posicionar(const std::string& pipeline, size_t registro) {
        const int p = IndicePipeline(pipeline);
        if (p >= 0) registros_[p] = &pipelines_[p]->Dados().Registro(registro);
    }

    void PosicionarMestre(size_t registro) {
        std::fill(registros_.begin(), registros_.end(), nullptr);
        if (mestre_ >= 0) registros_[mestre_] = &pipelines_[mestre_]->Dados().Registro(registro);
    }

    // ---- Texts ----------------------------------------------------------

    std::vector<std::string> Quebrar(const Elemento& e, std::string_view s) const {
        std::vector<std::string> linhas;
        const bool quebraPorCaractere = e.tipo == TipoElemento::Memo;
        if (!quebraPorCaractere && !e.wordWrap) {
            if (s.find_first_of("\r\n") == std::string_view::npos) {
                linhas.emplace_back(s);
                return linhas;
            }
            std::string l;
            for (char c : s)
                if (c != '\r' && c != '\n') l.push_back(c);
            linhas.push_back(std::move(l));
            return linhas;
        }
        const Mm largura = e.g.w;
        size_t i = 0;
        while (i <= s.size()) {
            // One paragraph up to the next line break.
            size_t fimPar = s.find_first_of("\r\n", i);
            if (fimPar == std::string_view::npos) fimPar = s.size();
            std::string_view par = s.substr(i, fimPar - i);
            if (quebraPorCaractere) {
                std::string l;
                Mm w = 0;
                for (char c : par) {
                    const Mm wc = metricas_.LarguraCaractere(e.fonte, static_cast<unsigned char>(c));
                    if (!l.empty() && w + wc > largura) {
                        linhas.push_back(std::move(l));
                        l.clear();
                        w = 0;
                    }
                    l.push_back(c);
                    w += wc;
                }
                linhas.push_back(std::move(l));
            } else {
                // Breaks at spaces; a word wider than the box stands alone (and is clipped).
                std::string l;
                size_t p = 0;
                bool primeira = true;
                while (p <= par.size()) {
                    size_t fimPalavra = par.find(' ', p);
                    if (fimPalavra == std::string_view::npos) fimPalavra = par.size();
                    std::string_view palavra = par.substr(p, fimPalavra - p);
                    std::string tentativa = primeira ? std::string(palavra) : l + " " + std::string(palavra);
                    if (!primeira && metricas_.Largura(e.fonte, tentativa) > largura) {
                        linhas.push_back(std::move(l));
                        l = std::string(palavra);
                    } else {
                        l = std::move(tentativa);
                    }
                    primeira = false;
                    p = fimPalavra + 1;
                }
                linhas.push_back(std::move(l));
            }
            if (fimPar >= s.size()) break;
            i = fimPar + ((s[fimPar] == '\r' && fimPar + 1 < s.size() && s[fimPar + 1] == '\n') ? 2 : 1);
        }
        return linhas;
    }

    // Lays out a text element's lines with its box at (x0, y0); returns the
    // bottom the element reaches.
    Mm Textos(const Elemento& e, std::string_view s, Mm x0, Mm y0, Itens& itens) const {
        const Mm lh = metricas_.AlturaLinha(e.fonte);
        const bool memo = e.tipo == TipoElemento::Memo;
        if (memo && s.empty()) return y0;
        const bool recortar = !memo && !e.autoSize;
        const auto linha = [&](std::string_view l, Mm y) {
            const Mm w = metricas_.Largura(e.fonte, l);
            Mm x = x0;
            if (e.alinhamento == Alinhamento::Direita) x = x0 + e.g.w - w;
            else if (e.alinhamento == Alinhamento::Centro) x = x0 + (e.g.w - w) / 2;
            ItemTexto& t = std::get<ItemTexto>(itens.emplace_back(std::in_place_type<ItemTexto>));
            t.caixa = {x, y, w, lh};
            t.texto = texto::AnsiParaUtf8(l);
            t.fonte = e.fonte;
            if (recortar) t.recorte = Caixa{x0, y0, e.g.w, e.g.h};
            t.id = e.nome;
        };
        // Most texts are one line without breaks: no line list for them.
        if (!memo && !e.wordWrap && s.find_first_of("\r\n") == std::string_view::npos) {
            if (!s.empty()) linha(s, y0);
            return e.autoSize ? y0 + lh : y0 + e.g.h;
        }
        const auto linhas = Quebrar(e, s);
        for (size_t i = 0; i < linhas.size(); ++i) {
            const Mm y = y0 + static_cast<Mm>(i) * lh;
            if (recortar && y >= y0 + e.g.h) break;  // below a fixed box: never shows
            if (!linhas[i].empty()) linha(linhas[i], y);
        }
        if (memo || e.autoSize) return y0 + static_cast<Mm>(linhas.size()) * lh;
        return y0 + e.g.h;
    }

    // ---- Bands ----------------------------------------------------------

    struct Montagem {
        explicit Montagem(std::pmr::memory_resource* memoria) : itens(memoria) {}
        Itens itens;
        std::vector<Atomo> atomos;

        // Opens a piece at the end of the items; `Fechar` ends it there.
        Atomo Abrir(Mm y, Mm h) const {
            Atomo a;
            a.de = a.ate = static_cast<uint32_t>(itens.size());
            a.y = y;
            a.h = h;
            return a;
        }
        void Fechar(Atomo& a) {
            a.ate = static_cast<uint32_t>(itens.size());
            atomos.push_back(a);
        }
        // A following piece reaches down to `fundo`, and its items with it.
        void Estender(size_t atomo, Mm fundo) {
            Atomo& a = atomos[atomo];
            a.fim = fundo;
            for (uint32_t k = a.de; k < a.ate; ++k)
                std::visit([&](auto& it) { it.caixa.h = std::max<Mm>(0, fundo - it.caixa.y); }, itens[k]);
        }
    };

    // Lays out elements at offset (dx, dy); `fundoPai` < 0: following pieces
    // end at the band's bottom (resolved by the caller). Returns the lowest
    // bottom of the printed elements that count for the parent's height.
    Mm Elementos(const std::vector<Elemento>& elementos, Mm dx, Mm dy, bool subEmLinha, Montagem& m,
                 std::vector<size_t>& seguem) {
        Mm fundo = 0;
        // Growth of regions that others shift relative to.
        std::unordered_map<std::string, Mm> crescimento;
        for (const auto& e : elementos) {
            if (e.deslocarRelativoA.empty()) continue;
            for (const auto& alvo : elementos)
                if (alvo.tipo == TipoElemento::Regiao && texto::IgualSemCaixa(alvo.nome, e.deslocarRelativoA) &&
                    alvo.visivel) {
                    Montagem rascunho(&arena_);
                    std::vector<size_t> s;
                    const Mm alt = Regiao(alvo, dx, dy, subEmLinha, rascunho, s);
                    crescimento[e.deslocarRelativoA] = alt - alvo.g.h;
                }
        }
        for (const auto& e : elementos) {
            if (!e.visivel) continue;
            Mm desl = dy;
            if (!e.deslocarRelativoA.empty()) {
                const auto it = crescimento.find(e.deslocarRelativoA);
                if (it != crescimento.end()) desl += it->second;
            }
            fundo = std::max(fundo, Elemento1(e, dx, desl, subEmLinha, m, seguem));
        }
        return fundo;
    }

    Mm Regiao(const Elemento& e, Mm dx, Mm dy, bool subEmLinha, Montagem& m, std::vector<size_t>& seguemPai) {
        (void)seguemPai;
        const Mm topo = e.g.y + dy;
        // White fill first, then the elements over it.
        const size_t iFill = m.atomos.size();
        Atomo fill = m.Abrir(topo, 0);
        fill.segue = true;
        m.itens.push_back(ItemRetangulo{Caixa{dx + e.g.x, topo, e.g.w, 0}, false, false, e.nome});
        m.Fechar(fill);
        std::vector<size_t> seguem;
        const Mm fundoFilhos = Elementos(e.filhos, dx, dy, subEmLinha, m, seguem);
        const Mm fundo = e.esticar ? std::max(topo + e.g.h, fundoFilhos) : topo + e.g.h;
        m.Estender(iFill, fundo);
        for (size_t i : seguem) m.Estender(i, fundo);
        return fundo - topo;
    }

    // One element; returns its bottom (0 when it does not count for the height).
    Mm Elemento1(const Elemento& e, Mm dx, Mm dy, bool subEmLinha, Montagem& m, std::vector<size_t>& seguem) {
        const Mm x0 = dx + e.g.x;
        const Mm y0 = e.g.y + dy;
        Atomo a = m.Abrir(y0, e.g.h);
        switch (e.tipo) {
            case TipoElemento::Rotulo:
            case TipoElemento::TextoDados: {
                std::string s;
                if (e.tipo == TipoElemento::Rotulo) s = texto::Utf8ParaAnsi(e.texto);
                else s = FormatarValor(ValorDe(e), e.formato, opcoes_.separadores);
                const Mm fundo = Textos(e, s, x0, y0, m.itens);
                a.h = fundo - y0;
                m.Fechar(a);
                return fundo;
            }
            case TipoElemento::VariavelSistema: {
                if (e.variavel == TipoVariavel::Hora) {
                    const Mm fundo = Textos(e, TextoVariavel(e), x0, y0, m.itens);
                    a.h = fundo - y0;
                    m.Fechar(a);
                    return fundo;
                }
                a.variavel = &e;  // written on its page
                a.varX = x0;
                a.h = e.autoSize ? metricas_.AlturaLinha(e.fonte) : e.g.h;
                m.Fechar(a);
                return y0 + a.h;
            }
            case TipoElemento::Memo: {
                // Each line is a piece of its own, so the memo can continue line by line.
                const std::string s = FormatarValor(ValorDe(e), e.formato, opcoes_.separadores);
                const size_t primeira = m.itens.size();
                const Mm fundo = Textos(e, s, x0, y0, m.itens);
                const Mm lh = metricas_.AlturaLinha(e.fonte);
                for (size_t k = primeira; k < m.itens.size(); ++k) {
                    Atomo al;
                    al.de = static_cast<uint32_t>(k);
                    al.ate = al.de + 1;
                    al.y = std::get<ItemTexto>(m.itens[k]).caixa.y;
                    al.h = lh;
                    m.atomos.push_back(al);
                }
                return fundo;
            }
            case TipoElemento::Retangulo:
                m.itens.push_back(ItemRetangulo{Caixa{x0, y0, e.g.w, e.g.h}, e.arredondado, true, e.nome});
                if (e.stretchWithParent) {
                    a.segue = true;
                    seguem.push_back(m.atomos.size());
                    m.Fechar(a);
                    return 0;
                }
                m.Fechar(a);
                return y0 + e.g.h;
            case TipoElemento::Linha: {
                const Caixa traco = e.linhaEsquerda ? Caixa{x0, y0, kTraco, e.g.h} : Caixa{x0, y0, e.g.w, kTraco};
                m.itens.push_back(ItemLinha{traco, e.pontilhada, e.nome});
                if (e.stretchWithParent) {
                    a.segue = true;
                    seguem.push_back(m.atomos.size());
                    m.Fechar(a);
                    return 0;
                }
                m.Fechar(a);
                return y0 + e.g.h;
            }
            case TipoElemento::Imagem:
                if (e.vetorial)
                    m.itens.push_back(ItemImagem{Caixa{x0, y0, e.g.w, e.g.h}, nullptr, e.nome, e.vetorial});
                else if (e.imagem)
                    m.itens.push_back(ItemImagem{Caixa{x0, y0, e.g.w, e.g.h}, e.imagem, e.nome});
                m.Fechar(a);
                return y0 + e.g.h;
            case TipoElemento::CodigoBarras: {
                const auto& v = ValorDe(e);
                const std::string dados = data::ValorComoTexto(v);
                if (!dados.empty()) {
                    SimboloCode128 s = CodificarCode128(dados);
                    ItemCodigoBarras b;
                    const Mm w = s.modulos * kModulo;
                    b.caixa = {x0, y0, w, std::max<Mm>(kAlturaMinimaBarras, static_cast<Mm>((w * 15 + 50) / 100))};
                    b.dados = texto::AnsiParaUtf8(dados);
                    b.barras = std::move(s.barras);
                    b.modulos = s.modulos;
                    b.modulo = kModulo;
                    b.id = e.nome;
                    a.h = b.caixa.h;
                    m.itens.push_back(std::move(b));
                }
                m.Fechar(a);
                return y0 + e.g.h;
            }
            case TipoElemento::Regiao:
                return y0 + Regiao(e, dx, dy, subEmLinha, m, seguem);
            case TipoElemento::SubRelatorio:
                if (!subEmLinha || !e.sub) return 0;
                return y0 + SubEmLinha(e, x0, y0, m);
        }
        return 0;
    }

    // A child sub-report laid out whole inside its band (the instalment list):
    // title once, column heads over every column, records across the columns.
    Mm SubEmLinha(const Elemento& e, Mm x0, Mm y0, Montagem& m) {
        const SubRelatorio& sub = *e.sub;
        const auto regs = RegistrosDe(sub);
        if (regs.empty()) return 0;  // no records: the sub-report prints nothing
        const std::vector<Mm> colunas = sub.colunas.empty() ? std::vector<Mm>{0} : sub.colunas;
        const size_t n = colunas.size();
        Mm y = y0;
        y += Embutir(sub.titulo, x0, y, m);
        Mm alturaCab = 0;
        for (Mm c : colunas) alturaCab = std::max(alturaCab, Embutir(sub.cabecalhoColuna, x0 + c, y, m));
        y += alturaCab;
        for (size_t k = 0; k < regs.size(); k += n) {
            Mm alturaLinha = 0;
            for (size_t c = 0; c < n && k + c < regs.size(); ++c) {
                Posicionar(sub.pipeline, regs[k + c]);
                alturaLinha = std::max(alturaLinha, Embutir(sub.detalhe, x0 + colunas[c], y, m));
            }
            y += alturaLinha;
        }
        y += Embutir(sub.rodapeColuna, x0, y, m);
        y += Embutir(sub.sumario, x0, y, m);
        return y - y0;
    }

    // Lays out a band inside another unit at (x0, y0); returns its height.
    Mm Embutir(const Banda& banda, Mm x0, Mm y0, Montagem& m) {
        if (!banda.visivel) return 0;
        Unidade u = MontarBanda(banda, x0, true);
        const auto base = static_cast<uint32_t>(m.itens.size());
        for (auto& i : u.itens) {
            DeslocarItem(i, y0);
            m.itens.push_back(std::move(i));
        }
        for (auto a : u.atomos) {
            a.y += y0;
            if (a.segue) a.fim += y0;
            a.de += base;
            a.ate += base;
            m.atomos.push_back(a);
        }
        return u.altura;
    }

    Unidade MontarBanda(const Banda& banda, Mm x0, bool subEmLinha) {
        Montagem m(&arena_);
        m.itens.reserve(2 * banda.elementos.size() + 8);
        std::vector<size_t> seguem;
        const Mm fundo = Elementos(banda.elementos, x0, 0, subEmLinha, m, seguem);
        const bool estatica = !banda.dinamica;
        const Mm altura = estatica ? banda.altura : fundo;
        for (size_t i : seguem) m.Estender(i, altura);
        return Unidade{std::move(m.itens), std::move(m.atomos), altura, estatica};
    }

    // ---- Pages ----------------------------------------------------------

    void EmitirVariavel(const Atomo& a, Mm dy, Pagina& p) {
        const Elemento& e = *a.variavel;
        const size_t primeiro = p.itens.size();
        Textos(e, TextoVariavel(e), a.varX, a.y + dy, p.itens);
        if (e.variavel == TipoVariavel::TotalPaginas)
            for (size_t k = primeiro; k < p.itens.size(); ++k) contagens_.push_back({paginaAtual_, k, &e, a.varX});
    }

    // Places a whole unit with its top at y.
    void ColocarInteira(const Unidade& u, Mm y, Pagina& p) {
        if (!saida_) return;  // the counting pass only needs the heights
        for (const auto& a : u.atomos) {
            if (a.variavel) {
                EmitirVariavel(a, y, p);
                continue;
            }
            for (uint32_t k = a.de; k < a.ate; ++k) {
                Item item = u.itens[k];
                DeslocarItem(item, y);
                p.itens.push_back(std::move(item));
            }
        }
    }

    void MontarPrograma(Grupo& g) {
        // Reserve the lists first: steps keep pointers into them.
        size_t subs = 0;
        for (const auto& e : rel_.detalhe.elementos)
            if (e.tipo == TipoElemento::SubRelatorio && e.sub) ++subs;
        g.detalhesPorSub.reserve(g.registros.size() * subs);
        for (size_t r : g.registros) {
            g.passos.push_back({TipoPasso::DetalheMestre, &rel_.detalhe, r});
            PosicionarMestre(r);
            for (const auto& e : rel_.detalhe.elementos) {
                if (e.tipo != TipoElemento::SubRelatorio || !e.sub) continue;
                g.detalhesPorSub.push_back(RegistrosDe(*e.sub));
                const auto* lista = &g.detalhesPorSub.back();
                g.passos.push_back({TipoPasso::Titulo, &e.sub->titulo, r, &e, lista, 0});
                for (size_t k = 0; k < lista->size(); ++k)
                    g.passos.push_back({TipoPasso::Linha, &e.sub->detalhe, r, &e, lista, k});
                g.passos.push_back({TipoPasso::Sumario, &e.sub->sumario, r, &e, lista,
                                    lista->empty() ? 0 : lista->size() - 1});
            }
        }
        g.passos.push_back({TipoPasso::RodapeGrupo, &rel_.rodapeGrupo, g.registros.back()});
    }

    // The visibility of a band's elements, as one text: a band instance
    // depends on its records and on what the page logic shows.
    static void Assinatura(const std::vector<Elemento>& elementos, std::string& out) {
        for (const auto& e : elementos) {
            out.push_back(e.visivel ? '1' : '0');
            Assinatura(e.filhos, out);
            if (e.sub)
                for (const Banda* b : {&e.sub->titulo, &e.sub->cabecalhoColuna, &e.sub->detalhe, &e.sub->rodapeColuna,
                                       &e.sub->sumario}) {
                    out.push_back(b->visivel ? '1' : '0');
                    Assinatura(b->elementos, out);
                }
        }
    }

    // Band instances are laid out once and reused by the page trials and the
    // passes, as long as their records and visible elements are the same.
    template <typename Montar>
    std::shared_ptr<Unidade> EmCache(const Banda& banda, size_t mestre, size_t detalhe, const Montar& montar) {
        CacheBanda& cb = cache_[&banda];
        // Visibilities change only in the page logic: the band's signature is
        // worked out again only after it ran.
        if (cb.geracao != geracao_) {
            assinatura_.clear();
            Assinatura(banda.elementos, assinatura_);
            cb.assinatura = cb.assinaturas.try_emplace(assinatura_, cb.assinaturas.size()).first->second;
            cb.geracao = geracao_;
        }
        const ChaveUnidade chave{mestre, detalhe, cb.assinatura};
        auto it = cb.unidades.find(chave);
        if (it != cb.unidades.end()) return it->second;
        auto u = std::make_shared<Unidade>(montar());
        cb.unidades.emplace(chave, u);
        return u;
    }

    // Runs a handler of the page logic, which may show and hide elements.
    void Executar(const std::function<void(Execucao&)>& evento) {
        if (!evento) return;
        evento(*this);
        ++geracao_;
    }

    std::shared_ptr<Unidade> BandaDaPagina(const Banda& banda, size_t mestre) {
        return EmCache(banda, mestre, SIZE_MAX, [&] {
            PosicionarMestre(mestre);
            return MontarBanda(banda, rel_.margemEsquerda, true);
        });
    }

    std::shared_ptr<Unidade> MontarPasso(const Passo& p) {
        const bool doMestre = p.tipo == TipoPasso::DetalheMestre || p.tipo == TipoPasso::RodapeGrupo;
        const size_t detalhe = doMestre || p.detalhes->empty() ? SIZE_MAX : (*p.detalhes)[p.detalhe];
        return EmCache(*p.banda, p.registroMestre, detalhe, [&] {
            PosicionarMestre(p.registroMestre);
            if (doMestre) return MontarBanda(*p.banda, rel_.margemEsquerda, false);
            if (detalhe != SIZE_MAX) Posicionar(p.sub->sub->pipeline, detalhe);
            return MontarBanda(*p.banda, rel_.margemEsquerda + p.sub->g.x, true);
        });
    }

    // Height of a keep-together sub-report from step i on.
    Mm AlturaSub(const Grupo& g, size_t i) {
        Mm total = 0;
        const Elemento* sub = g.passos[i].sub;
        const size_t mestre = g.passos[i].registroMestre;
        for (; i < g.passos.size() && g.passos[i].sub == sub && g.passos[i].registroMestre == mestre; ++i) {
            if (!g.passos[i].banda->visivel) continue;
            total += MontarPasso(g.passos[i])->altura;
            if (g.passos[i].tipo == TipoPasso::Sumario) break;
        }
        return total;
    }

    // Asks the page logic whether it would show the band if this page were
    // the group's last, then restores this page's settings.
    bool VisivelNaUltimaPagina(const Banda& banda) {
        if (!rel_.aoIniciarPagina) return false;
        const int total = total_;
        total_ = numero_;
        Executar(rel_.aoIniciarPagina);
        const bool visivel = banda.visivel;
        total_ = total;
        Executar(rel_.aoIniciarPagina);
        return visivel;
    }

    // Lays out one page of group `g` from the cursor; returns true when the
    // group's content ended on it.
    bool MontarPagina(Grupo& g, Cursor& c, int numero, int total, Pagina& p) {
        numero_ = numero;
        total_ = total;
        p.largura = rel_.larguraPapel;
        p.altura = rel_.alturaPapel;
        p.grupo = grupo_;
        p.numero = numero;
        p.total = total;
        p.itens.clear();
        // Pages of a document hold about as many items as the largest so far:
        // room for them at once, instead of growing (and moving) item by item.
        if (saida_) p.itens.reserve(maiorPagina_);
        Executar(rel_.aoIniciarPagina);

        const size_t regAtual = g.passos[std::min(c.passo, g.passos.size() - 1)].registroMestre;
        Mm y = rel_.margemSuperior;
        if (rel_.cabecalhoPagina.visivel) {
            const auto u = BandaDaPagina(rel_.cabecalhoPagina, regAtual);
            ColocarInteira(*u, y, p);
            y += u->altura;
        }
        Executar(rel_.antesGerarCabecalhoGrupo);
        if (rel_.cabecalhoGrupo.visivel) {
            const auto u = BandaDaPagina(rel_.cabecalhoGrupo, regAtual);
            ColocarInteira(*u, y, p);
            y += u->altura;
        }
        const bool comRodape = rel_.rodapePagina.visivel;
        const Mm fundo = rel_.alturaPapel - rel_.margemInferior - (comRodape ? rel_.rodapePagina.altura : 0);
        const bool ultima = numero >= total;

        bool corpoVazio = true;
        bool terminou = false;
        std::unordered_map<const Banda*, int> linhas;
        std::vector<size_t> mestresNaPagina;
        while (true) {
            bool nova = false;
            if (!c.atual) {
                if (c.passo >= g.passos.size()) {
                    terminou = true;
                    break;
                }
                const Passo& passo = g.passos[c.passo];
                if (!passo.banda->visivel) {
                    // A band hidden on this page is skipped, unless the page
                    // logic shows it on the group's last page (a closing band):
                    // then it waits for a later page, so that no content is
                    // lost, and begins anyway on an empty body.
                    if (ultima || !VisivelNaUltimaPagina(*passo.banda)) {
                        ++c.passo;
                        continue;
                    }
                    if (!corpoVazio) break;
                }
                if (passo.tipo == TipoPasso::Linha && passo.banda->printCount > 0 &&
                    linhas[passo.banda] >= passo.banda->printCount)
                    break;
                if (!corpoVazio && y >= fundo) break;
                if (passo.tipo == TipoPasso::Titulo && passo.sub->sub->keepTogether && !corpoVazio &&
                    std::any_of(mestresNaPagina.begin(), mestresNaPagina.end(),
                                [&](size_t r) { return r != passo.registroMestre; }) &&
                    AlturaSub(g, c.passo) > fundo - y)
                    break;
                auto u = MontarPasso(passo);
                if (u->estatica && u->altura > fundo - y && !corpoVazio) break;
                if (passo.tipo == TipoPasso::Linha) ++linhas[passo.banda];
                if (std::find(mestresNaPagina.begin(), mestresNaPagina.end(), passo.registroMestre) ==
                    mestresNaPagina.end())
                    mestresNaPagina.push_back(passo.registroMestre);
                c.colocado.assign(u->atomos.size(), 0);
                c.atual = std::move(u);
                nova = true;
            }
            Unidade& u = *c.atual;
            // Where this page's part of the unit starts, in the unit's coordinates.
            Mm inicio = 0;
            if (!nova) {
                inicio = std::numeric_limits<Mm>::max();
                for (size_t i = 0; i < u.atomos.size(); ++i)
                    if (!c.colocado[i] && !u.atomos[i].segue) inicio = std::min(inicio, u.atomos[i].y);
                if (inicio == std::numeric_limits<Mm>::max()) inicio = 0;
            }
            const Mm disponivel = fundo - y;
            std::vector<uint8_t>& agora = agora_;
            agora.assign(u.atomos.size(), 0);
            bool todos = true, algum = false;
            Mm fimConteudo = inicio;
            for (size_t i = 0; i < u.atomos.size(); ++i) {
                const Atomo& a = u.atomos[i];
                if (a.segue || c.colocado[i]) continue;
                if (u.estatica || a.y + a.h - inicio <= disponivel) {
                    agora[i] = 1;
                    algum = true;
                    fimConteudo = std::max(fimConteudo, a.y + a.h);
                } else {
                    todos = false;
                }
            }
            if (nova && !algum && !todos && !corpoVazio) {
                // Not begun after all: the unit starts on the next page.
                if (g.passos[c.passo].tipo == TipoPasso::Linha) --linhas[g.passos[c.passo].banda];
                c.atual.reset();
                break;
            }
            if (!algum && !todos && corpoVazio) {
                // Nothing fits even on an empty body: place the topmost pieces
                // anyway, so that every page makes progress.
                for (size_t i = 0; i < u.atomos.size(); ++i)
                    if (!u.atomos[i].segue && !c.colocado[i] && u.atomos[i].y == inicio) {
                        agora[i] = 1;
                        fimConteudo = std::max(fimConteudo, u.atomos[i].y + u.atomos[i].h);
                    }
                todos = std::all_of(u.atomos.begin(), u.atomos.end(), [&](const Atomo& a) {
                    const size_t i = &a - u.atomos.data();
                    return a.segue || c.colocado[i] || agora[i];
                });
                algum = true;
            }
            const Mm fimParte = todos ? u.altura : fimConteudo;
            const Mm dy = y - inicio;
            for (size_t i = 0; i < u.atomos.size(); ++i) {
                Atomo& a = u.atomos[i];
                if (a.segue) {
                    if (!saida_ || a.fim <= inicio || a.y >= fimParte) continue;
                    for (uint32_t k = a.de; k < a.ate; ++k) {
                        Item item = u.itens[k];
                        CortarItem(item, std::max(a.y, inicio), std::min(a.fim, fimParte));
                        DeslocarItem(item, dy);
                        p.itens.push_back(std::move(item));
                    }
                    continue;
                }
                if (!agora[i]) continue;
                c.colocado[i] = 1;
                if (!saida_) continue;
                if (a.variavel) {
                    EmitirVariavel(a, dy, p);
                    continue;
                }
                // The output pass places a body unit's pieces once: they move
                // into the page instead of being copied.
                for (uint32_t k = a.de; k < a.ate; ++k) {
                    DeslocarItem(u.itens[k], dy);
                    p.itens.push_back(std::move(u.itens[k]));
                }
            }
            y += fimParte - inicio;
            if (algum || u.altura > 0) corpoVazio = false;
            if (!todos) break;
            c.atual.reset();
            ++c.passo;
        }
        if (rel_.rodapePagina.visivel) {
            const auto u = BandaDaPagina(rel_.rodapePagina, regAtual);
            ColocarInteira(*u, rel_.alturaPapel - rel_.margemInferior - u->altura, p);
        }
        return terminou;
    }

    // Lays out every group; with `totais` empty each page is first tried as
    // its group's last page (the counting pass), else the totals are shown.
    std::vector<Pagina> Passo1(std::vector<Grupo>& grupos, const std::vector<int>& totais,
                               std::vector<int>& contados) {
        std::vector<Pagina> paginas;
        contados.assign(grupos.size(), 0);
        for (size_t gi = 0; gi < grupos.size(); ++gi) {
            grupo_ = static_cast<int>(gi) + 1;
            Cursor c;
            int numero = 1;
            while (true) {
                // A runaway layout, or a hostile text, fails instead of eating the machine.
                if (paginas.size() >= limites::kPaginasPorDocumento)
                    throw Falha("O documento excede o limite de " + std::to_string(limites::kPaginasPorDocumento) +
                                " páginas.");
                Pagina p;
                paginaAtual_ = paginas.size();
                const size_t marca = contagens_.size();
                bool terminou;
                if (totais.empty()) {
                    Cursor tentativa = c;
                    terminou = MontarPagina(grupos[gi], tentativa, numero, numero, p);
                    if (terminou) {
                        c = std::move(tentativa);
                    } else {
                        contagens_.resize(marca);
                        terminou = MontarPagina(grupos[gi], c, numero, numero + 1, p);
                    }
                } else {
                    terminou = MontarPagina(grupos[gi], c, numero, totais[gi], p);
                }
                maiorPagina_ = std::max(maiorPagina_, p.itens.size());
                paginas.push_back(std::move(p));
                if (terminou) break;
                ++numero;
            }
            contados[gi] = numero;
        }
        return paginas;
    }

    Relatorio& rel_;
    const std::vector<const data::Pipeline*>& pipelines_;
    const fontes::Metricas& metricas_;
    OpcoesMotor opcoes_;
    int segundos_ = 0;
    int mestre_ = -1;
    int campoQuebra_ = -1;
    std::unordered_map<const Elemento*, Ligacao> ligacoes_;
    mutable std::map<std::string, int, std::less<>> indicesPipeline_;
    std::vector<const std::vector<data::Valor>*> registros_;
    int numero_ = 0, total_ = 0, grupo_ = 0;
    bool saida_ = false;

    // Page-count texts written, to set right should a group's count change.
    struct Contagem {
        size_t pagina, item;
        const Elemento* elemento;
        Mm x0;
    };
    std::vector<Contagem> contagens_;
    size_t paginaAtual_ = 0;
    size_t maiorPagina_ = 0;

    struct ChaveUnidade {
        size_t mestre, detalhe;
        uint32_t assinatura;
        bool operator==(const ChaveUnidade&) const = default;
    };
    struct HashChave {
        size_t operator()(const ChaveUnidade& c) const {
            uint64_t h = c.mestre * 0x9E3779B97F4A7C15ULL;
            h ^= (c.detalhe + 0x632BE59BD9B4E019ULL + (h << 6) + (h >> 2)) * 0xBF58476D1CE4E5B9ULL;
            h ^= c.assinatura + (h >> 29);
            return static_cast<size_t>(h);
        }
    };
    struct CacheBanda {
        uint64_t geracao = UINT64_MAX;  // of the page logic when `assinatura` was worked out
        uint32_t assinatura = 0;        // the current visibility signature, numbered
        std::unordered_map<std::string, uint32_t> assinaturas;
        std::unordered_map<ChaveUnidade, std::shared_ptr<Unidade>, HashChave> unidades;
    };
    // The band instances of this run live in one arena, made of blocks that
    // later runs reuse; it goes after the units in it.
    std::pmr::monotonic_buffer_resource arena_{size_t{256} << 10, memoria::Documentos()};
    std::unordered_map<const Banda*, CacheBanda> cache_;
    uint64_t geracao_ = 0;     // handler runs so far
    std::string assinatura_;   // scratch for signatures
    std::vector<uint8_t> agora_;  // scratch: the pieces of a unit placed on this page
};

Documento Motor::Gerar() {
    Documento doc;
    doc.layout = rel_.nome;
    doc.nomeTrabalho = rel_.nomeTrabalho;

    std::vector<Grupo> grupos;
    if (mestre_ >= 0) {
        const data::Pipeline& pm = *pipelines_[mestre_];
        const auto regs = pm.Registros(nullptr);
        std::string anterior;
        for (size_t i = 0; i < regs.size(); ++i) {
            const std::string chave =
                campoQuebra_ >= 0 ? data::ValorComoTexto(pm.Dados().Registro(regs[i])[campoQuebra_]) : std::string();
            if (grupos.empty() || (campoQuebra_ >= 0 && chave != anterior)) grupos.emplace_back();
            grupos.back().registros.push_back(regs[i]);
            anterior = chave;
        }
    }
    if (grupos.empty()) {
        doc.paginas.push_back(Pagina{rel_.larguraPapel, rel_.alturaPapel, 1, 1, 1, {}});
        return doc;
    }
    for (auto& g : grupos) MontarPrograma(g);

    // Counting pass, then output passes until every group shows its true
    // count (the page logic may depend on it); a hard cap keeps it finite.
    std::vector<int> totais, contados;
    saida_ = false;
    contagens_.clear();
    Passo1(grupos, {}, totais);
    saida_ = true;
    std::vector<Pagina> paginas;
    for (int tentativa = 0; tentativa < 4; ++tentativa) {
        contagens_.clear();
        // An output pass moves the pieces of body units into its pages: a
        // further pass lays them out anew.
        if (tentativa > 0) cache_.clear();
        paginas = Passo1(grupos, totais, contados);
        if (contados == totais) break;
        totais = contados;
    }
    // Should the counts still differ, the printed totals are set right.
    if (contados != totais) {
        for (auto& pg : paginas) pg.total = contados[pg.grupo - 1];
        for (const auto& ct : contagens_) {
            auto& pg = paginas[ct.pagina];
            auto& t = std::get<ItemTexto>(pg.itens[ct.item]);
            Itens novo;
            numero_ = pg.numero;
            total_ = pg.total;
            Textos(*ct.elemento, TextoVariavel(*ct.elemento), ct.x0, t.recorte ? t.recorte->y : t.caixa.y, novo);
            if (!novo.empty()) t = std::get<ItemTexto>(novo.front());
        }
    }
    doc.paginas = std::move(paginas);
    return doc;
}

}  // namespace

Documento Gerar(Relatorio& relatorio, const std::vector<const data::Pipeline*>& pipelines,
                const fontes::Metricas& metricas, const OpcoesMotor& opcoes) {
    Motor m(relatorio, pipelines, metricas, opcoes);
    return m.Gerar();
}

}  // namespace corvexa::report
