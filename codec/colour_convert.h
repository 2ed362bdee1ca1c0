// Turning decoded sample rows into blue-green-red rows: chroma upsampling by
// replication and the 7/8-bit fixed-point YCbCr conversion.
#pragma once

#include <cstdint>

namespace vcdalbum::codec {

// One pixel: B = Y + ((Cb' * 227) >> 7), G = Y - ((Cb' * 88 + Cr' * 183) >> 8),
// R = Y + ((Cr' * 179) >> 7), with Cb' = Cb - 128, Cr' = Cr - 128, arithmetic
// shifts, each clamped to 0..255.
void YCbCrToBgr(int y, int cb, int cr, uint8_t bgr[3]);

// One output row of `width` pixels. Sample x of the row comes from sample
// x / ratio of each plane row (ratio = Hmax / H of that component).
void ConvertRowYCbCr(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int yRatio, int cbRatio, int crRatio,
                     uint8_t* bgr, uint32_t width);

// The same with the kernels of a given instruction set.
struct CodecKernels;
void ConvertRowYCbCr(const CodecKernels& kernels, const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int yRatio,
                     int cbRatio, int crRatio, uint8_t* bgr, uint32_t width);

// Two rows that share one chroma row of half width (4:2:0): as two calls of
// ConvertRowYCbCr with ratios 1, 2, 2, with the chroma terms worked out once.
void ConvertRowPairHalfChroma(const CodecKernels& kernels, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                              const uint8_t* cr, uint8_t* bgr0, uint8_t* bgr1, uint32_t width);

// A grey row expanded to blue = green = red.
void ConvertRowGrey(const uint8_t* y, uint8_t* bgr, uint32_t width);

}  // namespace vcdalbum::codec
