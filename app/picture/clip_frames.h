// Video clips in albums, made ready for the stream encoder: measured before
// the plan, then turned into the frames the disc shows, one JPEG file per
// frame at the disc's frame rate, each fitted like a still picture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/owned_image.h"
#include "project/project.h"
#include "contract/video_standard.h"

namespace vcdalbum::host {

using video::VideoStandard;

// Opens every clip of the project not measured yet on `jobs` threads,
// decoding its first picture, and fills each ClipSetting's `seconds` (what plays of it, start
// and end honoured) or its `problem`.
void MeasureClips(Project& project, unsigned jobs);

// Lines for the list of unusable inputs, one per clip with a problem, in the
// project's order: "album \"x\", picture n: FILE: reason".
std::vector<std::string> ClipProblems(const Project& project);

// The frames a measured clip takes on the disc: its playing time on the
// standard's frame grid, at least one.
int64_t ClipFrameCount(const ClipSetting& clip, const VideoStandard& standard);

// The frame files ClipFrameCount frames of clip `serial` go to in `folder`.
std::vector<std::string> ClipFramePaths(const std::filesystem::path& folder, long long serial, int64_t frames);

// Decodes `file` from the clip's start and writes its ClipFramePaths: each
// frame the picture on screen at that frame's time, turned upright by the
// clip's display matrix and fitted into the standard's frame as a still is.
// A clip with sound also gets its "clip<serial>.sound" file. `firstFrame`,
// when given, receives the first frame. Throws InputError when the clip
// cannot be decoded, RunError when a file cannot be written.
void PrepareClip(const std::filesystem::path& file, const ClipSetting& clip, const VideoStandard& standard,
                 const std::filesystem::path& folder, long long serial, OwnedImage* firstFrame = nullptr);

}  // namespace vcdalbum::host
