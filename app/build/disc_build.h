// A whole build, as `vcdalbum build` and `vcdalbum demo` run it: plan the
// disc, prepare the pictures, draw the menu pages, have the library encode
// every page and album, and lay the disc out on a drive or into an image.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "build/disc_plan.h"
#include "console/progress.h"
#include "project/project.h"

namespace vcdalbum::host {

inline constexpr uint32_t kDefaultSeed = 20260101;

struct BuildOptions {
    std::filesystem::path out = ".";  // where drive 0 writes <name>.cue/.bin
    int drive = 0;                    // 0: the image recorder; 1..N the machine's recorders
    int speed = 8;
    int discMinutes = 74;
    uint32_t seed = kDefaultSeed;
    bool dryRun = false;
    bool keepWork = false;
    unsigned jobs = 0;  // threads for pictures, menus, transitions and streams; 0: one per core
    const video::VideoStandard* video = nullptr;  // --video: overrides the project's "video"
};

struct BuildResult {
    DiscPlan plan;
    std::filesystem::path cue, bin;  // drive 0 only
    std::filesystem::path work;      // kept with --keep-work
};

// Runs the build. Throws InputError (exit 2) for a bad project, picture,
// music file or output folder; pictures and music are all checked first, and
// the error names every one that cannot be used, a line each; and RunError (exit 1) when encoding, the
// image build or the recorder fails. A failed build leaves no image behind.
BuildResult BuildDisc(const Project& project, const BuildOptions& options, Progress& progress);

// The file name the image gets for a disc title: characters that file
// systems refuse become '_'.
std::string ImageName(const std::string& title);

}  // namespace vcdalbum::host
