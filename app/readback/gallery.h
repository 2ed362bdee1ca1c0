// A self-contained HTML page showing every transition effect: its number,
// its name, a strip of frames and its 30 frames looping. The frames are
// rendered by the library and embedded, so the page needs no network.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "console/progress.h"

namespace vcdalbum::host {

inline constexpr uint32_t kGalleryWidth = 176;   // half the frame each way
inline constexpr uint32_t kGalleryHeight = 120;
inline constexpr int kGalleryStrip[] = {1, 6, 12, 18, 24, 30};

// One effect's 30 frames as one JPEG, frame 1 at the top.
struct EffectFrames {
    int effect = 0;
    std::vector<uint8_t> sprite;
};

// Renders the 30 frames of every effect between two drawn pictures, using
// `work` for the frame files.
std::vector<EffectFrames> RenderAllEffects(const std::filesystem::path& work, Progress& progress);

// The page itself.
std::string GalleryHtml(const std::vector<EffectFrames>& effects);

std::string Base64(const std::vector<uint8_t>& bytes);

}  // namespace vcdalbum::host
