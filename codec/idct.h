// The integer 8x8 inverse DCT of the decoder (13-bit fixed-point constants,
// rows first with an 11-bit descale, then columns with an 18-bit descale),
// with the level shift and clamping to samples.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vcdalbum::codec {

// Transforms the dequantised coefficients of `block` into 8x8 samples at
// `out` (rows `stride` bytes apart) and leaves `block` all zero. The block is
// column-major: block[8 * c + r] holds row r, column c, so that the row pass
// can work on all eight rows at once. Bit r of `rowMask` (bit c of
// `columnMask`) must be set for every row r (column c) that holds a non-zero
// coefficient; whatever lies outside the masks is taken as zero, which only
// saves work. Arithmetic wraps modulo 2^32, so hostile coefficients give
// garbage samples but never undefined behaviour.
void InverseDct(int32_t* block, uint32_t rowMask, uint32_t columnMask, uint8_t* out, size_t stride);

// The same with the kernels of a given instruction set (ActiveKernels() above).
struct CodecKernels;
void InverseDct(const CodecKernels& kernels, int32_t* block, uint32_t rowMask, uint32_t columnMask, uint8_t* out,
                size_t stride);

// The sample of a block whose only non-zero coefficient is `dc`.
inline uint8_t DcOnlySample(int32_t dc) {
    const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(dc) * 32768u + 131072u) >> 18;
    const int32_t s = v + 128;
    return static_cast<uint8_t>(s < 0 ? 0 : s > 255 ? 255 : s);
}

}  // namespace vcdalbum::codec
