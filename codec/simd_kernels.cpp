#include "codec/simd_kernels.h"

#include <cstdlib>
#include <cstring>

namespace vcdalbum::codec {
namespace {

CodecKernels Make(SimdLevel level, const char* name, const IdctKernel (&idct)[3][3],
                  const ColourRowKernel (&colour)[2], ColourRowPairKernel colourPair, ForwardDctPairKernel forwardDctPair) {
    CodecKernels k{};
    k.level = level;
    k.name = name;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) k.idct[c][r] = idct[c][r];
    k.colourFull = colour[0];
    k.colourHalf = colour[1];
    k.colourHalfPair = colourPair;
    k.forwardDctPair = forwardDctPair;
    return k;
}

#if VCDALBUM_HAVE_AVX2
bool ProcessorHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

}  // namespace

const CodecKernels* KernelsFor(SimdLevel level) {
    static const CodecKernels scalar = Make(SimdLevel::kScalar, "scalar", kIdctScalar, kColourScalar,
                                                    kColourPairScalar, kForwardDctScalar);
    if (level == SimdLevel::kScalar) return &scalar;
#if VCDALBUM_HAVE_SSE2
    static const CodecKernels sse2 = Make(SimdLevel::kSse2, "sse2", kIdctSse2, kColourSse2,
                                                  kColourPairSse2, kForwardDctSse2);
    if (level == SimdLevel::kSse2) return &sse2;
#endif
#if VCDALBUM_HAVE_AVX2
    static const bool hasAvx2 = ProcessorHasAvx2();
    static const CodecKernels avx2 = Make(SimdLevel::kAvx2, "avx2", kIdctAvx2, kColourAvx2,
                                                  kColourPairAvx2, kForwardDctAvx2);
    if (level == SimdLevel::kAvx2 && hasAvx2) return &avx2;
#endif
    return nullptr;
}

const CodecKernels& ActiveKernels() {
    static const CodecKernels* const chosen = [] {
        // VCDALBUM_SIMD=scalar or =sse2 caps the level, to compare the kernels.
        const char* cap = std::getenv("VCDALBUM_SIMD");
        const bool scalarOnly = cap && std::strcmp(cap, "scalar") == 0;
        const bool noAvx2 = scalarOnly || (cap && std::strcmp(cap, "sse2") == 0);
        const CodecKernels* best = noAvx2 ? nullptr : KernelsFor(SimdLevel::kAvx2);
        if (!best && !scalarOnly) best = KernelsFor(SimdLevel::kSse2);
        return best ? best : KernelsFor(SimdLevel::kScalar);
    }();
    return *chosen;
}

}  // namespace vcdalbum::codec
