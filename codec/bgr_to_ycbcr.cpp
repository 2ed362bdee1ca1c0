#include "codec/bgr_to_ycbcr.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vcdalbum::codec {
namespace {

inline void ConvertPair(const uint8_t* p, uint8_t* y, uint8_t* cb, uint8_t* cr) {
    int cbSum = 0, crSum = 0;
    for (int i = 0; i < 2; ++i, p += 3) {
        const int b = p[0], g = p[1], r = p[2];
        y[i] = static_cast<uint8_t>((38 * r + 75 * g + 15 * b) >> 7);
        cbSum += ((64 * b - 22 * r - 42 * g) >> 7) + 128;
        crSum += ((64 * r - 54 * g - 10 * b) >> 7) + 128;
    }
    *cb = static_cast<uint8_t>((cbSum + 1) >> 1);
    *cr = static_cast<uint8_t>((crSum + 1) >> 1);
}

#if defined(__SSE2__)

// 16 pixels of b, g, r bytes into one vector per channel, by four rounds
// of byte interleaving (each round is the inverse of a 3-way unzip).
inline void Deinterleave(const uint8_t* p, __m128i& b, __m128i& g, __m128i& r) {
    const __m128i t00 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i t01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i t02 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const __m128i t10 = _mm_unpacklo_epi8(t00, _mm_unpackhi_epi64(t01, t01));
    const __m128i t11 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t00, t00), t02);
    const __m128i t12 = _mm_unpacklo_epi8(t01, _mm_unpackhi_epi64(t02, t02));
    const __m128i t20 = _mm_unpacklo_epi8(t10, _mm_unpackhi_epi64(t11, t11));
    const __m128i t21 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t10, t10), t12);
    const __m128i t22 = _mm_unpacklo_epi8(t11, _mm_unpackhi_epi64(t12, t12));
    const __m128i t30 = _mm_unpacklo_epi8(t20, _mm_unpackhi_epi64(t21, t21));
    const __m128i t31 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t20, t20), t22);
    const __m128i t32 = _mm_unpacklo_epi8(t21, _mm_unpackhi_epi64(t22, t22));
    b = _mm_unpacklo_epi8(t30, _mm_unpackhi_epi64(t31, t31));
    g = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t30, t30), t32);
    r = _mm_unpacklo_epi8(t31, _mm_unpackhi_epi64(t32, t32));
}

struct Planes {
    __m128i y, cb, cr;  // 8 lanes of 16 bits each
};

// The colour weights as vectors the compiler cannot see through: left as
// constants they get expanded into longer shift-and-add chains.
struct Weights {
    __m128i w38, w75, w15, w22, w42, w54, w10, bias;
    Weights() {
        w38 = _mm_set1_epi16(38);
        w75 = _mm_set1_epi16(75);
        w15 = _mm_set1_epi16(15);
        w22 = _mm_set1_epi16(22);
        w42 = _mm_set1_epi16(42);
        w54 = _mm_set1_epi16(54);
        w10 = _mm_set1_epi16(10);
        bias = _mm_set1_epi16(16384);
#if defined(__GNUC__)
        __asm__("" : "+x"(w38), "+x"(w75), "+x"(w15), "+x"(w22), "+x"(w42), "+x"(w54), "+x"(w10));
#endif
    }
};

// Eight pixels widened to 16 bits. The chroma sums carry +128 << 7 so that
// they stay positive and one logical shift gives (sum >> 7) + 128.
inline Planes Convert8(const Weights& k, __m128i b, __m128i g, __m128i r) {
    Planes out;
    out.y = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(r, k.w38), _mm_mullo_epi16(g, k.w75)), _mm_mullo_epi16(b, k.w15)), 7);
    out.cb = _mm_srli_epi16(_mm_sub_epi16(_mm_add_epi16(_mm_slli_epi16(b, 6), k.bias),
                                          _mm_add_epi16(_mm_mullo_epi16(r, k.w22), _mm_mullo_epi16(g, k.w42))),
                            7);
    out.cr = _mm_srli_epi16(_mm_sub_epi16(_mm_add_epi16(_mm_slli_epi16(r, 6), k.bias),
                                          _mm_add_epi16(_mm_mullo_epi16(g, k.w54), _mm_mullo_epi16(b, k.w10))),
                            7);
    return out;
}

// Rounded averages of neighbouring lanes: 16 samples in two vectors give 8.
inline __m128i PairAverage(__m128i lo, __m128i hi) {
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i round = _mm_set1_epi32(1);
    const __m128i a = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(lo, ones), round), 1);
    const __m128i b = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(hi, ones), round), 1);
    return _mm_packs_epi32(a, b);
}

#endif

}  // namespace

void ConvertColourRowReference(const uint8_t* bgr, size_t pairs, uint8_t* y, uint8_t* cb, uint8_t* cr) {
    for (size_t x = 0; x < pairs; ++x) ConvertPair(bgr + 6 * x, y + 2 * x, cb + x, cr + x);
}

void ConvertColourRow(const uint8_t* bgr, size_t pairs, uint8_t* y, uint8_t* cb, uint8_t* cr) {
    size_t x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const Weights k;
    for (; x + 8 <= pairs; x += 8) {
        __m128i b, g, r;
        Deinterleave(bgr + 6 * x, b, g, r);
        const Planes lo = Convert8(k, _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(g, zero), _mm_unpacklo_epi8(r, zero));
        const Planes hi = Convert8(k, _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(g, zero), _mm_unpackhi_epi8(r, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y + 2 * x), _mm_packus_epi16(lo.y, hi.y));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + x), _mm_packus_epi16(PairAverage(lo.cb, hi.cb), zero));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + x), _mm_packus_epi16(PairAverage(lo.cr, hi.cr), zero));
    }
#endif
    for (; x < pairs; ++x) ConvertPair(bgr + 6 * x, y + 2 * x, cb + x, cr + x);
}

}  // namespace vcdalbum::codec
