#include "vcd_writer.h"

#include <algorithm>
#include <cstring>

#include "still_chain.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace vcdalbum::components::stream {
namespace {

// The writer, not the encoder, starts the groups of pictures: frames written
// without the encoder leave its own count behind the stream's. Its count
// must never reach its group size first.
constexpr int kEncoderGroupSize = 600;
// A P-picture coded in at most this share of a frame's bits leaves nothing
// to refine: the encoder skipped all but a few macroblocks.
constexpr int64_t kSettledShare = 40;
// Kept pictures are written again only with this margin in the rate buffer.
constexpr double kKeptMargin = 1.1;

}  // namespace

VcdWriter::~VcdWriter() {
    if (output_ != nullptr) {
        if (output_->pb != nullptr) avio_closep(&output_->pb);
        avformat_free_context(output_);
    }
}

std::string VcdWriter::Open(const std::string& path) {
    int r = avformat_alloc_output_context2(&output_, nullptr, "vcd", path.c_str());
    if (r < 0 || output_ == nullptr) return "the vcd muxer is not available: " + AvErrorText(r);
    packet_.reset(av_packet_alloc());
    if (!packet_) return "out of memory";
    std::string error = OpenVideo();
    if (error.empty()) error = OpenAudio();
    if (error.empty()) error = AddStreams();
    if (error.empty()) error = WriteHeader(path);
    return error;
}

std::string VcdWriter::OpenVideo() {
    std::string error = OpenVideoEncoder(kVbvBufferBits * 3 / 4);
    if (!error.empty()) return error;
    AVCodecContext* v = video_.get();
    framesPerSecond_ = (v->framerate.num + v->framerate.den / 2) / v->framerate.den;
    skippedPicture_ = SkippedPicture((v->width + 15) / 16, (v->height + 15) / 16);
    held_ = HeldFrames(v->bit_rate * v->framerate.den / v->framerate.num / kSettledShare);
    return std::string();
}

std::string VcdWriter::OpenAudio() {
    int r = 0;
    // Audio: MPEG-1 Layer II, 44.1 kHz stereo.
    const AVCodec* acodec = avcodec_find_encoder(AV_CODEC_ID_MP2);
    if (acodec == nullptr) return "no MPEG-1 Layer II encoder";
    audio_.reset(avcodec_alloc_context3(acodec));
    if (!audio_) return "out of memory";
    AVCodecContext* a = audio_.get();
    a->sample_fmt = AV_SAMPLE_FMT_S16;
    a->sample_rate = kAudioSampleRate;
    av_channel_layout_default(&a->ch_layout, 2);
    a->bit_rate = kAudioBitRate;
    a->time_base = AVRational{1, kAudioSampleRate};
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((r = avcodec_open2(a, acodec, nullptr)) < 0) return "cannot open the MPEG audio encoder: " + AvErrorText(r);
    return std::string();
}

// Both streams described to the muxer, and the audio frame the samples are
// handed over in.
std::string VcdWriter::AddStreams() {
    int r = 0;
    const AVCodecContext* v = video_.get();
    const AVCodecContext* a = audio_.get();
    videoStream_ = avformat_new_stream(output_, nullptr);
    audioStream_ = avformat_new_stream(output_, nullptr);
    if (videoStream_ == nullptr || audioStream_ == nullptr) return "out of memory";
    videoStream_->time_base = v->time_base;
    audioStream_->time_base = a->time_base;
    if ((r = avcodec_parameters_from_context(videoStream_->codecpar, v)) < 0 ||
        (r = avcodec_parameters_from_context(audioStream_->codecpar, a)) < 0)
        return "cannot describe the streams: " + AvErrorText(r);
    // The muxer takes the VBV size from the stream's CPB side data, which
    // the parameters above do not carry; without it the stream header
    // would announce a 230 KB buffer that no VCD player has.
    for (int i = 0; i < v->nb_coded_side_data; ++i) {
        const AVPacketSideData& sd = v->coded_side_data[i];
        uint8_t* dst = av_stream_new_side_data(videoStream_, sd.type, sd.size);
        if (dst == nullptr) return "out of memory";
        std::memcpy(dst, sd.data, sd.size);
    }

    audioFrame_.reset(av_frame_alloc());
    if (!audioFrame_) return "out of memory";
    audioFrame_->format = AV_SAMPLE_FMT_S16;
    audioFrame_->sample_rate = kAudioSampleRate;
    audioFrame_->nb_samples = a->frame_size;
    av_channel_layout_default(&audioFrame_->ch_layout, 2);
    if (av_frame_get_buffer(audioFrame_.get(), 0) < 0) return "out of memory";
    return std::string();
}

std::string VcdWriter::WriteHeader(const std::string& path) {
    int r = 0;
    output_->max_delay = kMuxMaxDelay;
    if ((r = avio_open(&output_->pb, FileUrl(path).c_str(), AVIO_FLAG_WRITE)) < 0) return "cannot create the file: " + AvErrorText(r);
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "packetsize", kPacketSize, 0);
    av_dict_set_int(&options, "muxrate", kMuxRate, 0);
    av_dict_set_int(&options, "preload", kMuxPreload, 0);
    r = avformat_write_header(output_, &options);
    av_dict_free(&options);
    if (r < 0) return "cannot write the stream header: " + AvErrorText(r);
    headerWritten_ = true;
    return std::string();
}

std::string VcdWriter::OpenVideoEncoder(int64_t bufferContentBits) {
    // Video: MPEG-1 at the VCD's constant rate.
    const AVCodec* vcodec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
    if (vcodec == nullptr) return "no MPEG-1 video encoder";
    video_.reset(avcodec_alloc_context3(vcodec));
    if (!video_) return "out of memory";
    AVCodecContext* v = video_.get();
    SetStreamPicture(v, standard_);
    v->gop_size = kEncoderGroupSize;
    v->max_b_frames = 0;  // each frame's size is known as soon as it is sent
    v->bit_rate = kVideoBitRate;
    v->rc_min_rate = kVideoBitRate;
    v->rc_max_rate = kVideoBitRate;
    v->rc_buffer_size = kVbvBufferBits;
    v->rc_initial_buffer_occupancy = static_cast<int>(std::clamp<int64_t>(bufferContentBits, 1, kVbvBufferBits));
    // Each frame's packet comes back as soon as the frame is sent, so that
    // its size is known before the next frame is chosen. MPEG-1 has no
    // low-delay flag and the encoder calls this unofficial, but with
    // B-frames off it changes no bit of the picture data; the decoding
    // times are put back one frame ahead of display in Drain, as MPEG-1
    // decoders expect.
    v->flags |= AV_CODEC_FLAG_LOW_DELAY;
    v->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int r = avcodec_open2(v, vcodec, nullptr);
    if (r < 0) return "cannot open the MPEG-1 video encoder: " + AvErrorText(r);
    return std::string();
}

std::string VcdWriter::Drain(AVCodecContext* encoder, AVStream* stream) {
    for (;;) {
        int r = avcodec_receive_packet(encoder, packet_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return std::string();
        if (r < 0) return "encoding failed: " + AvErrorText(r);
        if (encoder == video_.get()) {
            if ((r = av_packet_make_writable(packet_.get())) < 0) return "out of memory";
            const std::span<uint8_t> bytes(packet_->data, static_cast<size_t>(packet_->size));
            const size_t pictureStart = PictureStartOffset(bytes);
            const bool intra = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
            ++encodedVideoFrames_;
            if (pictureStart != kNoStartCode) held_.Coded(bytes, pictureStart, intra);
            std::string error = MuxVideoPacket(pictureStart, intra);
            if (!error.empty()) return error;
            continue;
        }
        av_packet_rescale_ts(packet_.get(), encoder->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        r = av_interleaved_write_frame(output_, packet_.get());
        if (r < 0) return "cannot write the stream: " + AvErrorText(r);
    }
}

std::string VcdWriter::MuxVideoPacket(size_t pictureStart, bool intra) {
    const std::span<uint8_t> bytes(packet_->data, static_cast<size_t>(packet_->size));
    if (intra) lastKeyFrame_ = packet_->pts;
    if (pictureStart != kNoStartCode) {
        SetTemporalReference(bytes, pictureStart, packet_->pts - lastKeyFrame_);
        if (intra) SetGroupTimeCode(bytes, packet_->pts, framesPerSecond_);
    }
    // The encoder's own buffer model adds a whole number of bits per
    // frame, 0.67 fewer than 1,150,000 bit/s brings, so over a long
    // still its stuffing falls short and the player's buffer would
    // overflow by a little more every frame; pictures written without the
    // encoder bring no stuffing at all. Zero bytes in front of the next
    // start code make up the difference.
    const int64_t stuffing = vbv_.StuffingBytes(static_cast<int64_t>(packet_->size) * 8);
    if (stuffing > 0) {
        const int oldSize = packet_->size;
        if (av_grow_packet(packet_.get(), static_cast<int>(stuffing)) < 0) return "out of memory";
        std::memset(packet_->data + oldSize, 0, static_cast<size_t>(stuffing));
    }
    vbv_.TakePicture(static_cast<int64_t>(packet_->size) * 8);
    packet_->dts = packet_->pts - 1;
    av_packet_rescale_ts(packet_.get(), video_->time_base, videoStream_->time_base);
    packet_->stream_index = videoStream_->index;
    const int r = av_interleaved_write_frame(output_, packet_.get());
    if (r < 0) return "cannot write the stream: " + AvErrorText(r);
    return std::string();
}

std::string VcdWriter::EncodeVideo(const AVFrame& frame, bool intra) {
    FramePtr ref(av_frame_clone(&frame));
    if (!ref) return "out of memory";
    ref->pts = videoFrames_++;
    ref->pict_type = intra ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    int r = avcodec_send_frame(video_.get(), ref.get());
    if (r < 0) return "video encoding failed: " + AvErrorText(r);
    return Drain(video_.get(), videoStream_);
}

std::string VcdWriter::WriteCoded(std::span<const uint8_t> picture, size_t pictureStart, bool intra) {
    av_packet_unref(packet_.get());
    if (av_new_packet(packet_.get(), static_cast<int>(picture.size())) < 0) return "out of memory";
    std::memcpy(packet_->data, picture.data(), picture.size());
    packet_->pts = videoFrames_++;
    if (intra) packet_->flags |= AV_PKT_FLAG_KEY;
    // The delay the buffer model gives; the encoder's own model never saw
    // this frame.
    const std::span<uint8_t> bytes(packet_->data, static_cast<size_t>(packet_->size));
    SetVbvDelay(bytes, pictureStart,
                VbvDelayFor(vbv_.ContentBeforeNext(), static_cast<int64_t>(pictureStart + 4) * 8, vbv_.Params().bitRate));
    return MuxVideoPacket(pictureStart, intra);
}

bool VcdWriter::KeptFit(const std::vector<CodedPicture>& pictures, int64_t frames) const {
    VbvModel model = vbv_;
    int64_t written = 0;
    for (const CodedPicture& picture : pictures) {
        const int64_t bits = static_cast<int64_t>(picture.bytes.size()) * 8;
        if (static_cast<double>(bits) * kKeptMargin > model.ContentBeforeNext()) return false;
        model.TakePicture(bits + model.StuffingBytes(bits) * 8);
        ++written;
    }
    const int64_t skippedBits = static_cast<int64_t>(skippedPicture_.size()) * 8;
    for (; !model.AtTop(); ++written) {
        if (written >= frames) return false;
        model.TakePicture(skippedBits);
    }
    return written <= frames;
}

std::string VcdWriter::WriteVideo(const AVFrame& frame, bool keyFrame, int64_t repeatsAfter) {
    const bool groupDue = keyFrame || videoFrames_ - lastKeyFrame_ >= standard_.gopSize;
    const auto keptFit = [&](const std::vector<CodedPicture>& kept) { return KeptFit(kept, repeatsAfter + 1); };
    const auto makeRun = [&](bool first, bool& renew) {
        // The first run takes what the whole groups after it leave over, so
        // that the hold does not end on a short group whose I-picture the
        // buffer could take only coarse.
        const int64_t left = repeatsAfter + 1, gop = standard_.gopSize;
        renew = first && left > gop && left % gop != 0;
        const int64_t frames = renew ? left % gop : std::min(gop, left);
        const StillBudget budget{vbv_, frames, held_.settledBits(), kKeptMargin, skippedPicture_};
        int64_t coded = 0;
        std::vector<CodedPicture> run = MakeStillRun(frame, standard_, budget, coded);
        encodedVideoFrames_ += coded;
        return run;
    };
    // A hold that would end early in its next group gets that group now, so
    // that the kept pictures have the frames to refill the buffer after
    // them and need not give way to a coarse I-picture of the encoder; and
    // where whole groups fill the rest of a hold, the next one may start.
    const int64_t framesLeft = repeatsAfter + 1, groupAge = videoFrames_ - lastKeyFrame_;
    const bool groupWelcome = (framesLeft <= standard_.gopSize && framesLeft > standard_.gopSize - groupAge) ||
                              framesLeft % standard_.gopSize == 0;
    switch (held_.Next(frame, groupDue, vbv_.AtTop(), keptFit, makeRun, groupWelcome)) {
    case HeldFrames::Action::Skipped:
        return WriteCoded(skippedPicture_, 0, false);
    case HeldFrames::Action::WriteKept: {
        const CodedPicture& picture = held_.KeptPicture();
        return WriteCoded(picture.bytes, picture.pictureStart, picture.intra);
    }
    case HeldFrames::Action::EncodeIntra:
        if (held_.TakeEncoderRestart()) {
            std::string error = OpenVideoEncoder(static_cast<int64_t>(vbv_.ContentBeforeNext()));
            if (!error.empty()) return error;
        }
        return EncodeVideo(frame, true);
    case HeldFrames::Action::Encode:
        break;
    }
    return EncodeVideo(frame, false);
}

std::string VcdWriter::WriteAudio(const int16_t* samples) {
    int r = av_frame_make_writable(audioFrame_.get());
    if (r < 0) return "out of memory";
    std::memcpy(audioFrame_->data[0], samples, static_cast<size_t>(audioFrame_->nb_samples) * 4);
    audioFrame_->pts = audioSamples_;
    audioSamples_ += audioFrame_->nb_samples;
    r = avcodec_send_frame(audio_.get(), audioFrame_.get());
    if (r < 0) return "audio encoding failed: " + AvErrorText(r);
    return Drain(audio_.get(), audioStream_);
}

std::string VcdWriter::Finish() {
    avcodec_send_frame(video_.get(), nullptr);
    std::string error = Drain(video_.get(), videoStream_);
    if (!error.empty()) return error;
    avcodec_send_frame(audio_.get(), nullptr);
    if (!(error = Drain(audio_.get(), audioStream_)).empty()) return error;
    int r = av_write_trailer(output_);
    if (r < 0) return "cannot finish the stream: " + AvErrorText(r);
    r = avio_closep(&output_->pb);
    if (r < 0) return "cannot write the stream: " + AvErrorText(r);
    return std::string();
}

}  // namespace vcdalbum::components::stream
