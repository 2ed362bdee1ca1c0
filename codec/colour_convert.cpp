#include "codec/colour_convert.h"

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

// Clamping to 0..255 by lookup: index = value + kClampOffset. Every sum the
// conversion makes lies in -227 .. 482.
constexpr int kClampOffset = 256;
struct ClampTable {
    uint8_t v[1024];
    constexpr ClampTable() : v() {
        for (int i = 0; i < 1024; ++i) {
            const int x = i - kClampOffset;
            v[i] = static_cast<uint8_t>(x < 0 ? 0 : x > 255 ? 255 : x);
        }
    }
};
constexpr ClampTable kClamp;

// The chroma terms per chroma byte.
struct ChromaTables {
    int16_t blue[256];   // (Cb' * 227) >> 7
    int16_t red[256];    // (Cr' * 179) >> 7
    int32_t greenCb[256];  // Cb' * 88
    int32_t greenCr[256];  // Cr' * 183
    constexpr ChromaTables() : blue(), red(), greenCb(), greenCr() {
        for (int i = 0; i < 256; ++i) {
            const int c = i - 128;
            blue[i] = static_cast<int16_t>((c * 227) >> 7);
            red[i] = static_cast<int16_t>((c * 179) >> 7);
            greenCb[i] = c * 88;
            greenCr[i] = c * 183;
        }
    }
};
constexpr ChromaTables kChroma;

inline void Pixel(int y, int blue, int green, int red, uint8_t* out) {
    const uint8_t* clamp = kClamp.v + kClampOffset;
    out[0] = clamp[y + blue];
    out[1] = clamp[y - green];
    out[2] = clamp[y + red];
}

uint32_t NoColourKernel(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, uint32_t) { return 0; }
uint32_t NoColourPairKernel(const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, uint8_t*,
                            uint32_t) {
    return 0;
}

#if VCDALBUM_HAVE_SSE2
// Sixteen pixels at a time, in two halves of eight 16-bit lanes, with the
// arithmetic of the AVX2 kernel below. Helpers take vectors by reference
// and are always inlined.

// Sixteen blue, green and red bytes stored as 48 bytes of pixels. SSE2 has no
// byte shuffle: pixels are widened to 32 bits by unpacking, then each group
// of four is squeezed to twelve bytes with shifts and masks.
inline __attribute__((always_inline)) void StoreInterleavedSse2(const __m128i& b, const __m128i& g, const __m128i& r,
                                                                uint8_t* bgr) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
    const __m128i rLo = _mm_unpacklo_epi8(r, zero), rHi = _mm_unpackhi_epi8(r, zero);
    const __m128i pixels[4] = {_mm_unpacklo_epi16(bgLo, rLo), _mm_unpackhi_epi16(bgLo, rLo),
                               _mm_unpacklo_epi16(bgHi, rHi), _mm_unpackhi_epi16(bgHi, rHi)};
    const __m128i low32 = _mm_set_epi32(0, -1, 0, -1);
    for (int i = 0; i < 4; ++i, bgr += 12) {
        // Per 64 bits: pixel 0 in bytes 0-2, pixel 1 moved down to bytes 3-5.
        const __m128i pairs = _mm_or_si128(_mm_and_si128(pixels[i], low32),
                                           _mm_srli_epi64(_mm_andnot_si128(low32, pixels[i]), 8));
        const __m128i twelve = _mm_or_si128(_mm_move_epi64(pairs), _mm_slli_si128(_mm_srli_si128(pairs, 8), 6));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(bgr), twelve);
        const int32_t tail = _mm_cvtsi128_si32(_mm_srli_si128(twelve, 8));
        std::memcpy(bgr + 8, &tail, 4);
    }
}

struct ChromaTermsSse2 {
    __m128i blue[2], green[2], red[2];  // low and high eight lanes
};

// The three terms of eight chroma samples in 16-bit lanes.
inline __attribute__((always_inline)) void ChromaWordsSse2(const __m128i& cbWords, const __m128i& crWords,
                                                           __m128i& blue, __m128i& green, __m128i& red) {
    const __m128i bias = _mm_set1_epi16(128);
    const __m128i cb = _mm_sub_epi16(cbWords, bias), cr = _mm_sub_epi16(crWords, bias);
    blue = _mm_srai_epi16(_mm_mullo_epi16(cb, _mm_set1_epi16(227)), 7);
    red = _mm_srai_epi16(_mm_mullo_epi16(cr, _mm_set1_epi16(179)), 7);
    green = _mm_srai_epi16(_mm_add_epi16(_mm_mullo_epi16(cb, _mm_set1_epi16(44)),
                                         _mm_srai_epi16(_mm_mullo_epi16(cr, _mm_set1_epi16(183)), 1)),
                           7);
}

// The terms of sixteen pixels: from sixteen chroma samples, or from eight
// when chroma is halved across, each term then serving two pixels.
template <bool halfChroma>
inline __attribute__((always_inline)) void ChromaSse2(const uint8_t* cb, const uint8_t* cr, uint32_t x,
                                                      ChromaTermsSse2& t) {
    const __m128i zero = _mm_setzero_si128();
    if constexpr (halfChroma) {
        const __m128i cbWords = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x / 2)), zero);
        const __m128i crWords = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x / 2)), zero);
        __m128i blue, green, red;
        ChromaWordsSse2(cbWords, crWords, blue, green, red);
        t.blue[0] = _mm_unpacklo_epi16(blue, blue);
        t.blue[1] = _mm_unpackhi_epi16(blue, blue);
        t.green[0] = _mm_unpacklo_epi16(green, green);
        t.green[1] = _mm_unpackhi_epi16(green, green);
        t.red[0] = _mm_unpacklo_epi16(red, red);
        t.red[1] = _mm_unpackhi_epi16(red, red);
    } else {
        const __m128i cbBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
        const __m128i crBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
        ChromaWordsSse2(_mm_unpacklo_epi8(cbBytes, zero), _mm_unpacklo_epi8(crBytes, zero), t.blue[0], t.green[0],
                        t.red[0]);
        ChromaWordsSse2(_mm_unpackhi_epi8(cbBytes, zero), _mm_unpackhi_epi8(crBytes, zero), t.blue[1], t.green[1],
                        t.red[1]);
    }
}

inline __attribute__((always_inline)) void PixelsSse2(const uint8_t* y, const ChromaTermsSse2& t, uint8_t* bgr) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i yBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i yLo = _mm_unpacklo_epi8(yBytes, zero), yHi = _mm_unpackhi_epi8(yBytes, zero);
    // The unsigned pack clamps to 0..255.
    const __m128i b = _mm_packus_epi16(_mm_add_epi16(yLo, t.blue[0]), _mm_add_epi16(yHi, t.blue[1]));
    const __m128i g = _mm_packus_epi16(_mm_sub_epi16(yLo, t.green[0]), _mm_sub_epi16(yHi, t.green[1]));
    const __m128i r = _mm_packus_epi16(_mm_add_epi16(yLo, t.red[0]), _mm_add_epi16(yHi, t.red[1]));
    StoreInterleavedSse2(b, g, r, bgr);
}

// `rows` luma rows (1 or 2) that share one chroma row.
template <bool halfChroma, int rows>
inline __attribute__((always_inline)) uint32_t ColourRowsSse2(const uint8_t* const* yRows, const uint8_t* cb,
                                                              const uint8_t* cr, uint8_t* const* bgrRows,
                                                              uint32_t width) {
    uint32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        ChromaTermsSse2 terms;
        ChromaSse2<halfChroma>(cb, cr, x, terms);
        for (int row = 0; row < rows; ++row) PixelsSse2(yRows[row] + x, terms, bgrRows[row] + 3 * x);
    }
    return x;
}

template <bool halfChroma>
uint32_t ColourRowSse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr, uint32_t width) {
    return ColourRowsSse2<halfChroma, 1>(&y, cb, cr, &bgr, width);
}

uint32_t ColourRowPairSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr0,
                           uint8_t* bgr1, uint32_t width) {
    const uint8_t* yRows[2] = {y0, y1};
    uint8_t* bgrRows[2] = {bgr0, bgr1};
    return ColourRowsSse2<true, 2>(yRows, cb, cr, bgrRows, width);
}
#endif

#if VCDALBUM_HAVE_AVX2
// Sixteen pixels at a time in 16-bit lanes. Every intermediate fits: Cb' * 227
// and Cr' * 179 stay within +-29056, and the green term is rewritten as
// (Cb' * 44 + ((Cr' * 183) >> 1)) >> 7, which equals
// (Cb' * 88 + Cr' * 183) >> 8 for all inputs because Cb' * 88 is even. The
// final unsigned pack clamps to 0..255.

// Byte shuffles that spread 16 blue (green, red) bytes over the three
// 16-byte pieces of 16 interleaved pixels; 0x80 leaves a zero.
struct InterleaveMasks {
    uint8_t m[3][3][16];  // [piece][channel][byte]
    constexpr InterleaveMasks() : m() {
        for (int piece = 0; piece < 3; ++piece)
            for (int channel = 0; channel < 3; ++channel)
                for (int j = 0; j < 16; ++j) {
                    const int p = 16 * piece + j;
                    m[piece][channel][j] = static_cast<uint8_t>(p % 3 == channel ? p / 3 : 0x80);
                }
    }
};
constexpr InterleaveMasks kInterleave;

VCDALBUM_TARGET_AVX2 inline __m128i PackToBytes(__m256i v) {
    return _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

VCDALBUM_TARGET_AVX2 inline __m128i Spread(__m128i b, __m128i g, __m128i r, int piece) {
    const auto* masks = reinterpret_cast<const __m128i*>(kInterleave.m[piece]);
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, _mm_loadu_si128(masks)),
                                     _mm_shuffle_epi8(g, _mm_loadu_si128(masks + 1))),
                        _mm_shuffle_epi8(r, _mm_loadu_si128(masks + 2)));
}

// The chroma of 16 pixels from column x: 16 samples, or 8 widened to 16
// when chroma is halved across.
template <bool halfChroma>
inline __attribute__((always_inline)) void LoadChroma16(const uint8_t* cb, const uint8_t* cr, uint32_t x,
                                                        __m128i& cbBytes, __m128i& crBytes) {
    if constexpr (halfChroma) {
        const __m128i b8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x / 2));
        const __m128i r8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x / 2));
        cbBytes = _mm_unpacklo_epi8(b8, b8);
        crBytes = _mm_unpacklo_epi8(r8, r8);
    } else {
        cbBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
        crBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
    }
}

// `rows` luma rows (1 or 2) that share one chroma row: the chroma terms are
// worked out once for both.
template <bool halfChroma, int rows>
VCDALBUM_TARGET_AVX2 inline __attribute__((always_inline)) uint32_t ColourRowsAvx2(
    const uint8_t* const* yRows, const uint8_t* cb, const uint8_t* cr, uint8_t* const* bgrRows, uint32_t width) {
    const __m256i bias = _mm256_set1_epi16(128), k227 = _mm256_set1_epi16(227), k179 = _mm256_set1_epi16(179),
                  k44 = _mm256_set1_epi16(44), k183 = _mm256_set1_epi16(183);
    uint32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i cbBytes, crBytes;
        LoadChroma16<halfChroma>(cb, cr, x, cbBytes, crBytes);
        const __m256i cbv = _mm256_sub_epi16(_mm256_cvtepu8_epi16(cbBytes), bias);
        const __m256i crv = _mm256_sub_epi16(_mm256_cvtepu8_epi16(crBytes), bias);
        const __m256i blueTerm = _mm256_srai_epi16(_mm256_mullo_epi16(cbv, k227), 7);
        const __m256i redTerm = _mm256_srai_epi16(_mm256_mullo_epi16(crv, k179), 7);
        const __m256i greenTerm = _mm256_srai_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(cbv, k44), _mm256_srai_epi16(_mm256_mullo_epi16(crv, k183), 1)), 7);
        for (int row = 0; row < rows; ++row) {
            const __m256i yv = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(yRows[row] + x)));
            const __m128i b = PackToBytes(_mm256_add_epi16(yv, blueTerm));
            const __m128i g = PackToBytes(_mm256_sub_epi16(yv, greenTerm));
            const __m128i r = PackToBytes(_mm256_add_epi16(yv, redTerm));
            uint8_t* bgr = bgrRows[row] + 3 * x;
            for (int piece = 0; piece < 3; ++piece)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + 16 * piece), Spread(b, g, r, piece));
        }
    }
    return x;
}

template <bool halfChroma>
VCDALBUM_TARGET_AVX2 uint32_t ColourRowAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr,
                                            uint32_t width) {
    return ColourRowsAvx2<halfChroma, 1>(&y, cb, cr, &bgr, width);
}

VCDALBUM_TARGET_AVX2 uint32_t ColourRowPairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                                                const uint8_t* cr, uint8_t* bgr0, uint8_t* bgr1, uint32_t width) {
    const uint8_t* yRows[2] = {y0, y1};
    uint8_t* bgrRows[2] = {bgr0, bgr1};
    return ColourRowsAvx2<true, 2>(yRows, cb, cr, bgrRows, width);
}
#endif

}  // namespace

void YCbCrToBgr(int y, int cb, int cr, uint8_t bgr[3]) {
    Pixel(y, kChroma.blue[cb], (kChroma.greenCb[cb] + kChroma.greenCr[cr]) >> 8, kChroma.red[cr], bgr);
}

const ColourRowKernel kColourScalar[2] = {NoColourKernel, NoColourKernel};
const ColourRowPairKernel kColourPairScalar = NoColourPairKernel;
#if VCDALBUM_HAVE_SSE2
const ColourRowKernel kColourSse2[2] = {ColourRowSse2<false>, ColourRowSse2<true>};
const ColourRowPairKernel kColourPairSse2 = ColourRowPairSse2;
#endif
#if VCDALBUM_HAVE_AVX2
const ColourRowKernel kColourAvx2[2] = {ColourRowAvx2<false>, ColourRowAvx2<true>};
const ColourRowPairKernel kColourPairAvx2 = ColourRowPairAvx2;
#endif

void ConvertRowYCbCr(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int yRatio, int cbRatio, int crRatio,
                     uint8_t* bgr, uint32_t width) {
    ConvertRowYCbCr(ActiveKernels(), y, cb, cr, yRatio, cbRatio, crRatio, bgr, width);
}

void ConvertRowYCbCr(const CodecKernels& kernels, const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int yRatio,
                     int cbRatio, int crRatio, uint8_t* bgr, uint32_t width) {
    if (yRatio == 1 && cbRatio == 1 && crRatio == 1) {
        uint32_t x = kernels.colourFull(y, cb, cr, bgr, width);
        bgr += 3 * x;
        for (; x < width; ++x, bgr += 3) {
            const int b = cb[x], r = cr[x];
            Pixel(y[x], kChroma.blue[b], (kChroma.greenCb[b] + kChroma.greenCr[r]) >> 8, kChroma.red[r], bgr);
        }
        return;
    }
    if (yRatio == 1 && cbRatio == 2 && crRatio == 2) {
        // Two pixels share one chroma pair.
        uint32_t x = kernels.colourHalf(y, cb, cr, bgr, width);
        bgr += 3 * x;
        for (; x + 1 < width; x += 2, bgr += 6) {
            const int b = cb[x >> 1], r = cr[x >> 1];
            const int blue = kChroma.blue[b], red = kChroma.red[r];
            const int green = (kChroma.greenCb[b] + kChroma.greenCr[r]) >> 8;
            Pixel(y[x], blue, green, red, bgr);
            Pixel(y[x + 1], blue, green, red, bgr + 3);
        }
        if (x < width) YCbCrToBgr(y[x], cb[x >> 1], cr[x >> 1], bgr);
        return;
    }
    for (uint32_t x = 0; x < width; ++x, bgr += 3)
        YCbCrToBgr(y[x / yRatio], cb[x / cbRatio], cr[x / crRatio], bgr);
}

void ConvertRowPairHalfChroma(const CodecKernels& kernels, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                              const uint8_t* cr, uint8_t* bgr0, uint8_t* bgr1, uint32_t width) {
    const uint32_t done = kernels.colourHalfPair(y0, y1, cb, cr, bgr0, bgr1, width);
    // The rest of both rows, from where the kernel stopped.
    const CodecKernels& rest = *KernelsFor(SimdLevel::kScalar);
    const uint32_t half = done / 2;
    ConvertRowYCbCr(rest, y0 + done, cb + half, cr + half, 1, 2, 2, bgr0 + 3 * done, width - done);
    ConvertRowYCbCr(rest, y1 + done, cb + half, cr + half, 1, 2, 2, bgr1 + 3 * done, width - done);
}

void ConvertRowGrey(const uint8_t* y, uint8_t* bgr, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, bgr += 3) {
        const uint8_t v = y[x];
        bgr[0] = v;
        bgr[1] = v;
        bgr[2] = v;
    }
}

}  // namespace vcdalbum::codec
