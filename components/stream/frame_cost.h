// The most a frame can cost: its size as an I-frame at the coarsest
// quantiser, from a second, intra-only encoder that never writes anything.
//
// The stream's rate control codes a frame more coarsely when it would not
// fit the decoder's buffer, down to quantiser 31. A frame larger than the
// buffer's content even then cannot be saved by the rate control; knowing
// this size before the frame is sent lets the frame be softened first.
#pragma once

#include <cstdint>
#include <string>

#include "ffmpeg_util.h"
#include "contract/video_standard.h"

namespace vcdalbum::components::stream {

class FrameCostProbe {
public:
    explicit FrameCostProbe(const video::VideoStandard& standard = video::kNtsc) : standard_(standard) {}

    // Bits of `frame` (YUV 4:2:0 of the standard's size) coded as an I-frame at quantiser
    // 31, or -1 when the probe encoder fails.
    int64_t CoarsestIntraBits(const AVFrame& frame);

private:
    std::string Open();

    const video::VideoStandard& standard_;
    CodecContextPtr encoder_;
    PacketPtr packet_;
    int64_t pts_ = 0;
    bool failed_ = false;
};

}  // namespace vcdalbum::components::stream
