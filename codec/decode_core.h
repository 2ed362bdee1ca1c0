// The decoding core: entropy decoding, dequantisation, inverse DCT,
// upsampling and colour conversion of the scans of one baseline frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/jpeg_reader.h"

namespace vcdalbum::codec {

// Decodes the frame whose headers, up to and including the first scan
// header, are in `info`; `pos` is the first byte of that scan's entropy data.
// Writes `info.height` rows of 3 * `info.width` bytes, blue-green-red, `stride`
// bytes apart, to `out` (grey pictures with blue = green = red), and zeroes
// the padding at the end of each row.
//
// The picture is decoded MCU row by MCU row, so working memory stays one MCU
// row of samples whatever the picture's size. A frame coded in several scans
// (one per component, or partly interleaved) has its scans decoded side by
// side; their headers are read, and each scan's data is read through once to
// find the next, before any pixel is written. A component that no scan
// carries makes the frame a header error.
//
// Returns kDecodeOk, kDecodeMissingEndOfImage (picture complete, but the data
// does not end in EOI), kDecodeHeaderError for a damaged later segment,
// kDecodeOutOfMemory. Entropy data that ends early is read as zero bits.
DecodeStatus DecodeFrame(std::span<const uint8_t> data, size_t pos, JpegInfo& info, uint8_t* out, size_t stride);

}  // namespace vcdalbum::codec
