#include "build/disc_plan.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>

#include <vcdalbum/AlbumRequest.h>
#include <vcdalbum/transitions.h>

#include "project/effects.h"
#include "console/errors.h"

namespace vcdalbum::host {
namespace {

void ChooseTransitions(const Album& album, std::mt19937& rng, AlbumPlan& plan) {
    const size_t gaps = album.pictures.size() - 1;
    for (size_t g = 0; g < gaps; ++g) {
        int effect = -1;
        switch (album.transitions.kind) {
            case TransitionSetting::Kind::None: break;
            case TransitionSetting::Kind::Every: effect = album.transitions.effect; break;
            case TransitionSetting::Kind::PerGap:
                if (album.transitions.gaps[g]) effect = *album.transitions.gaps[g];
                break;
            // Plain modulo over the engine's output: the same number on every
            // standard library, unlike std::uniform_int_distribution.
            case TransitionSetting::Kind::Random: effect = static_cast<int>(rng() % kEffectCount); break;
        }
        if (effect < 0) continue;
        plan.positions.push_back(static_cast<uint16_t>(g));
        plan.effects.push_back(static_cast<uint16_t>(effect));
    }
}

std::string AlbumList(const Project& project, const DiscPlan& plan, size_t from) {
    std::string out;
    for (size_t i = from; i < plan.albums.size(); ++i) {
        if (!out.empty()) out += ", ";
        out += "\"" + project.albums[static_cast<size_t>(plan.albums[i].album)].title + "\"";
    }
    return out;
}

}  // namespace

namespace {

// The library raises a shorter time, so the plan counts what it will show.
int ShownSecondsPerPicture(int secondsPerPicture) {
    return std::max(secondsPerPicture, static_cast<int>(kAlbumMinimumSecondsPerPicture));
}

}  // namespace

double AlbumSeconds(size_t pictures, int secondsPerPicture, size_t transitions, double framesPerSecond) {
    const double seconds = static_cast<double>(pictures) * ShownSecondsPerPicture(secondsPerPicture) +
                           static_cast<double>(transitions * TransitionFrames) / framesPerSecond;
    return std::max(seconds, kMinStreamSeconds);
}

int64_t StreamSectors(double seconds) {
    return static_cast<int64_t>(std::ceil(seconds * kSectorsPerSecond)) + kStreamOverheadSectors;
}

DiscPlan PlanDisc(const Project& project, uint32_t seed, int discMinutes) {
    DiscPlan plan;
    plan.seed = seed;
    plan.discMinutes = discMinutes;
    plan.capacitySectors = burner::DiscSectors(discMinutes);

    // Random transitions are drawn album by album in the project file's
    // order, so regrouping menus does not change them.
    std::mt19937 rng(seed);
    std::vector<AlbumPlan> byProjectOrder(project.albums.size());
    for (size_t i = 0; i < project.albums.size(); ++i) {
        const Album& album = project.albums[i];
        AlbumPlan& a = byProjectOrder[i];
        a.album = static_cast<int>(i);
        ChooseTransitions(album, rng, a);
        // Transitions take a whole number of frames: 1.2 s each in PAL.
        a.seconds = AlbumSeconds(album.pictures.size(), album.secondsPerPicture, a.positions.size(),
                                 *project.video == video::kPal ? project.video->fps() : 30.0);
        a.sectors = burner::TrackSectors(StreamSectors(a.seconds));
    }

    const double menuSeconds = std::max(kMenuPageSeconds, kMinStreamSeconds);
    plan.usedSectors = kDiscOverheadSectors + burner::TrackSectors(StreamSectors(kMinStreamSeconds));
    for (const auto& group : project.menus) {
        MenuPlan menu;
        menu.seconds = menuSeconds;
        menu.sectors = burner::TrackSectors(StreamSectors(menuSeconds));
        plan.usedSectors += menu.sectors;
        for (int a : group) {
            menu.albums.push_back(static_cast<int>(plan.albums.size()));
            plan.albums.push_back(byProjectOrder[static_cast<size_t>(a)]);
            plan.usedSectors += plan.albums.back().sectors;
        }
        plan.menus.push_back(std::move(menu));
    }
    plan.sequenceItems = 1 + static_cast<int>(plan.menus.size() + plan.albums.size());
    return plan;
}

void CheckFits(const Project& project, const DiscPlan& plan) {
    const std::string where = project.file.string() + ": ";
    if (plan.sequenceItems > kMaxSequenceItems) {
        const int over = plan.sequenceItems - kMaxSequenceItems;
        // Moving an album frees its track; the last ones go first.
        throw InputError(where + "the disc needs " + std::to_string(plan.sequenceItems) + " tracks (1 lead clip, " +
                         std::to_string(plan.menus.size()) + " menus, " + std::to_string(plan.albums.size()) +
                         " albums), " + std::to_string(over) + " more than the " +
                         std::to_string(kMaxSequenceItems) + " a Video CD holds; move " +
                         AlbumList(project, plan, plan.albums.size() - std::min<size_t>(plan.albums.size(), over)) +
                         " to another disc");
    }
    if (plan.usedSectors <= plan.capacitySectors) return;
    const int64_t over = plan.usedSectors - plan.capacitySectors;
    int64_t freed = 0;
    size_t from = plan.albums.size();
    while (from > 0 && freed < over) freed += plan.albums[--from].sectors;
    std::string advice = from == 0 && freed < over ? "shorten the albums" : "move " + AlbumList(project, plan, from) +
                                                                              " to another disc";
    throw InputError(where + "the project does not fit a " + std::to_string(plan.discMinutes) +
                     "-minute disc: it needs " + FormatDuration(static_cast<double>(plan.usedSectors) / kSectorsPerSecond) +
                     " and is " + FormatDuration(static_cast<double>(over) / kSectorsPerSecond) + " (" +
                     std::to_string(over) + " sectors) over; " + advice +
                     (plan.discMinutes == 74 ? ", or use --disc 80" : ""));
}

std::string FormatDuration(double seconds) {
    const auto total = static_cast<long>(std::ceil(seconds));
    const long h = total / 3600, m = (total / 60) % 60, s = total % 60;
    char buf[32];
    if (h) std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", h, m, s);
    else std::snprintf(buf, sizeof buf, "%ld:%02ld", m, s);
    return buf;
}

void PrintPlan(std::ostream& out, const Project& project, const DiscPlan& plan) {
    out << "Disc \"" << project.title << "\": " << plan.menus.size() << " menu(s), " << plan.albums.size()
        << " album(s), seed " << plan.seed << "\n";
    if (project.menuMusic) out << "  menu music: " << project.menuMusic->string() << "\n";
    if (*project.video == video::kPal) out << "  video: PAL, 352x288 at 25 frames/s\n";
    int number = 0;
    for (size_t m = 0; m < plan.menus.size(); ++m) {
        out << "Menu " << m + 1 << " (" << FormatDuration(plan.menus[m].seconds) << ")\n";
        int choice = 0;
        for (int index : plan.menus[m].albums) {
            const AlbumPlan& a = plan.albums[static_cast<size_t>(index)];
            const Album& album = project.albums[static_cast<size_t>(a.album)];
            ++number;
            out << "  " << ++choice << ". \"" << album.title << "\" (album " << number << "): " << album.pictures.size()
                << " picture(s) x " << ShownSecondsPerPicture(album.secondsPerPicture) << " s"
                << (album.secondsPerPicture < ShownSecondsPerPicture(album.secondsPerPicture)
                        ? " (" + std::to_string(album.secondsPerPicture) + " s asked; " +
                              std::to_string(kAlbumMinimumSecondsPerPicture) + " s is the shortest hold)"
                        : std::string())
                << ", " << a.positions.size() << " transition(s), "
                << FormatDuration(a.seconds) << ", " << album.music.size() << " music file(s)\n";
            if (!a.effects.empty()) {
                out << "     transitions:";
                for (size_t k = 0; k < a.effects.size(); ++k)
                    out << (k ? ", " : " ") << a.positions[k] + 1 << "->" << a.positions[k] + 2 << " "
                        << EffectName(a.effects[k]);
                out << "\n";
            }
            size_t own = 0;
            for (const auto& c : album.pictureCaptions) own += c && !c->empty();
            if (own > 0 || album.captions != CaptionSource::None) {
                out << "     captions:";
                if (own > 0) out << " " << own << " given";
                if (album.captions != CaptionSource::None)
                    out << (own > 0 ? ", the others" : "") << " from the "
                        << (album.captions == CaptionSource::Name ? "file names" : "dates taken");
                // Moving frames are sampled from the picture itself, which
                // carries no caption: say so rather than drop them unseen.
                if (album.motion == Motion::PanZoom) out << " (not shown: the album's pictures move)";
                out << "\n";
            }
        }
        if (m + 1 < plan.menus.size()) out << "  " << choice + 1 << ". next menu\n";
    }
    const double percent = 100.0 * static_cast<double>(plan.usedSectors) / static_cast<double>(plan.capacitySectors);
    char line[160];
    std::snprintf(line, sizeof line, "Disc use: %lld of %lld sectors (%s of %d:00, %.1f%%), %d tracks of %d\n",
                  static_cast<long long>(plan.usedSectors), static_cast<long long>(plan.capacitySectors),
                  FormatDuration(static_cast<double>(plan.usedSectors) / kSectorsPerSecond).c_str(), plan.discMinutes,
                  percent, plan.sequenceItems, kMaxSequenceItems);
    out << line;
}

}  // namespace vcdalbum::host
