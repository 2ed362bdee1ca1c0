#include "codec/idct.h"

#include <cstring>

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"  // the vectors never cross a library boundary
#endif

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
// Eight rows or columns at once in vector registers; the compiler maps the
// vectors onto whatever the target has (two SSE2 registers, one AVX2
// register, or plain scalar code).
typedef u32 Lanes __attribute__((vector_size(32)));
typedef int32_t SignedLanes __attribute__((vector_size(32)));
typedef uint8_t ByteLanes __attribute__((vector_size(8)));

inline Lanes DescaleLanes(Lanes v, u32 round, int shift) {
    return (Lanes)((SignedLanes)(v + round) >> shift);  // vector casts reinterpret the bits
}

inline void Transpose(const Lanes in[8], Lanes out[8]) {
    Lanes t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = __builtin_shufflevector(in[i], in[i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[i + 1] = __builtin_shufflevector(in[i], in[i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    for (int i = 0; i < 8; i += 4) {
        u[i] = __builtin_shufflevector(t[i], t[i + 2], 0, 1, 8, 9, 4, 5, 12, 13);
        u[i + 1] = __builtin_shufflevector(t[i], t[i + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        u[i + 2] = __builtin_shufflevector(t[i + 1], t[i + 3], 0, 1, 8, 9, 4, 5, 12, 13);
        u[i + 3] = __builtin_shufflevector(t[i + 1], t[i + 3], 2, 3, 10, 11, 6, 7, 14, 15);
    }
    for (int i = 0; i < 4; ++i) {
        out[i] = __builtin_shufflevector(u[i], u[i + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        out[i + 4] = __builtin_shufflevector(u[i], u[i + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

// `columns` / `rows`: how many leading coefficient columns / rows may be
// non-zero (2, 4 or 8); the compiler drops the terms of the others.
template <int columns, int rows>
VCDALBUM_IDCT_CLONES void Transform2D(const int32_t* __restrict block, uint8_t* __restrict out, size_t stride) {
    // Row pass: lane r works on coefficient row r; d[k] holds column k.
    Lanes d[8];
    for (int k = 0; k < 8; ++k) {
        if (k < columns) std::memcpy(&d[k], block + 8 * k, sizeof(Lanes));
        else d[k] = Lanes{};
    }
    Lanes o[8];
    TransformT<Lanes>(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], o);
    for (int m = 0; m < 8; ++m) o[m] = DescaleLanes(o[m], 1024u, 11);
    // o[m] lane r is row r, position m; the column pass wants rows as vectors.
    Lanes w[8];
    Transpose(o, w);
    for (int k = rows; k < 8; ++k) w[k] = Lanes{};
    TransformT<Lanes>(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], o);
    for (int m = 0; m < 8; ++m) {
        SignedLanes v = (SignedLanes)DescaleLanes(o[m], 131072u, 18) + 128;
        v = v < 0 ? 0 : v;
        v = v > 255 ? 255 : v;
        const ByteLanes bytes = __builtin_convertvector(v, ByteLanes);
        std::memcpy(out + m * stride, &bytes, 8);
    }
}
#else
inline int32_t Descale(u32 v, u32 round, int shift) { return static_cast<int32_t>(v + round) >> shift; }

inline uint8_t Clamp(int32_t v) {
    v += 128;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

template <int columns, int rows>
void Transform2D(const int32_t* block, uint8_t* out, size_t stride) {
    int32_t ws[64];
    for (int r = 0; r < 8; ++r) {
        u32 o[8];
        TransformT<u32>(static_cast<u32>(block[r]), static_cast<u32>(block[8 + r]), static_cast<u32>(block[16 + r]),
                        static_cast<u32>(block[24 + r]), static_cast<u32>(block[32 + r]), static_cast<u32>(block[40 + r]),
                        static_cast<u32>(block[48 + r]), static_cast<u32>(block[56 + r]), o);
        for (int k = 0; k < 8; ++k) ws[8 * r + k] = Descale(o[k], 1024u, 11);
    }
    for (int j = 0; j < 8; ++j) {
        u32 d[8], o[8];
        for (int k = 0; k < 8; ++k) d[k] = static_cast<u32>(ws[8 * k + j]);
        TransformT<u32>(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], o);
        for (int m = 0; m < 8; ++m) out[m * stride + j] = Clamp(Descale(o[m], 131072u, 18));
    }
}
#endif

}  // namespace

namespace {

// How many leading rows or columns hold every non-zero term: 2, 4 or 8.
inline int Extent(uint32_t mask) { return (mask & 0xFCu) == 0 ? 2 : (mask & 0xF0u) == 0 ? 4 : 8; }

template <int columns>
void TransformRows(const int32_t* block, int rows, uint8_t* out, size_t stride) {
    if (rows == 2) Transform2D<columns, 2>(block, out, stride);
    else if (rows == 4) Transform2D<columns, 4>(block, out, stride);
    else Transform2D<columns, 8>(block, out, stride);
}

}  // namespace

void InverseDct(int32_t* block, uint32_t rowMask, uint32_t columnMask, uint8_t* out, size_t stride) {
    const int rows = Extent(rowMask), columns = Extent(columnMask);
    if (columns == 2) TransformRows<2>(block, rows, out, stride);
    else if (columns == 4) TransformRows<4>(block, rows, out, stride);
    else TransformRows<8>(block, rows, out, stride);
    for (int c = 0; c < 8; ++c)
        if (columnMask & (1u << c)) std::memset(block + 8 * c, 0, 8 * sizeof(int32_t));
}

}  // namespace vcdalbum::codec
