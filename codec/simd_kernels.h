// The codec's vector kernels and the one place that picks them. Each
// instruction set's kernels are plain functions compiled for that set alone
// (a target attribute on the kernel and on every helper it calls), collected
// in a table; the table for the processor is chosen once per process. No
// function of one instruction set ever calls a function of another with
// vector arguments, so the calling convention agrees at every optimisation
// level.
#pragma once

#include <cstddef>
#include <cstdint>

// SSE2 kernels exist wherever the base instruction set has SSE2 (x86-64, and
// 32-bit x86 built with -msse2), written with the SSE2 intrinsics of
// <emmintrin.h> (the inverse transform's fallback for sums past 16 bits
// uses the compiler's vector extension, which maps onto SSE2 registers).
// AVX2 kernels exist on x86-64 with GCC or Clang. Not on Windows: there the
// stack is only 16-byte aligned and GCC spills 32-byte vectors with aligned
// moves.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32)
#define VCDALBUM_HAVE_AVX2 1
#define VCDALBUM_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define VCDALBUM_HAVE_AVX2 0
#endif
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#define VCDALBUM_HAVE_SSE2 1
#else
#define VCDALBUM_HAVE_SSE2 0
#endif

// Fully unrolls the short fixed loops of a vector kernel. Without it -O2
// keeps them as loops, and the arrays of vectors they walk live on the stack
// instead of in registers.
#define VCDALBUM_UNROLL _Pragma("GCC unroll 16")

namespace vcdalbum::codec {

enum class SimdLevel { kScalar, kSse2, kAvx2 };

struct QuantTable;

// 8x8 inverse DCT of one column-major block into samples; see InverseDct.
// Indexed [columns][rows] by the extent (2, 4, 8 -> 0, 1, 2) of the
// coefficients that may be non-zero; the kernel leaves the columns it reads
// all zero.
using IdctKernel = void (*)(int32_t* block, uint8_t* out, size_t stride);

// Converts the longest prefix of a row it handles in whole steps and returns
// its length in pixels; the caller finishes the row. `halfChroma`: Cb and Cr
// hold one sample per two pixels.
using ColourRowKernel = uint32_t (*)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* bgr,
                                     uint32_t width);

// The half-chroma ColourRowKernel for two luma rows and two output rows that
// share one chroma row; returns the pixels done in each.
using ColourRowPairKernel = uint32_t (*)(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr,
                                         uint8_t* bgr0, uint8_t* bgr1, uint32_t width);

// Level shift, forward DCT and quantisation of two 8x8 blocks with the same
// row length and quantiser, into natural-order coefficients; see
// TransformBlockNatural.
using ForwardDctPairKernel = void (*)(const uint8_t* first, const uint8_t* second, size_t rowLength,
                                      const QuantTable& quant, int16_t* outFirst, int16_t* outSecond);

struct CodecKernels {
    SimdLevel level;
    const char* name;
    IdctKernel idct[3][3];
    ColourRowKernel colourFull;
    ColourRowKernel colourHalf;
    ColourRowPairKernel colourHalfPair;
    ForwardDctPairKernel forwardDctPair;
};

// The kernels for this processor, chosen on first use; the environment
// variable VCDALBUM_SIMD (scalar, sse2) caps the level, to compare them.
const CodecKernels& ActiveKernels();

// The kernels of one level, or null when this build or this processor lacks
// them. For tests and benchmarks that compare levels.
const CodecKernels* KernelsFor(SimdLevel level);

// Per instruction set, defined beside the code they belong to. Only tables
// cross the file boundary: a target-attributed function is never declared
// elsewhere, so no caller can be compiled against another convention.
extern const IdctKernel kIdctScalar[3][3];
extern const ColourRowKernel kColourScalar[2];  // full, half chroma
extern const ForwardDctPairKernel kForwardDctScalar;
extern const ColourRowPairKernel kColourPairScalar;
#if VCDALBUM_HAVE_SSE2
extern const IdctKernel kIdctSse2[3][3];
extern const ColourRowKernel kColourSse2[2];
extern const ForwardDctPairKernel kForwardDctSse2;
extern const ColourRowPairKernel kColourPairSse2;
#endif
#if VCDALBUM_HAVE_AVX2
extern const IdctKernel kIdctAvx2[3][3];
extern const ColourRowKernel kColourAvx2[2];
extern const ForwardDctPairKernel kForwardDctAvx2;
extern const ColourRowPairKernel kColourPairAvx2;
#endif

}  // namespace vcdalbum::codec
