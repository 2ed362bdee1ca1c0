// Background music: the music files decoded one after the other, looped or
// cut to the stream's length, as 44.1 kHz stereo with a fade-out at the end.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "contract/video_standard.h"
#include "sound_decoder.h"

namespace vcdalbum::components::stream {

// Samples per channel that cover `frames` video frames.
inline int64_t SamplesForFrames(int64_t frames, const video::VideoStandard& standard) {
    return (frames * standard.rateDen * kAudioRate + standard.rateNum / 2) / standard.rateNum;
}

class Music {
public:
    // `totalSamples` is the stream's length in samples per channel; the last
    // second of it fades out. Unreadable files are skipped with a warning on
    // standard error; with none readable the music is silence.
    Music(std::vector<std::string> files, int64_t totalSamples);

    // Writes the next `count` stereo samples (interleaved s16) to `out`.
    // Past the stream's length the samples are silence.
    void Read(int16_t* out, int count);

    bool silent() const { return silent_; }

private:
    bool OpenNext();    // opens the next readable file, looping; false when none is readable
    bool DecodeSome();  // appends decoded samples to pending_; false at the end of the file

    std::vector<std::string> files_;
    std::vector<bool> unreadable_;
    size_t next_ = 0;
    bool silent_ = false;
    bool fileGaveSamples_ = false;
    int64_t position_ = 0;
    int64_t total_;
    SoundDecoder sound_;
    std::deque<int16_t> pending_;
};

}  // namespace vcdalbum::components::stream
