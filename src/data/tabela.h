#pragma once
// In-memory tables with typed fields, and the pipelines that publish them to
// the report engine (master-detail views linked by a text field).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/valores.h"

namespace corvexa::data {

enum class TipoCampo : uint8_t { Texto, Data, Decimal, Inteiro };

struct DefCampo {
    std::string nome;
    TipoCampo tipo;
    int tamanho = 0;  // maximum length of a text field; 0 for the other kinds
};

// A field value; std::monostate is the empty (null) field. Texts are 8-bit.
using Valor = std::variant<std::monostate, std::string, Data, Decimal, int32_t>;

// The value as the plain text a field shows without a display format
// (decimals in their shortest form, dates dd/mm/yyyy, empty for null).
std::string ValorComoTexto(const Valor& v);

class Tabela {
public:
    // `indice`: name of a text field the records are kept ordered by (stable,
    // ascending by byte comparison), or empty for insertion order.
    Tabela(std::string nome, std::vector<DefCampo> campos, std::string indice = {});

    const std::string& Nome() const { return nome_; }
    const std::vector<DefCampo>& Campos() const { return campos_; }
    // Field position by name, letter case ignored; -1 when there is none.
    int IndiceCampo(std::string_view nome) const;

    // Ends any pending record and removes every record.
    void Esvaziar();
    // Starts a pending record at the end; it is the current record until stored.
    void Adicionar();
    // Stores the pending record (into its place in the index order).
    void Gravar();
    bool TemPendente() const { return pendente_.has_value(); }

    // Writes to the pending record. Texts are cut to the field size. Fails with
    // "Invalid value for field '%s'" when a value does not fit the field type.
    void DefinirTexto(std::string_view campo, std::string_view valor);
    void DefinirDecimal(std::string_view campo, Decimal valor);
    void DefinirData(std::string_view campo, Data valor);
    void DefinirInteiro(std::string_view campo, int32_t valor);
    void LimparCampo(std::string_view campo);

    // Reads a field of the current record (the pending one while there is one,
    // else the last stored); an empty field, or no record, gives the empty value.
    const Valor& Ler(std::string_view campo) const;
    std::string LerTexto(std::string_view campo) const;

    // Stored records in the table's active order.
    size_t Quantidade() const { return registros_.size(); }
    const std::vector<Valor>& Registro(size_t i) const { return registros_[i]; }

private:
    int Exigir(std::string_view campo) const;
    std::vector<Valor>& Pendente();

    std::string nome_;
    std::vector<DefCampo> campos_;
    int indice_ = -1;
    std::vector<std::vector<Valor>> registros_;
    std::optional<std::vector<Valor>> pendente_;
    long atual_ = -1;  // index in registros_ of the last stored record
};

// Publishes a table to the report engine. A detail pipeline shows, for the
// current master record, exactly the records whose link field equals the
// master's link field (as text), in table order.
class Pipeline {
public:
    Pipeline(std::string nome, std::string nomeUsuario, const Tabela& tabela);
    Pipeline(std::string nome, std::string nomeUsuario, const Tabela& tabela,
             const Pipeline& mestre, std::string campoMestre, std::string campoDetalhe);

    const std::string& Nome() const { return nome_; }
    const std::string& NomeUsuario() const { return nomeUsuario_; }
    const Tabela& Dados() const { return tabela_; }
    const Pipeline* Mestre() const { return mestre_; }

    // Record positions visible under the given master record (every record
    // when the pipeline has no master; none for a detail pipeline given no
    // master record).
    std::vector<size_t> Registros(const std::vector<Valor>* registroMestre) const;

private:
    std::string nome_, nomeUsuario_;
    const Tabela& tabela_;
    const Pipeline* mestre_ = nullptr;
    int campoMestre_ = -1, campoDetalhe_ = -1;
};

}  // namespace corvexa::data
