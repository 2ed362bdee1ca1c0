#include "picture_frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "picture_input.h"

namespace vcdalbum::components::stream {
namespace {

namespace input = vcdalbum::components::picture_input;

// Display width of the frame in square units: 352 pixels of 10:11.
constexpr double kDisplayWidth = kFrameWidth * 10.0 / 11.0;

// `src` (any size and format, read in its own range) as a TV-range picture.
FramePtr Convert(const AVFrame& src, AVPixelFormat dstFormat, int width, int height, std::string& error) {
    FramePtr dst = input::ConvertFrame(src, dstFormat, false, width, height);
    if (!dst) error = "cannot convert the picture's pixel format";
    return dst;
}

}  // namespace

FramePtr MakeBlackFrame() {
    FramePtr frame = input::AllocFrame(AV_PIX_FMT_YUV420P, kFrameWidth, kFrameHeight);
    if (!frame) return nullptr;
    for (int y = 0; y < kFrameHeight; ++y) std::memset(frame->data[0] + y * frame->linesize[0], 16, kFrameWidth);
    for (int p = 1; p <= 2; ++p)
        for (int y = 0; y < kFrameHeight / 2; ++y) std::memset(frame->data[p] + y * frame->linesize[p], 128, kFrameWidth / 2);
    frame->color_range = AVCOL_RANGE_MPEG;
    return frame;
}

FramePtr LoadPictureFrame(const std::string& path, std::string& error) {
    input::Problem problem;
    FramePtr decoded = input::DecodeFirstPicture(path, problem);
    if (!decoded) {
        error = problem.text;
        return nullptr;
    }
    if (decoded->width == kFrameWidth && decoded->height == kFrameHeight)
        return Convert(*decoded, AV_PIX_FMT_YUV420P, kFrameWidth, kFrameHeight, error);

    const int orientation = input::Orientation(*decoded);
    const bool swap = input::SwapsSides(orientation);
    const double uprightW = swap ? decoded->height : decoded->width;
    const double uprightH = swap ? decoded->width : decoded->height;
    const double scale = std::min(kDisplayWidth / uprightW, kFrameHeight / uprightH);
    const int fitW = std::clamp(static_cast<int>(std::lround(uprightW * scale * 11.0 / 10.0)), 1, kFrameWidth);
    const int fitH = std::clamp(static_cast<int>(std::lround(uprightH * scale)), 1, kFrameHeight);

    // Scale first (cheap on the small result), then turn upright.
    FramePtr scaled = Convert(*decoded, AV_PIX_FMT_RGB24, swap ? fitH : fitW, swap ? fitW : fitH, error);
    if (!scaled) return nullptr;
    decoded.reset();
    std::vector<uint8_t> upright(static_cast<size_t>(fitW) * fitH * 3);
    input::Orient(scaled->data[0], static_cast<size_t>(scaled->linesize[0]), scaled->width, scaled->height, orientation,
                  upright.data(), static_cast<size_t>(fitW) * 3);

    FramePtr canvas = input::AllocFrame(AV_PIX_FMT_RGB24, kFrameWidth, kFrameHeight);
    if (!canvas) {
        error = "out of memory";
        return nullptr;
    }
    const int left = (kFrameWidth - fitW) / 2, top = (kFrameHeight - fitH) / 2;
    for (int y = 0; y < kFrameHeight; ++y) {
        uint8_t* row = canvas->data[0] + static_cast<size_t>(y) * canvas->linesize[0];
        std::memset(row, 0, kFrameWidth * 3);
        if (y >= top && y < top + fitH)
            std::memcpy(row + left * 3, upright.data() + static_cast<size_t>(y - top) * fitW * 3, static_cast<size_t>(fitW) * 3);
    }
    return Convert(*canvas, AV_PIX_FMT_YUV420P, kFrameWidth, kFrameHeight, error);
}

}  // namespace vcdalbum::components::stream
