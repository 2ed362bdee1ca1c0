// A collection too long for one disc, divided into several: each disc its
// own project, with its own menus, titled "TITLE (1 of N)". Albums stay
// whole; an album longer than a disc by itself is cut into parts whose
// titles say "(part 1 of 3)".
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <vector>

#include "project/project.h"

namespace vcdalbum::host {

struct DiscSplit {
    std::vector<Project> discs;  // the project itself, untouched, when it fits one disc
    double seconds = 0;          // the whole collection as one disc would hold it
    std::vector<double> discSeconds;  // each disc's, when there are several
};

// Divides `project` in disc order, filling each disc before the next. At
// most `maxDiscs` discs (0: as many as needed); with more needed, throws
// InputError naming the collection's length and what the discs hold, before
// any picture is read. One disc that does not fit gets CheckFits's advice.
DiscSplit SplitIntoDiscs(const Project& project, uint32_t seed, int discMinutes, int maxDiscs);

// "Disc 1 of 2: "TITLE (1 of 2)", 1:10:05: "Album", "Long (part 1 of 2)"".
void PrintDiscSplit(std::ostream& out, const DiscSplit& split);

// Where the project of disc `number` of `count` is written when one project
// file was asked for at `file`: disc.json gives disc-1.json, disc-2.json...;
// `file` itself for a single disc.
std::filesystem::path DiscProjectFile(const std::filesystem::path& file, size_t number, size_t count);

}  // namespace vcdalbum::host
