#include "picture_frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "picture_input.h"

namespace vcdalbum::components::stream {
namespace {

namespace input = vcdalbum::components::picture_input;

// `src` (any size and format, read in its own range) as a TV-range picture.
FramePtr Convert(const AVFrame& src, AVPixelFormat dstFormat, int width, int height, std::string& error) {
    FramePtr dst = input::ConvertFrame(src, dstFormat, false, width, height);
    if (!dst) error = "cannot convert the picture's pixel format";
    return dst;
}

}  // namespace

FramePtr MakeBlackFrame(const video::VideoStandard& standard) {
    const int width = standard.width, height = standard.height;
    FramePtr frame = input::AllocFrame(AV_PIX_FMT_YUV420P, width, height);
    if (!frame) return nullptr;
    for (int y = 0; y < height; ++y) std::memset(frame->data[0] + y * frame->linesize[0], 16, width);
    for (int p = 1; p <= 2; ++p)
        for (int y = 0; y < height / 2; ++y) std::memset(frame->data[p] + y * frame->linesize[p], 128, width / 2);
    frame->color_range = AVCOL_RANGE_MPEG;
    return frame;
}

FramePtr LoadPictureFrame(const std::string& path, const video::VideoStandard& standard, std::string& error) {
    const int frameW = standard.width, frameH = standard.height;
    input::Problem problem;
    FramePtr decoded = input::DecodeFirstPicture(path, problem);
    if (!decoded) {
        error = problem.text;
        return nullptr;
    }
    if (decoded->width == frameW && decoded->height == frameH)
        return Convert(*decoded, AV_PIX_FMT_YUV420P, frameW, frameH, error);

    const int orientation = input::Orientation(*decoded);
    const bool swap = input::SwapsSides(orientation);
    const double uprightW = swap ? decoded->height : decoded->width;
    const double uprightH = swap ? decoded->width : decoded->height;
    // In frame pixels a picture is sarDen/sarNum as wide as in square ones.
    const double scale = std::min(standard.displayWidth() / uprightW, frameH / uprightH);
    const int fitW = std::clamp(static_cast<int>(std::lround(uprightW * scale * standard.sarDen / standard.sarNum)), 1, frameW);
    const int fitH = std::clamp(static_cast<int>(std::lround(uprightH * scale)), 1, frameH);

    // Scale first (cheap on the small result), then turn upright.
    FramePtr scaled = Convert(*decoded, AV_PIX_FMT_RGB24, swap ? fitH : fitW, swap ? fitW : fitH, error);
    if (!scaled) return nullptr;
    decoded.reset();
    std::vector<uint8_t> upright(static_cast<size_t>(fitW) * fitH * 3);
    input::Orient(scaled->data[0], static_cast<size_t>(scaled->linesize[0]), scaled->width, scaled->height, orientation,
                  upright.data(), static_cast<size_t>(fitW) * 3);

    FramePtr canvas = input::AllocFrame(AV_PIX_FMT_RGB24, frameW, frameH);
    if (!canvas) {
        error = "out of memory";
        return nullptr;
    }
    const int left = (frameW - fitW) / 2, top = (frameH - fitH) / 2;
    for (int y = 0; y < frameH; ++y) {
        uint8_t* row = canvas->data[0] + static_cast<size_t>(y) * canvas->linesize[0];
        std::memset(row, 0, frameW * 3);
        if (y >= top && y < top + fitH)
            std::memcpy(row + left * 3, upright.data() + static_cast<size_t>(y - top) * fitW * 3, static_cast<size_t>(fitW) * 3);
    }
    return Convert(*canvas, AV_PIX_FMT_YUV420P, frameW, frameH, error);
}

}  // namespace vcdalbum::components::stream
