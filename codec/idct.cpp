#include "codec/idct.h"

#include <cstring>

// The column pass is written as plain loops over the eight columns so that
// the compiler can vectorise it; on x86-64 Linux an AVX2 clone is picked at
// run time when the processor has it.
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_ADDRESS__)
#define VCDALBUM_IDCT_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VCDALBUM_IDCT_CLONES
#endif

namespace vcdalbum::codec {
namespace {

using u32 = uint32_t;

constexpr u32 C0298 = 2446, C0390 = 3196, C0541 = 4433, C0765 = 6270, C0899 = 7373, C1175 = 9633,
              C1501 = 12299, C1847 = 15137, C1961 = 16069, C2053 = 16819, C2562 = 20995, C3072 = 25172;

inline int32_t Descale(u32 v, u32 round, int shift) { return static_cast<int32_t>(v + round) >> shift; }

// One 8-point transform; outputs before descaling.
template <typename T>
inline void TransformT(T d0, T d1, T d2, T d3, T d4, T d5, T d6, T d7, T o[8]) {
    T z1 = (d2 + d6) * C0541;
    const T t2 = z1 - d6 * C1847;
    const T t3 = z1 + d2 * C0765;
    const T t0 = (d0 + d4) * 8192u;
    const T t1 = (d0 - d4) * 8192u;
    const T e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;

    z1 = d7 + d1;
    T z2 = d5 + d3, z3 = d7 + d3, z4 = d5 + d1;
    const T z5 = (z3 + z4) * C1175;
    T u7 = d7 * C0298, u5 = d5 * C2053, u3 = d3 * C3072, u1 = d1 * C1501;
    z1 *= 0u - C0899;
    z2 *= 0u - C2562;
    z3 = z3 * (0u - C1961) + z5;
    z4 = z4 * (0u - C0390) + z5;
    u7 += z1 + z3;
    u5 += z2 + z4;
    u3 += z2 + z3;
    u1 += z1 + z4;

    o[0] = e10 + u1; o[7] = e10 - u1;
    o[1] = e11 + u3; o[6] = e11 - u3;
    o[2] = e12 + u5; o[5] = e12 - u5;
    o[3] = e13 + u7; o[4] = e13 - u7;
}

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"  // the vectors never cross a library boundary
// Eight columns at once in vector registers; the compiler maps the vectors
// onto whatever the target has (two SSE2 registers, one AVX2 register).
typedef u32 Lanes __attribute__((vector_size(32)));
typedef int32_t SignedLanes __attribute__((vector_size(32)));
typedef uint8_t ByteLanes __attribute__((vector_size(8)));

template <int rows>
VCDALBUM_IDCT_CLONES void ColumnPass(const int32_t* __restrict ws, uint8_t* __restrict out, size_t stride) {
    Lanes d[8];
    for (int k = 0; k < 8; ++k) {
        if (k < rows) std::memcpy(&d[k], ws + 8 * k, sizeof(Lanes));
        else d[k] = Lanes{} ;
    }
    Lanes o[8];
    TransformT<Lanes>(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], o);
    for (int m = 0; m < 8; ++m) {
        SignedLanes v = (reinterpret_cast<SignedLanes&>(o[m] += 131072u) >> 18) + 128;
        v = v < 0 ? 0 : v;
        v = v > 255 ? 255 : v;
        const ByteLanes bytes = __builtin_convertvector(v, ByteLanes);
        std::memcpy(out + m * stride, &bytes, 8);
    }
}
#else
inline uint8_t Clamp(int32_t v) {
    v += 128;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

template <int rows>
void ColumnPass(const int32_t* ws, uint8_t* out, size_t stride) {
    for (int j = 0; j < 8; ++j) {
        u32 d[8], o[8];
        for (int k = 0; k < 8; ++k) d[k] = k < rows ? static_cast<u32>(ws[8 * k + j]) : 0u;
        TransformT<u32>(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], o);
        for (int m = 0; m < 8; ++m) out[m * stride + j] = Clamp(Descale(o[m], 131072u, 18));
    }
}
#endif

}  // namespace

void InverseDct(int32_t* block, uint32_t rowMask, uint8_t* out, size_t stride) {
    // Row pass, in place. All-zero rows stay zero; a row with only its first
    // term gives that term times 4 in every position, as the full transform
    // would ((d0 * 8192 + 1024) >> 11).
    for (int r = 0; r < 8; ++r) {
        if (!(rowMask & (1u << r))) continue;
        int32_t* row = block + 8 * r;
        if ((row[1] | row[2] | row[3] | row[4] | row[5] | row[6] | row[7]) == 0) {
            const int32_t v = static_cast<int32_t>(static_cast<u32>(row[0]) * 4u);
            for (int k = 0; k < 8; ++k) row[k] = v;
            continue;
        }
        u32 o[8];
        TransformT<u32>(static_cast<u32>(row[0]), static_cast<u32>(row[1]), static_cast<u32>(row[2]),
                  static_cast<u32>(row[3]), static_cast<u32>(row[4]), static_cast<u32>(row[5]),
                  static_cast<u32>(row[6]), static_cast<u32>(row[7]), o);
        for (int k = 0; k < 8; ++k) row[k] = Descale(o[k], 1024u, 11);
    }
    if ((rowMask & 0xF0u) == 0)
        ColumnPass<4>(block, out, stride);
    else
        ColumnPass<8>(block, out, stride);
    for (int r = 0; r < 8; ++r)
        if (rowMask & (1u << r)) std::memset(block + 8 * r, 0, 8 * sizeof(int32_t));
}

}  // namespace vcdalbum::codec
