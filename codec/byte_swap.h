// Big-endian words of the entropy-coded data: the bit reader and the bit
// writer both move eight bytes at once between memory and a 64-bit register.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace vcdalbum::codec {

inline uint64_t ByteSwap64(uint64_t v) {
#if defined(__GNUC__)
    return __builtin_bswap64(v);
#else
    uint64_t r = 0;
    for (int i = 0; i < 8; ++i) r = (r << 8) | ((v >> (8 * i)) & 0xFF);
    return r;
#endif
}

// v as eight bytes at p, most significant first.
inline void StoreBigEndian64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) v = ByteSwap64(v);
    std::memcpy(p, &v, 8);
}

}  // namespace vcdalbum::codec
