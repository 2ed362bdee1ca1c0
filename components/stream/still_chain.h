// The pictures that bring a held still to the player as sharp as the rate
// buffer allows.
//
// A still held for seconds has the bits of many frames, but the player only
// ever shows what it has decoded: the rate control of the stream encoder
// spends a frame's share on the still's first picture and then nearly
// nothing, so the still stays coarse until the encoder refines it, and the
// I-picture that every group of pictures must start with comes back coarse
// again. This run is coded at fixed quantisers instead: an I-picture as
// fine as the buffer, full before it, can take; then P-pictures at ever
// finer quantisers that add the detail the I-picture left out, each sent
// once the buffer has room for it, with skipped pictures between them.
// The run fits in one group of pictures and leaves the buffer full again,
// so that every later group of the hold can write it again unchanged and
// the still looks the same in each.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ffmpeg_util.h"
#include "held_frames.h"
#include "contract/video_standard.h"
#include "vbv_model.h"

namespace vcdalbum::components::stream {

struct StillBudget {
    VbvModel buffer;           // the rate buffer just before the run's first picture
    int64_t frames = 0;        // frames by whose end the run must have left the buffer full
    int64_t settledBits = 0;   // a P-picture this small at the finest quantiser leaves nothing to refine
    double margin = 1.1;       // a picture is sent only when the buffer holds this many times its bits
    std::span<const uint8_t> skipped;  // the picture that repeats its reference
};

// The run for `still`: its pictures in order, skipped ones included, with
// sizes that keep the buffer of `budget`. Empty when not even the coarsest
// I-picture leaves the buffer full in time, or the encoder fails.
// `codedPictures` receives how many of them the encoder made.
std::vector<CodedPicture> MakeStillRun(const AVFrame& still, const video::VideoStandard& standard,
                                       const StillBudget& budget, int64_t& codedPictures);

}  // namespace vcdalbum::components::stream
