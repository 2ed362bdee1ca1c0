#include "codec/colour_convert.h"

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

}  // namespace

void YCbCrToBgr(int y, int cb, int cr, uint8_t bgr[3]) {
    Pixel(y, kChroma.blue[cb], (kChroma.greenCb[cb] + kChroma.greenCr[cr]) >> 8, kChroma.red[cr], bgr);
}

void ConvertRowYCbCr(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int yRatio, int cbRatio, int crRatio,
                     uint8_t* bgr, uint32_t width) {
    if (yRatio == 1 && cbRatio == 1 && crRatio == 1) {
        for (uint32_t x = 0; x < width; ++x, bgr += 3) {
            const int b = cb[x], r = cr[x];
            Pixel(y[x], kChroma.blue[b], (kChroma.greenCb[b] + kChroma.greenCr[r]) >> 8, kChroma.red[r], bgr);
        }
        return;
    }
    if (yRatio == 1 && cbRatio == 2 && crRatio == 2) {
        // Two pixels share one chroma pair.
        uint32_t x = 0;
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
