// HEIF files as a phone writes them, made at test time with libheif's own
// encoder, which can write the rotation and mirror properties heif-enc
// cannot; and a picture whose every turn and mirror looks different.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include <libheif/heif.h>

#include "support/owned_image.h"

namespace vcdalbum::testing {

// Green band on top, red left half, blue right half: every turn and mirror
// of it looks different. BGR, like the pictures the host reads.
OwnedImage Marked(uint32_t w, uint32_t h);

// Writes a HEIF file holding `stored` as its rows, with the rotation and
// mirror properties that show it turned by EXIF-style `orientation`, and the
// EXIF block `exif` beside it.
void WriteHeif(const std::filesystem::path& file, const OwnedImage& stored, heif_compression_format format,
               int orientation, const std::vector<uint8_t>& exif);

}  // namespace vcdalbum::testing
