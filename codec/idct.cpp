#include "codec/idct.h"

#include <cstring>

#include "codec/simd_kernels.h"

#if VCDALBUM_HAVE_SSE2
#include <emmintrin.h>
#endif

#if VCDALBUM_HAVE_AVX2
#include <immintrin.h>
#endif

namespace vcdalbum::codec {
namespace {

using u32 = uint32_t;

constexpr u32 C0298 = 2446, C0390 = 3196, C0541 = 4433, C0765 = 6270, C0899 = 7373, C1175 = 9633,
              C1501 = 12299, C1847 = 15137, C1961 = 16069, C2053 = 16819, C2562 = 20995, C3072 = 25172;

// One 8-point transform; outputs before descaling. T is a 32-bit word or
// a vector of them; arrays keep vectors out of the calling convention.
template <typename T>
inline void TransformT(const T* d, T* o) {
    T z1 = (d[2] + d[6]) * C0541;
    const T t2 = z1 - d[6] * C1847;
    const T t3 = z1 + d[2] * C0765;
    const T t0 = (d[0] + d[4]) * 8192u;
    const T t1 = (d[0] - d[4]) * 8192u;
    const T e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;

    z1 = d[7] + d[1];
    T z2 = d[5] + d[3], z3 = d[7] + d[3], z4 = d[5] + d[1];
    const T z5 = (z3 + z4) * C1175;
    T u7 = d[7] * C0298, u5 = d[5] * C2053, u3 = d[3] * C3072, u1 = d[1] * C1501;
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

// The portable transform, and the yardstick of the vector ones; like them it
// takes the coefficients outside the extents as zero.
template <int columns, int rows>
void Transform2DScalar(int32_t* block, uint8_t* out, size_t stride) {
    int32_t ws[64];
    for (int r = 0; r < rows; ++r) {
        u32 d[8], o[8];
        for (int k = 0; k < 8; ++k) d[k] = k < columns ? static_cast<u32>(block[8 * k + r]) : 0u;
        TransformT<u32>(d, o);
        for (int k = 0; k < 8; ++k) ws[8 * r + k] = Descale(o[k], 1024u, 11);
    }
    std::memset(block, 0, 8 * columns * sizeof(int32_t));
    for (int j = 0; j < 8; ++j) {
        u32 d[8], o[8];
        for (int k = 0; k < 8; ++k) d[k] = k < rows ? static_cast<u32>(ws[8 * k + j]) : 0u;
        TransformT<u32>(d, o);
        for (int m = 0; m < 8; ++m) out[m * stride + j] = Clamp(Descale(o[m], 131072u, 18));
    }
}

#if VCDALBUM_HAVE_SSE2
// Eight rows or columns at once in vector variables that the compiler maps
// onto two SSE2 registers. They only ever pass by address, so no function
// boundary sees a vector the base instruction set cannot hold.
typedef u32 Lanes __attribute__((vector_size(32)));
typedef int32_t SignedLanes __attribute__((vector_size(32)));
typedef uint8_t ByteLanes __attribute__((vector_size(8)));

inline void TransposeLanes(const Lanes* in, Lanes* out) {
    Lanes t[8], u[8];
    VCDALBUM_UNROLL
    for (int i = 0; i < 8; i += 2) {
        t[i] = __builtin_shufflevector(in[i], in[i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[i + 1] = __builtin_shufflevector(in[i], in[i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    VCDALBUM_UNROLL
    for (int i = 0; i < 8; i += 4) {
        u[i] = __builtin_shufflevector(t[i], t[i + 2], 0, 1, 8, 9, 4, 5, 12, 13);
        u[i + 1] = __builtin_shufflevector(t[i], t[i + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        u[i + 2] = __builtin_shufflevector(t[i + 1], t[i + 3], 0, 1, 8, 9, 4, 5, 12, 13);
        u[i + 3] = __builtin_shufflevector(t[i + 1], t[i + 3], 2, 3, 10, 11, 6, 7, 14, 15);
    }
    VCDALBUM_UNROLL
    for (int i = 0; i < 4; ++i) {
        out[i] = __builtin_shufflevector(u[i], u[i + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        out[i + 4] = __builtin_shufflevector(u[i], u[i + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

// The whole transform by 32-bit products, for blocks whose terms do not all
// fit in 16 bits (damaged data).
template <int columns, int rows>
void Transform2DSse2Wide(int32_t* __restrict block, uint8_t* __restrict out, size_t stride) {
    // Row pass: lane r works on coefficient row r; d[k] holds column k.
    Lanes d[8];
    VCDALBUM_UNROLL
    for (int k = 0; k < 8; ++k) {
        if (k < columns) {
            std::memcpy(&d[k], block + 8 * k, sizeof(Lanes));
            std::memset(block + 8 * k, 0, sizeof(Lanes));
        } else {
            d[k] = Lanes{};
        }
    }
    Lanes o[8];
    TransformT<Lanes>(d, o);
    VCDALBUM_UNROLL
    for (int m = 0; m < 8; ++m) o[m] = (Lanes)((SignedLanes)(o[m] + 1024u) >> 11);  // casts reinterpret the bits
    // o[m] lane r is row r, position m; the column pass wants rows as vectors.
    Lanes w[8];
    TransposeLanes(o, w);
    VCDALBUM_UNROLL
    for (int k = rows; k < 8; ++k) w[k] = Lanes{};
    TransformT<Lanes>(w, o);
    VCDALBUM_UNROLL
    for (int m = 0; m < 8; ++m) {
        SignedLanes v = ((SignedLanes)(o[m] + 131072u) >> 18) + 128;
        v = v < 0 ? 0 : v;
        v = v > 255 ? 255 : v;
        const ByteLanes bytes = __builtin_convertvector(v, ByteLanes);
        std::memcpy(out + m * stride, &bytes, 8);
    }
}

// Eight rows or columns at once as 16-bit lanes of one register, the form the
// SSE2 multiply-add takes directly; its 32-bit sums come in two registers.
#define VCDALBUM_SSE2_INLINE inline __attribute__((always_inline))

struct WideSums {
    __m128i lo, hi;  // lanes 0-3 and 4-7
};

VCDALBUM_SSE2_INLINE WideSums AddSums(const WideSums& a, const WideSums& b) {
    return {_mm_add_epi32(a.lo, b.lo), _mm_add_epi32(a.hi, b.hi)};
}

VCDALBUM_SSE2_INLINE WideSums SubSums(const WideSums& a, const WideSums& b) {
    return {_mm_sub_epi32(a.lo, b.lo), _mm_sub_epi32(a.hi, b.hi)};
}

// a * wa + b * wb per lane.
VCDALBUM_SSE2_INLINE WideSums MaddWords(const __m128i& a, const __m128i& b, int32_t wa, int32_t wb) {
    const __m128i w = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(wa)) |
                                     static_cast<int32_t>(static_cast<uint32_t>(wb) << 16));
    return {_mm_madd_epi16(_mm_unpacklo_epi16(a, b), w), _mm_madd_epi16(_mm_unpackhi_epi16(a, b), w)};
}

// The transform with its products regrouped into one weight per input (see
// TransformMaddAvx2 below); only the first n inputs may be non-zero.
template <int n>
VCDALBUM_SSE2_INLINE void TransformWords(const __m128i* d, WideSums* o) {
    constexpr int32_t c0298 = C0298, c0390 = C0390, c0541 = C0541, c0765 = C0765, c0899 = C0899, c1175 = C1175,
                      c1501 = C1501, c1847 = C1847, c1961 = C1961, c2053 = C2053, c2562 = C2562, c3072 = C3072;
    const __m128i zero = _mm_setzero_si128();
    const __m128i& d4 = n > 4 ? d[4] : zero;
    const __m128i& d3 = n > 2 ? d[3] : zero;
    const WideSums t0 = MaddWords(d[0], d4, 8192, 8192);
    const WideSums t1 = MaddWords(d[0], d4, 8192, -8192);
    WideSums t2{zero, zero}, t3{zero, zero};
    if (n > 2) {
        const __m128i& d6 = n > 4 ? d[6] : zero;
        t2 = MaddWords(d[2], d6, c0541, c0541 - c1847);
        t3 = MaddWords(d[2], d6, c0541 + c0765, c0541);
    }
    const WideSums e10 = AddSums(t0, t3), e13 = SubSums(t0, t3), e11 = AddSums(t1, t2), e12 = SubSums(t1, t2);
    WideSums u1 = MaddWords(d[1], d3, c1501 - c0899 - c0390 + c1175, c1175);
    WideSums u3 = MaddWords(d[1], d3, c1175, c3072 - c2562 - c1961 + c1175);
    WideSums u5 = MaddWords(d[1], d3, c1175 - c0390, c1175 - c2562);
    WideSums u7 = MaddWords(d[1], d3, c1175 - c0899, c1175 - c1961);
    if (n > 4) {
        u1 = AddSums(u1, MaddWords(d[5], d[7], c1175 - c0390, c1175 - c0899));
        u3 = AddSums(u3, MaddWords(d[5], d[7], c1175 - c2562, c1175 - c1961));
        u5 = AddSums(u5, MaddWords(d[5], d[7], c2053 - c2562 - c0390 + c1175, c1175));
        u7 = AddSums(u7, MaddWords(d[5], d[7], c1175, c0298 - c0899 - c1961 + c1175));
    }
    o[0] = AddSums(e10, u1); o[7] = SubSums(e10, u1);
    o[1] = AddSums(e11, u3); o[6] = SubSums(e11, u3);
    o[2] = AddSums(e12, u5); o[5] = SubSums(e12, u5);
    o[3] = AddSums(e13, u7); o[4] = SubSums(e13, u7);
}

// Collects whether a 32-bit lane leaves -32768 .. 32767: any bit above the
// lowest 16 of the biased value.
VCDALBUM_SSE2_INLINE void NoteRange(const __m128i& v, __m128i& outside) {
    outside = _mm_or_si128(outside, _mm_add_epi32(v, _mm_set1_epi32(32768)));
}

VCDALBUM_SSE2_INLINE bool InRange(const __m128i& outside) {
    return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(outside, 16), _mm_setzero_si128())) == 0xFFFF;
}

// out[j] lane i = in[i] lane j, for 16-bit lanes.
VCDALBUM_SSE2_INLINE void TransposeWords(const __m128i* in, __m128i* out) {
    __m128i t[8], u[8];
    VCDALBUM_UNROLL
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm_unpacklo_epi16(in[i], in[i + 1]);
        t[i + 1] = _mm_unpackhi_epi16(in[i], in[i + 1]);
    }
    VCDALBUM_UNROLL
    for (int i = 0; i < 8; i += 4) {
        u[i] = _mm_unpacklo_epi32(t[i], t[i + 2]);
        u[i + 1] = _mm_unpackhi_epi32(t[i], t[i + 2]);
        u[i + 2] = _mm_unpacklo_epi32(t[i + 1], t[i + 3]);
        u[i + 3] = _mm_unpackhi_epi32(t[i + 1], t[i + 3]);
    }
    VCDALBUM_UNROLL
    for (int i = 0; i < 4; ++i) {
        out[2 * i] = _mm_unpacklo_epi64(u[i], u[i + 4]);
        out[2 * i + 1] = _mm_unpackhi_epi64(u[i], u[i + 4]);
    }
}
#undef VCDALBUM_SSE2_INLINE

// Coefficients and row results that fit in 16 bits, as they do in every
// undamaged picture, take the 16-bit form throughout; any other block goes to
// the 32-bit lanes whole, so both give the same bits.
template <int columns, int rows>
void Transform2DSse2(int32_t* __restrict block, uint8_t* __restrict out, size_t stride) {
    // Row pass: lane r works on coefficient row r; d[k] holds column k.
    const __m128i zero = _mm_setzero_si128();
    __m128i d[8], outside = zero;
    VCDALBUM_UNROLL
    for (int k = 0; k < 8; ++k) {
        if (k < columns) {
            const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * k));
            const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * k + 4));
            NoteRange(lo, outside);
            NoteRange(hi, outside);
            d[k] = _mm_packs_epi32(lo, hi);
        } else {
            d[k] = zero;
        }
    }
    if (!InRange(outside)) return Transform2DSse2Wide<columns, rows>(block, out, stride);
    WideSums o[8];
    TransformWords<columns>(d, o);
    const __m128i rowRound = _mm_set1_epi32(1024);
    __m128i words[8];
    VCDALBUM_UNROLL
    for (int m = 0; m < 8; ++m) {
        const __m128i lo = _mm_srai_epi32(_mm_add_epi32(o[m].lo, rowRound), 11);
        const __m128i hi = _mm_srai_epi32(_mm_add_epi32(o[m].hi, rowRound), 11);
        NoteRange(lo, outside);
        NoteRange(hi, outside);
        words[m] = _mm_packs_epi32(lo, hi);
    }
    if (!InRange(outside)) return Transform2DSse2Wide<columns, rows>(block, out, stride);
    VCDALBUM_UNROLL
    for (int k = 0; k < columns; ++k) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * k), zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * k + 4), zero);
    }
    // words[m] lane r is row r, position m; the column pass wants rows as vectors.
    __m128i w[8];
    TransposeWords(words, w);
    VCDALBUM_UNROLL
    for (int k = rows; k < 8; ++k) w[k] = zero;
    TransformWords<rows>(w, o);
    const __m128i columnRound = _mm_set1_epi32(131072), levelShift = _mm_set1_epi32(128);
    VCDALBUM_UNROLL
    for (int m = 0; m < 8; ++m) {
        const __m128i lo = _mm_add_epi32(_mm_srai_epi32(_mm_add_epi32(o[m].lo, columnRound), 18), levelShift);
        const __m128i hi = _mm_add_epi32(_mm_srai_epi32(_mm_add_epi32(o[m].hi, columnRound), 18), levelShift);
        // The signed pack saturates beyond 16 bits, the unsigned one then
        // clamps to 0..255: together the clamp of the formula.
        const __m128i packed = _mm_packs_epi32(lo, hi);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + m * stride), _mm_packus_epi16(packed, packed));
    }
}
#endif

#if VCDALBUM_HAVE_AVX2
// Eight rows or columns at once, one per 32-bit lane of a 256-bit register.
// Every function here is compiled for AVX2, so vectors pass between them in
// one convention; the helpers are inlined so that the eight-vector arrays
// stay in registers instead of going through memory at every call.
using V = __m256i;

VCDALBUM_TARGET_AVX2 inline V MulLanes(V a, u32 c) {
    return _mm256_mullo_epi32(a, _mm256_set1_epi32(static_cast<int32_t>(c)));
}

VCDALBUM_TARGET_AVX2 inline __attribute__((always_inline)) void TransformAvx2(const V d[8], V o[8]) {
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

// The same transform by 16-bit multiply-adds, for inputs that all fit in 16
// bits: each 32-bit lane holds a pair of inputs, and the products of the
// transform above are regrouped into one weight per input. Sums and products
// are taken modulo 2^32 in both, so the outputs are the same bits.
VCDALBUM_TARGET_AVX2 inline __attribute__((always_inline)) V WeightPair(int32_t a, int32_t b) {
    return _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(a)) | static_cast<int32_t>(static_cast<uint32_t>(b) << 16));
}

VCDALBUM_TARGET_AVX2 inline __attribute__((always_inline)) V InputPair(V a, V b) {
    return _mm256_or_si256(_mm256_and_si256(a, _mm256_set1_epi32(0xFFFF)), _mm256_slli_epi32(b, 16));
}

// True when every lane of the first n vectors lies in -32768 .. 32767.
template <int n>
VCDALBUM_TARGET_AVX2 inline __attribute__((always_inline)) bool FitSixteenBits(const V x[8]) {
    const V bias = _mm256_set1_epi32(32768);
    V any = _mm256_setzero_si256();
    VCDALBUM_UNROLL
    for (int k = 0; k < n; ++k) any = _mm256_or_si256(any, _mm256_add_epi32(x[k], bias));
    return _mm256_testz_si256(any, _mm256_set1_epi32(static_cast<int32_t>(0xFFFF0000u)));
}

// Only the first n (2, 4 or 8) inputs may be non-zero; the products of the
// others are left out.
template <int n>
VCDALBUM_TARGET_AVX2 inline __attribute__((always_inline)) void TransformMaddAvx2(const V d[8], V o[8]) {
    constexpr int32_t c0298 = C0298, c0390 = C0390, c0541 = C0541, c0765 = C0765, c0899 = C0899, c1175 = C1175,
                      c1501 = C1501, c1847 = C1847, c1961 = C1961, c2053 = C2053, c2562 = C2562, c3072 = C3072;
    const V zero = _mm256_setzero_si256();
    // d[k] for k >= n is zero: a pair of two such inputs is zero, and a pair
    // (a, 0) is a with its upper half cleared.
    const V p04 = n > 4 ? InputPair(d[0], d[4]) : _mm256_and_si256(d[0], _mm256_set1_epi32(0xFFFF));
    const V p13 = n > 2 ? InputPair(d[1], d[3]) : _mm256_and_si256(d[1], _mm256_set1_epi32(0xFFFF));
    const V p26 = n > 4 ? InputPair(d[2], d[6]) : n > 2 ? _mm256_and_si256(d[2], _mm256_set1_epi32(0xFFFF)) : zero;
    const V p57 = n > 4 ? InputPair(d[5], d[7]) : zero;
    const V t0 = _mm256_madd_epi16(p04, WeightPair(8192, 8192));
    const V t1 = _mm256_madd_epi16(p04, WeightPair(8192, -8192));
    const V t2 = n > 2 ? _mm256_madd_epi16(p26, WeightPair(c0541, c0541 - c1847)) : zero;
    const V t3 = n > 2 ? _mm256_madd_epi16(p26, WeightPair(c0541 + c0765, c0541)) : zero;
    const V e10 = _mm256_add_epi32(t0, t3), e13 = _mm256_sub_epi32(t0, t3);
    const V e11 = _mm256_add_epi32(t1, t2), e12 = _mm256_sub_epi32(t1, t2);
    V u1 = _mm256_madd_epi16(p13, WeightPair(c1501 - c0899 - c0390 + c1175, c1175));
    V u3 = _mm256_madd_epi16(p13, WeightPair(c1175, c3072 - c2562 - c1961 + c1175));
    V u5 = _mm256_madd_epi16(p13, WeightPair(c1175 - c0390, c1175 - c2562));
    V u7 = _mm256_madd_epi16(p13, WeightPair(c1175 - c0899, c1175 - c1961));
    if (n > 4) {
        u1 = _mm256_add_epi32(u1, _mm256_madd_epi16(p57, WeightPair(c1175 - c0390, c1175 - c0899)));
        u3 = _mm256_add_epi32(u3, _mm256_madd_epi16(p57, WeightPair(c1175 - c2562, c1175 - c1961)));
        u5 = _mm256_add_epi32(u5, _mm256_madd_epi16(p57, WeightPair(c2053 - c2562 - c0390 + c1175, c1175)));
        u7 = _mm256_add_epi32(u7, _mm256_madd_epi16(p57, WeightPair(c1175, c0298 - c0899 - c1961 + c1175)));
    }
    o[0] = _mm256_add_epi32(e10, u1); o[7] = _mm256_sub_epi32(e10, u1);
    o[1] = _mm256_add_epi32(e11, u3); o[6] = _mm256_sub_epi32(e11, u3);
    o[2] = _mm256_add_epi32(e12, u5); o[5] = _mm256_sub_epi32(e12, u5);
    o[3] = _mm256_add_epi32(e13, u7); o[4] = _mm256_sub_epi32(e13, u7);
}

// Damaged data can give terms beyond 16 bits; they take the 32-bit products.
template <int n>
VCDALBUM_TARGET_AVX2 inline __attribute__((always_inline)) void Transform1DAvx2(const V d[8], V o[8]) {
    if (FitSixteenBits<n>(d))
        TransformMaddAvx2<n>(d, o);
    else
        TransformAvx2(d, o);
}

// out[j] lane i = in[i] lane j.
VCDALBUM_TARGET_AVX2 inline __attribute__((always_inline)) void TransposeAvx2(const V in[8], V out[8]) {
    V t[8], u[8];
    VCDALBUM_UNROLL
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_epi32(in[i], in[i + 1]);
        t[i + 1] = _mm256_unpackhi_epi32(in[i], in[i + 1]);
    }
    VCDALBUM_UNROLL
    for (int i = 0; i < 8; i += 4) {
        u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
        u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
        u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
        u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
    }
    VCDALBUM_UNROLL
    for (int i = 0; i < 4; ++i) {
        out[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
        out[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
    }
}

template <int columns, int rows>
VCDALBUM_TARGET_AVX2 void Transform2DAvx2(int32_t* block, uint8_t* out, size_t stride) {
    // Row pass: lane r works on coefficient row r; d[k] holds column k.
    V d[8];
    VCDALBUM_UNROLL
    for (int k = 0; k < 8; ++k) {
        d[k] = k < columns ? _mm256_loadu_si256(reinterpret_cast<const V*>(block + 8 * k)) : _mm256_setzero_si256();
        if (k < columns) _mm256_storeu_si256(reinterpret_cast<V*>(block + 8 * k), _mm256_setzero_si256());
    }
    V o[8];
    Transform1DAvx2<columns>(d, o);
    const V rowRound = _mm256_set1_epi32(1024);
    VCDALBUM_UNROLL
    for (int m = 0; m < 8; ++m) o[m] = _mm256_srai_epi32(_mm256_add_epi32(o[m], rowRound), 11);
    // o[m] lane r is row r, position m; the column pass wants rows as vectors.
    V w[8];
    TransposeAvx2(o, w);
    VCDALBUM_UNROLL
    for (int k = rows; k < 8; ++k) w[k] = _mm256_setzero_si256();
    Transform1DAvx2<rows>(w, o);
    const V columnRound = _mm256_set1_epi32(131072), levelShift = _mm256_set1_epi32(128);
    VCDALBUM_UNROLL
    for (int m = 0; m < 8; ++m) {
        const V v = _mm256_add_epi32(_mm256_srai_epi32(_mm256_add_epi32(o[m], columnRound), 18), levelShift);
        // |v| < 2^14: the signed pack is exact, the unsigned one clamps to 0..255.
        const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + m * stride), _mm_packus_epi16(words, words));
    }
}
#endif

}  // namespace

#define VCDALBUM_IDCT_TABLE(fn) \
    {{fn<2, 2>, fn<2, 4>, fn<2, 8>}, {fn<4, 2>, fn<4, 4>, fn<4, 8>}, {fn<8, 2>, fn<8, 4>, fn<8, 8>}}
const IdctKernel kIdctScalar[3][3] = VCDALBUM_IDCT_TABLE(Transform2DScalar);
#if VCDALBUM_HAVE_SSE2
const IdctKernel kIdctSse2[3][3] = VCDALBUM_IDCT_TABLE(Transform2DSse2);
#endif
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
    // The kernel clears the columns it reads: every non-zero term lies in
    // them.
    kernels.idct[Extent(columnMask)][Extent(rowMask)](block, out, stride);
}

void InverseDct(int32_t* block, uint32_t rowMask, uint32_t columnMask, uint8_t* out, size_t stride) {
    InverseDct(ActiveKernels(), block, rowMask, columnMask, out, stride);
}

}  // namespace vcdalbum::codec
