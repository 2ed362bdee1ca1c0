// FFmpeg's C objects as the encoder holds them: the shared picture-input
// holders, plus the resampler's; and the picture its MPEG-1 encoders make.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libswresample/swresample.h>
}

#include "support/ffmpeg_handles.h"
#include "picture_input.h"
#include "contract/video_standard.h"

namespace vcdalbum::components::stream {

using vcdalbum::components::picture_input::AvErrorText;
using vcdalbum::components::picture_input::CodecContextPtr;
using vcdalbum::components::picture_input::FileUrl;
using vcdalbum::components::picture_input::FramePtr;
using vcdalbum::components::picture_input::InputPtr;
using vcdalbum::components::picture_input::PacketPtr;
using vcdalbum::components::picture_input::SwsPtr;

struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;

// The picture every MPEG-1 encoder of a stream makes: the standard's frame
// size, rate and pixel shape, in YUV 4:2:0 of the limited range. The encoder
// picks the sequence header's aspect code nearest to the pixel shape: 12 for
// NTSC's 10:11, 8 for PAL's 12:11.
inline void SetStreamPicture(AVCodecContext* c, const video::VideoStandard& standard) {
    c->width = standard.width;
    c->height = standard.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->color_range = AVCOL_RANGE_MPEG;
    c->time_base = AVRational{standard.rateDen, standard.rateNum};
    c->framerate = AVRational{standard.rateNum, standard.rateDen};
    c->sample_aspect_ratio = AVRational{standard.sarNum, standard.sarDen};
}

}  // namespace vcdalbum::components::stream
