// Reading a finished disc image back the way a player would: vcdxrip turns
// it into vcdimager's XML description and the track files, which the tests
// compare with what the project asked for.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vcdalbum::clitest {

struct DiscNode {
    bool selectionList = false;  // else a play list
    std::string id;
    int track = -1;                // index into Disc::tracks of its play item, -1 none
    std::vector<int> selections;   // node indices
    int prev = -1, next = -1, ret = -1, timeout = -1;
    std::string wait, loop;
};

struct Disc {
    std::string discClass, version;  // "vcd", "2.0"
    std::vector<std::filesystem::path> tracks;  // ripped sequence items, in disc order
    std::vector<DiscNode> nodes;                // in list (LID) order
};

// Rips `cue` into `folder` (which must exist); fails the test when vcdxrip does
// or when a track misses the player's rate buffer.
Disc RipDisc(const std::filesystem::path& cue, const std::filesystem::path& folder);

// The playing time of a ripped track in seconds, as ffprobe reads it; fails
// the test when ffprobe does.
double ProbedSeconds(const std::filesystem::path& track);

}  // namespace vcdalbum::clitest
