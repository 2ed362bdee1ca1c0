// Bringing a photo down to the size it has in the frame without aliasing.
//
// A camera picture is ten or more times the frame's size. Sampling it at a
// few points per output pixel, as an interpolating scaler does, folds its
// fine detail (leaves, grain, fabric) back as coarse false patterns that
// the MPEG coder then spends its bits on. Here every output pixel is a
// weighted sum over its whole footprint in the source: a Lanczos kernel of
// three lobes whose width grows with the reduction.
#pragma once

#include <cstdint>

#include <vcdalbum/Image.h>

#include "support/owned_image.h"

struct AVFrame;

namespace vcdalbum::host {

// `source` (BGR) resampled to width x height. Either side may also grow,
// where the kernel interpolates; fitting pictures only ever shrink it here.
// Throws RunError when memory is short.
OwnedImage ShrinkPicture(const Image& source, uint32_t width, uint32_t height);

// The same for a decoded picture, as stored (not yet turned upright), into
// BGR: each plane of a YUV or grey picture is resampled on its own, its
// chroma by where its samples sit, before the colour conversion, so that a
// camera-sized picture is never converted whole. Empty for other formats
// (RGB, palettes, alpha, more than 8 bits), which the caller converts first.
OwnedImage ShrinkDecodedPicture(const AVFrame& frame, uint32_t width, uint32_t height);

}  // namespace vcdalbum::host
