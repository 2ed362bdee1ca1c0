// Baseline JFIF encoder. It writes Y 2x1 with Cb and Cr 1x1 (or one grey
// component), the example quantisers of T.81 Annex K halved, the typical
// Huffman tables and no restart markers. The arithmetic is fixed integer
// arithmetic throughout, so the same picture always gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/membuffer.h"
#include "vcdalbum/Image.h"

namespace vcdalbum::codec {

enum EncodeResult : int {
    kEncodeOk = 0,
    kEncodeNoMagic = 1,      // the header buffer does not start with "BM"
    kEncodeUnsupported = 2,  // not 8 or 24 bits, or a size JPEG cannot carry
    kEncodeOutOfMemory = 3,
    kEncodeBadImage = 4,     // an Image record whose buffer cannot hold its rows
};

// Rows of pixels to encode: `bitsPerPixel` 24 (blue, green, red) or 8
// (grey), top-down, `stride` bytes apart. Only `size` bytes from `pixels`
// are read; rows beyond them keep the bytes of the last full batch read (or
// zeros), as the intermediate bitmap's short reads do.
struct EncodeSource {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 24;
    size_t stride = 0;
    const uint8_t* pixels = nullptr;
    size_t size = 0;
};

// Appends the whole JPEG stream for `source` to `out`, which grows as
// needed. On failure `out` keeps its previous contents.
int EncodeJpegPixels(const EncodeSource& source, std::vector<uint8_t>& out);

// Describes a 24-bit Image record's rows (stride ImageStride(width)) as a
// source. kEncodeBadImage when it has no pixels, a size of 0 or above 65535,
// or an imageSize too small for its rows.
int SourceFromImage(const Image& image, EncodeSource& source);

// Encodes the intermediate bitmap (`header`, `pixels`) and appends the
// stream to `out`. Returns an EncodeResult; nothing is appended on failure.
int EncodeJpeg(std::vector<uint8_t>& out, MemBuffer& header, MemBuffer& pixels);

// The quantiser the encoder uses for table 0 (luminance) or 1 (chrominance).
struct QuantTable;
const QuantTable& EncoderQuantTable(int table);

}  // namespace vcdalbum::codec
