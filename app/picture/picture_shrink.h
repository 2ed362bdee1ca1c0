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

namespace vcdalbum::host {

// `source` (BGR) resampled to width x height. Either side may also grow,
// where the kernel interpolates; fitting pictures only ever shrink it here.
// Throws RunError when memory is short.
OwnedImage ShrinkPicture(const Image& source, uint32_t width, uint32_t height);

}  // namespace vcdalbum::host
