// The 38 transition effects by number and name, as a project file names them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <vcdalbum/transitions.h>

namespace vcdalbum::host {

inline constexpr int kEffectCount = TransitionEffectCount;

// The effect's name ("CrossFade" for 14); empty outside 0..37.
std::string_view EffectName(int effect);

// An effect given as a number ("14") or a name ("CrossFade", case and
// spaces/underscores/hyphens ignored); nothing when it names no effect.
std::optional<int> ParseEffect(std::string_view text);

// The family an effect belongs to (push, squeeze, slide, blinds, fade, ...),
// for grouping in listings and for the demo's choice of one per family.
std::string_view EffectFamily(int effect);

}  // namespace vcdalbum::host
