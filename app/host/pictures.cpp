#include "host/pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <vcdalbum/codec.h>
#include <vcdalbum/transitions.h>

#include "host/errors.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

OwnedImage& OwnedImage::operator=(OwnedImage&& other) noexcept {
    if (this != &other) {
        ReleaseImage(image_);
        image_ = other.image_;
        other.image_.data = nullptr;
    }
    return *this;
}

OwnedImage::~OwnedImage() { ReleaseImage(image_); }

OwnedImage OwnedImage::Black(uint32_t width, uint32_t height) {
    OwnedImage out;
    if (!AllocateImage(out.image_, width, height))
        throw RunError("out of memory for a " + std::to_string(width) + "x" + std::to_string(height) + " picture");
    return out;
}

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Pictures larger than this many pixels are refused before decoding;
// 100 megapixels is beyond any camera a photo disc is made from.
constexpr int64_t kMaxPixels = 100'000'000;

// The decoder's reduction (0..3: 1/1 .. 1/8 of each side, by a scaled
// inverse DCT) that still leaves twice the size a w x h picture takes in the
// frame, in either orientation: FitToFrame brings such a picture down to that
// size anyway, so nothing is lost, and a camera-sized picture then costs a
// fraction of a full decode and conversion.
int FrameReduction(int w, int h, int maxReduction) {
    for (int r = std::min(maxReduction, 3); r > 0; --r) {
        const auto rw = static_cast<uint32_t>((w + (1 << r) - 1) >> r), rh = static_cast<uint32_t>((h + (1 << r) - 1) >> r);
        const FitSize upright = FitIntoFrame(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
        const FitSize turned = FitIntoFrame(static_cast<uint32_t>(h), static_cast<uint32_t>(w));
        if (rw >= 2 * upright.width && rh >= 2 * upright.height && rh >= 2 * turned.width && rw >= 2 * turned.height)
            return r;
    }
    return 0;
}

std::unique_ptr<AVFrame, FrameFreer> DecodeFirstFrame(const fs::path& file, bool forFrame) {
    const std::string name = file.string();
    std::error_code ec;
    if (!fs::exists(file, ec)) throw InputError(name + ": picture not found");
    if (!fs::is_regular_file(file, ec)) throw InputError(name + ": not a picture file");

    AVFormatContext* raw = nullptr;
    if (int rc = avformat_open_input(&raw, name.c_str(), nullptr, nullptr); rc < 0)
        throw InputError(name + ": not a picture that can be read (" + AvError(rc) + ")");
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        throw InputError(name + ": not a picture that can be read");
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) throw InputError(name + ": holds no picture");
    const AVCodecParameters* par = format->streams[index]->codecpar;
    if (static_cast<int64_t>(par->width) * par->height > kMaxPixels)
        throw InputError(name + ": picture of " + std::to_string(par->width) + "x" + std::to_string(par->height) +
                         " pixels is too large");
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) throw InputError(name + ": picture format not supported");
    std::unique_ptr<AVCodecContext, CodecFreer> ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), par) < 0) throw RunError(name + ": decoder set-up failed");
    // A damaged picture is refused rather than burned with grey blocks.
    ctx->err_recognition |= AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM;
    ctx->thread_count = 1;
    if (forFrame) ctx->lowres = FrameReduction(par->width, par->height, codec->max_lowres);
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) throw InputError(name + ": picture format not supported");

    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    if (!packet || !frame) throw RunError(name + ": out of memory");
    bool flushing = false;
    for (;;) {
        int rc = avcodec_receive_frame(ctx.get(), frame.get());
        if (rc == 0) {
            if (frame->decode_error_flags || (frame->flags & AV_FRAME_FLAG_CORRUPT))
                throw InputError(name + ": damaged picture");
            return frame;
        }
        if (rc != AVERROR(EAGAIN) || flushing) throw InputError(name + ": damaged picture (" + AvError(rc) + ")");
        rc = av_read_frame(format.get(), packet.get());
        if (rc < 0) {
            flushing = true;
            avcodec_send_packet(ctx.get(), nullptr);
            continue;
        }
        if (packet->stream_index == index) {
            rc = avcodec_send_packet(ctx.get(), packet.get());
            if (rc < 0 && rc != AVERROR(EAGAIN))
                throw InputError(name + ": damaged picture (" + AvError(rc) + ")");
        }
        av_packet_unref(packet.get());
    }
}

// EXIF orientation 1..8 from the decoder's metadata; 1 (upright) when absent.
int Orientation(const AVFrame& frame) {
    if (const AVDictionaryEntry* e = av_dict_get(frame.metadata, "Orientation", nullptr, 0)) {
        const int v = std::atoi(e->value);
        if (v >= 1 && v <= 8) return v;
    }
    return 1;
}

// Turns a picture upright. Orientation o says where the stored rows belong:
// 2 mirror, 3 rotate 180, 4 flip, 5 transpose, 6 rotate 90 clockwise,
// 7 transverse, 8 rotate 90 anticlockwise.
OwnedImage Orient(const OwnedImage& in, int orientation) {
    const bool swap = orientation >= 5;
    const uint32_t w = in.width(), h = in.height();
    OwnedImage out = OwnedImage::Black(swap ? h : w, swap ? w : h);
    for (uint32_t y = 0; y < out.height(); ++y) {
        unsigned char* dst = out.row(y);
        for (uint32_t x = 0; x < out.width(); ++x) {
            uint32_t sx = x, sy = y;  // the source pixel shown at (x, y)
            switch (orientation) {
                case 2: sx = w - 1 - x; break;
                case 3: sx = w - 1 - x; sy = h - 1 - y; break;
                case 4: sy = h - 1 - y; break;
                case 5: sx = y; sy = x; break;
                case 6: sx = y; sy = h - 1 - x; break;
                case 7: sx = w - 1 - y; sy = h - 1 - x; break;
                case 8: sx = w - 1 - y; sy = x; break;
                default: break;
            }
            std::memcpy(dst + 3 * x, in.row(sy) + 3 * sx, 3);
        }
    }
    return out;
}

// Converts between two BGR pictures of any sizes with FFmpeg's bicubic scaler.
void Scale(const uint8_t* src, int srcStride, int srcW, int srcH, AVPixelFormat srcFormat, uint8_t* dst,
           int dstStride, int dstW, int dstH) {
    std::unique_ptr<SwsContext, SwsFreer> sws(sws_getContext(srcW, srcH, srcFormat, dstW, dstH, AV_PIX_FMT_BGR24,
                                                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                                             nullptr, nullptr, nullptr));
    if (!sws) throw RunError("picture scaler set-up failed");
    // JPEG is full range, and so are the JPEG files written here.
    const int* coefs = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(sws.get(), coefs, 1, coefs, 1, 0, 1 << 16, 1 << 16);
    const uint8_t* srcPlanes[4] = {src, nullptr, nullptr, nullptr};
    int srcStrides[4] = {srcStride, 0, 0, 0};
    uint8_t* dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
    int dstStrides[4] = {dstStride, 0, 0, 0};
    sws_scale(sws.get(), srcPlanes, srcStrides, 0, srcH, dstPlanes, dstStrides);
}

}  // namespace

OwnedImage ReadPicture(const fs::path& file, bool forFrame) {
    auto frame = DecodeFirstFrame(file, forFrame);
    const int w = frame->width, h = frame->height;
    if (w <= 0 || h <= 0) throw InputError(file.string() + ": picture has no size");
    OwnedImage bgr = OwnedImage::Black(static_cast<uint32_t>(w), static_cast<uint32_t>(h));

    // Deprecated JPEG pixel formats name full range; the scaler wants the plain ones.
    AVPixelFormat format = static_cast<AVPixelFormat>(frame->format);
    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    switch (format) {
        case AV_PIX_FMT_YUVJ420P: format = AV_PIX_FMT_YUV420P; fullRange = true; break;
        case AV_PIX_FMT_YUVJ422P: format = AV_PIX_FMT_YUV422P; fullRange = true; break;
        case AV_PIX_FMT_YUVJ444P: format = AV_PIX_FMT_YUV444P; fullRange = true; break;
        case AV_PIX_FMT_YUVJ440P: format = AV_PIX_FMT_YUV440P; fullRange = true; break;
        case AV_PIX_FMT_YUVJ411P: format = AV_PIX_FMT_YUV411P; fullRange = true; break;
        default: break;
    }
    std::unique_ptr<SwsContext, SwsFreer> sws(sws_getContext(w, h, format, w, h, AV_PIX_FMT_BGR24,
                                                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                                             nullptr, nullptr, nullptr));
    if (!sws) throw InputError(file.string() + ": picture format not supported");
    const int* coefs = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(sws.get(), coefs, fullRange ? 1 : 0, coefs, 1, 0, 1 << 16, 1 << 16);
    uint8_t* dst[4] = {bgr.get().data, nullptr, nullptr, nullptr};
    int dstStride[4] = {static_cast<int>(ImageStride(bgr.width())), 0, 0, 0};
    sws_scale(sws.get(), frame->data, frame->linesize, 0, h, dst, dstStride);

    const int orientation = Orientation(*frame);
    return orientation == 1 ? std::move(bgr) : Orient(bgr, orientation);
}

FitSize FitIntoFrame(uint32_t width, uint32_t height) {
    // In frame pixels the picture is 11/10 as wide as in square pixels.
    const double w = width * 1.1, h = height;
    const double s = std::min(kFrameWidth / w, kFrameHeight / h);
    const auto fw = static_cast<uint32_t>(std::clamp(std::lround(w * s), 1L, static_cast<long>(kFrameWidth)));
    const auto fh = static_cast<uint32_t>(std::clamp(std::lround(h * s), 1L, static_cast<long>(kFrameHeight)));
    return {fw, fh};
}

OwnedImage FitToFrame(const Image& picture) {
    OwnedImage frame = OwnedImage::Black(kFrameWidth, kFrameHeight);
    const FitSize fit = FitIntoFrame(picture.width, picture.height);

    // The library's bicubic scaler samples without a low-pass filter, so a
    // camera-sized picture is first brought down to twice the fitted size
    // with an averaging reduction; the final fit is the library's.
    const Image* source = &picture;
    OwnedImage reduced;
    if (picture.width > 2 * fit.width || picture.height > 2 * fit.height) {
        reduced = OwnedImage::Black(std::min(picture.width, 2 * fit.width), std::min(picture.height, 2 * fit.height));
        Scale(picture.data, static_cast<int>(ImageStride(picture.width)), static_cast<int>(picture.width),
              static_cast<int>(picture.height), AV_PIX_FMT_BGR24, reduced.row(0),
              static_cast<int>(ImageStride(reduced.width())), static_cast<int>(reduced.width()),
              static_cast<int>(reduced.height()));
        source = &reduced.get();
    }

    OwnedImage fitted;
    if (!ScaleImage(*source, fit.width, fit.height, fitted.get()))
        throw RunError("picture scaler: cannot fit a " + std::to_string(picture.width) + "x" +
                       std::to_string(picture.height) + " picture");
    const uint32_t x0 = (kFrameWidth - fit.width) / 2, y0 = (kFrameHeight - fit.height) / 2;
    for (uint32_t y = 0; y < fit.height; ++y)
        std::memcpy(frame.row(y0 + y) + 3 * x0, fitted.row(y), 3 * static_cast<size_t>(fit.width));
    return frame;
}

void WriteJpeg(const Image& image, const fs::path& out) {
    const CodecResult rc = EncodeJpegFile(out.string(), image);
    if (!rc.ok()) throw RunError(out.string() + ": cannot write the picture (" + rc.message + ")");
}

void PreparePicture(const fs::path& in, const fs::path& out) {
    const OwnedImage picture = ReadPicture(in, true);
    const OwnedImage frame = FitToFrame(picture.get());
    WriteJpeg(frame.get(), out);
}

}  // namespace vcdalbum::host
