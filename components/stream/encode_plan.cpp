#include "encode_plan.h"

#include <algorithm>
#include <cmath>

#include "contract/component_codes.h"

namespace vcdalbum::components::stream {
namespace {

constexpr double kMenuDefaultSeconds = 0.5;

std::vector<std::string> ReadNames(char** names, int32_t count) {
    std::vector<std::string> out;
    if (names == nullptr) return out;
    for (int32_t i = 0; i < count && names[i] != nullptr; ++i) out.emplace_back(names[i]);
    return out;
}

// Marks the entries that belong to complete transition runs.
std::vector<bool> FindTransitionRuns(const std::vector<std::string>& names) {
    std::vector<bool> inRun(names.size(), false);
    size_t i = 0;
    while (i < names.size()) {
        std::string dir;
        long long serial = 0;
        int k = 0;
        if (!ParseTransitionFrameName(names[i], dir, serial, k) || k != 1 || i + vcdalbum::TransitionFrames > names.size()) {
            ++i;
            continue;
        }
        bool complete = true;
        for (int f = 2; f <= vcdalbum::TransitionFrames && complete; ++f) {
            std::string d;
            long long s = 0;
            int kk = 0;
            complete = ParseTransitionFrameName(names[i + f - 1], d, s, kk) && d == dir && s == serial && kk == f;
        }
        if (!complete) {
            ++i;
            continue;
        }
        for (int f = 0; f < vcdalbum::TransitionFrames; ++f) inRun[i + f] = true;
        i += vcdalbum::TransitionFrames;
    }
    return inRun;
}

}  // namespace

bool ParseTransitionFrameName(const std::string& path, std::string& dir, long long& serial, int& k) {
    const size_t slash = path.find_last_of("/\\");
    dir = slash == std::string::npos ? std::string() : path.substr(0, slash);
    const std::string_view base = slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
    return vcdalbum::contract::ParseTransitionFrameFileName(base, serial, k);
}

int64_t MinimumFrames(const VideoStandard& standard) {
    return static_cast<int64_t>(std::ceil(kMinimumSeconds * standard.fps() - 1e-9));
}

EncodePlan MakePlan(const StreamInfo& info, const StreamMotion* motion) {
    EncodePlan plan;
    plan.standard = &video::FromStreamOption(info.option6);
    plan.music = ReadNames(info.extraFiles, info.extraCount);

    // Positions in pictureTimes follow the record's entries, null names included.
    std::vector<std::string> names;
    std::vector<double> seconds;
    if (info.pictureFiles != nullptr) {
        for (int32_t i = 0; i < info.pictureCount && info.pictureFiles[i] != nullptr; ++i) {
            names.emplace_back(info.pictureFiles[i]);
            double s = info.pictureTimes != nullptr ? static_cast<double>(info.pictureTimes[i]) : 0.0;
            seconds.push_back(std::isfinite(s) && s > 0 ? s : kMenuDefaultSeconds);
        }
    }

    const bool album = info.option5 > 0;
    std::vector<bool> transition = album ? FindTransitionRuns(names) : std::vector<bool>(names.size(), false);

    // Cumulative time is rounded onto the frame grid, so that rounding never
    // accumulates into drift over a long album.
    // A transition keeps one frame per entry whatever the rate: 30 frames
    // are 1.2 s in PAL.
    const double fps = plan.standard->fps();
    double elapsedSeconds = 0;
    int64_t framesSoFar = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        double s = transition[i] ? 1.0 / fps : (album ? static_cast<double>(info.option5) : seconds[i]);
        elapsedSeconds += s;
        int64_t end = std::llround(elapsedSeconds * fps);
        int64_t frames = std::max<int64_t>(1, end - framesSoFar);
        PlannedPicture picture{names[i], frames, std::string(), 0};
        if (album && !transition[i] && motion != nullptr && motion->sourceFiles != nullptr &&
            motion->sourceFiles[i] != nullptr && motion->sourceFiles[i][0] != '\0') {
            picture.source = motion->sourceFiles[i];
            picture.seed = motion->seeds != nullptr ? motion->seeds[i] : 0;
        }
        plan.pictures.push_back(std::move(picture));
        framesSoFar += frames;
    }
    if (plan.pictures.empty()) plan.pictures.push_back(PlannedPicture{});
    const int64_t minimum = MinimumFrames(*plan.standard);
    if (framesSoFar < minimum) {
        plan.pictures.back().frames += minimum - framesSoFar;
        framesSoFar = minimum;
    }
    plan.totalFrames = framesSoFar;
    return plan;
}

}  // namespace vcdalbum::components::stream
