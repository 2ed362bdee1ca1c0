// Transition frames between two pictures, and the picture scaler behind the
// squeezes and zooms. Every call is safe on several threads at once for
// different result records and files. The effects that draw by chance (15 and
// 34..37) start a generator of their own for each frame from the two
// pictures, the effect and the frame number: the same arguments give the same
// frame on any thread and in any order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vcdalbum/Image.h"
#include "vcdalbum/export.h"

namespace vcdalbum {

// A geometric boundary moves 1/TransitionSteps of the picture per frame; the
// library renders frames 1..TransitionFrames of every transition.
inline constexpr int TransitionSteps = 31;
inline constexpr int TransitionFrames = 30;
inline constexpr int TransitionEffectCount = 38;

enum TransitionCode : int {
    kTransitionOk = 0,
    kTransitionUnknownEffect = 1,  // effect above 37: the frame shows `first`
    kTransitionBadPicture = 2,     // empty, missing pixels or larger than 30000 pixels
    kTransitionOutOfMemory = 3,
    kTransitionSaveFailed = 4,
};

struct TransitionResult {
    int code = kTransitionOk;
    std::string message;

    bool ok() const { return code == kTransitionOk; }
};

// The effect's name (PushFromLeft ... DissolveFromRight), or null above 37.
VCDALBUM_API const char* TransitionEffectName(unsigned effect);
// All 38 names, in effect-number order.
VCDALBUM_API std::vector<std::string> TransitionEffectNames();
// The last frame the effect draws by its own rule: 30 for the fades and the
// two-phase sweeps, 31 for the rest; -1 above 37. Frames below 0 show
// `first`, frames above the last one show `second`.
VCDALBUM_API int TransitionLastFrame(unsigned effect);

// Renders frame `frame` of transition `effect` from `first` to `second` into
// `result`, a fresh record of `second`'s size (free it with ReleaseImage; the
// record's previous contents are overwritten, not freed). A `first` of
// another size is rescaled to `second`'s size first. An effect above 37
// yields `first` with kTransitionUnknownEffect. On any other failure `result`
// is left untouched.
VCDALBUM_API TransitionResult RenderTransition(const Image& first, const Image& second, unsigned effect, int frame,
                                               Image& result);

// The same frame, written as a JPEG file at `path` (through a temporary name).
// An effect above 37 writes `first` and reports kTransitionUnknownEffect.
VCDALBUM_API TransitionResult RenderTransitionToFile(const Image& first, const Image& second, const std::string& path,
                                                     unsigned effect, int frame);

// Bicubic resize of `source` to width x height (each 1..30000) into `target`,
// a fresh record (free it with ReleaseImage). Returns false, `target`
// untouched, for an empty source, a size out of range or short memory.
VCDALBUM_API bool ScaleImage(const Image& source, uint32_t width, uint32_t height, Image& target);

}  // namespace vcdalbum
