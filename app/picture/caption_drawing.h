// Captions drawn into a prepared picture: one line of white text with a dark
// outline, so that it reads on light and dark pictures alike, centred at the
// bottom of the TV's title-safe area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <vcdalbum/Image.h>

namespace vcdalbum::host {

// A rectangle of frame pixels.
struct FrameBox {
    uint32_t x = 0, y = 0, width = 0, height = 0;
    bool empty() const { return width == 0 || height == 0; }
    bool contains(uint32_t px, uint32_t py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

struct DrawnCaption {
    // Every pixel the caption changed lies inside; empty when nothing was drawn.
    FrameBox box;
    // The text as drawn, on one line: cut and ended with "…" when it is wider
    // than the safe area. Empty when nothing was drawn.
    std::string shown;
    // Characters that no installed font has; they are left out rather than
    // drawn as empty boxes.
    size_t missingGlyphs = 0;
};

// The part of a width x height frame that every television shows.
FrameBox TitleSafeArea(uint32_t width, uint32_t height);

// Draws `text` (UTF-8; bytes that are not UTF-8 show as U+FFFD, line breaks
// and tabs as spaces) into `frame`, a finished frame in the Video CD's own
// pixels, which are narrower than square on a 4:3 screen (10:11 for NTSC):
// the letters are widened to match, so that they keep their shape on the TV.
// A text that is empty or only spaces draws nothing. Safe on several threads.
DrawnCaption DrawCaption(Image& frame, std::string_view text);

}  // namespace vcdalbum::host
