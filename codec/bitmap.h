// The intermediate bitmap between the JPEG codec and the Image record:
// a header buffer (14-byte file header, 40-byte info header, and for 8-bit
// pictures a 256-entry grey palette) and a pixel buffer of padded rows,
// top-down. Each decode and encode makes its own.
#pragma once

#include <cstdint>

#include "codec/membuffer.h"

namespace vcdalbum::codec {

inline constexpr uint16_t kBitmapMagic = 0x4D42;  // "BM" read little-endian
inline constexpr int kFileHeaderSize = 14;
inline constexpr int kInfoHeaderSize = 40;

struct BitmapInfoHeader {
    uint32_t headerSize = kInfoHeaderSize;
    int32_t width = 0;
    int32_t height = 0;  // positive although rows are top-down
    uint16_t planes = 1;
    uint16_t bitsPerPixel = 24;
    uint32_t compression = 0;
    uint32_t imageBytes = 0;
    uint32_t xResolution = 0;
    uint32_t yResolution = 0;
    uint32_t coloursUsed = 0;
    uint32_t coloursImportant = 0;
};

// Row length of the pixel buffer: ((bits * width + 31) / 32) * 4.
inline constexpr uint32_t BitmapStride(uint32_t width, uint32_t bitsPerPixel) {
    return static_cast<uint32_t>(((static_cast<uint64_t>(bitsPerPixel) * width + 31) / 32) * 4);
}

// 2^bits kept in 16 bits: 256 for grey, 0 for 24-bit colour.
inline constexpr uint32_t BitmapColours(uint32_t bitsPerPixel) {
    return bitsPerPixel >= 16 ? 0u : ((1u << bitsPerPixel) & 0xFFFFu);
}

// Fills `header` with the file header, `info` and, for 8 bits per pixel, the
// grey palette. Returns false when memory is short.
bool WriteBitmapHeaders(const BitmapInfoHeader& info, MemBuffer& header);

// Reads the file and info headers back from the start of `header`.
// Returns false when the buffer is short or the magic is wrong.
bool ReadBitmapHeaders(MemBuffer& header, BitmapInfoHeader& info);

// The grey palette, 256 entries (i, i, i, 0): constant data that lives as
// long as the library and that nothing frees or writes. A decoded grey
// picture's record points here.
const uint8_t* BitmapGreyPalette();

}  // namespace vcdalbum::codec
