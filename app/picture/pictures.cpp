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

namespace {

// The first picture of `file`, as decoded; throws InputError naming it.
input::FramePtr DecodePicture(const fs::path& file, std::string* dateTaken) {
    const std::string name = file.string();
    input::DecodeOptions options;
    options.refuseDamaged = true;  // refused rather than burned with grey blocks
    options.maxPixels = kMaxPixels;
    input::Problem problem;
    input::FramePtr frame = input::DecodeFirstPicture(name, problem, options);
    if (!frame) {
        if (problem.kind == input::Problem::Kind::kOutOfMemory) throw RunError(name + ": " + problem.text);
        throw InputError(name + ": " + problem.text);
    }
    if (dateTaken) {
        const AVDictionaryEntry* e = av_dict_get(frame->metadata, "DateTimeOriginal", nullptr, 0);
        *dateTaken = e ? e->value : "";
    }
    return frame;
}

// `bgr` turned upright by `orientation`.
OwnedImage Oriented(OwnedImage bgr, int orientation) {
    if (orientation == 1) return bgr;
    const bool swap = input::SwapsSides(orientation);
    OwnedImage upright = BlackPicture(swap ? bgr.height() : bgr.width(), swap ? bgr.width() : bgr.height());
    input::Orient(bgr.row(0), ImageStride(bgr.width()), static_cast<int>(bgr.width()), static_cast<int>(bgr.height()),
                  orientation, upright.row(0), ImageStride(upright.width()));
    return upright;
}

// A decoded picture upright at width x height, resampled over each output
// pixel's footprint where it shrinks, and converted to BGR only once small.
OwnedImage ShrunkUpright(const AVFrame& frame, int orientation, uint32_t width, uint32_t height,
                         const std::string& name) {
    const bool swap = input::SwapsSides(orientation);
    const uint32_t storedW = swap ? height : width, storedH = swap ? width : height;
    OwnedImage stored = ShrinkDecodedPicture(frame, storedW, storedH);
    if (!stored)
        stored = ShrinkPicture(UprightPicture(frame, 1, name, static_cast<uint32_t>(frame.width),
                                              static_cast<uint32_t>(frame.height)).get(),
                               storedW, storedH);
    return Oriented(std::move(stored), orientation);
}

}  // namespace

OwnedImage ReadPicture(const fs::path& file, std::string* dateTaken) {
    const input::FramePtr frame = DecodePicture(file, dateTaken);
    return UprightPicture(*frame, input::Orientation(*frame), file.string(), static_cast<uint32_t>(frame->width),
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
    return Oriented(std::move(bgr), orientation);
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

namespace {

// `fitted` centred in a black frame of the standard.
OwnedImage PlaceInFrame(const OwnedImage& fitted, const VideoStandard& standard) {
    const uint32_t frameW = standard.width, frameH = standard.height;
    OwnedImage frame = BlackPicture(frameW, frameH);
    const uint32_t x0 = (frameW - fitted.width()) / 2, y0 = (frameH - fitted.height()) / 2;
    for (uint32_t y = 0; y < fitted.height(); ++y)
        std::memcpy(frame.row(y0 + y) + 3 * x0, fitted.row(y), 3 * static_cast<size_t>(fitted.width()));
    return frame;
}

}  // namespace

double ScaleToTwiceTheFit(uint32_t width, uint32_t height, const VideoStandard& standard) {
    const FitSize fit = FitIntoFrame(width, height, standard);
    return std::min(1.0, 2.0 * std::max(static_cast<double>(fit.width) / width, static_cast<double>(fit.height) / height));
}

OwnedImage FitToFrame(const Image& picture, const VideoStandard& standard) {
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
    return PlaceInFrame(fitted, standard);
}

void WriteJpeg(const Image& image, const fs::path& out) { WriteWorkJpeg(image, out); }

OwnedImage PrepareFrame(const fs::path& in, const CaptionRequest& caption, OwnedImage* uncaptioned,
                        OwnedImage* asRead, const VideoStandard& standard) {
    std::string taken;
    const input::FramePtr decoded = DecodePicture(in, caption.fromDate ? &taken : nullptr);
    const int orientation = input::Orientation(*decoded);
    const bool swap = input::SwapsSides(orientation);
    const auto storedW = static_cast<uint32_t>(decoded->width), storedH = static_cast<uint32_t>(decoded->height);
    const uint32_t uprightW = swap ? storedH : storedW, uprightH = swap ? storedW : storedH;
    const FitSize fit = FitIntoFrame(uprightW, uprightH, standard);
    const bool shrinks = uprightW > fit.width || uprightH > fit.height;
    OwnedImage frame =
        shrinks ? PlaceInFrame(ShrunkUpright(*decoded, orientation, fit.width, fit.height, in.string()), standard)
                : FitToFrame(UprightPicture(*decoded, orientation, in.string(), storedW, storedH).get(), standard);
    if (uncaptioned) {
        *uncaptioned = BlackPicture(frame.width(), frame.height());
        std::memcpy(uncaptioned->row(0), frame.row(0), ImageStride(frame.width()) * static_cast<size_t>(frame.height()));
    }
    DrawCaption(frame.get(), CaptionText(caption, taken));
    if (asRead) {
        // What pan-and-zoom samples from: square pixels, twice the picture's
        // size in the frame, which holds every detail the closest view shows.
        const double scale = ScaleToTwiceTheFit(uprightW, uprightH, standard);
        const auto w = static_cast<uint32_t>(std::max(1L, std::lround(uprightW * scale)));
        const auto h = static_cast<uint32_t>(std::max(1L, std::lround(uprightH * scale)));
        *asRead = scale < 1 ? ShrunkUpright(*decoded, orientation, w, h, in.string())
                            : UprightPicture(*decoded, orientation, in.string(), storedW, storedH);
    }
    return frame;
}

void PreparePicture(const fs::path& in, const fs::path& out, const CaptionRequest& caption,
                    const VideoStandard& standard) {
    WriteJpeg(PrepareFrame(in, caption, nullptr, nullptr, standard).get(), out);
}

}  // namespace vcdalbum::host
