// Fuzzes the decoder from memory. Every decoded picture is read in full so
// that the sanitizers see any pixel that was not written.
#include <cstddef>
#include <cstdint>

#include "vcdalbum/codec.h"

namespace {

// Pictures above a quarter megapixel (512 x 512) are skipped: they are
// refused or decoded by the same code as small ones, only slower, and cut
// the search's speed by four or more.
bool DeclaresHugePicture(const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 8 < size; ++i)
        if (data[i] == 0xFF && (data[i + 1] == 0xC0 || data[i + 1] == 0xC1)) {
            const uint32_t height = (data[i + 5] << 8) | data[i + 6], width = (data[i + 7] << 8) | data[i + 8];
            if (uint64_t{width} * height > (uint64_t{1} << 18)) return true;
        }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (DeclaresHugePicture(data, size)) return 0;
    Image image{};
    const vcdalbum::CodecResult result = vcdalbum::DecodeJpeg({data, size}, image);
    if (result.ok()) {
        unsigned sum = 0;
        const uint32_t stride = ImageStride(image.width);
        for (uint32_t y = 0; y < image.height; ++y)
            for (uint32_t x = 0; x < stride; ++x) sum += image.data[size_t{y} * stride + x];
        volatile unsigned sink = sum;
        (void)sink;
        vcdalbum::ReleaseImage(image);
    }
    return 0;
}
