#include "frame_cost.h"

#include "vcd_writer.h"

namespace vcdalbum::components::stream {

std::string FrameCostProbe::Open() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
    if (codec == nullptr) return "no MPEG-1 video encoder";
    encoder_.reset(avcodec_alloc_context3(codec));
    packet_.reset(av_packet_alloc());
    if (!encoder_ || !packet_) return "out of memory";
    AVCodecContext* c = encoder_.get();
    // The stream encoder's picture settings, but every frame intra and at a
    // fixed quantiser.
    SetStreamPicture(c, standard_);
    c->gop_size = 0;
    c->max_b_frames = 0;
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * kCoarsestQuantiser;
    c->bit_rate = kVideoBitRate;
    // No frame delay, so that each frame's packet comes back at once; MPEG-1
    // allows that only as an unofficial extension, which does not matter
    // for packets that are thrown away.
    c->flags |= AV_CODEC_FLAG_LOW_DELAY;
    c->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    int r = avcodec_open2(c, codec, nullptr);
    return r < 0 ? "cannot open the probe encoder: " + AvErrorText(r) : std::string();
}

int64_t FrameCostProbe::CoarsestIntraBits(const AVFrame& frame) {
    if (failed_) return -1;
    if (!encoder_ && !Open().empty()) {
        failed_ = true;
        return -1;
    }
    FramePtr ref(av_frame_clone(&frame));
    if (!ref) return -1;
    ref->pict_type = AV_PICTURE_TYPE_I;
    ref->quality = FF_QP2LAMBDA * kCoarsestQuantiser;
    ref->pts = pts_++;
    if (avcodec_send_frame(encoder_.get(), ref.get()) < 0 || avcodec_receive_packet(encoder_.get(), packet_.get()) < 0) {
        failed_ = true;
        return -1;
    }
    const int64_t bits = static_cast<int64_t>(packet_->size) * 8;
    av_packet_unref(packet_.get());
    return bits;
}

}  // namespace vcdalbum::components::stream
