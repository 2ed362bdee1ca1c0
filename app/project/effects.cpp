#include "project/effects.h"

#include <cctype>
#include <charconv>

namespace vcdalbum::host {
namespace {


std::string Folded(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == ' ' || c == '_' || c == '-') continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace

std::string_view EffectName(int effect) {
    if (effect < 0 || effect >= kEffectCount) return {};
    return TransitionEffectName(static_cast<unsigned>(effect));
}

std::optional<int> ParseEffect(std::string_view text) {
    int number = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec == std::errc() && end == text.data() + text.size())
        return number >= 0 && number < kEffectCount ? std::optional<int>(number) : std::nullopt;
    const std::string wanted = Folded(text);
    if (wanted.empty()) return std::nullopt;
    for (int i = 0; i < kEffectCount; ++i)
        if (Folded(EffectName(i)) == wanted) return i;
    return std::nullopt;
}

std::string_view EffectFamily(int effect) {
    if (effect < 0 || effect >= kEffectCount) return {};
    if (effect <= 3) return "push";
    if (effect <= 7) return "squeeze";
    if (effect <= 11) return "slide and wipe";
    if (effect <= 13) return "blinds";
    if (effect <= 15) return "cross-fade";
    if (effect <= 21) return "shape reveal";
    if (effect <= 25) return "diagonal wipe";
    if (effect <= 29) return "tiled wipe";
    if (effect <= 33) return "zoom";
    return "dissolve";
}

}  // namespace vcdalbum::host
