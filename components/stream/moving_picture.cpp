#include "moving_picture.h"

#include "picture_input.h"

namespace vcdalbum::components::stream {
namespace {

namespace input = vcdalbum::components::picture_input;

}  // namespace

std::string MovingPicture::Open(const std::string& source, uint32_t seed, motion::FrameShape frame) {
    input::Problem problem;
    FramePtr decoded = input::DecodeFirstPicture(source, problem);
    if (!decoded) return problem.text;
    FramePtr rgb = input::ConvertFrame(*decoded, AV_PIX_FMT_RGB24, false, decoded->width, decoded->height);
    if (!rgb) return "cannot convert the picture's pixel format";
    const int orientation = input::Orientation(*decoded);
    decoded.reset();
    const bool swap = input::SwapsSides(orientation);
    const int width = swap ? rgb->height : rgb->width, height = swap ? rgb->width : rgb->height;
    pixels_.resize(static_cast<size_t>(width) * height * 3);
    input::Orient(rgb->data[0], static_cast<size_t>(rgb->linesize[0]), rgb->width, rgb->height, orientation,
                  pixels_.data(), static_cast<size_t>(width) * 3);
    rgb.reset();

    frame_ = frame;
    mips_.emplace(motion::PixelView{pixels_.data(), static_cast<size_t>(width) * 3, width, height});
    path_.emplace(seed, width, height, frame);
    rgb_ = input::AllocFrame(AV_PIX_FMT_RGB24, frame.width, frame.height);
    if (!mips_->ok() || !rgb_) return "out of memory";
    return std::string();
}

FramePtr MovingPicture::Frame(double t) {
    mips_->Sample(path_->At(t), frame_, rgb_->data[0], static_cast<size_t>(rgb_->linesize[0]));
    return input::ConvertFrame(*rgb_, AV_PIX_FMT_YUV420P, false, frame_.width, frame_.height);
}

}  // namespace vcdalbum::components::stream
