#include "still_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "contract/stream_rules.h"
#include "contract/video_standard.h"
#include "picture_input.h"

namespace vcdalbum::components::burner {
namespace {

// Stills are NTSC frames.
constexpr const video::VideoStandard& kStill = video::kNtsc;
constexpr int kWidth = kStill.width;
constexpr int kHeight = kStill.height;
// An intra picture must fit in the decoder's buffer.
constexpr int kMaxPictureBytes = contract::kVbvBufferBits / 8 - 1024;

namespace input = picture_input;
using input::CodecContextPtr;
using input::FramePtr;
using input::PacketPtr;

struct FormatOutput {
    AVFormatContext* p = nullptr;
    ~FormatOutput() {
        if (p && p->pb) avio_closep(&p->pb);
        avformat_free_context(p);
    }
};

// The decoded picture turned upright when its EXIF orientation says so, in
// RGB; the picture itself when it is upright already.
FramePtr Upright(FramePtr decoded, std::string& error) {
    const int orientation = input::Orientation(*decoded);
    if (orientation == 1) return decoded;
    FramePtr rgb = input::ConvertFrame(*decoded, AV_PIX_FMT_RGB24, true, decoded->width, decoded->height);
    const bool swap = input::SwapsSides(orientation);
    FramePtr upright = rgb ? input::AllocFrame(AV_PIX_FMT_RGB24, swap ? rgb->height : rgb->width,
                                               swap ? rgb->width : rgb->height)
                           : nullptr;
    if (!upright) {
        error = "cannot be turned upright";
        return nullptr;
    }
    input::Orient(rgb->data[0], static_cast<size_t>(rgb->linesize[0]), rgb->width, rgb->height, orientation,
                  upright->data[0], static_cast<size_t>(upright->linesize[0]));
    upright->sample_aspect_ratio =
        swap ? AVRational{decoded->sample_aspect_ratio.den, decoded->sample_aspect_ratio.num} : decoded->sample_aspect_ratio;
    return upright;
}

// The picture fitted into a black 352x240 frame. Display aspect 4:3 over
// 352x240 pixels makes the pixels 10:11 wide.
FramePtr FitIntoFrame(const AVFrame& source, std::string& error) {
    double aspect = static_cast<double>(source.width) / source.height;
    if (source.sample_aspect_ratio.num > 0 && source.sample_aspect_ratio.den > 0)
        aspect *= av_q2d(source.sample_aspect_ratio);
    const double frameAspect = 4.0 / 3.0;
    int width = kWidth, height = kHeight;
    if (aspect > frameAspect)
        height = std::max(2, static_cast<int>(kHeight * frameAspect / aspect + 0.5) & ~1);
    else
        width = std::max(2, static_cast<int>(kWidth * aspect / frameAspect + 0.5) & ~1);

    FramePtr out = input::AllocFrame(AV_PIX_FMT_YUV420P, kWidth, kHeight);
    if (!out) {
        error = "out of memory";
        return nullptr;
    }
    for (int y = 0; y < kHeight; ++y) std::memset(out->data[0] + y * out->linesize[0], 16, kWidth);
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < kHeight / 2; ++y) std::memset(out->data[plane] + y * out->linesize[plane], 128, kWidth / 2);

    // A JPEG uses the full 0..255 range, a Video CD the TV range 16..235.
    const int left = (kWidth - width) / 2 & ~1, top = (kHeight - height) / 2 & ~1;
    uint8_t* planes[4] = {out->data[0] + top * out->linesize[0] + left,
                          out->data[1] + top / 2 * out->linesize[1] + left / 2,
                          out->data[2] + top / 2 * out->linesize[2] + left / 2, nullptr};
    if (!input::Convert(source.data, source.linesize, static_cast<AVPixelFormat>(source.format),
                        input::IsFullRange(source), source.width, source.height, planes, out->linesize,
                        AV_PIX_FMT_YUV420P, false, width, height, SWS_BICUBIC)) {
        error = "has a pixel format that cannot be converted";
        return nullptr;
    }
    return out;
}

// Encodes the frame as one intra picture, coarser until it fits the buffer.
bool EncodeIntra(AVFrame& frame, CodecContextPtr& encoder, std::vector<uint8_t>& picture, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
    if (!codec) {
        error = "the MPEG-1 encoder is missing from FFmpeg";
        return false;
    }
    for (int quantiser = 2; quantiser <= 31; quantiser += 2) {
        encoder.reset(avcodec_alloc_context3(codec));
        AVCodecContext* c = encoder.get();
        if (!c) {
            error = "out of memory";
            return false;
        }
        c->width = kStill.width;
        c->height = kStill.height;
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->time_base = AVRational{kStill.rateDen, kStill.rateNum};
        c->framerate = AVRational{kStill.rateNum, kStill.rateDen};
        c->sample_aspect_ratio = AVRational{kStill.sarNum, kStill.sarDen};
        c->gop_size = 1;
        c->max_b_frames = 0;
        c->bit_rate = contract::kVideoBitRate;
        c->rc_buffer_size = contract::kVbvBufferBits;
        c->rc_max_rate = contract::kVideoBitRate;
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * quantiser;
        if (avcodec_open2(c, codec, nullptr) < 0) {
            error = "the MPEG-1 encoder cannot be opened";
            return false;
        }
        frame.pts = 0;
        frame.quality = c->global_quality;
        frame.pict_type = AV_PICTURE_TYPE_I;
        PacketPtr packet(av_packet_alloc());
        picture.clear();
        if (!packet || avcodec_send_frame(c, &frame) < 0 || avcodec_send_frame(c, nullptr) < 0) {
            error = "cannot be encoded";
            return false;
        }
        while (avcodec_receive_packet(c, packet.get()) == 0) {
            picture.insert(picture.end(), packet->data, packet->data + packet->size);
            av_packet_unref(packet.get());
        }
        if (!picture.empty() && static_cast<int>(picture.size()) <= kMaxPictureBytes) return true;
    }
    error = "cannot be encoded small enough for a Video CD still";
    return false;
}

bool WriteStream(const AVCodecContext& encoder, const std::vector<uint8_t>& picture, const std::string& path,
                 std::string& error) {
    FormatOutput output;
    if (avformat_alloc_output_context2(&output.p, nullptr, "vcd", path.c_str()) < 0) {
        error = "FFmpeg has no Video CD muxer";
        return false;
    }
    AVStream* stream = avformat_new_stream(output.p, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, &encoder) < 0) {
        error = "cannot set up the stream";
        return false;
    }
    stream->time_base = encoder.time_base;
    // The muxer reads the buffer size from side data the encoder keeps to
    // itself; without it the stream would claim a far too large buffer.
    for (int i = 0; i < encoder.nb_coded_side_data; ++i) {
        const AVPacketSideData& side = encoder.coded_side_data[i];
        if (uint8_t* copy = av_stream_new_side_data(stream, side.type, side.size)) std::memcpy(copy, side.data, side.size);
    }
    av_opt_set_int(output.p->priv_data, "muxrate", contract::kMuxRate, 0);
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "packetsize", contract::kPacketSize, 0);
    output.p->max_delay = contract::kMuxMaxDelay;
    int rc = avio_open(&output.p->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (rc >= 0) rc = avformat_write_header(output.p, &options);
    av_dict_free(&options);
    if (rc < 0) {
        error = "cannot be written: " + input::AvErrorText(rc);
        return false;
    }
    PacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), static_cast<int>(picture.size())) < 0) {
        error = "out of memory";
        return false;
    }
    std::memcpy(packet->data, picture.data(), picture.size());
    packet->pts = packet->dts = 0;
    packet->duration = 1;
    packet->flags |= AV_PKT_FLAG_KEY;
    packet->stream_index = stream->index;
    av_packet_rescale_ts(packet.get(), encoder.time_base, stream->time_base);
    rc = av_interleaved_write_frame(output.p, packet.get());
    if (rc >= 0) rc = av_write_trailer(output.p);
    if (rc < 0) {
        error = "cannot be written: " + input::AvErrorText(rc);
        return false;
    }
    avio_closep(&output.p->pb);
    return true;
}

}  // namespace

bool EncodeStill(const std::string& picture, const std::string& mpegFile, std::string& error) {
    input::Problem problem;
    FramePtr decoded = input::DecodeFirstPicture(picture, problem);
    if (!decoded) {
        error = "picture '" + picture + "': " + problem.text;
        return false;
    }
    CodecContextPtr encoder;
    std::vector<uint8_t> intra;
    FramePtr upright = Upright(std::move(decoded), error);
    FramePtr fitted = upright ? FitIntoFrame(*upright, error) : nullptr;
    if (!fitted || !EncodeIntra(*fitted, encoder, intra, error)) {
        error = "picture '" + picture + "' " + error;
        return false;
    }
    const std::string temporary = mpegFile + ".part-" + std::to_string(getpid());
    if (!WriteStream(*encoder, intra, temporary, error)) {
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

}  // namespace vcdalbum::components::burner
