#include "picture/menu_page.h"
#include "picture/safe_area.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include "console/errors.h"
#include "picture/cairo_handles.h"
#include "picture/font_fallback.h"
#include "picture/picture_shrink.h"
#include "support/utf8.h"

namespace vcdalbum::host {
namespace {

// The page is laid out in square pixels on a 320x240 canvas and stretched to
// the frame's pixels (352x240 of 10:11 NTSC, 352x288 of 12:11 PAL), so that
// letters and thumbnails keep their shape on a 4:3 screen.
constexpr double kCanvasWidth = 320.0;
constexpr double kCanvasHeight = 240.0;

// The safe area's edges on the canvas, moved inwards to whole frame pixels
// so that no antialiased edge spills over them.
struct SafeArea {
    double left, right, top, bottom;
};

SafeArea SafeAreaOf(const VideoStandard& standard) {
    const double frameW = standard.width, frameH = standard.height;
    const double xScale = frameW / kCanvasWidth, yScale = frameH / kCanvasHeight;
    return {std::ceil(frameW * kSafeMargin) / xScale, std::floor(frameW * (1 - kSafeMargin)) / xScale,
            std::ceil(frameH * kSafeMargin) / yScale, std::floor(frameH * (1 - kSafeMargin)) / yScale};
}
constexpr const char* kFont = "DejaVu Sans";

// cairo's text calls draw a whole text with the one font chosen, and stop
// drawing altogether at a name that is not UTF-8; these draw each piece with
// the font that has its characters, in the weight chosen, as captions do.
template <typename Piece>
void EachRun(cairo_t* cr, const std::string& text, Piece piece) {
    cairo_font_face_t* chosen = cairo_font_face_reference(cairo_get_font_face(cr));
    const bool bold = cairo_font_face_get_type(chosen) == CAIRO_FONT_TYPE_TOY &&
                      cairo_toy_font_face_get_weight(chosen) == CAIRO_FONT_WEIGHT_BOLD;
    for (const FontRun& run : FontRuns(text, bold)) {
        cairo_set_font_face(cr, run.face);
        piece(run.text.c_str());
    }
    cairo_set_font_face(cr, chosen);
    cairo_font_face_destroy(chosen);
}

double TextWidth(cairo_t* cr, const std::string& text) {
    double width = 0;
    EachRun(cr, text, [&](const char* run) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, run, &e);
        width += e.x_advance;
    });
    return width;
}

void ShowText(cairo_t* cr, const std::string& text) {
    EachRun(cr, text, [&](const char* run) { cairo_show_text(cr, run); });
}

// `text` shortened with an ellipsis so that it fits `width`.
std::string Fitted(cairo_t* cr, const std::string& name, double width) {
    const std::string text = utf8::Valid(name);
    if (TextWidth(cr, text) <= width) return text;
    std::string cut = text;
    while (!cut.empty()) {
        cut = utf8::Truncate(cut, cut.size() - 1);
        if (TextWidth(cr, cut + "\u2026") <= width) return cut + "\u2026";
    }
    return "";
}

Surface SurfaceFromImage(const Image& image) {
    Surface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(image.width),
                                         static_cast<int>(image.height)));
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) throw RunError("out of memory for a menu thumbnail");
    cairo_surface_flush(s.get());
    unsigned char* data = cairo_image_surface_get_data(s.get());
    const int stride = cairo_image_surface_get_stride(s.get());
    for (uint32_t y = 0; y < image.height; ++y) {
        const unsigned char* src = image.data + static_cast<size_t>(y) * ImageStride(image.width);
        auto* dst = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (uint32_t x = 0; x < image.width; ++x)
            dst[x] = 0xFF000000u | uint32_t{src[3 * x + 2]} << 16 | uint32_t{src[3 * x + 1]} << 8 | src[3 * x];
    }
    cairo_surface_mark_dirty(s.get());
    return s;
}

OwnedImage ImageFromSurface(cairo_surface_t* surface, uint32_t width, uint32_t height) {
    cairo_surface_flush(surface);
    OwnedImage out = BlackPicture(width, height);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (uint32_t y = 0; y < height; ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
        unsigned char* dst = out.row(y);
        for (uint32_t x = 0; x < width; ++x) {
            dst[3 * x] = static_cast<unsigned char>(src[x]);
            dst[3 * x + 1] = static_cast<unsigned char>(src[x] >> 8);
            dst[3 * x + 2] = static_cast<unsigned char>(src[x] >> 16);
        }
    }
    return out;
}

void RoundedBox(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// One selectable line: number badge, thumbnail (or an arrow for the next
// menu), title. The cell is x..x+w, y..y+h on the canvas.
void DrawLine(cairo_t* cr, const MenuLine& line, bool isNextMenu, double x, double y, double w, double h,
              bool compact) {
    // Side by side, lines are narrow: smaller badge and thumbnail leave the
    // title its room.
    const double fontSize = compact ? std::clamp(h * 0.40, 9.0, 11.5) : std::clamp(h * 0.42, 9.0, 14.0);
    const double badge = std::min(h - 4, fontSize * 1.9);
    const double badgeWidth = compact ? badge : badge * 1.2;
    const double cy = y + h / 2;

    // Number badge.
    cairo_set_source_rgb(cr, 0.95, 0.75, 0.20);
    RoundedBox(cr, x, cy - badge / 2, badgeWidth, badge, badge * 0.25);
    cairo_fill(cr);
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, fontSize);
    const std::string number = std::to_string(line.number);
    cairo_text_extents_t e;
    cairo_text_extents(cr, number.c_str(), &e);
    cairo_set_source_rgb(cr, 0.08, 0.10, 0.25);
    cairo_move_to(cr, x + badgeWidth / 2 - e.x_advance / 2, cy + e.height / 2);
    ShowText(cr, number);
    double tx = x + badgeWidth + (compact ? 3 : 4);

    // Thumbnail at 4:3, or an arrow for the next menu.
    const double th = compact ? h - 8 : h - 4, tw = th * 4 / 3;
    if (isNextMenu) {
        cairo_set_source_rgb(cr, 0.95, 0.95, 0.95);
        cairo_move_to(cr, tx + tw * 0.25, cy - th * 0.35);
        cairo_line_to(cr, tx + tw * 0.8, cy);
        cairo_line_to(cr, tx + tw * 0.25, cy + th * 0.35);
        cairo_close_path(cr);
        cairo_fill(cr);
    } else if (line.thumbnail && line.thumbnail->data) {
        // The frame shrinks to the thumbnail's size in the page's pixels
        // with the filter that fits photos into the frame, which keeps fine
        // detail from folding into false patterns; cairo only places it.
        double pw = tw, ph = th;
        cairo_user_to_device_distance(cr, &pw, &ph);
        const OwnedImage small = ShrinkPicture(*line.thumbnail, static_cast<uint32_t>(std::max(1L, std::lround(pw))),
                                               static_cast<uint32_t>(std::max(1L, std::lround(ph))));
        Surface thumb = SurfaceFromImage(small.get());
        cairo_save(cr);
        cairo_rectangle(cr, tx, cy - th / 2, tw, th);
        cairo_clip(cr);
        cairo_translate(cr, tx, cy - th / 2);
        cairo_scale(cr, tw / small.get().width, th / small.get().height);
        cairo_set_source_surface(cr, thumb.get(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, tx + 0.5, cy - th / 2 + 0.5, tw - 1, th - 1);
        cairo_stroke(cr);
    }
    tx += tw + (compact ? 4 : 5);

    // Title.
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, fontSize);
    cairo_set_source_rgb(cr, 1, 1, 1);
    const std::string title = Fitted(cr, isNextMenu ? "Next menu" : line.title, x + w - tx - 2);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    cairo_move_to(cr, tx, cy + (fe.ascent - fe.descent) / 2);
    ShowText(cr, title);
}

}  // namespace

void ReleaseFontCaches() {
    ReleaseFallbackFonts();
    cairo_debug_reset_static_data();
    FcFini();
}

OwnedImage DrawMenuPage(const MenuPage& page, const VideoStandard& standard) {
    const uint32_t frameW = standard.width, frameH = standard.height;
    const SafeArea safe = SafeAreaOf(standard);
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(frameW), static_cast<int>(frameH)));
    CairoContext owner(cairo_create(surface.get()));
    cairo_t* cr = owner.get();
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) throw RunError("cannot draw a menu page: out of memory");
    cairo_scale(cr, frameW / kCanvasWidth, frameH / kCanvasHeight);

    // Background: a deep blue gradient, calm behind white text.
    cairo_pattern_t* bg = cairo_pattern_create_linear(0, 0, 0, kCanvasHeight);
    cairo_pattern_add_color_stop_rgb(bg, 0, 0.10, 0.14, 0.38);
    cairo_pattern_add_color_stop_rgb(bg, 1, 0.02, 0.03, 0.12);
    cairo_set_source(cr, bg);
    cairo_paint(cr);
    cairo_pattern_destroy(bg);

    // Disc title, centred at the top of the safe area.
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 18);
    const std::string title = Fitted(cr, page.discTitle, safe.right - safe.left);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, (kCanvasWidth - TextWidth(cr, title)) / 2, safe.top + fe.ascent);
    ShowText(cr, title);
    const double listTop = safe.top + fe.height + 6;
    cairo_set_source_rgb(cr, 0.95, 0.75, 0.20);
    cairo_rectangle(cr, safe.left, listTop - 4, safe.right - safe.left, 1.5);
    cairo_fill(cr);

    // Footer: "page i of n".
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11);
    cairo_font_extents(cr, &fe);
    const std::string footer = "page " + std::to_string(page.page) + " of " + std::to_string(page.pages);
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.85);
    cairo_move_to(cr, safe.right - TextWidth(cr, footer), safe.bottom - fe.descent);
    ShowText(cr, footer);
    // Later pages say how to get back: the remote's PREV key leads to the
    // page before (the first page has nowhere to go back to).
    if (page.page > 1) {
        const double baseline = safe.bottom - fe.descent;
        cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_source_rgb(cr, 0.95, 0.75, 0.20);
        cairo_move_to(cr, safe.left, baseline);
        ShowText(cr, "PREV");
        const double after = safe.left + TextWidth(cr, "PREV");
        cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_source_rgb(cr, 0.8, 0.8, 0.85);
        cairo_move_to(cr, after, baseline);
        ShowText(cr, (": page " + std::to_string(page.page - 1)));
    }
    const double listBottom = safe.bottom - fe.height - 2;

    // The lines, in one column up to five, then in two (three past twelve).
    std::vector<std::pair<MenuLine, bool>> lines;
    for (const auto& l : page.albums) lines.emplace_back(l, false);
    if (page.nextMenuNumber > 0) lines.emplace_back(MenuLine{page.nextMenuNumber, "", nullptr}, true);
    const int count = static_cast<int>(lines.size());
    const int columns = count <= 5 ? 1 : count <= 12 ? 2 : 3;
    const int rows = std::max(1, (count + columns - 1) / columns);
    const double gap = 6;
    const double cellW = (safe.right - safe.left - gap * (columns - 1)) / columns;
    const double cellH = std::min(34.0, (listBottom - listTop) / rows);
    for (int i = 0; i < count; ++i) {
        const int col = i / rows, row = i % rows;
        DrawLine(cr, lines[static_cast<size_t>(i)].first, lines[static_cast<size_t>(i)].second,
                 safe.left + col * (cellW + gap), listTop + row * cellH, cellW, cellH, columns > 1);
    }

    return ImageFromSurface(surface.get(), frameW, frameH);
}

}  // namespace vcdalbum::host
