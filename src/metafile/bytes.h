#pragma once
// Little-endian reads within the bounds of a record. A read past the end
// throws Curto, which the readers catch to skip that one record.
#include <cstdint>
#include <cstring>
#include <span>

namespace corvexa::metafile {

struct Curto {};

class Bytes {
public:
    Bytes() = default;
    explicit Bytes(std::span<const uint8_t> d) : d_(d) {}

    size_t Tamanho() const { return d_.size(); }
    bool Cabe(uint64_t deslocamento, uint64_t n) const {
        return deslocamento <= d_.size() && n <= d_.size() - deslocamento;
    }
    void Exigir(uint64_t deslocamento, uint64_t n) const {
        if (!Cabe(deslocamento, n)) throw Curto{};
    }

    uint8_t U8(uint64_t o) const {
        Exigir(o, 1);
        return d_[o];
    }
    uint16_t U16(uint64_t o) const {
        Exigir(o, 2);
        return static_cast<uint16_t>(d_[o] | d_[o + 1] << 8);
    }
    int16_t I16(uint64_t o) const { return static_cast<int16_t>(U16(o)); }
    uint32_t U32(uint64_t o) const {
        Exigir(o, 4);
        return static_cast<uint32_t>(d_[o]) | static_cast<uint32_t>(d_[o + 1]) << 8 |
               static_cast<uint32_t>(d_[o + 2]) << 16 | static_cast<uint32_t>(d_[o + 3]) << 24;
    }
    int32_t I32(uint64_t o) const { return static_cast<int32_t>(U32(o)); }
    float F32(uint64_t o) const {
        const uint32_t u = U32(o);
        float f;
        std::memcpy(&f, &u, sizeof f);
        return f;
    }
    Bytes Parte(uint64_t deslocamento, uint64_t n) const {
        Exigir(deslocamento, n);
        return Bytes(d_.subspan(deslocamento, n));
    }
    Bytes Resto(uint64_t deslocamento) const {
        Exigir(deslocamento, 0);
        return Bytes(d_.subspan(deslocamento));
    }
    std::span<const uint8_t> Dados() const { return d_; }

private:
    std::span<const uint8_t> d_;
};

}  // namespace corvexa::metafile
