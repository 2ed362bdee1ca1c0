// Binary PPM (P6, maxval 255, RGB, no row padding) to and from Image records.
#pragma once

#include <string>

#include <vcdalbum/Image.h>

namespace vcdalbum::cli {

// Reads a P6 file with maxval 255 into a fresh record (free with
// vcdalbum::ReleaseImage). On failure returns false and says why in `error`.
bool ReadPpm(const std::string& path, Image& image, std::string& error);

// Writes `image` as P6 through a temporary name and a rename.
bool WritePpm(const std::string& path, const Image& image, std::string& error);

}  // namespace vcdalbum::cli
