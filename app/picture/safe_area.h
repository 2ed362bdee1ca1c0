// The title-safe area: television sets crop the picture's edges, so 10% of
// it on every side stays clear of text and thumbnails.
#pragma once

namespace vcdalbum::host {

inline constexpr double kSafeMargin = 0.10;

}  // namespace vcdalbum::host
