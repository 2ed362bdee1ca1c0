#include "sound_decoder.h"

#include <algorithm>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace vcdalbum::components::stream {

void SoundDecoder::Close() {
    swr_.reset();
    decoder_.reset();
    input_.reset();
    open_ = false;
}

std::string SoundDecoder::Open(const std::string& path) {
    Close();
    std::string error =
        vcdalbum::components::picture_input::OpenDecoder(path, AVMEDIA_TYPE_AUDIO, input_, decoder_, stream_).text;
    if (!error.empty()) return error;
    AVChannelLayout stereo;
    av_channel_layout_default(&stereo, 2);
    AVChannelLayout inLayout{};  // av_channel_layout_copy frees what the target holds
    if (decoder_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || decoder_->ch_layout.nb_channels <= 0)
        av_channel_layout_default(&inLayout, std::max(1, decoder_->ch_layout.nb_channels));
    else
        av_channel_layout_copy(&inLayout, &decoder_->ch_layout);
    SwrContext* swr = nullptr;
    int r = swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, kAudioRate, &inLayout, decoder_->sample_fmt,
                                decoder_->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    if (r >= 0 && swr != nullptr && swr_init(swr) >= 0) {
        swr_.reset(swr);
        open_ = true;
        flushed_ = false;
        return std::string();
    }
    swr_free(&swr);
    Close();
    return "cannot convert its samples";
}

bool SoundDecoder::DecodeSome(std::deque<int16_t>& out) {
    if (!open_) return false;
    for (;;) {
        int r = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (r == 0) {
            int outMax = swr_get_out_samples(swr_.get(), frame_->nb_samples);
            std::vector<int16_t> buf(static_cast<size_t>(std::max(outMax, 0)) * 2 + 64);
            uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(buf.data())};
            int got = swr_convert(swr_.get(), outPlanes, static_cast<int>(buf.size() / 2),
                                  const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
            av_frame_unref(frame_.get());
            if (got > 0) {
                out.insert(out.end(), buf.begin(), buf.begin() + got * 2);
                return true;
            }
            continue;
        }
        if (r == AVERROR_EOF || (r == AVERROR(EAGAIN) && flushed_)) {
            // Drain what the resampler still holds.
            std::vector<int16_t> buf(4096 * 2);
            uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(buf.data())};
            int got = swr_convert(swr_.get(), outPlanes, 4096, nullptr, 0);
            if (got > 0) {
                out.insert(out.end(), buf.begin(), buf.begin() + got * 2);
                return true;
            }
            return false;
        }
        if (r != AVERROR(EAGAIN)) return false;
        r = av_read_frame(input_.get(), packet_.get());
        if (r < 0) {
            avcodec_send_packet(decoder_.get(), nullptr);
            flushed_ = true;
            continue;
        }
        if (packet_->stream_index == stream_) avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
    }
}

}  // namespace vcdalbum::components::stream
