// Fuzzes caption drawing. The first four bytes give a frame size up to
// 512x512 (tiny and odd ones included); the rest is the caption, as often as
// not damaged UTF-8. Every pixel the caption changes must lie inside the box
// it reports, and the box inside the frame's title-safe area.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "picture/caption_drawing.h"
#include "support/owned_image.h"

using namespace vcdalbum::host;
using vcdalbum::OwnedImage;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t width = 1 + ((data[0] << 8 | data[1]) % 512), height = 1 + ((data[2] << 8 | data[3]) % 512);
    OwnedImage frame = OwnedImage::Black(width, height);
    const size_t bytes = ImageStride(width) * static_cast<size_t>(height);
    // Made once: loops in this file are instrumented too, and per-byte work
    // here would cost more than the drawing.
    static const std::vector<uint8_t> pattern = [] {
        std::vector<uint8_t> p(ImageStride(512) * size_t{512});
        for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * 37);
        return p;
    }();
    std::memcpy(frame.get().data, pattern.data(), bytes);
    const uint8_t* before = pattern.data();

    const DrawnCaption drawn =
        DrawCaption(frame.get(), std::string_view(reinterpret_cast<const char*>(data) + 4, size - 4));

    const FrameBox safe = TitleSafeArea(width, height);
    if (!drawn.box.empty() &&
        (drawn.box.x < safe.x || drawn.box.y < safe.y || drawn.box.x + drawn.box.width > safe.x + safe.width ||
         drawn.box.y + drawn.box.height > safe.y + safe.height))
        std::abort();
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* was = before + size_t{y} * ImageStride(width);
        if (std::memcmp(frame.row(y), was, 3 * size_t{width}) == 0) continue;
        for (uint32_t x = 0; x < width; ++x)
            if (std::memcmp(frame.row(y) + 3 * x, was + 3 * x, 3) != 0 && !drawn.box.contains(x, y)) std::abort();
    }
    return 0;
}
