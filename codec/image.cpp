#include <cstdlib>
#include <cstring>
#include <limits>

#include "vcdalbum/codec.h"

namespace vcdalbum {

bool AllocateImage(Image& image, uint32_t width, uint32_t height) {
    const uint64_t bytes = static_cast<uint64_t>(ImageStride(width)) * height;
    if (width == 0 || height == 0 || bytes > std::numeric_limits<uint32_t>::max()) return false;
    auto* data = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(bytes) + kImageTailPadding, 1));
    if (!data) return false;
    image = Image{};
    image.headerSize = 40;
    image.width = width;
    image.height = height;
    image.heightCopy = height;
    image.imageSize = static_cast<uint32_t>(bytes);
    image.data = data;
    return true;
}

void ReleaseImage(Image& image) {
    std::free(image.data);
    image.data = nullptr;
}

}  // namespace vcdalbum
