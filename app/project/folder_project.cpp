#include "project/folder_project.h"

#include <algorithm>
#include <atomic>
#include <ostream>
#include <set>

#include "project/effects.h"
#include "project/exif_date.h"
#include "console/errors.h"
#include "console/work_pool.h"
#include "clip_input.h"
#include "picture_input.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// <0, 0, >0 like strcmp, in natural order; 0 for names equal but for case
// and leading zeros.
int NaturalCompare(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsAsciiDigit(a[i]) && IsAsciiDigit(b[j])) {
            while (i < a.size() && a[i] == '0') ++i;
            while (j < b.size() && b[j] == '0') ++j;
            size_t ei = i, ej = j;
            while (ei < a.size() && IsAsciiDigit(a[ei])) ++ei;
            while (ej < b.size() && IsAsciiDigit(b[ej])) ++ej;
            // Without leading zeros the longer run is the larger number.
            if (ei - i != ej - j) return ei - i < ej - j ? -1 : 1;
            if (const int c = a.substr(i, ei - i).compare(b.substr(j, ej - j))) return c;
            i = ei;
            j = ej;
            continue;
        }
        const auto ca = static_cast<unsigned char>(FoldAscii(a[i])), cb = static_cast<unsigned char>(FoldAscii(b[j]));
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::string NameOf(const fs::path& p) { return p.filename().string(); }

bool NameLess(const fs::path& a, const fs::path& b) { return NaturalLess(NameOf(a), NameOf(b)); }

bool IsMusicFile(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), FoldAscii);
    static const std::set<std::string> kExtensions = {".mp3", ".mp2", ".mpa", ".wav", ".ogg", ".oga", ".opus",
                                                      ".flac", ".m4a", ".aac", ".wma", ".aif", ".aiff"};
    return kExtensions.count(ext) != 0;
}

// One folder's visible content, each list in natural order.
struct Listing {
    std::vector<fs::path> pictures, music, folders;
    std::vector<std::string> ignored;
};

Listing ListFolder(const fs::path& folder) {
    Listing out;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        const std::string name = NameOf(p);
        if (name.empty() || name[0] == '.') continue;
        std::error_code typeError;
        if (it->is_directory(typeError)) out.folders.push_back(p);
        else if (!it->is_regular_file(typeError)) continue;
        else if (IsPictureFile(p) || IsClipFile(p)) out.pictures.push_back(p);
        else if (IsMusicFile(p)) out.music.push_back(p);
        else out.ignored.push_back(name);
    }
    if (ec) throw InputError(folder.string() + ": cannot read the folder (" + ec.message() + ")");
    for (auto* list : {&out.pictures, &out.music, &out.folders}) std::sort(list->begin(), list->end(), NameLess);
    std::sort(out.ignored.begin(), out.ignored.end(), NaturalLess);
    return out;
}

// The album's pictures in their order; whether that is the order taken.
bool OrderByDate(std::vector<fs::path>& pictures, unsigned jobs) {
    std::vector<PictureFile> files(pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) files[i].path = pictures[i];
    // One picture without a date decides the album: the others need not be read.
    std::atomic<bool> undated = false;
    if (files.size() > 1)
        ForEachOnThreads(files.size(), jobs, [&](size_t i) {
            if (undated) return;
            const std::string file = files[i].path.string();
            files[i].takenDate = IsClipFile(files[i].path) ? components::picture_input::ClipTakenDate(file)
                                                           : components::picture_input::TakenDate(file);
            if (!SortableTakenDate(files[i].takenDate)) undated = true;
        });
    const bool byDate = OrderPictures(files);
    for (size_t i = 0; i < files.size(); ++i) pictures[i] = std::move(files[i].path);
    return byDate;
}

std::string FolderLabel(const fs::path& root, const FolderAlbum& album) {
    return album.folder == root ? "the folder itself" : NameOf(album.folder) + "/";
}

// "a, b, c and 4 more".
std::string NameList(const std::vector<std::string>& names) {
    constexpr size_t kShown = 3;
    std::string out;
    for (size_t i = 0; i < std::min(kShown, names.size()); ++i) out += (i ? ", " : "") + names[i];
    if (names.size() > kShown) out += " and " + std::to_string(names.size() - kShown) + " more";
    return out;
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    const int c = NaturalCompare(a, b);
    return c != 0 ? c < 0 : a < b;
}

bool OrderPictures(std::vector<PictureFile>& pictures) {
    std::vector<std::optional<std::string>> dates;
    for (const auto& p : pictures) dates.push_back(SortableTakenDate(p.takenDate));
    const bool byDate = !pictures.empty() && std::all_of(dates.begin(), dates.end(), [](const auto& d) { return d.has_value(); });
    std::vector<size_t> order(pictures.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (byDate && *dates[a] != *dates[b]) return *dates[a] < *dates[b];
        return NameLess(pictures[a].path, pictures[b].path);
    });
    std::vector<PictureFile> sorted;
    for (size_t i : order) sorted.push_back(std::move(pictures[i]));
    pictures = std::move(sorted);
    return byDate;
}

FolderDisc ScanFolder(const fs::path& folder, unsigned jobs) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) throw InputError(folder.string() + ": not a folder");
    fs::path root = fs::absolute(folder, ec).lexically_normal();
    if (!root.has_filename() && root.has_relative_path()) root = root.parent_path();  // "Photos/"

    FolderDisc disc;
    Project& project = disc.project;
    project.file = root;
    project.title = NameOf(root).empty() ? "Photos" : NameOf(root);
    const int crossFade = *ParseEffect(kFolderTransition);

    const auto addAlbum = [&](const fs::path& source, const std::string& title, Listing listing) {
        FolderAlbum from{source, OrderByDate(listing.pictures, jobs), std::move(listing.ignored)};
        Album album;
        album.title = title;
        album.pictures = std::move(listing.pictures);
        MarkClips(album);
        album.music = std::move(listing.music);
        album.secondsPerPicture = kFolderSecondsPerPicture;
        album.transitions.kind = TransitionSetting::Kind::Every;
        album.transitions.effect = crossFade;
        project.albums.push_back(std::move(album));
        disc.albums.push_back(std::move(from));
    };

    Listing top = ListFolder(root);
    const std::vector<fs::path> subfolders = std::move(top.folders);
    if (!top.pictures.empty()) {
        addAlbum(root, project.title, std::move(top));
    } else {
        // Music and other files beside the albums belong to none of them.
        disc.ignored = std::move(top.ignored);
        for (const auto& m : top.music) disc.ignored.push_back(NameOf(m));
    }
    for (const auto& sub : subfolders) {
        Listing listing = ListFolder(sub);
        if (listing.pictures.empty()) {
            disc.withoutPictures.push_back(NameOf(sub) + "/");
            continue;
        }
        // Albums are one level deep: a folder inside one is not looked into.
        for (const auto& f : listing.folders) listing.ignored.push_back(NameOf(f) + "/");
        std::sort(listing.ignored.begin(), listing.ignored.end(), NaturalLess);
        addAlbum(sub, NameOf(sub), std::move(listing));
    }
    if (project.albums.empty())
        throw InputError(root.string() +
                         ": holds no pictures, neither directly nor in a subfolder (hidden files and folders are "
                         "left out)");
    PageMenus(project);
    return disc;
}

void PrintFolderPlan(std::ostream& out, const FolderDisc& disc) {
    const Project& project = disc.project;
    const fs::path& root = project.file;
    out << "Folder " << root.string() << ": disc \"" << project.title << "\", " << project.albums.size()
        << " album(s), each " << kFolderSecondsPerPicture << " s per picture with a " << kFolderTransition
        << " between pictures\n";
    for (size_t a = 0; a < project.albums.size(); ++a) {
        const Album& album = project.albums[a];
        const FolderAlbum& from = disc.albums[a];
        size_t clips = 0;
        for (size_t i = 0; i < album.pictures.size(); ++i) clips += ClipAt(album, i) != nullptr;
        out << "  " << a + 1 << ". \"" << album.title << "\": " << album.pictures.size() - clips << " picture(s)"
            << (clips > 0 ? " and " + std::to_string(clips) + " video clip(s)" : std::string()) << " from "
            << FolderLabel(root, from);
        if (album.pictures.size() > 1)
            out << (from.byDate ? ", in the order taken (EXIF date)"
                                : ", in name order (not every picture carries an EXIF date)");
        if (!album.music.empty()) out << ", " << album.music.size() << " music file(s)";
        if (album.captions != CaptionSource::None)
            out << ", captions from the " << (album.captions == CaptionSource::Name ? "file names" : "dates taken");
        out << "\n";
        if (!from.ignored.empty()) out << "     ignored: " << NameList(from.ignored) << "\n";
    }
    if (!disc.ignored.empty()) out << "  ignored beside the albums: " << NameList(disc.ignored) << "\n";
    if (!disc.withoutPictures.empty()) out << "  no pictures in: " << NameList(disc.withoutPictures) << "\n";
    out << "To change titles, order or timing, write a project file to edit: vcdalbum build \"" << root.string()
        << "\" --write-project FILE\n";
}

}  // namespace vcdalbum::host
