#include "picture_frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace vrxstream {
namespace {

// Display width of the frame in square units: 352 pixels of 10:11.
constexpr double kDisplayWidth = kFrameWidth * 10.0 / 11.0;

FramePtr AllocFrame(AVPixelFormat format, int width, int height) {
    FramePtr frame(av_frame_alloc());
    if (!frame) return nullptr;
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    return frame;
}

bool IsFullRange(const AVFrame& frame) {
    switch (frame.format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ411P:
            return true;
        default:
            break;
    }
    if (frame.color_range == AVCOL_RANGE_JPEG) return true;
    if (frame.color_range == AVCOL_RANGE_MPEG) return false;
    // Untagged: RGB and grey pictures are full range, YUV video is TV range.
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    return desc == nullptr || (desc->flags & AV_PIX_FMT_FLAG_RGB) != 0 || desc->nb_components <= 2;
}

// Converts `src` (any size and format) to `dstFormat` at the given size; a
// YUV source is read in its range, a YUV destination is written in TV range.
// The same layout without the old full-range tag; the range is given apart.
AVPixelFormat PlainFormat(int format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
        default: return static_cast<AVPixelFormat>(format);
    }
}

FramePtr Convert(const AVFrame& src, AVPixelFormat dstFormat, int width, int height, std::string& error) {
    SwsPtr sws(sws_getContext(src.width, src.height, PlainFormat(src.format), width, height, dstFormat,
                              SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
    FramePtr dst = AllocFrame(dstFormat, width, height);
    if (!sws || !dst) {
        error = "cannot convert the picture's pixel format";
        return nullptr;
    }
    const int* coefs = sws_getCoefficients(SWS_CS_ITU601);
    int srcRange = IsFullRange(src) ? 1 : 0;
    sws_setColorspaceDetails(sws.get(), coefs, srcRange, coefs, 0, 0, 1 << 16, 1 << 16);
    sws_scale(sws.get(), src.data, src.linesize, 0, src.height, dst->data, dst->linesize);
    dst->color_range = AVCOL_RANGE_MPEG;
    return dst;
}

FramePtr DecodeFirstFrame(const std::string& path, std::string& error) {
    InputPtr input;
    CodecContextPtr decoder;
    int streamIndex = -1;
    error = OpenDecoder(path, AVMEDIA_TYPE_VIDEO, input, decoder, streamIndex);
    if (!error.empty()) return nullptr;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
        error = "out of memory";
        return nullptr;
    }
    bool flushed = false;
    for (;;) {
        int r = avcodec_receive_frame(decoder.get(), frame.get());
        if (r == 0) return frame;
        if (r != AVERROR(EAGAIN)) break;
        if (flushed) break;
        r = av_read_frame(input.get(), packet.get());
        if (r < 0) {
            avcodec_send_packet(decoder.get(), nullptr);
            flushed = true;
            continue;
        }
        if (packet->stream_index == streamIndex) avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
    }
    error = "no picture could be decoded";
    return nullptr;
}

// Copies `src` (RGB24) into a new RGB24 buffer turned by EXIF orientation.
std::vector<uint8_t> Orient(const AVFrame& src, int orientation, int& outW, int& outH) {
    const int sw = src.width, sh = src.height;
    const bool swap = orientation >= 5 && orientation <= 8;
    outW = swap ? sh : sw;
    outH = swap ? sw : sh;
    std::vector<uint8_t> out(static_cast<size_t>(outW) * outH * 3);
    for (int y = 0; y < outH; ++y) {
        for (int x = 0; x < outW; ++x) {
            int sx = x, sy = y;
            switch (orientation) {
                case 2: sx = sw - 1 - x; break;
                case 3: sx = sw - 1 - x; sy = sh - 1 - y; break;
                case 4: sy = sh - 1 - y; break;
                case 5: sx = y; sy = x; break;
                case 6: sx = y; sy = sh - 1 - x; break;
                case 7: sx = sw - 1 - y; sy = sh - 1 - x; break;
                case 8: sx = sw - 1 - y; sy = x; break;
                default: break;
            }
            const uint8_t* p = src.data[0] + static_cast<size_t>(sy) * src.linesize[0] + sx * 3;
            uint8_t* q = out.data() + (static_cast<size_t>(y) * outW + x) * 3;
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        }
    }
    return out;
}

}  // namespace

std::string OpenDecoder(const std::string& path, AVMediaType type, InputPtr& input, CodecContextPtr& decoder,
                        int& streamIndex) {
    AVFormatContext* raw = nullptr;
    int r = avformat_open_input(&raw, FileUrl(path).c_str(), nullptr, nullptr);
    if (r < 0) return AvErrorText(r);
    input.reset(raw);
    if ((r = avformat_find_stream_info(raw, nullptr)) < 0) return AvErrorText(r);
    const AVCodec* codec = nullptr;
    streamIndex = av_find_best_stream(raw, type, -1, -1, &codec, 0);
    if (streamIndex < 0 || codec == nullptr)
        return type == AVMEDIA_TYPE_VIDEO ? "no picture in the file" : "no audio in the file";
    decoder.reset(avcodec_alloc_context3(codec));
    if (!decoder) return "out of memory";
    if ((r = avcodec_parameters_to_context(decoder.get(), raw->streams[streamIndex]->codecpar)) < 0)
        return AvErrorText(r);
    if ((r = avcodec_open2(decoder.get(), codec, nullptr)) < 0) return AvErrorText(r);
    return std::string();
}

int FrameOrientation(const AVFrame& frame) {
    if (const AVDictionaryEntry* e = av_dict_get(frame.metadata, "Orientation", nullptr, 0)) {
        int v = std::atoi(e->value);
        if (v >= 1 && v <= 8) return v;
    }
    if (const AVFrameSideData* sd = av_frame_get_side_data(&frame, AV_FRAME_DATA_DISPLAYMATRIX)) {
        double angle = av_display_rotation_get(reinterpret_cast<const int32_t*>(sd->data));
        if (std::isfinite(angle)) {
            long turn = std::lround(angle / 90.0);
            turn = ((turn % 4) + 4) % 4;  // counter-clockwise quarter turns that were applied
            if (turn == 1) return 6;      // undo with a clockwise turn
            if (turn == 2) return 3;
            if (turn == 3) return 8;
        }
    }
    return 1;
}

FramePtr MakeBlackFrame() {
    FramePtr frame = AllocFrame(AV_PIX_FMT_YUV420P, kFrameWidth, kFrameHeight);
    if (!frame) return nullptr;
    for (int y = 0; y < kFrameHeight; ++y) std::memset(frame->data[0] + y * frame->linesize[0], 16, kFrameWidth);
    for (int p = 1; p <= 2; ++p)
        for (int y = 0; y < kFrameHeight / 2; ++y) std::memset(frame->data[p] + y * frame->linesize[p], 128, kFrameWidth / 2);
    frame->color_range = AVCOL_RANGE_MPEG;
    return frame;
}

FramePtr LoadPictureFrame(const std::string& path, std::string& error) {
    FramePtr decoded = DecodeFirstFrame(path, error);
    if (!decoded) return nullptr;
    if (decoded->width <= 0 || decoded->height <= 0) {
        error = "the picture has no size";
        return nullptr;
    }
    if (decoded->width == kFrameWidth && decoded->height == kFrameHeight)
        return Convert(*decoded, AV_PIX_FMT_YUV420P, kFrameWidth, kFrameHeight, error);

    const int orientation = FrameOrientation(*decoded);
    const bool swap = orientation >= 5 && orientation <= 8;
    const double uprightW = swap ? decoded->height : decoded->width;
    const double uprightH = swap ? decoded->width : decoded->height;
    const double scale = std::min(kDisplayWidth / uprightW, kFrameHeight / uprightH);
    const int fitW = std::clamp(static_cast<int>(std::lround(uprightW * scale * 11.0 / 10.0)), 1, kFrameWidth);
    const int fitH = std::clamp(static_cast<int>(std::lround(uprightH * scale)), 1, kFrameHeight);

    // Scale first (cheap on the small result), then turn upright.
    FramePtr scaled = Convert(*decoded, AV_PIX_FMT_RGB24, swap ? fitH : fitW, swap ? fitW : fitH, error);
    if (!scaled) return nullptr;
    decoded.reset();
    int ow = 0, oh = 0;
    std::vector<uint8_t> upright = Orient(*scaled, orientation, ow, oh);

    FramePtr canvas = AllocFrame(AV_PIX_FMT_RGB24, kFrameWidth, kFrameHeight);
    if (!canvas) {
        error = "out of memory";
        return nullptr;
    }
    const int left = (kFrameWidth - ow) / 2, top = (kFrameHeight - oh) / 2;
    for (int y = 0; y < kFrameHeight; ++y) {
        uint8_t* row = canvas->data[0] + static_cast<size_t>(y) * canvas->linesize[0];
        std::memset(row, 0, kFrameWidth * 3);
        if (y >= top && y < top + oh)
            std::memcpy(row + left * 3, upright.data() + static_cast<size_t>(y - top) * ow * 3, static_cast<size_t>(ow) * 3);
    }
    return Convert(*canvas, AV_PIX_FMT_YUV420P, kFrameWidth, kFrameHeight, error);
}

}  // namespace vrxstream
