// Keeps frames within what 1,150,000 bit/s can carry.
//
// Frames of fine random detail (the random-pixel dissolves above all) cost
// far more than the VCD rate allows even at the coarsest quantiser, and a
// run of them empties the decoder's 40 KiB rate buffer. Such frames are
// softened just enough to fit; ordinary photos are left alone.
#pragma once

#include "ffmpeg_util.h"

namespace vcdalbum::components::stream {

// Mean absolute difference between neighbouring samples, over the luma plane
// and both chroma planes of a YUV 4:2:0 frame.
double FrameActivity(const AVFrame& frame);

// Softens `frame` (YUV 4:2:0) in place with [1 2 1] passes until its activity
// is at most `maxActivity`. Returns the number of passes made.
int LimitDetail(AVFrame& frame, double maxActivity);

}  // namespace vcdalbum::components::stream
