// The library's in-memory picture: 24-bit, blue-green-red, rows top-down,
// every row padded to a multiple of 4 bytes. Hosts pass it to
// Authoring::DoTransitionEffect, so its field order and widths are fixed.
#pragma once

#include <cstdint>

struct Image {
    uint32_t headerSize;   // 40 in a decoded record
    uint32_t reserved1;    // never interpreted; the decoder leaves the caller's value
    uint32_t width;
    uint32_t height;
    uint32_t heightCopy;   // equal to height after decoding; only copied
    uint32_t compression;  // 0
    uint32_t imageSize;    // row stride * height
    uint32_t reserved2;
    uint32_t reserved3;
    void* palette;         // grey palette of a one-component source, else untouched
    unsigned char* data;   // malloc'ed pixel rows; the holder frees them with free()
};

// Row stride of an Image: 3 * width rounded up to a multiple of 4.
inline constexpr uint32_t ImageStride(uint32_t width) { return (3u * width + 3u) & ~3u; }

#if defined(__i386__) || defined(_M_IX86)
#include <cstddef>
static_assert(sizeof(Image) == 44, "Image is eleven 32-bit words");
static_assert(offsetof(Image, palette) == 36 && offsetof(Image, data) == 40, "Image layout");
#endif
