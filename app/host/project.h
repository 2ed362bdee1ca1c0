// A disc project as a person writes it in a JSON file: the disc title, the
// menu music, the albums (pictures, seconds per picture, music, transitions)
// and how the albums are grouped into menus.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/video_standard.h"

namespace vcdalbum::host {

// How an album's neighbouring pictures are joined.
struct TransitionSetting {
    enum class Kind { None, Every, PerGap, Random };
    Kind kind = Kind::None;
    int effect = 0;                         // Kind::Every
    std::vector<std::optional<int>> gaps;   // Kind::PerGap: one per gap, nullopt = cut
};

struct Album {
    std::string title;
    std::vector<std::filesystem::path> pictures;  // absolute
    int secondsPerPicture = 5;
    std::vector<std::filesystem::path> music;     // absolute
    TransitionSetting transitions;
};

struct Project {
    std::filesystem::path file;  // the project file itself
    std::string title;
    std::optional<std::filesystem::path> menuMusic;
    std::vector<Album> albums;
    // Album indices per menu, in disc order. Always filled: from the file's
    // explicit groups, or by paging at most `albumsPerMenu` albums per menu.
    std::vector<std::vector<int>> menus;
    int albumsPerMenu = 8;
    // "video": "ntsc" (the default) or "pal".
    const video::VideoStandard* video = &video::kNtsc;
};

// The standard a "video" setting or --video option names ("ntsc" or "pal",
// in any case), or null.
const video::VideoStandard* VideoStandardNamed(const std::string& name);

inline constexpr int kMaxSecondsPerPicture = 600;
inline constexpr int kMaxAlbumsPerMenu = 98;  // the next-menu choice takes the 99th selection

// Reads a project file; relative paths resolve against its folder. Throws
// InputError naming the file (and album) on anything malformed.
Project LoadProject(const std::filesystem::path& file);

// The same from JSON text already read; `file` is the project's path, used
// for messages and to resolve relative paths.
Project ParseProject(const std::string& text, const std::filesystem::path& file);

// Picture files in a folder, sorted by name: what an album's "pictures"
// means when it names a folder instead of a list.
std::vector<std::filesystem::path> PicturesInFolder(const std::filesystem::path& folder);

}  // namespace vcdalbum::host
