#include "sound_check.h"

#include <filesystem>

namespace vcdalbum::components::picture_input {

Problem CheckSoundFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {Problem::Kind::kNotFound, "not found"};
    if (!std::filesystem::is_regular_file(path, ec)) return {Problem::Kind::kNotFound, "not a sound file"};
    InputPtr input;
    CodecContextPtr decoder;
    int index = -1;
    if (Problem p = OpenDecoder(path, AVMEDIA_TYPE_AUDIO, input, decoder, index)) return p;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) return {Problem::Kind::kOutOfMemory, "out of memory"};
    // A header that promises sound is not enough: random bytes can pass
    // the probe, so the file must give samples.
    bool flushing = false;
    for (;;) {
        const int rc = avcodec_receive_frame(decoder.get(), frame.get());
        if (rc == 0 && frame->nb_samples > 0) return {};
        if (rc == 0) continue;
        if (rc != AVERROR(EAGAIN) || flushing) return {Problem::Kind::kDamaged, "gives no sound"};
        if (av_read_frame(input.get(), packet.get()) < 0) {
            flushing = true;
            avcodec_send_packet(decoder.get(), nullptr);
            continue;
        }
        // A broken packet may be followed by good ones, as a player finds.
        if (packet->stream_index == index) avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
    }
}

}  // namespace vcdalbum::components::picture_input
