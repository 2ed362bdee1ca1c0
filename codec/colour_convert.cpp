#include "codec/colour_convert.h"

#include <cstring>

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

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"  // the vectors never cross a library boundary
#if defined(__x86_64__) && defined(__linux__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define VCDALBUM_COLOUR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VCDALBUM_COLOUR_CLONES
#endif

// Sixteen pixels at a time in 16-bit lanes. Every intermediate fits: Cb' * 227
// and Cr' * 179 stay within +-29056, and the green term is rewritten as
// (Cb' * 44 + ((Cr' * 183) >> 1)) >> 7, which equals
// (Cb' * 88 + Cr' * 183) >> 8 for all inputs because Cb' * 88 is even.
typedef int16_t I16x16 __attribute__((vector_size(32)));
typedef uint8_t U8x16 __attribute__((vector_size(16)));
typedef uint8_t U8x8 __attribute__((vector_size(8)));
typedef uint8_t U8x32 __attribute__((vector_size(32)));

template <bool halfChroma>
VCDALBUM_COLOUR_CLONES uint32_t ConvertVectors(const uint8_t* __restrict y, const uint8_t* __restrict cb,
                                               const uint8_t* __restrict cr, uint8_t* __restrict bgr, uint32_t width) {
    const auto Clamp255 = [](I16x16 v) {
        v &= ~(v < 0);
        const I16x16 over = v > 255;
        return (v & ~over) | (over & 255);
    };
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
        const I16x16 blue = Clamp255(yv + ((cbv * 227) >> 7));
        const I16x16 red = Clamp255(yv + ((crv * 179) >> 7));
        const I16x16 green = Clamp255(yv - ((cbv * 44 + ((crv * 183) >> 1)) >> 7));
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
#endif

}  // namespace

void YCbCrToBgr(int y, int cb, int cr, uint8_t bgr[3]) {
    Pixel(y, kChroma.blue[cb], (kChroma.greenCb[cb] + kChroma.greenCr[cr]) >> 8, kChroma.red[cr], bgr);
}

void ConvertRowYCbCr(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int yRatio, int cbRatio, int crRatio,
                     uint8_t* bgr, uint32_t width) {
    if (yRatio == 1 && cbRatio == 1 && crRatio == 1) {
        uint32_t x = 0;
#if defined(__GNUC__)
        x = ConvertVectors<false>(y, cb, cr, bgr, width);
        bgr += 3 * x;
#endif
        for (; x < width; ++x, bgr += 3) {
            const int b = cb[x], r = cr[x];
            Pixel(y[x], kChroma.blue[b], (kChroma.greenCb[b] + kChroma.greenCr[r]) >> 8, kChroma.red[r], bgr);
        }
        return;
    }
    if (yRatio == 1 && cbRatio == 2 && crRatio == 2) {
        // Two pixels share one chroma pair.
        uint32_t x = 0;
#if defined(__GNUC__)
        x = ConvertVectors<true>(y, cb, cr, bgr, width);
        bgr += 3 * x;
#endif
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

void ConvertRowGrey(const uint8_t* y, uint8_t* bgr, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, bgr += 3) {
        const uint8_t v = y[x];
        bgr[0] = v;
        bgr[1] = v;
        bgr[2] = v;
    }
}

}  // namespace vcdalbum::codec
