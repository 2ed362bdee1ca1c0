// Transition frames saved as JPEG files.
#include <string>

#include "codec/picture_files.h"
#include "transitions/dispatcher.h"
#include "transitions/picture_scaler.h"

namespace vcdalbum::transitions {

TransitionResult RenderTransitionFrame(const Image* first, const Image* second, const char* path,
                                       unsigned short effect, int frame, std::optional<uint64_t> seed) {
    if (!first || !second || !path) return TransitionFailure(kTransitionBadPicture, "missing picture or path");
    OwnedImage out;
    TransitionResult outcome = RenderFrame(*first, *second, effect, frame, out.get(), seed);
    if (!outcome.ok() && outcome.code != kTransitionUnknownEffect) return outcome;
    if (codec::SaveJpegImage(path, &out.get()) != 0)
        return TransitionFailure(kTransitionSaveFailed, std::string(path) + ": cannot write the transition frame");
    return outcome;
}

}  // namespace vcdalbum::transitions

namespace vcdalbum {

TransitionResult RenderTransitionToFile(const Image& first, const Image& second, const std::string& path,
                                        unsigned effect, int frame) {
    if (effect > 0xFFFF) effect = TransitionEffectCount;  // any number above 37 draws `first`
    return transitions::RenderTransitionFrame(&first, &second, path.c_str(), static_cast<unsigned short>(effect),
                                              frame);
}

}  // namespace vcdalbum
