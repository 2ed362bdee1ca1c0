// The JPEG files the host hands the library: prepared pictures, menu pages
// and the sources of moving pictures.
//
// The library reads them as JPEG files only, and the stream coder then codes
// them once more; a picture should lose nothing on the way. The library's
// own encoder writes for small files (4:2:2 and coarse tables), which costs a
// detailed photo several dB before the stream coder sees it. These files are
// written at quality 100 with chroma at full resolution instead: the picture
// comes back within a rounding step, and the stream coder's own conversion
// to 4:2:0 is the only chroma reduction.
#pragma once

#include <filesystem>

#include <vcdalbum/Image.h>

namespace vcdalbum::host {

// Writes `image` (BGR) at `out` through a temporary name, so that a failure
// leaves no file there. Throws RunError naming `out`.
void WriteWorkJpeg(const Image& image, const std::filesystem::path& out);

}  // namespace vcdalbum::host
