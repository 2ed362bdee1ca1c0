#include "codec/simd_kernels.h"

namespace vcdalbum::codec {
namespace {

CodecKernels MakeScalar() {
    CodecKernels k{};
    k.level = SimdLevel::kScalar;
    k.name = "scalar";
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) k.idct[c][r] = kIdctScalar[c][r];
    k.colourFull = kColourScalar[0];
    k.colourHalf = kColourScalar[1];
    return k;
}

#if VCDALBUM_HAVE_AVX2
CodecKernels MakeAvx2() {
    CodecKernels k{};
    k.level = SimdLevel::kAvx2;
    k.name = "avx2";
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) k.idct[c][r] = kIdctAvx2[c][r];
    k.colourFull = kColourAvx2[0];
    k.colourHalf = kColourAvx2[1];
    return k;
}

bool ProcessorHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

}  // namespace

const CodecKernels* KernelsFor(SimdLevel level) {
    static const CodecKernels scalar = MakeScalar();
    if (level == SimdLevel::kScalar) return &scalar;
#if VCDALBUM_HAVE_AVX2
    static const bool hasAvx2 = ProcessorHasAvx2();
    static const CodecKernels avx2 = MakeAvx2();
    if (level == SimdLevel::kAvx2 && hasAvx2) return &avx2;
#endif
    return nullptr;
}

const CodecKernels& ActiveKernels() {
    static const CodecKernels* const chosen = [] {
        const CodecKernels* best = KernelsFor(SimdLevel::kAvx2);
        return best ? best : KernelsFor(SimdLevel::kScalar);
    }();
    return *chosen;
}

}  // namespace vcdalbum::codec
