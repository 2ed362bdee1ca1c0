// Reading a finished Video CD image back through libvcdinfo: its tracks and
// its playback-control lists as a player sees them, and the MPEG data of a
// track. `inspect` prints what it reads; `preview` turns it into a page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace vcdalbum::host {

class OpenableCue;

// A link of a list (previous, next, return, timeout, default, a selection):
// a list number from 1, or one of these.
inline constexpr int kLinkDisabled = 0;
inline constexpr int kLinkUnreadable = -1;  // an offset that leads to no list
inline constexpr int kLinkMultiDefault = -2;  // "default" chosen by the entry playing

struct PlayItem {
    enum class Kind { Track, Entry, Segment, List, Other };
    Kind kind = Kind::Other;
    unsigned number = 0;  // tracks and lists count from 1, entries and segments from 0
    uint16_t code = 0;    // the item number as stored on the disc
};

struct PbcList {
    enum class Kind { Play, Selection, Other, Unreadable };
    unsigned lid = 0;
    Kind kind = Kind::Other;
    std::vector<PlayItem> items;  // a selection list has at most one
    unsigned bsn = 1;             // the number key of the first selection
    std::vector<int> selections;  // links, in key order
    int prev = kLinkDisabled, next = kLinkDisabled, ret = kLinkDisabled;
    int timeout = kLinkDisabled, defaultLink = kLinkDisabled;
    // Play list: pause after its items. Selection list: time before the
    // timeout link is taken. Seconds; -1 is forever.
    int wait = 0;
    int loop = 0;           // selection list: plays of its item; 0 is forever
    bool jumpDelayed = false;  // selection list: a key waits for the item's end
    double playTime = 0;    // play list: seconds of each item to play; 0 is all
};

struct DiscTrack {
    unsigned number = 0;  // from 1, as play items name them
    uint32_t lba = 0;
    uint32_t sectors = 0;  // all of the track's sectors, its margins included
    // The sectors that carry the MPEG stream: the empty margins an image
    // builder puts around it are left out.
    uint32_t firstData = 0, dataSectors = 0;
    double seconds = 0;  // playing time of those, at 75 sectors a second
};

// An entry point: a place inside a track that play items may start from.
struct DiscEntry {
    unsigned number = 0;  // from 0
    unsigned track = 0;
    double seconds = 0;   // from the start of the track's stream
};

struct DiscInfo {
    std::string format, volume, album;
    std::vector<DiscTrack> tracks;
    std::vector<DiscEntry> entries;
    unsigned segments = 0;
    bool hasPlaybackControl = false;
    std::vector<PbcList> lists;  // list n at index n - 1
};

// Opens and reads the image named by `cue`, and the BIN its FILE line names.
// A file that is missing or holds no Video CD, and an image shorter than its
// tracks, give an InputError naming it.
DiscInfo ReadDisc(const std::filesystem::path& cue);

// The image's playback control as a JSON document (the format of
// `inspect --json` and of the preview's disc.json).
nlohmann::json DiscJson(const DiscInfo& disc);

// The document as text (`indent` < 0: on one line). Names on a disc made
// elsewhere may hold bytes that are not UTF-8; they become U+FFFD rather
// than an error.
std::string JsonText(const nlohmann::json& document, int indent = -1);

// Reads one track's MPEG program stream, sector by sector, from the image.
// Each reader opens the image for itself, so readers may work on several
// threads at once.
class TrackReader {
public:
    // Gives an InputError naming `cue` when the image cannot be opened.
    TrackReader(const std::filesystem::path& cue, const DiscTrack& track);
    ~TrackReader();
    TrackReader(const TrackReader&) = delete;
    TrackReader& operator=(const TrackReader&) = delete;

    // Copies up to `size` bytes into `out`; 0 at the end of the track. A
    // sector that cannot be read (a cut .bin file) gives an InputError
    // naming the track.
    size_t Read(uint8_t* out, size_t size);

private:
    struct Image;
    std::unique_ptr<OpenableCue> openable_;
    std::unique_ptr<Image> image_;
    std::filesystem::path cue_;
    DiscTrack track_;
    uint32_t nextSector_ = 0;
    std::vector<uint8_t> sector_;
    size_t sectorPos_ = 0, sectorEnd_ = 0;
};

}  // namespace vcdalbum::host
