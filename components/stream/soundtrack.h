// An album's sound: its music, and each video clip's own sound at the
// clip's place. While a clip with sound plays, the music is turned down
// under it, fading over half a second on each side, and comes back after
// it; a clip without sound leaves the music as it is.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "encode_plan.h"
#include "music.h"

namespace vcdalbum::components::stream {

// The music's level while a clip speaks, and how long it takes to get there.
inline constexpr double kMusicUnderClip = 0.15;
inline constexpr double kMusicFadeSeconds = 0.5;

class Soundtrack {
public:
    // `totalSamples` as for Music. A clip's sound that cannot be read is
    // silence, with a warning on standard error.
    Soundtrack(const EncodePlan& plan, int64_t totalSamples);

    // As Music::Read.
    void Read(int16_t* out, int count);

private:
    struct Span {
        int64_t from = 0, to = 0;  // samples per channel
        std::string file;          // the clip's sound file ("clip<n>.sound")
    };
    double MusicGain(int64_t at);
    void ClipSamples(int16_t* out, int count);  // adds the clips' sound at position_

    Music music_;
    std::vector<Span> spans_;
    size_t gainSpan_ = 0;  // the first span whose fade back has not ended
    size_t playing_ = 0;   // the clip whose sound is read or next
    bool opened_ = false;
    SoundDecoder clip_;
    std::deque<int16_t> pending_;
    int64_t skip_ = 0;     // samples still to drop before the clip's start
    int64_t position_ = 0;
};

}  // namespace vcdalbum::components::stream
