// Room on disk for a build, checked against its plan before any work: a full
// disk found only after the encoding costs the whole run and says no more
// than "Input/output error".
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace vcdalbum::host {

struct SpaceNeed {
    std::filesystem::path folder;
    uint64_t bytes = 0;
    const char* what = "";  // "the disc image", "the work folder"
};

// Throws InputError ("needs 26 MB in /path, 8 MB free") for the first file
// system that lacks the room; needs of folders on one file system add up.
// A folder whose free space cannot be learnt is taken to have enough.
void CheckFreeSpace(const std::vector<SpaceNeed>& needs);

}  // namespace vcdalbum::host
