// Level shift, forward DCT and quantisation of one 8x8 block, in exact
// integer arithmetic (13-bit constants), with a scalar form and a SIMD form
// that give the same numbers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vcdalbum::codec {

// A quantiser prepared for both forms.
struct QuantTable {
    uint16_t zigzag[64];      // entry i divides the coefficient at zigzag position i
    uint16_t natural[64];     // the same divisors in natural (row-major) order
    uint16_t half[64];        // natural[k] >> 1, the rounding bias
    uint16_t reciprocal[64];  // floor(2^16 / natural[k]), for the SIMD division
    bool simdExact = false;   // every divisor suits the SIMD division
};

// Fills every derived field of `table` from `table.zigzag`.
void PrepareQuantTable(QuantTable& table);

// The forward DCT alone, natural order. DC is 8 times the mean of the
// level-shifted samples (a block of 255 gives 1016).
void ForwardDct(const uint8_t* samples, size_t rowLength, int32_t coefficients[64]);

// Level shift, DCT and quantisation (half away from zero). `out` receives
// the quantised coefficients in zigzag order. Uses the fastest path the
// build offers.
void TransformBlock(const uint8_t* samples, size_t rowLength, const QuantTable& quant, int16_t out[64]);

// The same with the coefficients left in natural order, as the entropy
// coder reads them.
void TransformBlockNatural(const uint8_t* samples, size_t rowLength, const QuantTable& quant, int16_t out[64]);

// The same in plain scalar code (zigzag order), the yardstick for the fast path.
void TransformBlockReference(const uint8_t* samples, size_t rowLength, const QuantTable& quant, int16_t out[64]);

}  // namespace vcdalbum::codec
