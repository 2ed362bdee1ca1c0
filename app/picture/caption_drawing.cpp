#include "picture/caption_drawing.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include "picture/font_fallback.h"
#include "picture/menu_page.h"
#include "platform/utf8.h"

namespace vcdalbum::host {
namespace {

constexpr char32_t kEllipsis = 0x2026;
// The letters' em is 6.5 % of the frame's height: 15.6 of NTSC's 240 lines,
// the size of a film subtitle, which leaves room for about 25 characters;
// bold, so that thin strokes survive the MPEG encoder and a television's blur.
constexpr double kEmOfHeight = 0.065;
// The dark outline reaches this far from the letters, in ems (1.7 lines at
// NTSC), and covers what lies beneath it this much.
constexpr double kOutlineOfEm = 1.0 / 9.0;
constexpr double kOutlineOpacity = 0.8;

using utf8::Decode;
using utf8::Encode;

// One line: control characters and every kind of space become one plain
// space between words, none at either end.
std::u32string OneLine(const std::u32string& text) {
    std::u32string out;
    bool space = false;
    for (const char32_t c : text) {
        const bool blank = c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
                           c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
        if (blank) {
            space = !out.empty();
        } else {
            if (space) out.push_back(U' ');
            space = false;
            out.push_back(c);
        }
    }
    return out;
}

// The fonts of one drawing: its own FreeType library, so that captions may
// be drawn on several threads at once.
class Fonts {
public:
    // Letters of `em` lines, `xScale` frame pixels wide per line of height.
    Fonts(double em, double xScale) : em_(em), xScale_(xScale) {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    }
    ~Fonts() {
        for (auto& f : faces_) FT_Done_Face(f.second);
        if (library_) FT_Done_FreeType(library_);
    }
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;

    struct Glyph {
        FT_Face face = nullptr;
        FT_UInt index = 0;
    };

    // The face that draws `c`: the first font, a fallback opened before, or
    // the one fontconfig names for it. No face when none has it.
    Glyph Find(char32_t c) {
        if (!library_) return {};
        if (faces_.empty()) Open(Match(0));
        for (const auto& f : faces_)
            if (const FT_UInt index = FT_Get_Char_Index(f.second, c)) return {f.second, index};
        if (FT_Face face = Open(Match(c)))
            if (const FT_UInt index = FT_Get_Char_Index(face, c)) return {face, index};
        return {};
    }

    // How far below the baseline the first font's letters reach, in lines.
    double Descent() {
        if (faces_.empty()) Find(U'x');
        if (faces_.empty()) return 0;
        return -static_cast<double>(faces_.front().second->size->metrics.descender) / 64.0;
    }

private:
    // The file and face index of the font fontconfig prefers for `c` (0: for
    // any text), scalable, bold.
    static std::optional<std::pair<std::string, int>> Match(char32_t c) {
        const std::optional<FontFile> font = MatchFont(c, FC_WEIGHT_BOLD);
        if (!font) return std::nullopt;
        return std::make_pair(font->file, font->index);
    }

    // Opens a font at the caption's size, once; null when it cannot serve.
    FT_Face Open(const std::optional<std::pair<std::string, int>>& font) {
        if (!font) return nullptr;
        const std::string key = font->first + "#" + std::to_string(font->second);
        for (const auto& f : faces_)
            if (f.first == key) return nullptr;  // already asked, and it lacks the character
        FT_Face face = nullptr;
        if (FT_New_Face(library_, font->first.c_str(), font->second, &face) != 0) return nullptr;
        FT_Size_RequestRec size{};
        size.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
        size.width = std::lround(em_ * xScale_ * 64);
        size.height = std::lround(em_ * 64);
        if (!FT_IS_SCALABLE(face) || FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 ||
            FT_Request_Size(face, &size) != 0) {
            FT_Done_Face(face);
            return nullptr;
        }
        faces_.emplace_back(key, face);
        return face;
    }

    double em_, xScale_;
    FT_Library library_ = nullptr;
    std::vector<std::pair<std::string, FT_Face>> faces_;
};

struct Placed {
    Fonts::Glyph glyph;
    size_t source = 0; // the character's place in the text
    long pen = 0;      // 26.6 pixels from the start of the line
    long advance = 0;  // 26.6, kerning to the next glyph included
};

// The glyphs of `text` along one line; characters no font has are counted in
// `missing` and left out.
std::vector<Placed> Lay(Fonts& fonts, const std::u32string& text, size_t& missing) {
    std::vector<Placed> line;
    long pen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const Fonts::Glyph g = fonts.Find(text[i]);
        if (!g.face || FT_Load_Glyph(g.face, g.index, FT_LOAD_TARGET_LIGHT) != 0) {
            ++missing;
            continue;
        }
        if (!line.empty() && line.back().glyph.face == g.face && FT_HAS_KERNING(g.face)) {
            FT_Vector kern{};
            if (FT_Get_Kerning(g.face, line.back().glyph.index, g.index, FT_KERNING_DEFAULT, &kern) == 0) {
                line.back().advance += kern.x;
                pen += kern.x;
            }
        }
        line.push_back({g, i, pen, g.face->glyph->advance.x});
        pen += g.face->glyph->advance.x;
    }
    return line;
}

long LineWidth(const std::vector<Placed>& line, size_t count) {
    return count == 0 ? 0 : line[count - 1].pen + line[count - 1].advance;
}

// A grey coverage map of the line, 0..1 per pixel.
struct Coverage {
    int width = 0, height = 0;
    std::vector<float> value;
    float& at(int x, int y) { return value[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
    float at(int x, int y) const {
        return value[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

// Renders the glyphs with their baseline at row `baseline` and the line's
// start at column `left`; ink that falls outside the map is dropped.
void Render(const std::vector<Placed>& line, int left, int baseline, Coverage& map) {
    for (const Placed& p : line) {
        FT_Face face = p.glyph.face;
        if (FT_Load_Glyph(face, p.glyph.index, FT_LOAD_TARGET_LIGHT | FT_LOAD_RENDER) != 0) continue;
        const FT_Bitmap& bm = face->glyph->bitmap;
        if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) continue;
        const int x0 = left + static_cast<int>((p.pen + 32) >> 6) + face->glyph->bitmap_left;
        const int y0 = baseline - face->glyph->bitmap_top;
        for (unsigned r = 0; r < bm.rows; ++r) {
            const int y = y0 + static_cast<int>(r);
            if (y < 0 || y >= map.height) continue;
            const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch;
            for (unsigned c = 0; c < bm.width; ++c) {
                const int x = x0 + static_cast<int>(c);
                if (x < 0 || x >= map.width) continue;
                const float v = bm.pixel_mode == FT_PIXEL_MODE_GRAY
                                    ? static_cast<float>(row[c]) / static_cast<float>(std::max(1, bm.num_grays - 1))
                                    : ((row[c >> 3] >> (7 - (c & 7))) & 1) ? 1.0f : 0.0f;
                map.at(x, y) = std::max(map.at(x, y), v);
            }
        }
    }
}

// The outline: the letters grown by `radius` lines (an ellipse `xScale` times
// as wide in frame pixels), with a soft edge.
Coverage Grow(const Coverage& letters, double radius, double xScale) {
    struct Tap {
        int dx, dy;
        float weight;
    };
    std::vector<Tap> taps;
    const int rx = static_cast<int>(std::ceil(radius * xScale + 1)), ry = static_cast<int>(std::ceil(radius + 1));
    for (int dy = -ry; dy <= ry; ++dy)
        for (int dx = -rx; dx <= rx; ++dx) {
            const double d = std::hypot(dx / xScale, static_cast<double>(dy));
            const double w = std::clamp(radius + 0.5 - d, 0.0, 1.0);
            if (w > 0) taps.push_back({dx, dy, static_cast<float>(w)});
        }
    // Each inked pixel spreads to its neighbours: most of the map is blank,
    // and a blank pixel would only spread zero.
    Coverage out{letters.width, letters.height, std::vector<float>(letters.value.size(), 0.0f)};
    for (int sy = 0; sy < letters.height; ++sy)
        for (int sx = 0; sx < letters.width; ++sx) {
            const float ink = letters.at(sx, sy);
            if (ink <= 0) continue;
            for (const Tap& t : taps) {
                const int x = sx - t.dx, y = sy - t.dy;
                if (x >= 0 && x < letters.width && y >= 0 && y < letters.height)
                    out.at(x, y) = std::max(out.at(x, y), ink * t.weight);
            }
        }
    return out;
}

}  // namespace

FrameBox TitleSafeArea(uint32_t width, uint32_t height) {
    // Edges moved inwards to whole pixels, so no antialiased edge spills over.
    const auto left = static_cast<uint32_t>(std::ceil(width * kSafeMargin));
    const auto right = static_cast<uint32_t>(std::floor(width * (1 - kSafeMargin)));
    const auto top = static_cast<uint32_t>(std::ceil(height * kSafeMargin));
    const auto bottom = static_cast<uint32_t>(std::floor(height * (1 - kSafeMargin)));
    return {left, top, right > left ? right - left : 0, bottom > top ? bottom - top : 0};
}

DrawnCaption DrawCaption(Image& frame, std::string_view text) {
    DrawnCaption drawn;
    const FrameBox safe = TitleSafeArea(frame.width, frame.height);
    const std::u32string wanted = OneLine(Decode(text));
    if (wanted.empty() || safe.empty() || !frame.data) return drawn;

    // The frame fills a 4:3 screen, so a frame pixel is (4/3 * height) /
    // width lines wide: letters are laid out that much wider per line.
    const double xScale = static_cast<double>(frame.width) / (frame.height * 4.0 / 3.0);
    const double em = frame.height * kEmOfHeight;
    const double radius = em * kOutlineOfEm;
    const int padX = static_cast<int>(std::ceil(radius * xScale)) + 1, padY = static_cast<int>(std::ceil(radius)) + 1;

    Fonts fonts(em, xScale);
    std::vector<Placed> line = Lay(fonts, wanted, drawn.missingGlyphs);
    if (line.empty()) return drawn;

    // Too wide for the safe area (with room for the outline): cut after the
    // last character that leaves room for "…", and drop spaces before it.
    const long room = std::max(0L, static_cast<long>(safe.width) - 2L * padX) * 64;
    std::u32string shown = wanted;
    if (LineWidth(line, line.size()) > room) {
        size_t missingEllipsis = 0;
        std::vector<Placed> ellipsis = Lay(fonts, U"\u2026", missingEllipsis);
        if (ellipsis.empty()) ellipsis = Lay(fonts, U"...", missingEllipsis);
        const long tail = LineWidth(ellipsis, ellipsis.size());
        size_t keep = line.size();
        while (keep > 0 && LineWidth(line, keep) + tail > room) --keep;
        while (keep > 0 && wanted[line[keep - 1].source] == U' ') --keep;
        const std::u32string kept = keep ? wanted.substr(0, line[keep - 1].source + 1) : std::u32string();
        line.resize(keep);
        const long pen = LineWidth(line, keep);
        for (Placed& p : ellipsis) p.pen += pen;
        line.insert(line.end(), ellipsis.begin(), ellipsis.end());
        shown = kept + (ellipsis.size() == 1 ? std::u32string(1, kEllipsis) : std::u32string(U"..."));
    }

    // Letters and outline in a map of their own, then placed in the frame.
    const int lineWidth = static_cast<int>((LineWidth(line, line.size()) + 63) >> 6);
    Coverage letters;
    letters.width = lineWidth + 2 * padX + static_cast<int>(std::ceil(em));
    letters.height = static_cast<int>(std::ceil(2 * em)) + 2 * padY;
    letters.value.assign(static_cast<size_t>(letters.width) * static_cast<size_t>(letters.height), 0.0f);
    const int left = padX + static_cast<int>(std::ceil(em / 2));
    const int baseline = padY + static_cast<int>(std::ceil(1.3 * em));
    Render(line, left, baseline, letters);
    const Coverage outline = Grow(letters, radius, xScale);

    // Centred on the frame, its baseline high enough that descenders and
    // their outline stay above the safe area's lower edge.
    const int frameLeft = static_cast<int>(frame.width / 2) - lineWidth / 2 - left;
    const int frameBaseline =
        static_cast<int>(safe.y + safe.height) - static_cast<int>(std::ceil(fonts.Descent() + radius)) - 1;
    const int dx = frameLeft, dy = frameBaseline - baseline;

    const size_t stride = ImageStride(frame.width);
    uint32_t x0 = UINT32_MAX, y0 = UINT32_MAX, x1 = 0, y1 = 0;
    for (int y = 0; y < letters.height; ++y) {
        const int fy = y + dy;
        if (fy < static_cast<int>(safe.y) || fy >= static_cast<int>(safe.y + safe.height)) continue;
        unsigned char* row = frame.data + static_cast<size_t>(fy) * stride;
        for (int x = 0; x < letters.width; ++x) {
            const int fx = x + dx;
            if (fx < static_cast<int>(safe.x) || fx >= static_cast<int>(safe.x + safe.width)) continue;
            const float fill = letters.at(x, y), dark = outline.at(x, y) * static_cast<float>(kOutlineOpacity);
            if (fill <= 0 && dark <= 0) continue;
            unsigned char* px = row + 3 * static_cast<size_t>(fx);
            for (int k = 0; k < 3; ++k) {
                const float v = px[k] * (1 - dark) * (1 - fill) + 255.0f * fill;
                px[k] = static_cast<unsigned char>(std::clamp(std::lround(v), 0L, 255L));
            }
            x0 = std::min(x0, static_cast<uint32_t>(fx));
            x1 = std::max(x1, static_cast<uint32_t>(fx));
            y0 = std::min(y0, static_cast<uint32_t>(fy));
            y1 = std::max(y1, static_cast<uint32_t>(fy));
        }
    }
    if (x0 == UINT32_MAX) return drawn;
    drawn.box = {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    drawn.shown = Encode(shown);
    return drawn;
}

}  // namespace vcdalbum::host
