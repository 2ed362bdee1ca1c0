// Which installed font draws a character: the text's own font (DejaVu Sans)
// where it has the character, else the one fontconfig names for it, so that
// captions and menus alike show names in any script instead of boxes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <cairo.h>

namespace vcdalbum::host {

struct FontFile {
    std::string file;
    int index = 0;  // the face inside the file
};

// The scalable font of `weight` (a fontconfig weight) fontconfig prefers for
// `c`, or for any text when `c` is 0.
std::optional<FontFile> MatchFont(char32_t c, int weight);

// `text` (UTF-8; bytes that are not UTF-8 show as U+FFFD) cut into pieces
// that one font each draws, as cairo faces that live as long as the process:
// the menu's font where it has the characters, a fallback where it does
// not. Characters that no font has are left out. Safe on several threads.
struct FontRun {
    cairo_font_face_t* face;
    std::string text;
};
std::vector<FontRun> FontRuns(std::string_view text, bool bold);

// Lets go of the faces FontRuns made, before cairo's and fontconfig's own
// caches are reset; later runs make them again.
void ReleaseFallbackFonts();

}  // namespace vcdalbum::host
