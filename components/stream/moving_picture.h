// A picture that moves across the frame (pan-and-zoom): read once from its
// full-size source, then each frame sampled afresh along its path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ffmpeg_util.h"
#include "motion/pan_zoom.h"

namespace vcdalbum::components::stream {

class MovingPicture {
public:
    // Reads `source` (any picture FFmpeg reads, turned upright by its EXIF
    // orientation) for frames of `frame`'s shape along the path of `seed`.
    // Returns an empty string on success, else the reason.
    std::string Open(const std::string& source, uint32_t seed, motion::FrameShape frame);

    // The frame at path position `t` (0..1), YUV 4:2:0 in TV range; null
    // when memory is short.
    FramePtr Frame(double t);

private:
    motion::FrameShape frame_;
    std::vector<uint8_t> pixels_;  // the upright source, RGB
    std::optional<motion::MipChain> mips_;
    std::optional<motion::PanZoomPath> path_;
    FramePtr rgb_;
};

}  // namespace vcdalbum::components::stream
