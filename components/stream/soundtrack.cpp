#include "soundtrack.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "component_messages.h"

namespace vcdalbum::components::stream {
namespace {

constexpr auto kFade = static_cast<int64_t>(kMusicFadeSeconds * kAudioRate);

// A clip's sound file: its start in seconds, then the clip's own path.
bool ReadSoundFile(const std::string& file, double& start, std::string& clip) {
    std::ifstream in(file);
    std::string first;
    if (!std::getline(in, first) || !std::getline(in, clip) || clip.empty()) return false;
    char* end = nullptr;
    start = std::strtod(first.c_str(), &end);
    return end != first.c_str() && std::isfinite(start) && start >= 0;
}

}  // namespace

Soundtrack::Soundtrack(const EncodePlan& plan, int64_t totalSamples) : music_(plan.music, totalSamples) {
    for (const PlannedClipSound& c : plan.clipSounds)
        spans_.push_back(Span{SamplesForFrames(c.firstFrame, *plan.standard),
                              SamplesForFrames(c.firstFrame + c.frames, *plan.standard), c.file});
}

double Soundtrack::MusicGain(int64_t at) {
    while (gainSpan_ < spans_.size() && at >= spans_[gainSpan_].to + kFade) ++gainSpan_;
    double gain = 1.0;
    // Fades of neighbouring clips may overlap; the lower level wins.
    for (size_t s = gainSpan_; s < spans_.size() && spans_[s].from - kFade <= at; ++s) {
        const Span& span = spans_[s];
        double g = kMusicUnderClip;
        if (at < span.from) g = 1.0 - (1.0 - kMusicUnderClip) * static_cast<double>(at - (span.from - kFade)) / kFade;
        else if (at >= span.to) g = kMusicUnderClip + (1.0 - kMusicUnderClip) * static_cast<double>(at - span.to) / kFade;
        gain = std::min(gain, g);
    }
    return gain;
}

void Soundtrack::ClipSamples(int16_t* out, int count) {
    for (int i = 0; i < count; ++i) {
        const int64_t at = position_ + i;
        while (playing_ < spans_.size() && at >= spans_[playing_].to) {
            ++playing_;
            opened_ = false;
            clip_.Close();
            pending_.clear();
        }
        if (playing_ == spans_.size() || at < spans_[playing_].from) continue;
        if (!opened_) {
            opened_ = true;
            double start = 0;
            std::string clip;
            std::string error = ReadSoundFile(spans_[playing_].file, start, clip) ? clip_.Open(clip) : "no clip is named";
            if (!error.empty()) Say("warning: the sound of clip '" + spans_[playing_].file + "' cannot be read (" + error + "); it is silent");
            skip_ = std::llround(start * kAudioRate) * 2;
        }
        while (pending_.size() < 2 && clip_.open()) {
            if (!clip_.DecodeSome(pending_)) clip_.Close();
            while (skip_ > 0 && !pending_.empty()) {
                pending_.pop_front();
                --skip_;
            }
        }
        if (pending_.size() < 2) continue;  // the clip's sound ended before its pictures
        for (int c = 0; c < 2; ++c) {
            const int mixed = out[2 * i + c] + pending_.front();
            pending_.pop_front();
            out[2 * i + c] = static_cast<int16_t>(std::clamp(mixed, -32768, 32767));
        }
    }
}

void Soundtrack::Read(int16_t* out, int count) {
    music_.Read(out, count);
    if (spans_.empty()) return;
    for (int i = 0; i < count; ++i) {
        const double gain = MusicGain(position_ + i);
        if (gain < 1.0)
            for (int c = 0; c < 2; ++c) out[2 * i + c] = static_cast<int16_t>(std::lround(out[2 * i + c] * gain));
    }
    ClipSamples(out, count);
    position_ += count;
}

}  // namespace vcdalbum::components::stream
