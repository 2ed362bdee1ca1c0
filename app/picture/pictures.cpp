#include "picture/pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <memory>
#include <string>

#include <vcdalbum/codec.h>
#include <vcdalbum/transitions.h>

#include "picture/caption_drawing.h"
#include "console/errors.h"
#include "picture/picture_shrink.h"
#include "picture/work_jpeg.h"
#include "picture_input.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

OwnedImage BlackPicture(uint32_t width, uint32_t height) {
    OwnedImage out = OwnedImage::Black(width, height);
    if (!out)
        throw RunError("out of memory for a " + std::to_string(width) + "x" + std::to_string(height) + " picture");
    return out;
}

namespace {

namespace input = components::picture_input;

// Pictures larger than this many pixels are refused before decoding;
// 100 megapixels is beyond any camera a photo disc is made from.
constexpr int64_t kMaxPixels = 100'000'000;

}  // namespace

OwnedImage ReadPicture(const fs::path& file, std::string* dateTaken) {
    const std::string name = file.string();
    input::DecodeOptions options;
    options.refuseDamaged = true;  // refused rather than burned with grey blocks
    options.maxPixels = kMaxPixels;
    input::Problem problem;
    const input::FramePtr frame = input::DecodeFirstPicture(name, problem, options);
    if (!frame) {
        if (problem.kind == input::Problem::Kind::kOutOfMemory) throw RunError(name + ": " + problem.text);
        throw InputError(name + ": " + problem.text);
    }
    if (dateTaken) {
        const AVDictionaryEntry* e = av_dict_get(frame->metadata, "DateTimeOriginal", nullptr, 0);
        *dateTaken = e ? e->value : "";
    }
    return UprightPicture(*frame, input::Orientation(*frame), name, static_cast<uint32_t>(frame->width),
                          static_cast<uint32_t>(frame->height));
}

OwnedImage UprightPicture(const AVFrame& frame, int orientation, const std::string& name, uint32_t width,
                          uint32_t height) {
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    OwnedImage bgr = BlackPicture(width, height);
    uint8_t* dst[4] = {bgr.get().data, nullptr, nullptr, nullptr};
    const int dstStride[4] = {static_cast<int>(ImageStride(bgr.width())), 0, 0, 0};
    if (!input::Convert(frame.data, frame.linesize, static_cast<AVPixelFormat>(frame.format), input::IsFullRange(frame),
                        frame.width, frame.height, dst, dstStride, AV_PIX_FMT_BGR24, true, w, h))
        throw InputError(name + ": picture format not supported");

    if (orientation == 1) return bgr;
    const bool swap = input::SwapsSides(orientation);
    OwnedImage upright = BlackPicture(swap ? bgr.height() : bgr.width(), swap ? bgr.width() : bgr.height());
    input::Orient(bgr.row(0), ImageStride(bgr.width()), w, h, orientation, upright.row(0), ImageStride(upright.width()));
    return upright;
}

FitSize FitIntoFrame(uint32_t width, uint32_t height, const VideoStandard& standard) {
    // In frame pixels the picture is 11/10 (NTSC) or 11/12 (PAL) as wide as
    // in square pixels.
    const double frameW = standard.width, frameH = standard.height;
    const double w = width * (static_cast<double>(standard.sarDen) / standard.sarNum), h = height;
    const double s = std::min(frameW / w, frameH / h);
    const auto fw = static_cast<uint32_t>(std::clamp(std::lround(w * s), 1L, static_cast<long>(standard.width)));
    const auto fh = static_cast<uint32_t>(std::clamp(std::lround(h * s), 1L, static_cast<long>(standard.height)));
    return {fw, fh};
}

OwnedImage FitToFrame(const Image& picture, const VideoStandard& standard) {
    const uint32_t frameW = standard.width, frameH = standard.height;
    OwnedImage frame = BlackPicture(frameW, frameH);
    const FitSize fit = FitIntoFrame(picture.width, picture.height, standard);

    // The library's bicubic scaler samples without a low-pass filter: it
    // serves pictures that grow into the frame. One that shrinks, in either
    // direction, is filtered over each frame pixel's whole footprint.
    OwnedImage fitted;
    if (picture.width > fit.width || picture.height > fit.height)
        fitted = ShrinkPicture(picture, fit.width, fit.height);
    else if (!ScaleImage(picture, fit.width, fit.height, fitted.get()))
        throw RunError("picture scaler: cannot fit a " + std::to_string(picture.width) + "x" +
                       std::to_string(picture.height) + " picture");
    const uint32_t x0 = (frameW - fit.width) / 2, y0 = (frameH - fit.height) / 2;
    for (uint32_t y = 0; y < fit.height; ++y)
        std::memcpy(frame.row(y0 + y) + 3 * x0, fitted.row(y), 3 * static_cast<size_t>(fit.width));
    return frame;
}

void WriteJpeg(const Image& image, const fs::path& out) { WriteWorkJpeg(image, out); }

OwnedImage PrepareFrame(const fs::path& in, const CaptionRequest& caption, OwnedImage* uncaptioned,
                        OwnedImage* asRead, const VideoStandard& standard) {
    std::string taken;
    OwnedImage picture = ReadPicture(in, caption.fromDate ? &taken : nullptr);
    OwnedImage frame = FitToFrame(picture.get(), standard);
    if (uncaptioned) {
        *uncaptioned = BlackPicture(frame.width(), frame.height());
        std::memcpy(uncaptioned->row(0), frame.row(0), ImageStride(frame.width()) * static_cast<size_t>(frame.height()));
    }
    DrawCaption(frame.get(), CaptionText(caption, taken));
    if (asRead) *asRead = std::move(picture);
    return frame;
}

void PreparePicture(const fs::path& in, const fs::path& out, const CaptionRequest& caption,
                    const VideoStandard& standard) {
    WriteJpeg(PrepareFrame(in, caption, nullptr, nullptr, standard).get(), out);
}

}  // namespace vcdalbum::host
