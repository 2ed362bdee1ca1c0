// Pictures turned into VCD frames: YUV 4:2:0 in TV range, 352x240 (NTSC) or
// 352x288 (PAL).
#pragma once

#include <string>

#include "ffmpeg_util.h"
#include "contract/video_standard.h"

namespace vcdalbum::components::stream {

// A black frame (Y 16, Cb/Cr 128) of the standard's size.
FramePtr MakeBlackFrame(const video::VideoStandard& standard = video::kNtsc);

// Reads `path` and makes the frame that shows it. A picture of exactly the
// frame's size is converted as it is; any other picture is turned upright by
// its EXIF orientation and fitted with black borders, keeping its aspect
// ratio on the frame's pixels (10:11 NTSC, 12:11 PAL). Returns null and sets
// `error` on failure.
FramePtr LoadPictureFrame(const std::string& path, const video::VideoStandard& standard, std::string& error);

}  // namespace vcdalbum::components::stream
