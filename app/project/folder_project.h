// A disc straight from a folder of pictures, with no project file: each
// subfolder holding pictures is an album named after it, pictures directly in
// the folder make one more album (the first), music files go with the album
// whose folder holds them, and the disc takes the folder's name.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "project/project.h"

namespace vcdalbum::host {

inline constexpr int kFolderSecondsPerPicture = 5;
inline constexpr std::string_view kFolderTransition = "CrossFade";

// Where an album came from, for the plan shown before the build.
struct FolderAlbum {
    std::filesystem::path folder;
    bool byDate = false;               // pictures ordered by the date taken, else by name
    std::vector<std::string> ignored;  // files neither picture nor music, by name
};

struct FolderDisc {
    Project project;
    std::vector<FolderAlbum> albums;  // one per project album, same order
    std::vector<std::string> ignored;          // files beside the albums that no album takes
    std::vector<std::string> withoutPictures;  // subfolders that made no album ("Name/")
};

// Scans `folder` and its direct subfolders; deeper folders, hidden files and
// folders (names starting with '.') and files that are neither pictures nor
// music are left out. `jobs` threads read the pictures' dates. Throws
// InputError naming the folder when it is no readable folder or when neither
// it nor a subfolder holds a picture.
FolderDisc ScanFolder(const std::filesystem::path& folder, unsigned jobs);

// What the scan made of the folder: the albums with their sources and
// order, and the defaults every album got.
void PrintFolderPlan(std::ostream& out, const FolderDisc& disc);

// Natural, locale-independent name order: runs of digits compare by value
// ("2" before "10"), other characters byte by byte with ASCII letters
// folded to lower case; names still equal then fall back to plain byte order.
bool NaturalLess(std::string_view a, std::string_view b);

// An EXIF date "YYYY:MM:DD HH:MM:SS" as "YYYYMMDDHHMMSS", which sorts by
// time; nothing for text that is no real date, such as the blanks or zeros
// a camera without a set clock writes.
std::optional<std::string> SortableTakenDate(std::string_view exif);

struct PictureFile {
    std::filesystem::path path;
    std::string takenDate;  // EXIF DateTimeOriginal as read; may be empty
};

// Orders an album's pictures by date taken when every one has a real date
// (equal dates by name), otherwise all by name. Returns whether dates were used.
bool OrderPictures(std::vector<PictureFile>& pictures);

}  // namespace vcdalbum::host
