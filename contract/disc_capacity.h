// How much a Video CD holds and what the image builder adds around its
// tracks: the one model behind the host's disc planner and the burner
// component's project check. Header-only, so that both can use it without
// linking the library.
#pragma once

#include <cstdint>

namespace vcdalbum::burner {

// A CD plays 75 sectors a second; a Video CD track carries the 2324-byte
// payload of each Mode 2 Form 2 sector (174,300 bytes/s).
inline constexpr int64_t kSectorsPerSecond = 75;
inline constexpr uint64_t kTrackSectorBytes = 2324;
// A raw CD sector, as a BIN image or a CDXA file holds it.
inline constexpr uint64_t kRawSectorBytes = 2352;
// An ISO 9660 file sector.
inline constexpr uint64_t kFileSectorBytes = 2048;

// Tracks 2 to 99 carry the sequence items; track 1 is the disc's own data.
inline constexpr int kMaxSequenceItems = 98;

// A disc of `minutes`, in sectors; the largest CD-R holds 80 minutes.
constexpr int64_t DiscSectors(int minutes) { return int64_t{minutes} * 60 * kSectorsPerSecond; }
inline constexpr int kLargestDiscMinutes = 80;
inline constexpr int64_t kLargestDiscSectors = DiscSectors(kLargestDiscMinutes);

// The image builder's layout: a 2-second gap before every track (and before
// the first, on every disc), front and rear margins around each stream, and
// one more gap closing the image.
inline constexpr int64_t kTrackGapSectors = 150;
inline constexpr int64_t kTrackMarginSectors = 150;
inline constexpr int64_t kTrackOverheadSectors = kTrackGapSectors + 2 * kTrackMarginSectors;
inline constexpr int64_t kLeadInGapSectors = kTrackGapSectors;
inline constexpr int64_t kTrailingGapSectors = kTrackGapSectors;
// ISO 9660 and Video CD control files of the first track, with room to spare.
inline constexpr int64_t kFirstTrackBaseSectors = 300;
// Every segment item (menu still) starts a new block of this many sectors.
inline constexpr int64_t kSegmentBlockSectors = 150;

// Sectors a track of `streamSectors` takes on the disc, its gap and margins
// included.
constexpr int64_t TrackSectors(int64_t streamSectors) { return streamSectors + kTrackOverheadSectors; }

}  // namespace vcdalbum::burner
