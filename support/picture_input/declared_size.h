// The size a picture file says it has, read from its header alone. FFmpeg
// learns a picture's size by decoding it, and a few hundred bytes that
// declare a huge picture would cost that picture's memory first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vcdalbum::components::picture_input {

struct DeclaredSize {
    uint64_t width = 0, height = 0;
    uint64_t pixels() const { return width * height; }
};

// For PNG, BMP, GIF and JPEG files; nothing for other files and for headers
// too short to hold a size.
std::optional<DeclaredSize> ReadDeclaredSize(const std::string& path);

}  // namespace vcdalbum::components::picture_input
