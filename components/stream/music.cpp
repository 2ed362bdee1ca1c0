#include "music.h"

#include <algorithm>
#include <cstdio>

#include "component_messages.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace vcdalbum::components::stream {

Music::Music(std::vector<std::string> files, int64_t totalSamples)
    : files_(std::move(files)), unreadable_(files_.size(), false), total_(totalSamples) {
    silent_ = files_.empty() || !OpenNext();
    if (silent_ && !files_.empty())
        Say("no music file could be read; the stream's audio is silent");
}

void Music::Close() {
    swr_.reset();
    decoder_.reset();
    input_.reset();
    open_ = false;
}

bool Music::OpenNext() {
    Close();
    // One full round over the list without a readable file ends the music.
    for (size_t tries = 0; tries < files_.size(); ++tries) {
        size_t i = next_;
        next_ = (next_ + 1) % files_.size();
        if (unreadable_[i]) continue;
        std::string error = vcdalbum::components::picture_input::OpenDecoder(files_[i], AVMEDIA_TYPE_AUDIO, input_, decoder_, stream_).text;
        if (error.empty()) {
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
                fileGaveSamples_ = false;
                return true;
            }
            swr_free(&swr);
            error = "cannot convert its samples";
        }
        Say("warning: music file '" + files_[i] + "' cannot be read (" + error + "); it is skipped");
        unreadable_[i] = true;
        Close();
    }
    return false;
}

bool Music::DecodeSome() {
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
                pending_.insert(pending_.end(), buf.begin(), buf.begin() + got * 2);
                fileGaveSamples_ = true;
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
                pending_.insert(pending_.end(), buf.begin(), buf.begin() + got * 2);
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

void Music::Read(int16_t* out, int count) {
    const int64_t fadeLength = kAudioRate;  // one second
    const int64_t fadeStart = total_ - fadeLength;
    for (int i = 0; i < count; ++i, ++position_) {
        if (position_ >= total_) {
            out[2 * i] = out[2 * i + 1] = 0;
            continue;
        }
        while (!silent_ && pending_.size() < 2) {
            if (open_ && DecodeSome()) continue;
            // End of a file: the next one, or the first again. A file that
            // gave nothing at all counts as unreadable, so that looping
            // over empty files cannot spin forever.
            if (open_ && !fileGaveSamples_) {
                size_t current = (next_ + files_.size() - 1) % files_.size();
                unreadable_[current] = true;
            }
            if (!OpenNext()) silent_ = true;
        }
        int16_t l = 0, r = 0;
        if (!silent_) {
            l = pending_.front();
            pending_.pop_front();
            r = pending_.front();
            pending_.pop_front();
            if (position_ >= fadeStart) {
                double gain = static_cast<double>(total_ - position_) / static_cast<double>(fadeLength);
                l = static_cast<int16_t>(l * gain);
                r = static_cast<int16_t>(r * gain);
            }
        }
        out[2 * i] = l;
        out[2 * i + 1] = r;
    }
}

}  // namespace vcdalbum::components::stream
