// The transition dispatcher: one frame of one numbered effect, drawn into a
// fresh record or saved as a JPEG file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "vcdalbum/Image.h"
#include "vcdalbum/transitions.h"

namespace vcdalbum::transitions {

// True for the effects whose pixels are chosen by chance (15, 34..37).
constexpr bool DrawsByChance(unsigned effect) { return effect == 15 || (effect >= 34 && effect <= 37); }

// Draws frame `frame` of `effect` into a fresh record of `second`'s size.
// Fields other than the pixels come from `second`; imageSize is that of the
// fresh buffer. See vcdalbum::RenderTransition for the outcomes. The chance
// draws start from `seed`; without one, from PictureSeed of the two pictures
// (after `first` is brought to `second`'s size), which a caller rendering
// many frames of one pair can compute once and pass in.
TransitionResult RenderFrame(const Image& first, const Image& second, unsigned effect, int frame, Image& result,
                             std::optional<uint64_t> seed = std::nullopt);

// Draws the frame and writes it as a JPEG file at `path` with SaveJpegImage.
// An effect above 37 writes `first`, so that every file written is a real
// picture. Nothing is written when the pictures are unusable, memory is
// short or the save fails.
TransitionResult RenderTransitionFrame(const Image* first, const Image* second, const char* path,
                                       unsigned short effect, int frame, std::optional<uint64_t> seed = std::nullopt);

inline TransitionResult TransitionFailure(int code, std::string message) { return {code, std::move(message)}; }

}  // namespace vcdalbum::transitions
