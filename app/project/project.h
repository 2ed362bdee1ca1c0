// A disc project as a person writes it in a JSON file: the disc title, the
// menu music, the albums (pictures, seconds per picture, music, transitions)
// and how the albums are grouped into menus.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "contract/video_standard.h"

namespace vcdalbum::host {

// How an album's neighbouring pictures are joined.
struct TransitionSetting {
    enum class Kind { None, Every, PerGap, Random };
    Kind kind = Kind::None;
    int effect = 0;                         // Kind::Every
    std::vector<std::optional<int>> gaps;   // Kind::PerGap: one per gap, nullopt = cut
};

// Where a picture without a caption of its own takes one from.
enum class CaptionSource { None, Name, Date };

// How an album's pictures are shown while they are held.
enum class Motion { Still, PanZoom };

struct Album {
    std::string title;
    std::vector<std::filesystem::path> pictures;  // absolute
    // A picture's own caption, by its place in `pictures` ("" shows none);
    // pictures past the end have none of their own.
    std::vector<std::optional<std::string>> pictureCaptions;
    CaptionSource captions = CaptionSource::None;
    int secondsPerPicture = 5;
    std::vector<std::filesystem::path> music;     // absolute
    TransitionSetting transitions;
    Motion motion = Motion::Still;  // "motion": "pan-zoom" moves each picture slowly across its frame
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

// Fills `menus` by paging at most `albumsPerMenu` albums per menu, in order.
void PageMenus(Project& project);

// The date the disc image carries (seconds since 1970): the newest
// modification time of the project's pictures and music, so that the same
// pictures give the same image however the project was written down; 0
// when none can be read.
int64_t NewestInputTime(const Project& project);

// Whether a file's extension names a picture format the tool reads.
bool IsPictureFile(const std::filesystem::path& file);

// The project as the JSON text that LoadProject reads back into the same
// project, for writing at `file`. A path inside the folder of `file` is
// written relative to it, so the file and the pictures can move together;
// any other path is written absolute. Throws InputError when a title or a
// path is not valid UTF-8, which JSON cannot carry.
std::string ProjectJson(const Project& project, const std::filesystem::path& file);

// Picture files in a folder, sorted by name: what an album's "pictures"
// means when it names a folder instead of a list.
std::vector<std::filesystem::path> PicturesInFolder(const std::filesystem::path& folder);

}  // namespace vcdalbum::host
