// One sound file decoded in order as 44.1 kHz stereo: what the album's
// music and a clip's own sound are both read with.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "ffmpeg_util.h"

namespace vcdalbum::components::stream {

inline constexpr int kAudioRate = 44100;

class SoundDecoder {
public:
    // Opens `path`'s best audio stream; the reason it cannot, or empty.
    std::string Open(const std::string& path);
    void Close();
    bool open() const { return open_; }

    // Appends the next decoded samples (interleaved s16 stereo) to `out`;
    // false at the end of the file.
    bool DecodeSome(std::deque<int16_t>& out);

private:
    InputPtr input_;
    CodecContextPtr decoder_;
    SwrPtr swr_;
    int stream_ = -1;
    bool open_ = false;
    bool flushed_ = false;
    FramePtr frame_{av_frame_alloc()};
    PacketPtr packet_{av_packet_alloc()};
};

}  // namespace vcdalbum::components::stream
