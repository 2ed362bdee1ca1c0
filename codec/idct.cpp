#include "codec/idct.h"

#include <cstring>

#include "codec/simd_kernels.h"

#if VCDALBUM_HAVE_AVX2
#include <immintrin.h>
#endif

namespace vcdalbum::codec {
namespace {

using u32 = uint32_t;

constexpr u32 C0298 = 2446, C0390 = 3196, C0541 = 4433, C0765 = 6270, C0899 = 7373, C1175 = 9633,
              C1501 = 12299, C1847 = 15137, C1961 = 16069, C2053 = 16819, C2562 = 20995, C3072 = 25172;

// One 8-point transform; outputs before descaling.
inline void TransformScalar(const u32 d[8], u32 o[8]) {
    u32 z1 = (d[2] + d[6]) * C0541;
    const u32 t2 = z1 - d[6] * C1847;
    const u32 t3 = z1 + d[2] * C0765;
    const u32 t0 = (d[0] + d[4]) * 8192u;
    const u32 t1 = (d[0] - d[4]) * 8192u;
    const u32 e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;

    z1 = d[7] + d[1];
    u32 z2 = d[5] + d[3], z3 = d[7] + d[3], z4 = d[5] + d[1];
    const u32 z5 = (z3 + z4) * C1175;
    u32 u7 = d[7] * C0298, u5 = d[5] * C2053, u3 = d[3] * C3072, u1 = d[1] * C1501;
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

inline int32_t Descale(u32 v, u32 round, int shift) { return static_cast<int32_t>(v + round) >> shift; }

inline uint8_t Clamp(int32_t v) {
    v += 128;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The portable transform, and the yardstick of the vector ones. The extents
// only matter to the vector kernels.
template <int columns, int rows>
void Transform2DScalar(const int32_t* block, uint8_t* out, size_t stride) {
    int32_t ws[64];
    for (int r = 0; r < 8; ++r) {
        u32 d[8], o[8];
        for (int k = 0; k < 8; ++k) d[k] = k < columns ? static_cast<u32>(block[8 * k + r]) : 0u;
        TransformScalar(d, o);
        for (int k = 0; k < 8; ++k) ws[8 * r + k] = r < rows ? Descale(o[k], 1024u, 11) : 0;
    }
    for (int j = 0; j < 8; ++j) {
        u32 d[8], o[8];
        for (int k = 0; k < 8; ++k) d[k] = static_cast<u32>(ws[8 * k + j]);
        TransformScalar(d, o);
        for (int m = 0; m < 8; ++m) out[m * stride + j] = Clamp(Descale(o[m], 131072u, 18));
    }
}

#if VCDALBUM_HAVE_AVX2
// Eight rows or columns at once, one per 32-bit lane of a 256-bit register.
// Every function here is compiled for AVX2, so vectors pass between them in
// one convention even when nothing is inlined.
using V = __m256i;

VCDALBUM_TARGET_AVX2 inline V MulLanes(V a, u32 c) {
    return _mm256_mullo_epi32(a, _mm256_set1_epi32(static_cast<int32_t>(c)));
}

VCDALBUM_TARGET_AVX2 void TransformAvx2(const V d[8], V o[8]) {
    V z1 = MulLanes(_mm256_add_epi32(d[2], d[6]), C0541);
    const V t2 = _mm256_sub_epi32(z1, MulLanes(d[6], C1847));
    const V t3 = _mm256_add_epi32(z1, MulLanes(d[2], C0765));
    const V t0 = _mm256_slli_epi32(_mm256_add_epi32(d[0], d[4]), 13);
    const V t1 = _mm256_slli_epi32(_mm256_sub_epi32(d[0], d[4]), 13);
    const V e10 = _mm256_add_epi32(t0, t3), e13 = _mm256_sub_epi32(t0, t3);
    const V e11 = _mm256_add_epi32(t1, t2), e12 = _mm256_sub_epi32(t1, t2);

    z1 = _mm256_add_epi32(d[7], d[1]);
    V z2 = _mm256_add_epi32(d[5], d[3]), z3 = _mm256_add_epi32(d[7], d[3]), z4 = _mm256_add_epi32(d[5], d[1]);
    const V z5 = MulLanes(_mm256_add_epi32(z3, z4), C1175);
    V u7 = MulLanes(d[7], C0298), u5 = MulLanes(d[5], C2053), u3 = MulLanes(d[3], C3072), u1 = MulLanes(d[1], C1501);
    z1 = MulLanes(z1, 0u - C0899);
    z2 = MulLanes(z2, 0u - C2562);
    z3 = _mm256_add_epi32(MulLanes(z3, 0u - C1961), z5);
    z4 = _mm256_add_epi32(MulLanes(z4, 0u - C0390), z5);
    u7 = _mm256_add_epi32(u7, _mm256_add_epi32(z1, z3));
    u5 = _mm256_add_epi32(u5, _mm256_add_epi32(z2, z4));
    u3 = _mm256_add_epi32(u3, _mm256_add_epi32(z2, z3));
    u1 = _mm256_add_epi32(u1, _mm256_add_epi32(z1, z4));

    o[0] = _mm256_add_epi32(e10, u1); o[7] = _mm256_sub_epi32(e10, u1);
    o[1] = _mm256_add_epi32(e11, u3); o[6] = _mm256_sub_epi32(e11, u3);
    o[2] = _mm256_add_epi32(e12, u5); o[5] = _mm256_sub_epi32(e12, u5);
    o[3] = _mm256_add_epi32(e13, u7); o[4] = _mm256_sub_epi32(e13, u7);
}

// out[j] lane i = in[i] lane j.
VCDALBUM_TARGET_AVX2 void TransposeAvx2(const V in[8], V out[8]) {
    V t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_epi32(in[i], in[i + 1]);
        t[i + 1] = _mm256_unpackhi_epi32(in[i], in[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
        u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
        u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
        u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
        u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
    }
    for (int i = 0; i < 4; ++i) {
        out[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
        out[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
    }
}

template <int columns, int rows>
VCDALBUM_TARGET_AVX2 void Transform2DAvx2(const int32_t* block, uint8_t* out, size_t stride) {
    // Row pass: lane r works on coefficient row r; d[k] holds column k.
    V d[8];
    for (int k = 0; k < 8; ++k)
        d[k] = k < columns ? _mm256_loadu_si256(reinterpret_cast<const V*>(block + 8 * k)) : _mm256_setzero_si256();
    V o[8];
    TransformAvx2(d, o);
    const V rowRound = _mm256_set1_epi32(1024);
    for (int m = 0; m < 8; ++m) o[m] = _mm256_srai_epi32(_mm256_add_epi32(o[m], rowRound), 11);
    // o[m] lane r is row r, position m; the column pass wants rows as vectors.
    V w[8];
    TransposeAvx2(o, w);
    for (int k = rows; k < 8; ++k) w[k] = _mm256_setzero_si256();
    TransformAvx2(w, o);
    const V columnRound = _mm256_set1_epi32(131072), levelShift = _mm256_set1_epi32(128);
    for (int m = 0; m < 8; ++m) {
        const V v = _mm256_add_epi32(_mm256_srai_epi32(_mm256_add_epi32(o[m], columnRound), 18), levelShift);
        // |v| < 2^14: the signed pack is exact, the unsigned one clamps to 0..255.
        const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + m * stride), _mm_packus_epi16(words, words));
    }
}
#endif

}  // namespace

#define VCDALBUM_IDCT_TABLE(fn)                                              \
    {                                                                        \
        {fn<2, 2>, fn<2, 4>, fn<2, 8>}, {fn<4, 2>, fn<4, 4>, fn<4, 8>}, {    \
            fn<8, 2>, fn<8, 4>, fn<8, 8>                                     \
        }                                                                    \
    }
const IdctKernel kIdctScalar[3][3] = VCDALBUM_IDCT_TABLE(Transform2DScalar);
#if VCDALBUM_HAVE_AVX2
const IdctKernel kIdctAvx2[3][3] = VCDALBUM_IDCT_TABLE(Transform2DAvx2);
#endif
#undef VCDALBUM_IDCT_TABLE

namespace {

// How many leading rows or columns hold every non-zero term: 2, 4 or 8, as
// the index 0, 1 or 2 of the kernel tables.
inline int Extent(uint32_t mask) { return (mask & 0xFCu) == 0 ? 0 : (mask & 0xF0u) == 0 ? 1 : 2; }

}  // namespace

void InverseDct(const CodecKernels& kernels, int32_t* block, uint32_t rowMask, uint32_t columnMask, uint8_t* out,
                size_t stride) {
    kernels.idct[Extent(columnMask)][Extent(rowMask)](block, out, stride);
    for (int c = 0; c < 8; ++c)
        if (columnMask & (1u << c)) std::memset(block + 8 * c, 0, 8 * sizeof(int32_t));
}

void InverseDct(int32_t* block, uint32_t rowMask, uint32_t columnMask, uint8_t* out, size_t stride) {
    InverseDct(ActiveKernels(), block, rowMask, columnMask, out, stride);
}

}  // namespace vcdalbum::codec
