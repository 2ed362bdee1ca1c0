// Before anything is encoded: which transitions every album gets, how long
// every stream runs, and how much of the disc they take. A stream runs at the
// fixed Video CD rate, so its sectors follow from its duration alone.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "contract/disc_capacity.h"
#include "project/project.h"

namespace vcdalbum::host {

using burner::kMaxSequenceItems;
using burner::kSectorsPerSecond;
using burner::kTrackOverheadSectors;

inline constexpr double kMinStreamSeconds = 3.2; // the encoder holds the last picture this long at least
inline constexpr double kMenuPageSeconds = 0.5;
// The disc's own data track and lead-in of tables, with a reserve: the plan
// is made before any stream exists, so it errs on the full side.
inline constexpr int64_t kDiscOverheadSectors = 1200;
// Pack headers, padding and the end code beyond the pure rate.
inline constexpr int64_t kStreamOverheadSectors = 30;

struct AlbumPlan {
    int album = 0;                      // index into Project::albums
    std::vector<uint16_t> positions;    // transition k joins picture positions[k] and the next
    std::vector<uint16_t> effects;
    double seconds = 0;
    int64_t sectors = 0;                // stream plus track overhead
};

struct MenuPlan {
    std::vector<int> albums;  // indices into DiscPlan::albums (disc order)
    double seconds = 0;
    int64_t sectors = 0;
};

struct DiscPlan {
    std::vector<MenuPlan> menus;
    std::vector<AlbumPlan> albums;  // in disc order: menu by menu
    int discMinutes = 74;
    int sequenceItems = 0;          // the fixed first clip, the menu pages, the albums
    int64_t usedSectors = 0;
    int64_t capacitySectors = 0;
    uint32_t seed = 0;
};

// The same project, seed and disc size always give the same plan.
DiscPlan PlanDisc(const Project& project, uint32_t seed, int discMinutes);

// Throws InputError when the plan does not fit its disc or needs too many
// tracks, saying by how much and which albums to move to another disc.
void CheckFits(const Project& project, const DiscPlan& plan);

// Seconds a stream of this content runs, and the sectors it takes.
double AlbumSeconds(size_t pictures, int secondsPerPicture, size_t transitions, double framesPerSecond = 30.0);
int64_t StreamSectors(double seconds);

// The plan for a person: menus, albums, pictures, transitions, durations, disc use.
void PrintPlan(std::ostream& out, const Project& project, const DiscPlan& plan);

// "1:05:30" / "4:07".
std::string FormatDuration(double seconds);

}  // namespace vcdalbum::host
