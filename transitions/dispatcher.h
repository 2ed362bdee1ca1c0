// The transition dispatcher: one frame of one numbered effect, drawn into a
// fresh record or saved as a JPEG file.
#pragma once

#include <string>
#include <utility>

#include "vcdalbum/Image.h"
#include "vcdalbum/transitions.h"

namespace vcdalbum::transitions {

// Draws frame `frame` of `effect` into a fresh record of `second`'s size.
// Fields other than the pixels come from `second`; imageSize is that of the
// fresh buffer. See vcdalbum::RenderTransition for the outcomes.
TransitionResult RenderFrame(const Image& first, const Image& second, unsigned effect, int frame, Image& result);

// Draws the frame and writes it as a JPEG file at `path` with SaveJpegImage.
// An effect above 37 writes `first`, so that every file written is a real
// picture. Nothing is written when the pictures are unusable, memory is
// short or the save fails.
TransitionResult RenderTransitionFrame(const Image* first, const Image* second, const char* path,
                                       unsigned short effect, int frame);

inline TransitionResult TransitionFailure(int code, std::string message) { return {code, std::move(message)}; }

}  // namespace vcdalbum::transitions
