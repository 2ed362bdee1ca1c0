// The decoder's entry: a whole JPEG stream in memory into an Image record.
#pragma once

#include <cstdint>
#include <span>

#include "codec/jpeg_reader.h"
#include "codec/membuffer.h"
#include "vcdalbum/Image.h"

namespace vcdalbum::codec {

// Decodes `bytes` into `image`. On success (kDecodeOk, or
// kDecodeMissingEndOfImage with the picture complete) the record is filled
// and `image.data` is a fresh malloc'ed block of (3 * width + 3) * height
// bytes. Every other outcome leaves the record untouched. All working
// memory belongs to the call.
DecodeStatus DecodeJpegStream(std::span<const uint8_t> bytes, Image& image);

// The same for a source buffer, from its current position. Returns 0 (done,
// also when the end-of-image marker is missing), 1 (no start-of-image
// marker), 2 (header error), 4 (too large) or 5 (out of memory).
int DecodeJpeg(MemBuffer& source, Image* image);

// Fills the record from the intermediate bitmap's headers in `header` (size,
// image bytes, palette of a grey source) and hands it `pixels`. The record
// is always 24-bit: a grey source was expanded to blue = green = red, so the
// image bytes are those of 24-bit rows.
void FillImageFromBitmap(Image& image, MemBuffer& header, unsigned char* pixels);

}  // namespace vcdalbum::codec
