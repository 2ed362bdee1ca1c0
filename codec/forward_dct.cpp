#include "codec/forward_dct.h"

#include "codec/jpeg_tables.h"
#include "codec/simd_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if VCDALBUM_HAVE_AVX2
#include <immintrin.h>
#endif

namespace vcdalbum::codec {
namespace {

// 13-bit fixed-point cosine constants (value x 8192).
constexpr int32_t kC0298 = 2446;
constexpr int32_t kC0390 = 3196;
constexpr int32_t kC0541 = 4433;
constexpr int32_t kC0765 = 6270;
constexpr int32_t kC0899 = 7373;
constexpr int32_t kC1175 = 9633;
constexpr int32_t kC1501 = 12299;
constexpr int32_t kC1847 = 15137;
constexpr int32_t kC1961 = 16069;
constexpr int32_t kC2053 = 16819;
constexpr int32_t kC2562 = 20995;
constexpr int32_t kC3072 = 25172;

// One 1-D pass over eight values `step` apart. The first pass keeps two
// extra fraction bits (DC and the middle term scaled by 4, the rest rounded
// off 11 bits); the second removes them together with the 2-D scale of 8.
template <bool kFirstPass>
inline void DctPass(int32_t* d, int step) {
    const int32_t s0 = d[0], s1 = d[step], s2 = d[2 * step], s3 = d[3 * step];
    const int32_t s4 = d[4 * step], s5 = d[5 * step], s6 = d[6 * step], s7 = d[7 * step];
    const int32_t t0 = s0 + s7, t7 = s0 - s7, t1 = s1 + s6, t6 = s1 - s6;
    const int32_t t2 = s2 + s5, t5 = s2 - s5, t3 = s3 + s4, t4 = s3 - s4;
    const int32_t e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;

    constexpr int kShift = kFirstPass ? 11 : 18;
    constexpr int32_t kRound = 1 << (kShift - 1);
    auto descale = [](int32_t x) { return (x + kRound) >> kShift; };

    if (kFirstPass) {
        d[0] = (e10 + e11) * 4;
        d[4 * step] = (e10 - e11) * 4;
    } else {
        d[0] = (e10 + e11 + 16) >> 5;
        d[4 * step] = (e10 - e11 + 16) >> 5;
    }
    const int32_t z = (e12 + e13) * kC0541;
    d[2 * step] = descale(z + e13 * kC0765);
    d[6 * step] = descale(z - e12 * kC1847);

    int32_t z1 = t4 + t7, z2 = t5 + t6, z3 = t4 + t6, z4 = t5 + t7;
    const int32_t z5 = (z3 + z4) * kC1175;
    const int32_t u4 = t4 * kC0298, u5 = t5 * kC2053, u6 = t6 * kC3072, u7 = t7 * kC1501;
    z1 *= -kC0899;
    z2 *= -kC2562;
    z3 = z3 * -kC1961 + z5;
    z4 = z4 * -kC0390 + z5;
    d[7 * step] = descale(u4 + z1 + z3);
    d[5 * step] = descale(u5 + z2 + z4);
    d[3 * step] = descale(u6 + z2 + z3);
    d[step] = descale(u7 + z1 + z4);
}

// Rounds half away from zero and truncates, as integer division does.
inline int16_t Quantise(int32_t v, int32_t q) {
    v = v > 0 ? v + (q >> 1) : v - (q >> 1);
    return static_cast<int16_t>(v / q);
}

#if defined(__SSE2__)

inline void Transpose(__m128i v[8]) {
    const __m128i a0 = _mm_unpacklo_epi16(v[0], v[1]), a1 = _mm_unpackhi_epi16(v[0], v[1]);
    const __m128i a2 = _mm_unpacklo_epi16(v[2], v[3]), a3 = _mm_unpackhi_epi16(v[2], v[3]);
    const __m128i a4 = _mm_unpacklo_epi16(v[4], v[5]), a5 = _mm_unpackhi_epi16(v[4], v[5]);
    const __m128i a6 = _mm_unpacklo_epi16(v[6], v[7]), a7 = _mm_unpackhi_epi16(v[6], v[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    v[0] = _mm_unpacklo_epi64(b0, b4);
    v[1] = _mm_unpackhi_epi64(b0, b4);
    v[2] = _mm_unpacklo_epi64(b1, b5);
    v[3] = _mm_unpackhi_epi64(b1, b5);
    v[4] = _mm_unpacklo_epi64(b2, b6);
    v[5] = _mm_unpackhi_epi64(b2, b6);
    v[6] = _mm_unpacklo_epi64(b3, b7);
    v[7] = _mm_unpackhi_epi64(b3, b7);
}

inline __m128i Pair(int16_t a, int16_t b) {
    return _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(a)) | (static_cast<int32_t>(b) << 16));
}

// a*ca + b*cb for every lane, descaled by `shift` and packed to 16 bits.
template <int kShift>
inline __m128i MulAdd2(__m128i lo, __m128i hi, __m128i c) {
    const __m128i round = _mm_set1_epi32(1 << (kShift - 1));
    const __m128i l = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(lo, c), round), kShift);
    const __m128i h = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(hi, c), round), kShift);
    return _mm_packs_epi32(l, h);
}

template <int kShift>
inline __m128i MulAdd4(__m128i lo1, __m128i hi1, __m128i c1, __m128i lo2, __m128i hi2, __m128i c2) {
    const __m128i round = _mm_set1_epi32(1 << (kShift - 1));
    __m128i l = _mm_add_epi32(_mm_madd_epi16(lo1, c1), _mm_madd_epi16(lo2, c2));
    __m128i h = _mm_add_epi32(_mm_madd_epi16(hi1, c1), _mm_madd_epi16(hi2, c2));
    l = _mm_srai_epi32(_mm_add_epi32(l, round), kShift);
    h = _mm_srai_epi32(_mm_add_epi32(h, round), kShift);
    return _mm_packs_epi32(l, h);
}

// The same pass on eight lanes of 16-bit values. The products are expanded
// into one weight per input, which is the same integer sum as the scalar
// pass; every intermediate fits its lane (row outputs stay within +-4096).
template <bool kFirstPass>
inline void DctPassSimd(__m128i v[8]) {
    constexpr int kShift = kFirstPass ? 11 : 18;
    const __m128i t0 = _mm_add_epi16(v[0], v[7]), t7 = _mm_sub_epi16(v[0], v[7]);
    const __m128i t1 = _mm_add_epi16(v[1], v[6]), t6 = _mm_sub_epi16(v[1], v[6]);
    const __m128i t2 = _mm_add_epi16(v[2], v[5]), t5 = _mm_sub_epi16(v[2], v[5]);
    const __m128i t3 = _mm_add_epi16(v[3], v[4]), t4 = _mm_sub_epi16(v[3], v[4]);
    const __m128i e10 = _mm_add_epi16(t0, t3), e13 = _mm_sub_epi16(t0, t3);
    const __m128i e11 = _mm_add_epi16(t1, t2), e12 = _mm_sub_epi16(t1, t2);

    if (kFirstPass) {
        v[0] = _mm_slli_epi16(_mm_add_epi16(e10, e11), 2);
        v[4] = _mm_slli_epi16(_mm_sub_epi16(e10, e11), 2);
    } else {
        const __m128i r = _mm_set1_epi16(16);
        v[0] = _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(e10, e11), r), 5);
        v[4] = _mm_srai_epi16(_mm_add_epi16(_mm_sub_epi16(e10, e11), r), 5);
    }

    const __m128i e_lo = _mm_unpacklo_epi16(e13, e12), e_hi = _mm_unpackhi_epi16(e13, e12);
    v[2] = MulAdd2<kShift>(e_lo, e_hi, Pair(kC0541 + kC0765, kC0541));
    v[6] = MulAdd2<kShift>(e_lo, e_hi, Pair(kC0541, kC0541 - kC1847));

    const __m128i p45_lo = _mm_unpacklo_epi16(t4, t5), p45_hi = _mm_unpackhi_epi16(t4, t5);
    const __m128i p67_lo = _mm_unpacklo_epi16(t6, t7), p67_hi = _mm_unpackhi_epi16(t6, t7);
    // out7 = t4(c0298 - c0899 - c1961 + c1175) + t5 c1175 + t6(c1175 - c1961) + t7(c1175 - c0899), and so on.
    v[7] = MulAdd4<kShift>(p45_lo, p45_hi, Pair(kC0298 - kC0899 - kC1961 + kC1175, kC1175), p67_lo, p67_hi,
                           Pair(kC1175 - kC1961, kC1175 - kC0899));
    v[5] = MulAdd4<kShift>(p45_lo, p45_hi, Pair(kC1175, kC2053 - kC2562 - kC0390 + kC1175), p67_lo, p67_hi,
                           Pair(kC1175 - kC2562, kC1175 - kC0390));
    v[3] = MulAdd4<kShift>(p45_lo, p45_hi, Pair(kC1175 - kC1961, kC1175 - kC2562), p67_lo, p67_hi,
                           Pair(kC3072 - kC2562 - kC1961 + kC1175, kC1175));
    v[1] = MulAdd4<kShift>(p45_lo, p45_hi, Pair(kC1175 - kC0899, kC1175 - kC0390), p67_lo, p67_hi,
                           Pair(kC1175, kC1501 - kC0899 - kC0390 + kC1175));
}

void TransformBlockSimd(const uint8_t* samples, size_t rowLength, const QuantTable& quant, int16_t natural[64]) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(128);
    __m128i v[8];
    VCDALBUM_UNROLL
    for (int r = 0; r < 8; ++r) {
        const __m128i row = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples + r * rowLength));
        v[r] = _mm_sub_epi16(_mm_unpacklo_epi8(row, zero), bias);
    }
    // Lanes = rows for the row pass, then lanes = columns for the column pass.
    Transpose(v);
    DctPassSimd<true>(v);
    Transpose(v);
    DctPassSimd<false>(v);

    const __m128i one = _mm_set1_epi16(1);
    VCDALBUM_UNROLL
    for (int r = 0; r < 8; ++r) {
        const __m128i x = v[r];
        const __m128i sign = _mm_srai_epi16(x, 15);
        __m128i a = _mm_sub_epi16(_mm_xor_si128(x, sign), sign);
        a = _mm_add_epi16(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant.half + 8 * r)));
        // floor(a * floor(2^16 / q) / 2^16) is floor(a / q) or one less;
        // one multiplication back tells which.
        const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant.natural + 8 * r));
        __m128i d = _mm_mulhi_epu16(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant.reciprocal + 8 * r)));
        d = _mm_add_epi16(d, one);
        d = _mm_add_epi16(d, _mm_cmpgt_epi16(_mm_mullo_epi16(d, q), a));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(natural + 8 * r), _mm_sub_epi16(_mm_xor_si128(d, sign), sign));
    }
}

#endif

#if VCDALBUM_HAVE_AVX2
// Two blocks at once, one per 128-bit half: every AVX2 instruction used here
// works within halves, so each half repeats the SSE2 arithmetic above on its
// own block and the results are the same numbers.

VCDALBUM_TARGET_AVX2 inline void Transpose2(__m256i v[8]) {
    const __m256i a0 = _mm256_unpacklo_epi16(v[0], v[1]), a1 = _mm256_unpackhi_epi16(v[0], v[1]);
    const __m256i a2 = _mm256_unpacklo_epi16(v[2], v[3]), a3 = _mm256_unpackhi_epi16(v[2], v[3]);
    const __m256i a4 = _mm256_unpacklo_epi16(v[4], v[5]), a5 = _mm256_unpackhi_epi16(v[4], v[5]);
    const __m256i a6 = _mm256_unpacklo_epi16(v[6], v[7]), a7 = _mm256_unpackhi_epi16(v[6], v[7]);
    const __m256i b0 = _mm256_unpacklo_epi32(a0, a2), b1 = _mm256_unpackhi_epi32(a0, a2);
    const __m256i b2 = _mm256_unpacklo_epi32(a1, a3), b3 = _mm256_unpackhi_epi32(a1, a3);
    const __m256i b4 = _mm256_unpacklo_epi32(a4, a6), b5 = _mm256_unpackhi_epi32(a4, a6);
    const __m256i b6 = _mm256_unpacklo_epi32(a5, a7), b7 = _mm256_unpackhi_epi32(a5, a7);
    v[0] = _mm256_unpacklo_epi64(b0, b4);
    v[1] = _mm256_unpackhi_epi64(b0, b4);
    v[2] = _mm256_unpacklo_epi64(b1, b5);
    v[3] = _mm256_unpackhi_epi64(b1, b5);
    v[4] = _mm256_unpacklo_epi64(b2, b6);
    v[5] = _mm256_unpackhi_epi64(b2, b6);
    v[6] = _mm256_unpacklo_epi64(b3, b7);
    v[7] = _mm256_unpackhi_epi64(b3, b7);
}

VCDALBUM_TARGET_AVX2 inline __m256i Pair2(int32_t a, int32_t b) {
    return _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(a)) | (b << 16));
}

template <int kShift>
VCDALBUM_TARGET_AVX2 inline __m256i MulAdd2x2(const __m256i& lo, const __m256i& hi, const __m256i& c) {
    const __m256i round = _mm256_set1_epi32(1 << (kShift - 1));
    const __m256i l = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(lo, c), round), kShift);
    const __m256i h = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(hi, c), round), kShift);
    return _mm256_packs_epi32(l, h);
}

template <int kShift>
VCDALBUM_TARGET_AVX2 inline __m256i MulAdd4x2(const __m256i& lo1, const __m256i& hi1, const __m256i& c1,
                                              const __m256i& lo2, const __m256i& hi2, const __m256i& c2) {
    const __m256i round = _mm256_set1_epi32(1 << (kShift - 1));
    __m256i l = _mm256_add_epi32(_mm256_madd_epi16(lo1, c1), _mm256_madd_epi16(lo2, c2));
    __m256i h = _mm256_add_epi32(_mm256_madd_epi16(hi1, c1), _mm256_madd_epi16(hi2, c2));
    l = _mm256_srai_epi32(_mm256_add_epi32(l, round), kShift);
    h = _mm256_srai_epi32(_mm256_add_epi32(h, round), kShift);
    return _mm256_packs_epi32(l, h);
}

template <bool kFirstPass>
VCDALBUM_TARGET_AVX2 inline void DctPass2(__m256i v[8]) {
    constexpr int kShift = kFirstPass ? 11 : 18;
    const __m256i t0 = _mm256_add_epi16(v[0], v[7]), t7 = _mm256_sub_epi16(v[0], v[7]);
    const __m256i t1 = _mm256_add_epi16(v[1], v[6]), t6 = _mm256_sub_epi16(v[1], v[6]);
    const __m256i t2 = _mm256_add_epi16(v[2], v[5]), t5 = _mm256_sub_epi16(v[2], v[5]);
    const __m256i t3 = _mm256_add_epi16(v[3], v[4]), t4 = _mm256_sub_epi16(v[3], v[4]);
    const __m256i e10 = _mm256_add_epi16(t0, t3), e13 = _mm256_sub_epi16(t0, t3);
    const __m256i e11 = _mm256_add_epi16(t1, t2), e12 = _mm256_sub_epi16(t1, t2);

    if (kFirstPass) {
        v[0] = _mm256_slli_epi16(_mm256_add_epi16(e10, e11), 2);
        v[4] = _mm256_slli_epi16(_mm256_sub_epi16(e10, e11), 2);
    } else {
        const __m256i r = _mm256_set1_epi16(16);
        v[0] = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(e10, e11), r), 5);
        v[4] = _mm256_srai_epi16(_mm256_add_epi16(_mm256_sub_epi16(e10, e11), r), 5);
    }

    const __m256i e_lo = _mm256_unpacklo_epi16(e13, e12), e_hi = _mm256_unpackhi_epi16(e13, e12);
    v[2] = MulAdd2x2<kShift>(e_lo, e_hi, Pair2(kC0541 + kC0765, kC0541));
    v[6] = MulAdd2x2<kShift>(e_lo, e_hi, Pair2(kC0541, kC0541 - kC1847));

    const __m256i p45_lo = _mm256_unpacklo_epi16(t4, t5), p45_hi = _mm256_unpackhi_epi16(t4, t5);
    const __m256i p67_lo = _mm256_unpacklo_epi16(t6, t7), p67_hi = _mm256_unpackhi_epi16(t6, t7);
    v[7] = MulAdd4x2<kShift>(p45_lo, p45_hi, Pair2(kC0298 - kC0899 - kC1961 + kC1175, kC1175), p67_lo, p67_hi,
                             Pair2(kC1175 - kC1961, kC1175 - kC0899));
    v[5] = MulAdd4x2<kShift>(p45_lo, p45_hi, Pair2(kC1175, kC2053 - kC2562 - kC0390 + kC1175), p67_lo, p67_hi,
                             Pair2(kC1175 - kC2562, kC1175 - kC0390));
    v[3] = MulAdd4x2<kShift>(p45_lo, p45_hi, Pair2(kC1175 - kC1961, kC1175 - kC2562), p67_lo, p67_hi,
                             Pair2(kC3072 - kC2562 - kC1961 + kC1175, kC1175));
    v[1] = MulAdd4x2<kShift>(p45_lo, p45_hi, Pair2(kC1175 - kC0899, kC1175 - kC0390), p67_lo, p67_hi,
                             Pair2(kC1175, kC1501 - kC0899 - kC0390 + kC1175));
}

VCDALBUM_TARGET_AVX2 void TransformPairAvx2(const uint8_t* first, const uint8_t* second, size_t rowLength,
                                            const QuantTable& quant, int16_t* outFirst, int16_t* outSecond) {
    if (!quant.simdExact) {
        TransformBlockNatural(first, rowLength, quant, outFirst);
        TransformBlockNatural(second, rowLength, quant, outSecond);
        return;
    }
    const __m256i bias = _mm256_set1_epi16(128);
    __m256i v[8];
    VCDALBUM_UNROLL
    for (int r = 0; r < 8; ++r) {
        const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first + r * rowLength));
        const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(second + r * rowLength));
        // Bytes 0-7 (first block) widen into the low half, 8-15 into the high half.
        v[r] = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi64(a, b)), bias);
    }
    Transpose2(v);
    DctPass2<true>(v);
    Transpose2(v);
    DctPass2<false>(v);

    const __m256i one = _mm256_set1_epi16(1);
    VCDALBUM_UNROLL
    for (int r = 0; r < 8; ++r) {
        const __m256i x = v[r];
        const __m256i sign = _mm256_srai_epi16(x, 15);
        const __m256i half =
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(quant.half + 8 * r)));
        const __m256i q =
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(quant.natural + 8 * r)));
        const __m256i reciprocal =
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(quant.reciprocal + 8 * r)));
        const __m256i a = _mm256_add_epi16(_mm256_sub_epi16(_mm256_xor_si256(x, sign), sign), half);
        __m256i d = _mm256_add_epi16(_mm256_mulhi_epu16(a, reciprocal), one);
        d = _mm256_add_epi16(d, _mm256_cmpgt_epi16(_mm256_mullo_epi16(d, q), a));
        const __m256i result = _mm256_sub_epi16(_mm256_xor_si256(d, sign), sign);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(outFirst + 8 * r), _mm256_castsi256_si128(result));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(outSecond + 8 * r), _mm256_extracti128_si256(result, 1));
    }
}
#endif

// The plain scalar form in natural order, the portable kernel.
void TransformNaturalScalar(const uint8_t* samples, size_t rowLength, const QuantTable& quant, int16_t out[64]) {
    int32_t coefficients[64];
    ForwardDct(samples, rowLength, coefficients);
    for (int k = 0; k < 64; ++k) out[k] = Quantise(coefficients[k], quant.natural[k]);
}

void TransformPairScalar(const uint8_t* first, const uint8_t* second, size_t rowLength, const QuantTable& quant,
                         int16_t* outFirst, int16_t* outSecond) {
    TransformNaturalScalar(first, rowLength, quant, outFirst);
    TransformNaturalScalar(second, rowLength, quant, outSecond);
}

#if VCDALBUM_HAVE_SSE2
void TransformPairSse2(const uint8_t* first, const uint8_t* second, size_t rowLength, const QuantTable& quant,
                       int16_t* outFirst, int16_t* outSecond) {
    TransformBlockNatural(first, rowLength, quant, outFirst);
    TransformBlockNatural(second, rowLength, quant, outSecond);
}
#endif

}  // namespace

const ForwardDctPairKernel kForwardDctScalar = TransformPairScalar;
#if VCDALBUM_HAVE_SSE2
const ForwardDctPairKernel kForwardDctSse2 = TransformPairSse2;
#endif
#if VCDALBUM_HAVE_AVX2
const ForwardDctPairKernel kForwardDctAvx2 = TransformPairAvx2;
#endif

void PrepareQuantTable(QuantTable& table) {
    table.simdExact = true;
    for (int i = 0; i < 64; ++i) {
        const uint16_t q = table.zigzag[i] ? table.zigzag[i] : 1;
        const int k = kZigzag[i];
        table.natural[k] = q;
        table.half[k] = static_cast<uint16_t>(q >> 1);
        table.reciprocal[k] = static_cast<uint16_t>(q > 1 ? 65536u / q : 0);
        // The SIMD division works on 16-bit lanes: |v| + q/2 stays below 4096
        // for every coefficient, and the check (d + 1) * q must not overflow.
        if (q < 2 || q > 1024) table.simdExact = false;
    }
}

void ForwardDct(const uint8_t* samples, size_t rowLength, int32_t coefficients[64]) {
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) coefficients[8 * r + c] = static_cast<int32_t>(samples[r * rowLength + c]) - 128;
    for (int r = 0; r < 8; ++r) DctPass<true>(coefficients + 8 * r, 1);
    for (int c = 0; c < 8; ++c) DctPass<false>(coefficients + c, 8);
}

void TransformBlockReference(const uint8_t* samples, size_t rowLength, const QuantTable& quant, int16_t out[64]) {
    int32_t coefficients[64];
    ForwardDct(samples, rowLength, coefficients);
    for (int i = 0; i < 64; ++i) out[i] = Quantise(coefficients[kZigzag[i]], quant.zigzag[i] ? quant.zigzag[i] : 1);
}

void TransformBlockNatural(const uint8_t* samples, size_t rowLength, const QuantTable& quant, int16_t out[64]) {
#if defined(__SSE2__)
    if (quant.simdExact) {
        TransformBlockSimd(samples, rowLength, quant, out);
        return;
    }
#endif
    TransformNaturalScalar(samples, rowLength, quant, out);
}

void TransformBlock(const uint8_t* samples, size_t rowLength, const QuantTable& quant, int16_t out[64]) {
    int16_t natural[64];
    TransformBlockNatural(samples, rowLength, quant, natural);
    for (int i = 0; i < 64; ++i) out[i] = natural[kZigzag[i]];
}

}  // namespace vcdalbum::codec
