#include "picture/clip_frames.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "clip_input.h"
#include "console/errors.h"
#include "picture/pictures.h"
#include "console/work_pool.h"
#include "contract/component_codes.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;
namespace input = components::picture_input;

namespace {

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g s", s);
    return text;
}

// The picture upright and reduced to no less than twice its size in the
// frame, where the fitting shrink takes over, as for a still whose decoder
// reduces it.
OwnedImage ReducedUpright(const AVFrame& frame, int orientation, const VideoStandard& standard, const std::string& name) {
    const bool swap = input::SwapsSides(orientation);
    const auto w = static_cast<uint32_t>(frame.width), h = static_cast<uint32_t>(frame.height);
    const double scale = ScaleToTwiceTheFit(swap ? h : w, swap ? w : h, standard);
    const auto rw = static_cast<uint32_t>(std::max(1L, std::lround(w * scale)));
    const auto rh = static_cast<uint32_t>(std::max(1L, std::lround(h * scale)));
    return UprightPicture(frame, orientation, name, rw, rh);
}

}  // namespace

void MeasureClips(Project& project, unsigned jobs) {
    std::vector<ClipSetting*> clips;
    std::vector<const fs::path*> files;
    for (Album& album : project.albums)
        for (size_t i = 0; i < album.pictures.size() && i < album.pictureClips.size(); ++i)
            if (album.pictureClips[i] && album.pictureClips[i]->seconds <= 0 && album.pictureClips[i]->problem.empty()) {
                clips.push_back(&*album.pictureClips[i]);
                files.push_back(&album.pictures[i]);
            }
    ForEachOnThreads(clips.size(), jobs, [&](size_t k) {
        ClipSetting& clip = *clips[k];
        input::ClipFacts facts;
        const input::Problem problem = input::CheckClip(files[k]->string(), facts);
        clip.problem = problem.text;
        if (problem) return;
        const double end = clip.end ? std::min(*clip.end, facts.seconds > 0 ? facts.seconds : *clip.end) : facts.seconds;
        clip.seconds = end - clip.start;
        if (facts.seconds <= 0 && !clip.end) clip.problem = "its length is not known; give an \"end\"";
        else if (clip.seconds <= 0) clip.problem = "starts at " + Seconds(clip.start) + ", after its end at " + Seconds(end);
        if (!clip.problem.empty()) clip.seconds = 0;
    });
}

std::vector<std::string> ClipProblems(const Project& project) {
    std::vector<std::string> out;
    for (const Album& album : project.albums)
        for (size_t i = 0; i < album.pictures.size(); ++i)
            if (const ClipSetting* clip = ClipAt(album, i); clip != nullptr && !clip->problem.empty())
                out.push_back("album \"" + album.title + "\", picture " + std::to_string(i + 1) + ": " +
                              album.pictures[i].string() + ": " + clip->problem);
    return out;
}

int64_t ClipFrameCount(const ClipSetting& clip, const VideoStandard& standard) {
    return std::max<int64_t>(1, std::llround(clip.seconds * standard.fps()));
}

std::vector<std::string> ClipFramePaths(const fs::path& folder, long long serial, int64_t frames) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(frames));
    for (int64_t k = 1; k <= frames; ++k) out.push_back((folder / contract::ClipFrameFileName(serial, k)).string());
    return out;
}

void PrepareClip(const fs::path& file, const ClipSetting& clip, const VideoStandard& standard, const fs::path& folder,
                 long long serial, OwnedImage* firstFrame) {
    const std::string name = file.string();
    input::ClipReader reader;
    if (const input::Problem problem = reader.Open(name)) throw InputError(name + ": " + problem.text);
    const int orientation = reader.facts().orientation;
    const int64_t frames = ClipFrameCount(clip, standard);
    const std::vector<std::string> paths = ClipFramePaths(folder, serial, frames);
    const AVFrame* shown = nullptr;
    int64_t shownTime = AV_NOPTS_VALUE;
    for (int64_t k = 0; k < frames; ++k) {
        const double t = clip.start + static_cast<double>(k) * standard.rateDen / standard.rateNum;
        const AVFrame* picture = reader.At(t);
        if (picture == nullptr) throw InputError(name + ": its video cannot be decoded");
        // A clip slower than the disc shows some pictures twice: the file is
        // linked rather than coded again.
        if (k > 0 && picture == shown && picture->best_effort_timestamp == shownTime) {
            std::error_code ec;
            fs::create_hard_link(paths[static_cast<size_t>(k - 1)], paths[static_cast<size_t>(k)], ec);
            if (!ec) continue;
        }
        OwnedImage frame = FitToFrame(ReducedUpright(*picture, orientation, standard, name).get(), standard);
        WriteJpeg(frame.get(), paths[static_cast<size_t>(k)]);
        if (k == 0 && firstFrame != nullptr) *firstFrame = std::move(frame);
        shown = picture;
        shownTime = picture->best_effort_timestamp;
    }
    if (reader.facts().sound) {
        const fs::path sound = folder / contract::ClipSoundFileName(serial);
        std::ofstream out(sound, std::ios::binary | std::ios::trunc);
        char start[32];
        std::snprintf(start, sizeof start, "%.6f", clip.start);
        out << start << "\n" << fs::absolute(file).string() << "\n";
        if (!out.flush()) throw RunError(sound.string() + ": cannot be written");
    }
}

}  // namespace vcdalbum::host
