#include "picture/font_fallback.h"

#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include "platform/utf8.h"

namespace vcdalbum::host {
namespace {

constexpr const char* kFamily = "DejaVu Sans";

// A font, with the characters it has, as a cairo face.
struct KnownFont {
    std::string key;
    FcCharSet* chars = nullptr;  // kept for the process, as the face is
    cairo_font_face_t* face = nullptr;
};

// Fonts found so far, per weight: the first is the text's own.
struct FontCache {
    std::mutex mutex;
    std::map<int, std::deque<KnownFont>> fonts;  // a deque: the places handed out stay put
    std::map<std::pair<int, char32_t>, const KnownFont*> byChar;
};

FontCache& Cache() {
    static FontCache* cache = new FontCache;  // faces outlive every drawing thread
    return *cache;
}

FcPattern* Matched(char32_t c, int weight) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(kFamily));
    FcPatternAddInteger(pattern, FC_WEIGHT, weight);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if (c != 0) {
        if (FcCharSet* charset = FcCharSetCreate()) {
            FcCharSetAddChar(charset, c);
            FcPatternAddCharSet(pattern, FC_CHARSET, charset);
            FcCharSetDestroy(charset);
        }
    }
    FcPattern* match = nullptr;
    if (FcConfigSubstitute(nullptr, pattern, FcMatchPattern)) {
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        match = FcFontMatch(nullptr, pattern, &result);
    }
    FcPatternDestroy(pattern);
    return match;
}

// The font fontconfig prefers for `c`, made known once; null when none.
const KnownFont* Known(FontCache& cache, char32_t c, int weight) {
    FcPattern* match = Matched(c, weight);
    if (!match) return nullptr;
    FcChar8* file = nullptr;
    int index = 0;
    FcCharSet* chars = nullptr;
    const KnownFont* known = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
        FcPatternGetCharSet(match, FC_CHARSET, 0, &chars) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        const std::string key = reinterpret_cast<const char*>(file) + std::string("#") + std::to_string(index);
        std::deque<KnownFont>& fonts = cache.fonts[weight];
        for (const KnownFont& f : fonts)
            if (f.key == key) known = &f;
        if (!known) {
            FcPattern* only = FcPatternCreate();
            FcPatternAddString(only, FC_FILE, file);
            FcPatternAddInteger(only, FC_INDEX, index);
            cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(only);
            FcPatternDestroy(only);
            if (cairo_font_face_status(face) == CAIRO_STATUS_SUCCESS)
                known = &fonts.emplace_back(KnownFont{key, FcCharSetCopy(chars), face});
            else
                cairo_font_face_destroy(face);
        }
    }
    FcPatternDestroy(match);
    return known;
}

}  // namespace

std::optional<FontFile> MatchFont(char32_t c, int weight) {
    FcPattern* match = Matched(c, weight);
    if (!match) return std::nullopt;
    std::optional<FontFile> found;
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        found = FontFile{reinterpret_cast<const char*>(file), index};
    }
    FcPatternDestroy(match);
    return found;
}

std::vector<FontRun> FontRuns(std::string_view text, bool bold) {
    const int weight = bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR;
    FontCache& cache = Cache();
    std::lock_guard lock(cache.mutex);
    std::deque<KnownFont>& fonts = cache.fonts[weight];
    if (fonts.empty()) Known(cache, 0, weight);
    std::vector<FontRun> runs;
    for (const char32_t c : utf8::Decode(text)) {
        const KnownFont* font = nullptr;
        if (!fonts.empty() && FcCharSetHasChar(fonts.front().chars, c)) {
            font = &fonts.front();
        } else {
            auto [at, fresh] = cache.byChar.try_emplace({weight, c}, nullptr);
            if (fresh) {
                const KnownFont* k = Known(cache, c, weight);
                at->second = k && FcCharSetHasChar(k->chars, c) ? k : nullptr;
            }
            font = at->second;
        }
        if (!font) continue;
        const std::string piece = utf8::Encode(std::u32string_view(&c, 1));
        if (!runs.empty() && runs.back().face == font->face)
            runs.back().text += piece;
        else
            runs.push_back({font->face, piece});
    }
    return runs;
}

void ReleaseFallbackFonts() {
    FontCache& cache = Cache();
    std::lock_guard lock(cache.mutex);
    for (auto& [weight, fonts] : cache.fonts)
        for (KnownFont& f : fonts) {
            cairo_font_face_destroy(f.face);
            FcCharSetDestroy(f.chars);
        }
    cache.fonts.clear();
    cache.byChar.clear();
}

}  // namespace vcdalbum::host
