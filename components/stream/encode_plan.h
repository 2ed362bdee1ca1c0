// What to show for how long: the StreamInfo record turned into a list of
// pictures with frame counts on the frame grid of the stream's standard.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "contract/video_standard.h"
#include "vcdalbum/StreamInfo.h"

namespace vcdalbum::components::stream {

using video::VideoStandard;

// 3.2 s on the frame grid, rounded up: every disc track must reach the
// recorders' 4-second minimum once the image builder's margins are added.
inline constexpr double kMinimumSeconds = 3.2;
int64_t MinimumFrames(const VideoStandard& standard);

struct PlannedPicture {
    std::string path;  // empty: a black frame
    int64_t frames = 0;
    std::string source;  // set: the picture moves across this file (pan-and-zoom)
    uint32_t seed = 0;   // the moving picture's path seed
};

struct EncodePlan {
    std::vector<PlannedPicture> pictures;
    std::vector<std::string> music;
    int64_t totalFrames = 0;
    const VideoStandard* standard = &video::kNtsc;  // from the record's option6
};

// True when `path` names frame `k` (1..30) of a transition run "<n>-<k>.jpg";
// `serial` and `dir` receive the run's number and directory.
bool ParseTransitionFrameName(const std::string& path, std::string& dir, long long& serial, int& k);

// Builds the plan. Pictures with null names are skipped; an empty list gives
// one black picture. The last picture is held longer when the stream would be
// shorter than MinimumFrames. With `motion`, album pictures that have a
// source move across it; transition frames never do.
EncodePlan MakePlan(const StreamInfo& info, const StreamMotion* motion = nullptr);

}  // namespace vcdalbum::components::stream
