#include "readback/transcode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libavutil/rational.h>
#include <libswresample/swresample.h>
}

#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>

#include "support/ffmpeg_handles.h"
#include "console/errors.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

constexpr int kOpusRate = 48000;
constexpr int kIoBufferSize = 64 * 1024;
// Slideshow pictures hold still for seconds, so a modest rate keeps them sharp.
constexpr int64_t kVideoBitRate = 1'000'000;
constexpr int64_t kAudioBitRate = 96'000;
constexpr int64_t kLongestHold = 30;  // frames

// MPEG-1 names a Video CD's pixel shape by a table entry meant as "4:3 on a
// 525-line (or 625-line) screen"; taken literally, 352x240 comes out at
// 1.3375:1. A shape that near 4:3 or 16:9 is taken as that display shape.
AVRational DisplayShape(AVRational sar, int width, int height) {
    if (sar.num <= 0 || sar.den <= 0) return AVRational{1, 1};
    const double display = av_q2d(sar) * width / height;
    for (const AVRational target : {AVRational{4, 3}, AVRational{16, 9}}) {
        if (std::abs(display / av_q2d(target) - 1) < 0.02) {
            AVRational exact{};
            av_reduce(&exact.num, &exact.den, int64_t{target.num} * height, int64_t{target.den} * width, 1 << 16);
            return exact;
        }
    }
    return sar;
}

using ffmpeg::AvErrorText;
using ffmpeg::FramePtr;
using ffmpeg::PacketPtr;
using CodecPtr = ffmpeg::CodecContextPtr;
using InputPtr = ffmpeg::InputPtr;

// What the shared holders leave out: the writing side and audio.
struct FormatOutputDeleter {
    void operator()(AVFormatContext* f) const {
        if (f->pb) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
struct IoDeleter {
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoDeleter {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

FramePtr NewFrame() {
    FramePtr f(av_frame_alloc());
    if (!f) throw RunError("out of memory");
    return f;
}

// The reading side: the track's bytes come through `source`, which may
// throw; FFmpeg's C code must not see the exception, so it waits here.
struct Reader {
    const StreamSource* source = nullptr;
    std::exception_ptr error;

    static int Read(void* opaque, uint8_t* buf, int size) {
        auto* self = static_cast<Reader*>(opaque);
        try {
            const size_t n = (*self->source)(buf, static_cast<size_t>(size));
            return n == 0 ? AVERROR_EOF : static_cast<int>(n);
        } catch (...) {
            self->error = std::current_exception();
            return AVERROR(EIO);
        }
    }
};

class Transcoder {
public:
    Transcoder(const std::string& name) : name_(name) {}

    TranscodedTrack Run(const StreamSource& source, const fs::path& temp) {
        OpenInput(source);
        OpenOutput(temp);
        PacketPtr packet(av_packet_alloc());
        if (!packet) throw RunError("out of memory");
        int rc = 0;
        while ((rc = av_read_frame(input_.get(), packet.get())) >= 0) {
            if (packet->stream_index == videoIn_)
                Decode(videoDec_.get(), packet.get());
            else if (packet->stream_index == audioIn_ && audioDec_)
                Decode(audioDec_.get(), packet.get());
            av_packet_unref(packet.get());
        }
        RethrowReadError();
        Decode(videoDec_.get(), nullptr);
        if (audioDec_) Decode(audioDec_.get(), nullptr);
        if (audioDec_) DrainAudio(true);
        FinishVideo();
        if (audioEnc_) Encode(audioEnc_.get(), audioOut_, nullptr);
        Check(av_write_trailer(output_.get()), "finishing the WebM file");
        avio_closep(&output_->pb);
        if (videoFrames_ == 0) throw InputError(name_ + " holds no MPEG video that can be decoded");

        TranscodedTrack result;
        result.width = videoEnc_->width;
        result.height = videoEnc_->height;
        result.aspectNum = videoEnc_->sample_aspect_ratio.num;
        result.aspectDen = videoEnc_->sample_aspect_ratio.den;
        result.seconds = static_cast<double>(videoFrames_) * av_q2d(videoEnc_->time_base);
        result.audio = audioEnc_ != nullptr;
        return result;
    }

private:
    void Check(int rc, const std::string& what) const {
        if (rc < 0) throw RunError(name_ + ": " + what + ": " + AvErrorText(rc));
    }
    void RethrowReadError() {
        if (reader_.error) std::rethrow_exception(reader_.error);
    }

    void OpenInput(const StreamSource& source) {
        reader_.source = &source;
        auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
        if (!buffer) throw RunError("out of memory");
        io_.reset(avio_alloc_context(buffer, kIoBufferSize, 0, &reader_, &Reader::Read, nullptr, nullptr));
        if (!io_) {
            av_free(buffer);
            throw RunError("out of memory");
        }
        AVFormatContext* fmt = avformat_alloc_context();
        if (!fmt) throw RunError("out of memory");
        fmt->pb = io_.get();
        fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
        int rc = avformat_open_input(&fmt, nullptr, av_find_input_format("mpeg"), nullptr);
        RethrowReadError();
        if (rc < 0) throw InputError(name_ + " is not an MPEG program stream: " + AvErrorText(rc));
        input_.reset(fmt);
        rc = avformat_find_stream_info(fmt, nullptr);
        RethrowReadError();
        if (rc < 0) throw InputError(name_ + ": its streams cannot be read: " + AvErrorText(rc));
        videoIn_ = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (videoIn_ < 0) throw InputError(name_ + " holds no MPEG video");
        audioIn_ = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, videoIn_, nullptr, 0);
        videoDec_ = OpenDecoder(fmt->streams[videoIn_]);
        if (audioIn_ >= 0) audioDec_ = OpenDecoder(fmt->streams[audioIn_]);
        if (videoDec_->width <= 0 || videoDec_->height <= 0) throw InputError(name_ + ": its video has no picture size");
    }

    CodecPtr OpenDecoder(AVStream* stream) {
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!codec) throw InputError(name_ + ": no decoder for its " + avcodec_get_name(stream->codecpar->codec_id));
        CodecPtr dec(avcodec_alloc_context3(codec));
        if (!dec) throw RunError("out of memory");
        Check(avcodec_parameters_to_context(dec.get(), stream->codecpar), "reading its stream parameters");
        dec->pkt_timebase = stream->time_base;
        Check(avcodec_open2(dec.get(), codec, nullptr), "opening its decoder");
        return dec;
    }

    CodecPtr OpenEncoder(const char* name) {
        const AVCodec* codec = avcodec_find_encoder_by_name(name);
        if (!codec) throw RunError(std::string("this FFmpeg has no ") + name + " encoder");
        CodecPtr enc(avcodec_alloc_context3(codec));
        if (!enc) throw RunError("out of memory");
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        return enc;
    }

    AVStream* AddStream(AVCodecContext* enc) {
        AVStream* st = avformat_new_stream(output_.get(), nullptr);
        if (!st) throw RunError("out of memory");
        Check(avcodec_parameters_from_context(st->codecpar, enc), "setting up the WebM stream");
        st->time_base = enc->time_base;
        return st;
    }

    void OpenOutput(const fs::path& temp) {
        AVFormatContext* oc = nullptr;
        Check(avformat_alloc_output_context2(&oc, nullptr, "webm", temp.string().c_str()), "creating the WebM file");
        output_.reset(oc);

        AVStream* in = input_->streams[videoIn_];
        AVRational rate = in->avg_frame_rate.num ? in->avg_frame_rate : in->r_frame_rate;
        if (!rate.num || !rate.den) rate = AVRational{30000, 1001};
        videoEnc_ = OpenEncoder("libvpx");
        videoEnc_->width = videoDec_->width;
        videoEnc_->height = videoDec_->height;
        videoEnc_->pix_fmt = AV_PIX_FMT_YUV420P;
        videoEnc_->time_base = av_inv_q(rate);
        videoEnc_->framerate = rate;
        // The player shows the picture at its display shape only when the
        // pixel shape travels with it.
        videoEnc_->sample_aspect_ratio = DisplayShape(
            videoDec_->sample_aspect_ratio.num ? videoDec_->sample_aspect_ratio : in->sample_aspect_ratio,
            videoDec_->width, videoDec_->height);
        videoEnc_->bit_rate = kVideoBitRate;
        videoEnc_->gop_size = 150;
        videoEnc_->thread_count = 1;  // tracks are transcoded side by side instead
        // Speed matters more than size here: realtime mode at its fastest.
        // VP8 costs a third of what VP9 does at this setting, and every
        // browser plays both.
        av_opt_set(videoEnc_->priv_data, "deadline", "realtime", 0);
        av_opt_set_int(videoEnc_->priv_data, "cpu-used", 16, 0);
        av_opt_set_int(videoEnc_->priv_data, "lag-in-frames", 0, 0);
        Check(avcodec_open2(videoEnc_.get(), videoEnc_->codec, nullptr), "opening the VP8 encoder");
        videoOut_ = AddStream(videoEnc_.get());
        videoOut_->sample_aspect_ratio = videoEnc_->sample_aspect_ratio;

        if (audioDec_) {
            audioEnc_ = OpenEncoder("libopus");
            audioEnc_->sample_fmt = AV_SAMPLE_FMT_S16;
            audioEnc_->sample_rate = kOpusRate;
            av_channel_layout_default(&audioEnc_->ch_layout, 2);
            audioEnc_->bit_rate = kAudioBitRate;
            audioEnc_->time_base = AVRational{1, kOpusRate};
            audioEnc_->compression_level = 3;  // a little quality for a lot of speed
            Check(avcodec_open2(audioEnc_.get(), audioEnc_->codec, nullptr), "opening the Opus encoder");
            audioOut_ = AddStream(audioEnc_.get());
            SwrContext* swr = nullptr;
            Check(swr_alloc_set_opts2(&swr, &audioEnc_->ch_layout, audioEnc_->sample_fmt, kOpusRate,
                                      &audioDec_->ch_layout, audioDec_->sample_fmt, audioDec_->sample_rate, 0, nullptr),
                  "setting up the audio resampler");
            resampler_.reset(swr);
            Check(swr_init(swr), "setting up the audio resampler");
            fifo_.reset(av_audio_fifo_alloc(audioEnc_->sample_fmt, audioEnc_->ch_layout.nb_channels, 1));
            if (!fifo_) throw RunError("out of memory");
        }
        Check(avio_open(&output_->pb, temp.string().c_str(), AVIO_FLAG_WRITE), "creating " + temp.string());
        Check(avformat_write_header(output_.get(), nullptr), "writing the WebM header");
    }

    void Decode(AVCodecContext* dec, const AVPacket* packet) {
        int rc = avcodec_send_packet(dec, packet);
        // A damaged packet costs a picture or two, not the track.
        if (rc < 0 && rc != AVERROR_EOF && rc != AVERROR_INVALIDDATA) Check(rc, "decoding");
        FramePtr frame = NewFrame();
        while ((rc = avcodec_receive_frame(dec, frame.get())) >= 0) {
            if (dec == videoDec_.get())
                Video(frame.get());
            else
                Audio(frame.get());
            av_frame_unref(frame.get());
        }
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF && rc != AVERROR_INVALIDDATA) Check(rc, "decoding");
    }

    void Video(AVFrame* frame) {
        if (frame->width != videoEnc_->width || frame->height != videoEnc_->height ||
            frame->format != AV_PIX_FMT_YUV420P)
            return;  // a Video CD track keeps one picture format; stray frames are dropped
        // Frames follow each other at the track's constant rate; numbering
        // them also starts the file at zero, wherever the disc's clock began.
        frame->pts = videoFrames_++;
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        // A slideshow holds each picture for seconds: a frame that shows
        // what the last one written showed is left out (WebM keeps each
        // frame's time), which halves the work. One a second is kept all the
        // same, and the last, so that the file lasts as long as the track.
        if (shown_ && frame->pts - shown_->pts < kLongestHold && SamePicture(*shown_, *frame)) {
            Check(av_frame_ref(Held(), frame), "keeping a frame");
            return;
        }
        WriteVideo(frame);
    }

    AVFrame* Held() {
        if (!held_) held_ = NewFrame();
        av_frame_unref(held_.get());
        return held_.get();
    }

    void WriteVideo(AVFrame* frame) {
        if (!shown_) shown_ = NewFrame();
        av_frame_unref(shown_.get());
        Check(av_frame_ref(shown_.get(), frame), "keeping a frame");
        if (held_) av_frame_unref(held_.get());
        Encode(videoEnc_.get(), videoOut_, frame);
    }

    void FinishVideo() {
        if (held_ && held_->buf[0]) {
            FramePtr last = NewFrame();
            Check(av_frame_ref(last.get(), held_.get()), "keeping a frame");
            WriteVideo(last.get());
        }
        Encode(videoEnc_.get(), videoOut_, nullptr);
    }

    // Alike as FFmpeg's mpdecimate filter judges it: no 8x8 block much
    // changed, and few a little.
    static bool SamePicture(const AVFrame& a, const AVFrame& b) {
        constexpr int kMuch = 64 * 12, kLittle = 64 * 5;
        int blocks = 0, changed = 0;
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane ? (a.width + 1) / 2 : a.width, h = plane ? (a.height + 1) / 2 : a.height;
            for (int by = 0; by + 8 <= h; by += 8)
                for (int bx = 0; bx + 8 <= w; bx += 8) {
                    int sad = 0;
                    for (int y = by; y < by + 8; ++y) {
                        const uint8_t* pa = a.data[plane] + static_cast<ptrdiff_t>(y) * a.linesize[plane] + bx;
                        const uint8_t* pb = b.data[plane] + static_cast<ptrdiff_t>(y) * b.linesize[plane] + bx;
                        for (int x = 0; x < 8; ++x) sad += std::abs(pa[x] - pb[x]);
                    }
                    if (sad > kMuch) return false;
                    ++blocks;
                    changed += sad > kLittle;
                }
        }
        return changed * 3 <= blocks;
    }

    void Audio(AVFrame* frame) {
        const int outSamples = swr_get_out_samples(resampler_.get(), frame->nb_samples);
        FramePtr converted = NewFrame();
        converted->format = audioEnc_->sample_fmt;
        converted->sample_rate = kOpusRate;
        Check(av_channel_layout_copy(&converted->ch_layout, &audioEnc_->ch_layout), "converting audio");
        converted->nb_samples = outSamples;
        Check(av_frame_get_buffer(converted.get(), 0), "converting audio");
        const int got = swr_convert(resampler_.get(), converted->data, outSamples,
                                    const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        Check(got, "converting audio");
        Check(av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted->data), got), "converting audio");
        DrainAudio(false);
    }

    // Hands the encoder whole frames; at the end, the rest as a short one.
    void DrainAudio(bool last) {
        const int frameSize = audioEnc_->frame_size > 0 ? audioEnc_->frame_size : 960;
        while (av_audio_fifo_size(fifo_.get()) >= frameSize || (last && av_audio_fifo_size(fifo_.get()) > 0)) {
            const int n = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
            FramePtr frame = NewFrame();
            frame->format = audioEnc_->sample_fmt;
            frame->sample_rate = kOpusRate;
            Check(av_channel_layout_copy(&frame->ch_layout, &audioEnc_->ch_layout), "encoding audio");
            frame->nb_samples = frameSize;  // a short last frame is padded with silence
            Check(av_frame_get_buffer(frame.get(), 0), "encoding audio");
            Check(av_samples_set_silence(frame->data, 0, frameSize, frame->ch_layout.nb_channels,
                                         static_cast<AVSampleFormat>(frame->format)),
                  "encoding audio");
            Check(av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), n), "encoding audio");
            frame->pts = audioSamples_;
            audioSamples_ += frameSize;
            Encode(audioEnc_.get(), audioOut_, frame.get());
        }
    }

    void Encode(AVCodecContext* enc, AVStream* stream, const AVFrame* frame) {
        Check(avcodec_send_frame(enc, frame), "encoding");
        PacketPtr packet(av_packet_alloc());
        if (!packet) throw RunError("out of memory");
        int rc = 0;
        while ((rc = avcodec_receive_packet(enc, packet.get())) >= 0) {
            av_packet_rescale_ts(packet.get(), enc->time_base, stream->time_base);
            packet->stream_index = stream->index;
            Check(av_interleaved_write_frame(output_.get(), packet.get()), "writing the WebM file");
        }
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) Check(rc, "encoding");
    }

    std::string name_;
    Reader reader_;
    // Declared before the input, which uses it, so that it is freed after.
    std::unique_ptr<AVIOContext, IoDeleter> io_;
    InputPtr input_;
    std::unique_ptr<AVFormatContext, FormatOutputDeleter> output_;
    int videoIn_ = -1, audioIn_ = -1;
    CodecPtr videoDec_, audioDec_, videoEnc_, audioEnc_;
    AVStream* videoOut_ = nullptr;
    AVStream* audioOut_ = nullptr;
    std::unique_ptr<SwrContext, SwrDeleter> resampler_;
    std::unique_ptr<AVAudioFifo, FifoDeleter> fifo_;
    int64_t videoFrames_ = 0, audioSamples_ = 0;
    FramePtr shown_, held_;  // the last frame written, and the last one left out since
};

}  // namespace

TranscodedTrack TranscodeToWebm(const StreamSource& source, const fs::path& out, const std::string& name) {
    fs::path temp = out;
    temp += ".part";
    TranscodedTrack result;
    try {
        result = Transcoder(name).Run(source, temp);
    } catch (...) {
        std::error_code ec;
        fs::remove(temp, ec);
        throw;
    }
    std::error_code ec;
    fs::rename(temp, out, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw RunError("cannot write " + out.string() + ": " + ec.message());
    }
    return result;
}

}  // namespace vcdalbum::host
