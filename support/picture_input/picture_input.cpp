#include "picture_input.h"

#include "declared_size.h"
#include "heif_input.h"
#include "jpeg_check.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

namespace vcdalbum::components::picture_input {
namespace {

using Kind = Problem::Kind;

Problem TooLarge(uint64_t width, uint64_t height) {
    return Fail(Kind::kTooLarge, "picture of " + std::to_string(width) + "x" + std::to_string(height) + " pixels is too large");
}

// The decoders whose strict mode stops on damage alone. Others stop on
// what a good file holds too (the TIFF decoder on any tag it does not know,
// which ImageMagick and FFmpeg both write), so they decode as usual, and
// still fail on a cut or garbled file and on a frame they mark corrupt.
bool StrictDecodingKnown(AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_MJPEG:
        case AV_CODEC_ID_PNG:
        case AV_CODEC_ID_BMP:
        case AV_CODEC_ID_GIF: return true;
        default: return false;
    }
}

// A single JPEG picture, as FFmpeg's still-picture demuxers open one (not a
// motion-JPEG clip in a container, whose timing the probe finds).
bool IsJpegStill(const AVFormatContext& input) {
    if (input.nb_streams != 1 || input.streams[0]->codecpar->codec_id != AV_CODEC_ID_MJPEG) return false;
    const std::string_view demuxer = input.iformat->name;
    return demuxer == "image2" || demuxer == "jpeg_pipe";
}

// Frame buffers as FFmpeg's own, sized for whole macroblocks, but not
// cleared first: clearing a camera picture's 18 MB cost about as much as
// decoding it. Used only where a picture the decoder did not fill in
// completely is refused.
int UnclearedBuffer(AVCodecContext* decoder, AVFrame* frame, int) {
    const int width = frame->width, height = frame->height;
    int alignedW = width, alignedH = height;
    int linesizeAlign[AV_NUM_DATA_POINTERS];
    avcodec_align_dimensions2(decoder, &alignedW, &alignedH, linesizeAlign);
    frame->width = alignedW;
    frame->height = alignedH;
    const int r = av_frame_get_buffer(frame, 64);
    frame->width = width;
    frame->height = height;
    return r;
}

}  // namespace

Problem OpenDecoder(const std::string& path, AVMediaType type, InputPtr& input, CodecContextPtr& decoder,
                    int& streamIndex, const DecodeOptions& options) {
    const bool video = type == AVMEDIA_TYPE_VIDEO;
    const std::string what = video ? "picture" : "sound file";
    const bool limited = video && options.maxPixels > 0;
    if (limited) {
        const std::optional<DeclaredSize> declared = ReadDeclaredSize(path);
        if (declared && declared->pixels() > static_cast<uint64_t>(options.maxPixels))
            return TooLarge(declared->width, declared->height);
    }
    AVFormatContext* raw = nullptr;
    int r = avformat_open_input(&raw, FileUrl(path).c_str(), nullptr, nullptr);
    // FFmpeg's reason ("Invalid data found when processing input") tells a
    // person no more than this does.
    const std::string unreadable = video ? "not a picture" : "not a sound file";
    if (r < 0) return Fail(Kind::kUnreadable, unreadable);
    input.reset(raw);
    // Probing decodes the first picture to learn its size, so the limit
    // holds there too, for the formats whose size is not read above.
    // A JPEG file names its decoder already, and probing it would decode the
    // whole picture once more only to learn its size, which its header told
    // (ReadDeclaredSize) and the decoder tells again.
    if (!IsJpegStill(*raw)) {
        std::vector<AVDictionary*> probeOptions(raw->nb_streams, nullptr);
        if (limited)
            for (AVDictionary*& o : probeOptions) av_dict_set_int(&o, "max_pixels", options.maxPixels, 0);
        r = avformat_find_stream_info(raw, probeOptions.empty() ? nullptr : probeOptions.data());
        for (AVDictionary*& o : probeOptions) av_dict_free(&o);
        if (r < 0) return Fail(Kind::kUnreadable, unreadable);
    }
    const AVCodec* codec = nullptr;
    streamIndex = av_find_best_stream(raw, type, -1, -1, &codec, 0);
    if (streamIndex < 0) return Fail(Kind::kNoStream, video ? "holds no picture" : "holds no audio");
    const AVCodecParameters* par = raw->streams[streamIndex]->codecpar;
    if (limited && static_cast<int64_t>(par->width) * par->height > options.maxPixels) return TooLarge(par->width, par->height);
    if (codec == nullptr) return Fail(Kind::kUnsupported, (video ? "picture" : "audio") + std::string(" format not supported"));
    decoder.reset(avcodec_alloc_context3(codec));
    if (!decoder) return Fail(Kind::kOutOfMemory, "out of memory");
    if ((r = avcodec_parameters_to_context(decoder.get(), par)) < 0)
        return Fail(Kind::kOutOfMemory, "decoder set-up failed (" + AvErrorText(r) + ")");
    if (options.refuseDamaged && StrictDecodingKnown(codec->id))
        decoder->err_recognition |= AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM;
    if (options.refuseDamaged && codec->id == AV_CODEC_ID_MJPEG) {
        decoder->get_buffer2 = UnclearedBuffer;
        // One thread decodes anyway; without frame threading FFmpeg does
        // not ask the callback to be marked thread-safe, which it warns of.
        decoder->thread_type = FF_THREAD_SLICE;
    }
    decoder->thread_count = 1;
    if (limited) decoder->max_pixels = options.maxPixels;
    if (video && options.reduction) decoder->lowres = options.reduction(par->width, par->height, codec->max_lowres);
    if ((r = avcodec_open2(decoder.get(), codec, nullptr)) < 0)
        return Fail(Kind::kUnsupported,
                    (video ? "picture" : "audio") + std::string(" format not supported (") + AvErrorText(r) + ")");
    return Problem{};
}

FramePtr DecodeFirstPicture(const std::string& path, Problem& problem, const DecodeOptions& options) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        problem = Fail(Kind::kNotFound, "picture not found");
        return nullptr;
    }
    if (!std::filesystem::is_regular_file(path, ec)) {
        problem = Fail(Kind::kNotFound, "not a picture file");
        return nullptr;
    }
    if (IsHeifFile(path)) return DecodeHeifPicture(path, problem, options);
    bool notJpeg = false;
    if (options.refuseDamaged) {
        const JpegCheck check = CheckJpegFile(path);
        notJpeg = check.verdict == JpegCheck::Verdict::kNotJpeg;
        if (!notJpeg && check.verdict != JpegCheck::Verdict::kUsable) {
            problem = Fail(check.verdict == JpegCheck::Verdict::kCutShort ? Kind::kDamaged : Kind::kUnsupported,
                           check.text);
            return nullptr;
        }
    }
    InputPtr input;
    CodecContextPtr decoder;
    int index = -1;
    if ((problem = OpenDecoder(path, AVMEDIA_TYPE_VIDEO, input, decoder, index, options))) return nullptr;
    // FFmpeg takes any file named .jpg for a JPEG, and then finds it damaged.
    if (notJpeg && decoder->codec_id == AV_CODEC_ID_MJPEG) {
        problem = Fail(Kind::kUnreadable, "not a picture");
        return nullptr;
    }

    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
        problem = Fail(Kind::kOutOfMemory, "out of memory");
        return nullptr;
    }
    bool flushing = false;
    for (;;) {
        int rc = avcodec_receive_frame(decoder.get(), frame.get());
        if (rc == 0) {
            if (options.refuseDamaged && (frame->decode_error_flags || (frame->flags & AV_FRAME_FLAG_CORRUPT))) {
                problem = Fail(Kind::kDamaged, "damaged picture");
                return nullptr;
            }
            if (frame->width <= 0 || frame->height <= 0) {
                problem = Fail(Kind::kDamaged, "picture has no size");
                return nullptr;
            }
            return frame;
        }
        if (rc != AVERROR(EAGAIN) || flushing) {
            problem = Fail(Kind::kDamaged, "damaged picture");
            return nullptr;
        }
        rc = av_read_frame(input.get(), packet.get());
        if (rc < 0) {
            flushing = true;
            avcodec_send_packet(decoder.get(), nullptr);
            continue;
        }
        if (packet->stream_index == index) {
            rc = avcodec_send_packet(decoder.get(), packet.get());
            // Without refusal a broken packet only costs its own pixels.
            if (rc < 0 && rc != AVERROR(EAGAIN) && options.refuseDamaged) {
                problem = Fail(Kind::kDamaged, "damaged picture");
                return nullptr;
            }
        }
        av_packet_unref(packet.get());
    }
}

std::string TakenDate(const std::string& path) {
    if (IsHeifFile(path)) return HeifTakenDate(path);
    // The decoder exports EXIF tags as the frame's metadata only once it has
    // decoded the frame; the coarsest reduction keeps that cheap.
    DecodeOptions options;
    options.reduction = [](int, int, int maxReduction) { return maxReduction; };
    Problem problem;
    const FramePtr frame = DecodeFirstPicture(path, problem, options);
    if (!frame) return {};
    const AVDictionaryEntry* e = av_dict_get(frame->metadata, "DateTimeOriginal", nullptr, 0);
    return e != nullptr && e->value != nullptr ? std::string(e->value) : std::string();
}

int Orientation(const AVFrame& frame) {
    if (const AVDictionaryEntry* e = av_dict_get(frame.metadata, "Orientation", nullptr, 0)) {
        const int v = std::atoi(e->value);
        if (v >= 1 && v <= 8) return v;
    }
    if (const AVFrameSideData* sd = av_frame_get_side_data(&frame, AV_FRAME_DATA_DISPLAYMATRIX)) {
        return OrientationOfRotation(av_display_rotation_get(reinterpret_cast<const int32_t*>(sd->data)));
    }
    return 1;
}

int OrientationOfRotation(double angle) {
    if (!std::isfinite(angle)) return 1;
    long turn = std::lround(angle / 90.0);
    // Quarter turns counter-clockwise that bring the stored picture upright,
    // as players apply them (FFmpeg's own autorotation does the same).
    turn = ((turn % 4) + 4) % 4;
    if (turn == 1) return 8;
    if (turn == 2) return 3;
    if (turn == 3) return 6;
    return 1;
}

void Orient(const uint8_t* src, size_t srcStride, int w, int h, int orientation, uint8_t* dst, size_t dstStride) {
    const bool swap = SwapsSides(orientation);
    const int outW = swap ? h : w, outH = swap ? w : h;
    for (int y = 0; y < outH; ++y) {
        uint8_t* row = dst + static_cast<size_t>(y) * dstStride;
        for (int x = 0; x < outW; ++x) {
            int sx = x, sy = y;  // the stored pixel shown at (x, y)
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
            std::memcpy(row + 3 * static_cast<size_t>(x), src + static_cast<size_t>(sy) * srcStride + 3 * static_cast<size_t>(sx), 3);
        }
    }
}

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

bool IsFullRange(const AVFrame& frame) {
    if (PlainFormat(frame.format) != frame.format) return true;
    if (frame.color_range == AVCOL_RANGE_JPEG) return true;
    if (frame.color_range == AVCOL_RANGE_MPEG) return false;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    return desc == nullptr || (desc->flags & AV_PIX_FMT_FLAG_RGB) != 0 || desc->nb_components <= 2;
}

bool Convert(const uint8_t* const src[4], const int srcStride[4], AVPixelFormat srcFormat, bool srcFullRange,
             int srcWidth, int srcHeight, uint8_t* const dst[4], const int dstStride[4], AVPixelFormat dstFormat,
             bool dstFullRange, int width, int height, int flags) {
    SwsPtr sws(sws_getContext(srcWidth, srcHeight, PlainFormat(srcFormat), width, height, dstFormat, flags, nullptr,
                              nullptr, nullptr));
    if (!sws) return false;
    const int* coefs = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(sws.get(), coefs, srcFullRange ? 1 : 0, coefs, dstFullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
    sws_scale(sws.get(), src, srcStride, 0, srcHeight, dst, dstStride);
    return true;
}

FramePtr AllocFrame(AVPixelFormat format, int width, int height) {
    FramePtr frame(av_frame_alloc());
    if (!frame) return nullptr;
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    return frame;
}

FramePtr ConvertFrame(const AVFrame& src, AVPixelFormat dstFormat, bool dstFullRange, int width, int height, int flags) {
    FramePtr dst = AllocFrame(dstFormat, width, height);
    if (!dst || !Convert(src.data, src.linesize, static_cast<AVPixelFormat>(src.format), IsFullRange(src), src.width,
                         src.height, dst->data, dst->linesize, dstFormat, dstFullRange, width, height, flags))
        return nullptr;
    dst->color_range = dstFullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    return dst;
}

}  // namespace vcdalbum::components::picture_input
