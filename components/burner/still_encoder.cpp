#include "still_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace vcdalbum::qelburner {
namespace {

constexpr int kWidth = 352;
constexpr int kHeight = 240;
// The Video CD decoder buffer: 40 KiB. An intra picture must fit in it.
constexpr int kVbvBits = 327680;
constexpr int kMaxPictureBytes = kVbvBits / 8 - 1024;

struct FormatInput {
    AVFormatContext* p = nullptr;
    ~FormatInput() { avformat_close_input(&p); }
};
struct CodecContext {
    AVCodecContext* p = nullptr;
    ~CodecContext() { avcodec_free_context(&p); }
};
struct Frame {
    AVFrame* p = av_frame_alloc();
    ~Frame() { av_frame_free(&p); }
};
struct Packet {
    AVPacket* p = av_packet_alloc();
    ~Packet() { av_packet_free(&p); }
};
struct Scaler {
    SwsContext* p = nullptr;
    ~Scaler() { sws_freeContext(p); }
};
struct FormatOutput {
    AVFormatContext* p = nullptr;
    ~FormatOutput() {
        if (p && p->pb) avio_closep(&p->pb);
        avformat_free_context(p);
    }
};

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool DecodePicture(const std::string& picture, Frame& frame, std::string& error) {
    FormatInput input;
    int rc = avformat_open_input(&input.p, picture.c_str(), nullptr, nullptr);
    if (rc < 0) {
        error = "cannot be opened: " + AvError(rc);
        return false;
    }
    avformat_find_stream_info(input.p, nullptr);
    const int index = av_find_best_stream(input.p, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        error = "holds no picture";
        return false;
    }
    const AVCodecParameters* parameters = input.p->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    CodecContext decoder;
    decoder.p = avcodec_alloc_context3(codec);
    if (!codec || !decoder.p || avcodec_parameters_to_context(decoder.p, parameters) < 0 ||
        avcodec_open2(decoder.p, codec, nullptr) < 0) {
        error = "is in a format that cannot be decoded";
        return false;
    }
    Packet packet;
    while (av_read_frame(input.p, packet.p) >= 0) {
        const bool ours = packet.p->stream_index == index;
        if (ours) avcodec_send_packet(decoder.p, packet.p);
        av_packet_unref(packet.p);
        if (ours && avcodec_receive_frame(decoder.p, frame.p) == 0) return true;
    }
    avcodec_send_packet(decoder.p, nullptr);
    if (avcodec_receive_frame(decoder.p, frame.p) == 0) return true;
    error = "cannot be decoded";
    return false;
}

bool FullRange(const AVFrame* frame) {
    const auto format = static_cast<AVPixelFormat>(frame->format);
    return frame->color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
           format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P;
}

// The picture fitted into a black 352x240 frame. Display aspect 4:3 over
// 352x240 pixels makes the pixels 10:11 wide.
bool FitIntoFrame(const AVFrame* source, Frame& out, std::string& error) {
    double aspect = static_cast<double>(source->width) / source->height;
    if (source->sample_aspect_ratio.num > 0 && source->sample_aspect_ratio.den > 0)
        aspect *= av_q2d(source->sample_aspect_ratio);
    const double frameAspect = 4.0 / 3.0;
    int width = kWidth, height = kHeight;
    if (aspect > frameAspect)
        height = std::max(2, static_cast<int>(kHeight * frameAspect / aspect + 0.5) & ~1);
    else
        width = std::max(2, static_cast<int>(kWidth * aspect / frameAspect + 0.5) & ~1);

    out.p->format = AV_PIX_FMT_YUV420P;
    out.p->width = kWidth;
    out.p->height = kHeight;
    if (av_frame_get_buffer(out.p, 0) < 0) {
        error = "out of memory";
        return false;
    }
    for (int y = 0; y < kHeight; ++y) std::memset(out.p->data[0] + y * out.p->linesize[0], 16, kWidth);
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < kHeight / 2; ++y) std::memset(out.p->data[plane] + y * out.p->linesize[plane], 128, kWidth / 2);

    // The JPEG variants of the YUV formats only say "full range", which the
    // colour-space details below say too.
    AVPixelFormat format = static_cast<AVPixelFormat>(source->format);
    switch (format) {
        case AV_PIX_FMT_YUVJ420P: format = AV_PIX_FMT_YUV420P; break;
        case AV_PIX_FMT_YUVJ422P: format = AV_PIX_FMT_YUV422P; break;
        case AV_PIX_FMT_YUVJ444P: format = AV_PIX_FMT_YUV444P; break;
        case AV_PIX_FMT_YUVJ440P: format = AV_PIX_FMT_YUV440P; break;
        default: break;
    }
    Scaler scaler;
    scaler.p = sws_getContext(source->width, source->height, format, width, height,
                              AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!scaler.p) {
        error = "has a pixel format that cannot be converted";
        return false;
    }
    // A JPEG uses the full 0..255 range, a Video CD the TV range 16..235.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler.p, coefficients, FullRange(source) ? 1 : 0, coefficients, 0, 0, 1 << 16, 1 << 16);
    const int left = (kWidth - width) / 2 & ~1, top = (kHeight - height) / 2 & ~1;
    uint8_t* planes[4] = {out.p->data[0] + top * out.p->linesize[0] + left,
                          out.p->data[1] + top / 2 * out.p->linesize[1] + left / 2,
                          out.p->data[2] + top / 2 * out.p->linesize[2] + left / 2, nullptr};
    sws_scale(scaler.p, source->data, source->linesize, 0, source->height, planes, out.p->linesize);
    return true;
}

// Encodes the frame as one intra picture, coarser until it fits the buffer.
bool EncodeIntra(Frame& frame, CodecContext& encoder, std::vector<uint8_t>& picture, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
    if (!codec) {
        error = "the MPEG-1 encoder is missing from FFmpeg";
        return false;
    }
    for (int quantiser = 2; quantiser <= 31; quantiser += 2) {
        avcodec_free_context(&encoder.p);
        encoder.p = avcodec_alloc_context3(codec);
        AVCodecContext* c = encoder.p;
        c->width = kWidth;
        c->height = kHeight;
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->time_base = AVRational{1001, 30000};
        c->framerate = AVRational{30000, 1001};
        c->sample_aspect_ratio = AVRational{10, 11};
        c->gop_size = 1;
        c->max_b_frames = 0;
        c->bit_rate = 1150000;
        c->rc_buffer_size = kVbvBits;
        c->rc_max_rate = 1150000;
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * quantiser;
        if (avcodec_open2(c, codec, nullptr) < 0) {
            error = "the MPEG-1 encoder cannot be opened";
            return false;
        }
        frame.p->pts = 0;
        frame.p->quality = c->global_quality;
        frame.p->pict_type = AV_PICTURE_TYPE_I;
        Packet packet;
        picture.clear();
        if (avcodec_send_frame(c, frame.p) < 0 || avcodec_send_frame(c, nullptr) < 0) {
            error = "cannot be encoded";
            return false;
        }
        while (avcodec_receive_packet(c, packet.p) == 0) {
            picture.insert(picture.end(), packet.p->data, packet.p->data + packet.p->size);
            av_packet_unref(packet.p);
        }
        if (!picture.empty() && static_cast<int>(picture.size()) <= kMaxPictureBytes) return true;
    }
    error = "cannot be encoded small enough for a Video CD still";
    return false;
}

bool WriteStream(const CodecContext& encoder, const std::vector<uint8_t>& picture, const std::string& path,
                 std::string& error) {
    FormatOutput output;
    if (avformat_alloc_output_context2(&output.p, nullptr, "vcd", path.c_str()) < 0) {
        error = "FFmpeg has no Video CD muxer";
        return false;
    }
    AVStream* stream = avformat_new_stream(output.p, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, encoder.p) < 0) {
        error = "cannot set up the stream";
        return false;
    }
    stream->time_base = encoder.p->time_base;
    // The muxer reads the buffer size from side data the encoder keeps to
    // itself; without it the stream would claim a far too large buffer.
    for (int i = 0; i < encoder.p->nb_coded_side_data; ++i) {
        const AVPacketSideData& side = encoder.p->coded_side_data[i];
        if (uint8_t* copy = av_stream_new_side_data(stream, side.type, side.size)) std::memcpy(copy, side.data, side.size);
    }
    av_opt_set_int(output.p->priv_data, "muxrate", 1411200, 0);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "packetsize", "2324", 0);
    output.p->max_delay = 700000;
    int rc = avio_open(&output.p->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (rc >= 0) rc = avformat_write_header(output.p, &options);
    av_dict_free(&options);
    if (rc < 0) {
        error = "cannot be written: " + AvError(rc);
        return false;
    }
    Packet packet;
    if (av_new_packet(packet.p, static_cast<int>(picture.size())) < 0) {
        error = "out of memory";
        return false;
    }
    std::memcpy(packet.p->data, picture.data(), picture.size());
    packet.p->pts = packet.p->dts = 0;
    packet.p->duration = 1;
    packet.p->flags |= AV_PKT_FLAG_KEY;
    packet.p->stream_index = stream->index;
    av_packet_rescale_ts(packet.p, encoder.p->time_base, stream->time_base);
    rc = av_interleaved_write_frame(output.p, packet.p);
    if (rc >= 0) rc = av_write_trailer(output.p);
    if (rc < 0) {
        error = "cannot be written: " + AvError(rc);
        return false;
    }
    avio_closep(&output.p->pb);
    return true;
}

}  // namespace

bool EncodeStill(const std::string& picture, const std::string& mpegFile, std::string& error) {
    Frame decoded, fitted;
    CodecContext encoder;
    std::vector<uint8_t> intra;
    if (!DecodePicture(picture, decoded, error)) {
        error = "picture '" + picture + "' " + error;
        return false;
    }
    if (!FitIntoFrame(decoded.p, fitted, error) || !EncodeIntra(fitted, encoder, intra, error)) {
        error = "picture '" + picture + "' " + error;
        return false;
    }
    const std::string temporary = mpegFile + ".part-" + std::to_string(getpid());
    if (!WriteStream(encoder, intra, temporary, error)) {
        std::remove(temporary.c_str());
        error = "'" + mpegFile + "' " + error;
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, mpegFile, ec);
    if (ec) {
        std::remove(temporary.c_str());
        error = "cannot write '" + mpegFile + "': " + ec.message();
        return false;
    }
    return true;
}

}  // namespace vcdalbum::qelburner
