// Bicubic picture scaler (cubic convolution, a = -1) for the squeezes and
// zooms.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/owned_image.h"
#include "vcdalbum/Image.h"
#include "vcdalbum/codec.h"

namespace vcdalbum::transitions {

// Largest target side the scaler accepts.
inline constexpr uint32_t kMaxScaledSide = 30000;

// Resamples sw x sh source pixels to trunc(sw * xPercent / 100 + 0.5) x
// trunc(sh * yPercent / 100 + 0.5) target pixels, cut to at most
// maxWidth x maxHeight so that the target buffer is never overrun. Source
// position 0 maps to target position 0, each byte of a pixel is resampled on
// its own in double precision and clamped to 0..255. Returns false when its
// working rows cannot be allocated; the target is then unchanged.
bool ResampleBicubic(const unsigned char* source, size_t sourceStride, unsigned char* target, size_t targetStride,
                     uint32_t sw, uint32_t sh, double xPercent, double yPercent, uint32_t maxWidth,
                     uint32_t maxHeight);

// Resizes `source` into the width and height of `target`, whose buffer holds
// rows of ImageStride(target->width) bytes. Refuses (false) an empty source,
// a target side of 0 or above kMaxScaledSide, and missing pixel buffers.
bool ScalePicture(const Image* source, Image* target);

// A fresh copy of `source` (W x H, rows `sourceStride` apart) scaled to
// width x height; false when it cannot be allocated or scaled.
bool MakeScaledCopy(const unsigned char* source, size_t sourceStride, uint32_t sw, uint32_t sh, uint32_t width,
                    uint32_t height, OwnedImage& copy);

}  // namespace vcdalbum::transitions
