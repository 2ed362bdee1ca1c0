#include "rate_guard.h"

#include <algorithm>
#include <cmath>

#include "stream_encode.h"

namespace vrxstream {
namespace {

// After a failing frame of a held picture, the softened start lasts this
// much longer: a still's P-frames cost next to nothing, so by then the
// buffer has refilled enough to take the sharp picture.
constexpr int64_t kSettleFrames = 12;
constexpr double kLevelFactor = 0.6;

}  // namespace

double SqueezedActivityLimit(int level, double vbvFullness) {
    return ActivityLimit(vbvFullness) * std::pow(kLevelFactor, std::clamp(level, 0, kMaxSqueezeLevel));
}

bool TightenSqueezes(const EncodePlan& plan, const VbvReport& report, std::vector<PictureSqueeze>& squeezes) {
    if (!report.error.empty() || report.Count(VbvViolation::Kind::Overflow) > 0) return false;
    squeezes.resize(plan.pictures.size());
    std::vector<int64_t> starts;  // first frame of each planned picture
    int64_t frame = 0;
    for (const PlannedPicture& p : plan.pictures) {
        starts.push_back(frame);
        frame += p.frames;
    }
    bool changed = false;
    auto tighten = [&](size_t index, int64_t failingOffset) {
        PictureSqueeze& s = squeezes[index];
        const PictureSqueeze before = s;
        s.level = std::min(s.level + 1, kMaxSqueezeLevel);
        if (plan.pictures[index].frames > 1)
            s.softFrames = std::min(plan.pictures[index].frames, std::max(s.softFrames, failingOffset + kSettleFrames));
        changed = changed || s.level != before.level || s.softFrames != before.softFrames;
    };
    for (const VbvViolation& v : report.violations) {
        auto it = std::upper_bound(starts.begin(), starts.end(), v.picture);
        if (it == starts.begin()) continue;
        const size_t index = static_cast<size_t>(it - starts.begin()) - 1;
        if (index >= plan.pictures.size()) continue;
        tighten(index, v.picture - starts[index]);
        // A run of transition frames drains the buffer together: soften the
        // frame before a failing one as well.
        if (plan.pictures[index].frames == 1 && index > 0 && plan.pictures[index - 1].frames == 1) tighten(index - 1, 0);
    }
    return changed;
}

}  // namespace vrxstream
