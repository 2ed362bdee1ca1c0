#include "rate_guard.h"

#include <algorithm>
#include <cmath>

#include "detail_limiter.h"
#include "vcd_writer.h"

namespace vcdalbum::components::stream {
namespace {

// A P-frame may cost a little more than the I-frame of the same picture,
// and the encoder's own buffer model runs a little behind ours.
constexpr double kSafetyFactor = 1.15;
constexpr double kSafetyBits = 4000;
constexpr double kLevelFactor = 1.3;
// Random noise in all three planes, the dearest 352x240 picture there is,
// takes about 208,000 bits at quantiser 31; the cost grows with the area.
constexpr int64_t kDearestNtscFrameBits = 220000;
constexpr int kSofteningRounds = 12;
constexpr double kSofteningStep = 0.7;
// Groups of pictures asked for early are at least this long.
constexpr int64_t kEarliestKeyFrame = 9;

}  // namespace

double NeededBits(int64_t coarsestBits, int level) {
    const int l = std::clamp(level, 0, kMaxSafetyLevel);
    return static_cast<double>(coarsestBits) * kSafetyFactor * std::pow(kLevelFactor, l) + kSafetyBits * (l + 1);
}

double ContentThatFitsAnyFrame(int level, const video::VideoStandard& standard) {
    const int64_t dearest = kDearestNtscFrameBits * standard.width * standard.height / (video::kNtsc.width * video::kNtsc.height);
    return NeededBits(dearest, level);
}

FramePtr RateGuard::Soften(const AVFrame& frame, double contentBits, int level, int64_t& bits) {
    FramePtr soft(av_frame_clone(&frame));
    if (!soft || av_frame_make_writable(soft.get()) < 0) return nullptr;
    double activity = FrameActivity(*soft);
    bits = Cost(*soft);
    for (int round = 0; round < kSofteningRounds && bits >= 0 && NeededBits(bits, level) > contentBits; ++round) {
        if (activity <= 0) break;
        activity *= kSofteningStep;
        LimitDetail(*soft, activity);
        activity = FrameActivity(*soft);
        bits = Cost(*soft);
    }
    return soft;
}

const AVFrame* PictureFitter::SoftFitting(double contentBits) {
    if (!soft_ || NeededBits(softCost_, level_) > contentBits) soft_ = guard_.Soften(picture_, contentBits, level_, softCost_);
    return soft_.get();
}

PictureFitter::Choice PictureFitter::Next(double contentBits, int64_t sinceKeyFrame) {
    if (sinceKeyFrame < lastSinceKey_) dipped_ = false;  // a new group began
    lastSinceKey_ = sinceKeyFrame;
    if (contentBits >= ContentThatFitsAnyFrame(level_, guard_.standard())) {
        sharpShown_ = true;
        return {&picture_, false};
    }
    if (cost_ < 0) cost_ = guard_.Cost(picture_);
    const bool fits = cost_ < 0 || NeededBits(cost_, level_) <= contentBits;
    if (!sharpShown_) {
        // New content: it may be coded as an I-frame, or as a P-frame that
        // costs about as much.
        if (fits) {
            sharpShown_ = true;
            return {&picture_, false};
        }
        return {SoftFitting(contentBits), false};
    }
    if (!fits) dipped_ = true;
    if (sinceKeyFrame >= guard_.standard().gopSize && !fits) {
        // The encoder's own I-frame, and no room for it: soft again, until
        // the buffer can take the picture once more.
        sharpShown_ = false;
        return {SoftFitting(contentBits), false};
    }
    if (fits && dipped_ && sinceKeyFrame >= kEarliestKeyFrame) return {&picture_, true};
    return {&picture_, false};
}

bool RaiseSafetyLevels(const EncodePlan& plan, const VbvReport& report, std::vector<int>& levels) {
    if (!report.error.empty() || report.Count(VbvViolation::Kind::Overflow) > 0) return false;
    levels.resize(plan.pictures.size());
    std::vector<int64_t> starts;  // first frame of each planned picture
    int64_t frame = 0;
    for (const PlannedPicture& p : plan.pictures) {
        starts.push_back(frame);
        frame += p.frames;
    }
    bool changed = false;
    std::vector<bool> raised(levels.size(), false);  // once per pass
    auto raise = [&](size_t index) {
        if (!raised[index] && levels[index] < kMaxSafetyLevel) {
            raised[index] = true;
            ++levels[index];
            changed = true;
        }
    };
    for (const VbvViolation& v : report.violations) {
        auto it = std::upper_bound(starts.begin(), starts.end(), v.picture);
        if (it == starts.begin()) continue;
        const size_t index = static_cast<size_t>(it - starts.begin()) - 1;
        raise(index);
        // The picture before drained the buffer that this one found empty.
        if (index > 0) raise(index - 1);
    }
    return changed;
}

}  // namespace vcdalbum::components::stream
