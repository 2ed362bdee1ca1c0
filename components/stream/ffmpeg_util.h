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

}  // namespace vcdalbum::components::stream
