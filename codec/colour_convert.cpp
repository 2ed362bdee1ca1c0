#include "codec/colour_convert.h"

#include <cstring>

#include "codec/simd_kernels.h"

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
// Sixteen pixels at a time in 16-bit lanes of vector variables that the
// compiler maps onto SSE2 registers; the arithmetic is that of the AVX2
// kernel below. Vectors never pass by value between functions.
typedef int16_t I16x16 __attribute__((vector_size(32)));
typedef uint8_t U8x16 __attribute__((vector_size(16)));
typedef uint8_t U8x8 __attribute__((vector_size(8)));
typedef uint8_t U8x32 __attribute__((vector_size(32)));

inline void Clamp255(I16x16& v) {
    v &= ~(v < 0);
    const I16x16 over = v > 255;
    v = (v & ~over) | (over & 255);
}

template <bool halfChroma>
uint32_t ColourRowSse2(const uint8_t* __restrict y, const uint8_t* __restrict cb, const uint8_t* __restrict cr,
                       uint8_t* __restrict bgr, uint32_t width) {
    uint32_t x = 0;
    for (; x + 16 <= width; x += 16, bgr += 48) {
        U8x16 yBytes;
        std::memcpy(&yBytes, y + x, 16);
        I16x16 cbv, crv;
        if constexpr (halfChroma) {
            U8x8 b8, r8;
            std::memcpy(&b8, cb + x / 2, 8);
            std::memcpy(&r8, cr + x / 2, 8);
            const U8x16 b16 = __builtin_shufflevector(b8, b8, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
            const U8x16 r16 = __builtin_shufflevector(r8, r8, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
            cbv = __builtin_convertvector(b16, I16x16);
            crv = __builtin_convertvector(r16, I16x16);
        } else {
            U8x16 b16, r16;
            std::memcpy(&b16, cb + x, 16);
            std::memcpy(&r16, cr + x, 16);
            cbv = __builtin_convertvector(b16, I16x16);
            crv = __builtin_convertvector(r16, I16x16);
        }
        const I16x16 yv = __builtin_convertvector(yBytes, I16x16);
        cbv -= 128;
        crv -= 128;
        I16x16 blue = yv + ((cbv * 227) >> 7);
        I16x16 red = yv + ((crv * 179) >> 7);
        I16x16 green = yv - ((cbv * 44 + ((crv * 183) >> 1)) >> 7);
        Clamp255(blue);
        Clamp255(green);
        Clamp255(red);
        const U8x16 b8 = __builtin_convertvector(blue, U8x16);
        const U8x16 g8 = __builtin_convertvector(green, U8x16);
        const U8x16 r8 = __builtin_convertvector(red, U8x16);
        const U8x32 bg = __builtin_shufflevector(b8, g8, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18,
                                                 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
        const U8x32 rr = __builtin_shufflevector(r8, r8, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2,
                                                 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const U8x16 out0 = __builtin_shufflevector(bg, rr, 0, 16, 32, 1, 17, 33, 2, 18, 34, 3, 19, 35, 4, 20, 36, 5);
        const U8x16 out1 = __builtin_shufflevector(bg, rr, 21, 37, 6, 22, 38, 7, 23, 39, 8, 24, 40, 9, 25, 41, 10, 26);
        const U8x16 out2 = __builtin_shufflevector(bg, rr, 42, 11, 27, 43, 12, 28, 44, 13, 29, 45, 14, 30, 46, 15, 31, 47);
        std::memcpy(bgr, &out0, 16);
        std::memcpy(bgr + 16, &out1, 16);
        std::memcpy(bgr + 32, &out2, 16);
    }
    return x;
}

uint32_t ColourRowPairSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr0,
                           uint8_t* bgr1, uint32_t width) {
    ColourRowSse2<true>(y0, cb, cr, bgr0, width);
    return ColourRowSse2<true>(y1, cb, cr, bgr1, width);
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
        if constexpr (halfChroma) {
            const __m128i b8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x / 2));
            const __m128i r8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x / 2));
            cbBytes = _mm_unpacklo_epi8(b8, b8);
            crBytes = _mm_unpacklo_epi8(r8, r8);
        } else {
            cbBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
            crBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
        }
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
