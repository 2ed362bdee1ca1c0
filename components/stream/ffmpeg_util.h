// FFmpeg's C objects as the encoder holds them: the shared picture-input
// holders, plus the resampler's.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libswresample/swresample.h>
}

#include "ffmpeg_handles.h"
#include "picture_input.h"

namespace vrxstream {

using vcdalbum::picture_input::AvErrorText;
using vcdalbum::picture_input::CodecContextPtr;
using vcdalbum::picture_input::FileUrl;
using vcdalbum::picture_input::FramePtr;
using vcdalbum::picture_input::InputPtr;
using vcdalbum::picture_input::PacketPtr;
using vcdalbum::picture_input::SwsPtr;

struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;

}  // namespace vrxstream
