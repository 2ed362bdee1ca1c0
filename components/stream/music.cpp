#include "music.h"

#include <algorithm>
#include <cstdio>

#include "component_messages.h"

namespace vcdalbum::components::stream {

Music::Music(std::vector<std::string> files, int64_t totalSamples)
    : files_(std::move(files)), unreadable_(files_.size(), false), total_(totalSamples) {
    silent_ = files_.empty() || !OpenNext();
    if (silent_ && !files_.empty())
        Say("no music file could be read; the stream's audio is silent");
}

bool Music::OpenNext() {
    sound_.Close();
    // One full round over the list without a readable file ends the music.
    for (size_t tries = 0; tries < files_.size(); ++tries) {
        size_t i = next_;
        next_ = (next_ + 1) % files_.size();
        if (unreadable_[i]) continue;
        const std::string error = sound_.Open(files_[i]);
        if (error.empty()) {
            fileGaveSamples_ = false;
            return true;
        }
        Say("warning: music file '" + files_[i] + "' cannot be read (" + error + "); it is skipped");
        unreadable_[i] = true;
    }
    return false;
}

bool Music::DecodeSome() {
    if (!sound_.DecodeSome(pending_)) return false;
    fileGaveSamples_ = true;
    return true;
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
            if (sound_.open() && DecodeSome()) continue;
            // End of a file: the next one, or the first again. A file that
            // gave nothing at all counts as unreadable, so that looping
            // over empty files cannot spin forever.
            if (sound_.open() && !fileGaveSamples_) {
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
