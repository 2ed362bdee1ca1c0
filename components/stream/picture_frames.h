// Pictures turned into VCD frames: 352x240 YUV 4:2:0 in TV range.
#pragma once

#include <string>

#include "ffmpeg_util.h"

namespace vcdalbum::components::stream {

inline constexpr int kFrameWidth = 352;
inline constexpr int kFrameHeight = 240;

// A black frame (Y 16, Cb/Cr 128).
FramePtr MakeBlackFrame();

// Reads `path` and makes the frame that shows it. A picture of exactly
// 352x240 is converted as it is; any other picture is turned upright by its
// EXIF orientation and fitted with black borders, keeping its aspect ratio
// on the frame's 10:11 pixels. Returns null and sets `error` on failure.
FramePtr LoadPictureFrame(const std::string& path, std::string& error);

}  // namespace vcdalbum::components::stream
