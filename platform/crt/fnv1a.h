// A 64-bit FNV-1a hash: for keys of caches and for telling byte blocks
// apart, never for security.
//   h = 1469598103934665603; for each byte b: h = (h ^ b) * 1099511628211.
// The offset basis is not FNV's published 14695981039346656037: the
// adapters' identifiers, which the settings store per adapter, are made with
// this one, so it stays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaloom {

class Fnv1a {
public:
    static constexpr uint64_t kOffsetBasis = 1469598103934665603ull;
    static constexpr uint64_t kPrime = 1099511628211ull;

    constexpr Fnv1a& Add(const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) value_ = (value_ ^ bytes[i]) * kPrime;
        return *this;
    }
    constexpr Fnv1a& Add(std::string_view text) {
        for (char c : text) value_ = (value_ ^ static_cast<unsigned char>(c)) * kPrime;
        return *this;
    }
    // One step with a whole number in place of a byte.
    constexpr Fnv1a& AddWord(uint64_t word) {
        value_ = (value_ ^ word) * kPrime;
        return *this;
    }
    constexpr uint64_t Value() const { return value_; }

private:
    uint64_t value_ = kOffsetBasis;
};

inline uint64_t Fnv1aOf(const void* data, size_t size) { return Fnv1a().Add(data, size).Value(); }

}  // namespace tessaloom
