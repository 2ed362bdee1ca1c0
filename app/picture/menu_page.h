// Menu pages as the disc shows them: the disc title, one numbered line per
// album with a thumbnail of its first picture, the number that leads to the
// next menu, "page i of n" and, after the first page, "PREV: page i-1", all
// inside the TV's title-safe area.
#pragma once

#include <string>
#include <vector>

#include "picture/pictures.h"

namespace vcdalbum::host {

struct MenuLine {
    int number = 0;              // what the viewer presses
    std::string title;
    const Image* thumbnail = nullptr;  // a prepared frame (352x240 or 352x288), or none
};

struct MenuPage {
    std::string discTitle;
    std::vector<MenuLine> albums;
    int nextMenuNumber = 0;  // 0: the last menu has no "next menu" line
    int page = 1, pages = 1;
};

// Title-safe area: 10% of the picture on every side stays clear, because
// television sets crop the edges.
inline constexpr double kSafeMargin = 0.10;

// Draws the page into a frame of the standard: 352x240 in its 10:11 pixels
// (NTSC), or 352x288 in its 12:11 pixels (PAL).
OwnedImage DrawMenuPage(const MenuPage& page, const VideoStandard& standard = video::kNtsc);

// Hands back the font caches cairo and fontconfig keep for the whole
// process. Call once drawing is over (no cairo object may be alive), so
// that a leak checker sees only the program's own memory.
void ReleaseFontCaches();

// Shortens UTF-8 `text` at a character boundary to at most `bytes` bytes.
std::string TruncateUtf8(const std::string& text, size_t bytes);

}  // namespace vcdalbum::host
