#include "build/disc_split.h"

#include <ostream>

#include "build/disc_plan.h"
#include "console/errors.h"
#include "picture/menu_page.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

// A run of one album's pictures that goes onto a disc as one album.
struct Piece {
    size_t album = 0;
    size_t from = 0, to = 0;  // pictures [from, to)
    size_t part = 1, parts = 1;
    size_t menu = 0;  // the project's menu it came from
};

bool Fits(const DiscPlan& plan) {
    return plan.sequenceItems <= kMaxSequenceItems && plan.usedSectors <= plan.capacitySectors;
}

Album Slice(const Album& album, const Piece& piece) {
    Album out = album;
    const auto first = static_cast<std::ptrdiff_t>(piece.from), last = static_cast<std::ptrdiff_t>(piece.to);
    out.pictures.assign(album.pictures.begin() + first, album.pictures.begin() + last);
    out.pictureCaptions.clear();
    for (size_t i = piece.from; i < piece.to && i < album.pictureCaptions.size(); ++i)
        out.pictureCaptions.push_back(album.pictureCaptions[i]);
    // The gap after a part's last picture leads to the next part, on its own
    // track: it has no transition.
    if (album.transitions.kind == TransitionSetting::Kind::PerGap) {
        out.transitions.gaps.clear();
        for (size_t g = piece.from; g + 1 < piece.to && g < album.transitions.gaps.size(); ++g)
            out.transitions.gaps.push_back(album.transitions.gaps[g]);
    }
    if (piece.parts > 1)
        out.title += " (part " + std::to_string(piece.part) + " of " + std::to_string(piece.parts) + ")";
    return out;
}

// A disc of these pieces, the project's menus kept as far as they reach it.
Project DiscOf(const Project& project, const std::vector<Piece>& pieces) {
    Project disc = project;
    disc.albums.clear();
    disc.menus.clear();
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i == 0 || pieces[i].menu != pieces[i - 1].menu) disc.menus.emplace_back();
        disc.menus.back().push_back(static_cast<int>(disc.albums.size()));
        disc.albums.push_back(Slice(project.albums[pieces[i].album], pieces[i]));
    }
    return disc;
}

bool PiecesFit(const Project& project, const std::vector<Piece>& pieces, uint32_t seed, int discMinutes) {
    return Fits(PlanDisc(DiscOf(project, pieces), seed, discMinutes));
}

// The album in as few parts as fit a disc each, of sizes differing by one
// picture at most; whole when it fits by itself.
std::vector<Piece> Parts(const Project& project, size_t album, size_t menu, uint32_t seed, int discMinutes) {
    const size_t n = project.albums[album].pictures.size();
    const auto fitsAlone = [&](size_t pictures) {
        return PiecesFit(project, {Piece{album, 0, pictures, 1, 1, menu}}, seed, discMinutes);
    };
    if (fitsAlone(n)) return {Piece{album, 0, n, 1, 1, menu}};
    // A disc holds far more than the longest hold of one picture.
    size_t low = 1, high = n;  // fits(low), !fits(high)
    if (!fitsAlone(low))
        throw InputError(project.file.string() + ": album \"" + project.albums[album].title +
                         "\": one picture alone is longer than a disc holds");
    while (high - low > 1) {
        const size_t mid = low + (high - low) / 2;
        (fitsAlone(mid) ? low : high) = mid;
    }
    const size_t parts = (n + low - 1) / low;
    std::vector<Piece> out;
    size_t from = 0;
    for (size_t k = 0; k < parts; ++k) {
        const size_t size = n / parts + (k < n % parts ? 1 : 0);
        out.push_back(Piece{album, from, from + size, k + 1, parts, menu});
        from += size;
    }
    return out;
}

std::string Minutes(int discMinutes) { return std::to_string(discMinutes) + "-minute"; }

}  // namespace

DiscSplit SplitIntoDiscs(const Project& project, uint32_t seed, int discMinutes, int maxDiscs) {
    DiscSplit split;
    const DiscPlan whole = PlanDisc(project, seed, discMinutes);
    split.seconds = static_cast<double>(whole.usedSectors) / kSectorsPerSecond;
    if (Fits(whole) || maxDiscs == 1) {
        CheckFits(project, whole);
        split.discs.push_back(project);
        return split;
    }

    // In disc order, each disc filled before the next is begun.
    std::vector<std::vector<Piece>> discs(1);
    for (size_t m = 0; m < project.menus.size(); ++m)
        for (int a : project.menus[m])
            for (const Piece& piece : Parts(project, static_cast<size_t>(a), m, seed, discMinutes)) {
                std::vector<Piece> candidate = discs.back();
                candidate.push_back(piece);
                if (discs.back().empty() || PiecesFit(project, candidate, seed, discMinutes)) discs.back() = std::move(candidate);
                else discs.push_back({piece});
            }

    const size_t count = discs.size();
    if (maxDiscs > 0 && count > static_cast<size_t>(maxDiscs))
        throw InputError(project.file.string() + ": the collection needs " + FormatDuration(split.seconds) + ", " +
                         std::to_string(count) + " " + Minutes(discMinutes) + " discs, more than the " +
                         std::to_string(maxDiscs) + " that --discs allows");
    for (size_t d = 0; d < count; ++d) {
        Project disc = DiscOf(project, discs[d]);
        const std::string mark = " (" + std::to_string(d + 1) + " of " + std::to_string(count) + ")";
        // A title stays within what a project file takes back.
        disc.title = TruncateUtf8(project.title, 255 - mark.size()) + mark;
        split.discSeconds.push_back(static_cast<double>(PlanDisc(disc, seed, discMinutes).usedSectors) / kSectorsPerSecond);
        split.discs.push_back(std::move(disc));
    }
    return split;
}

void PrintDiscSplit(std::ostream& out, const DiscSplit& split) {
    if (split.discs.size() < 2) return;
    out << "The collection needs " << FormatDuration(split.seconds) << ": " << split.discs.size() << " discs\n";
    for (size_t d = 0; d < split.discs.size(); ++d) {
        const Project& disc = split.discs[d];
        out << "Disc " << d + 1 << " of " << split.discs.size() << ": \"" << disc.title << "\", "
            << FormatDuration(split.discSeconds[d]) << ":";
        for (size_t a = 0; a < disc.albums.size(); ++a) out << (a ? ", \"" : " \"") << disc.albums[a].title << "\"";
        out << "\n";
    }
}

fs::path DiscProjectFile(const fs::path& file, size_t number, size_t count) {
    if (count < 2) return file;
    fs::path out = file;
    out.replace_filename(file.stem().string() + "-" + std::to_string(number) + file.extension().string());
    return out;
}

}  // namespace vcdalbum::host
