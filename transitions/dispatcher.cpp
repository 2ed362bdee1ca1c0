#include "transitions/dispatcher.h"

#include <string>

#include "transitions/effects.h"
#include "transitions/frame_random.h"
#include "transitions/picture_scaler.h"
#include "vcdalbum/codec.h"

namespace vcdalbum::transitions {
namespace {

struct EffectEntry {
    const char* name;
    EffectFn draw;
    int lastFrame;  // beyond it the effect's own rule stops making sense
};

// Effects by number. The fades weigh by k / 30 and would leave 0..255 past
// frame 30; the two-phase sweeps collapse their edge onto a picture border at
// frame 31 and would show `first` again.
constexpr int kSteps = TransitionSteps;
constexpr int kFrames = TransitionFrames;
constexpr EffectEntry kEffects[TransitionEffectCount] = {
    {"PushFromLeft", PushFromLeft, kSteps},
    {"PushFromRight", PushFromRight, kSteps},
    {"PushFromTop", PushFromTop, kSteps},
    {"PushFromBottom", PushFromBottom, kSteps},
    {"SqueezeFromLeft", SqueezeFromLeft, kSteps},
    {"SqueezeFromRight", SqueezeFromRight, kSteps},
    {"SqueezeFromTop", SqueezeFromTop, kSteps},
    {"SqueezeFromBottom", SqueezeFromBottom, kSteps},
    {"SlideInFromLeft", SlideInFromLeft, kSteps},
    {"WipeFromRight", WipeFromRight, kSteps},
    {"SlideInFromTop", SlideInFromTop, kSteps},
    {"SlideInFromBottom", SlideInFromBottom, kSteps},
    {"VerticalBlinds", VerticalBlinds, kSteps},
    {"HorizontalBlinds", HorizontalBlinds, kSteps},
    {"CrossFade", CrossFade, kFrames},
    {"NoisyCrossFade", NoisyCrossFade, kFrames},
    {"SplitOpen", SplitOpen, kSteps},
    {"SplitClose", SplitClose, kSteps},
    {"IrisOpen", IrisOpen, kSteps},
    {"IrisClose", IrisClose, kSteps},
    {"BoxOpen", BoxOpen, kSteps},
    {"BoxClose", BoxClose, kSteps},
    {"DiagonalWipeFromTopLeft", DiagonalWipeFromTopLeft, kSteps},
    {"DiagonalWipeToTopLeft", DiagonalWipeToTopLeft, kSteps},
    {"DiagonalSweepFromTopRight", DiagonalSweepFromTopRight, kFrames},
    {"DiagonalSweepFromBottomLeft", DiagonalSweepFromBottomLeft, kFrames},
    {"TiledWipeFromTopLeft", TiledWipeFromTopLeft, kSteps},
    {"TiledWipeToTopLeft", TiledWipeToTopLeft, kSteps},
    {"TiledSweepFromTopRight", TiledSweepFromTopRight, kFrames},
    {"TiledSweepFromBottomLeft", TiledSweepFromBottomLeft, kFrames},
    {"ZoomFromTopLeft", ZoomFromTopLeft, kSteps},
    {"ZoomFromTopRight", ZoomFromTopRight, kSteps},
    {"ZoomFromBottomLeft", ZoomFromBottomLeft, kSteps},
    {"ZoomFromBottomRight", ZoomFromBottomRight, kSteps},
    {"DissolveFromTop", DissolveFromTop, kSteps},
    {"DissolveFromBottom", DissolveFromBottom, kSteps},
    {"DissolveFromLeft", DissolveFromLeft, kSteps},
    {"DissolveFromRight", DissolveFromRight, kSteps},
};

bool Usable(const Image& image) {
    return image.data && image.width > 0 && image.height > 0 && image.width <= kMaxScaledSide &&
           image.height <= kMaxScaledSide;
}

Pixels View(const Image& image) {
    return {image.data, static_cast<int>(image.width), static_cast<int>(image.height), ImageStride(image.width)};
}


}  // namespace

TransitionResult RenderFrame(const Image& first, const Image& second, unsigned effect, int frame, Image& result,
                             std::optional<uint64_t> seed) {
    if (!Usable(first) || !Usable(second))
        return TransitionFailure(kTransitionBadPicture, "a transition needs two pictures of 1 to 30000 pixels a side");

    // The effects read `first` with `second`'s geometry: bring it to that size.
    OwnedImage fitted;
    const Image* from = &first;
    if (first.width != second.width || first.height != second.height) {
        if (!ScaleImage(first, second.width, second.height, fitted.get()))
            return TransitionFailure(kTransitionOutOfMemory, "out of memory rescaling the first picture");
        from = &fitted.get();
    }

    OwnedImage out;
    if (!AllocateImage(out.get(), second.width, second.height))
        return TransitionFailure(kTransitionOutOfMemory, "out of memory for the transition frame");
    out.get().headerSize = second.headerSize;
    out.get().reserved1 = second.reserved1;
    out.get().heightCopy = second.heightCopy;
    out.get().compression = second.compression;
    out.get().reserved2 = second.reserved2;
    out.get().palette = second.palette;

    EffectFrame f;
    f.first = View(*from);
    f.second = View(second);
    f.out = View(out.get());
    f.W = static_cast<int>(second.width);
    f.H = static_cast<int>(second.height);
    f.k = frame;
    f.effect = effect;
    if (DrawsByChance(effect)) f.seed = seed ? *seed : PictureSeed(*from, second);

    TransitionResult outcome;
    if (effect >= TransitionEffectCount) {
        for (int y = 0; y < f.H; ++y) CopyRow(f, y, false);
        outcome = TransitionFailure(kTransitionUnknownEffect,
                          "effect " + std::to_string(effect) + " is not one of 0..37; the frame shows the first picture");
    } else if (frame < 0 || frame > kEffects[effect].lastFrame) {
        // Before the transition there is `first`, after it `second`.
        for (int y = 0; y < f.H; ++y) CopyRow(f, y, frame > 0);
    } else if (!kEffects[effect].draw(f)) {
        return TransitionFailure(kTransitionOutOfMemory, "out of memory for a scaled copy");
    }
    result = out.release();
    return outcome;
}

}  // namespace vcdalbum::transitions

namespace vcdalbum {

const char* TransitionEffectName(unsigned effect) {
    return effect < TransitionEffectCount ? transitions::kEffects[effect].name : nullptr;
}

std::vector<std::string> TransitionEffectNames() {
    std::vector<std::string> names;
    for (const auto& entry : transitions::kEffects) names.emplace_back(entry.name);
    return names;
}

int TransitionLastFrame(unsigned effect) {
    return effect < TransitionEffectCount ? transitions::kEffects[effect].lastFrame : -1;
}

TransitionResult RenderTransition(const Image& first, const Image& second, unsigned effect, int frame,
                                  Image& result) {
    return transitions::RenderFrame(first, second, effect, frame, result);
}

}  // namespace vcdalbum
