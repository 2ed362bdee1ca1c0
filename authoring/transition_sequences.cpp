#include "authoring/transition_sequences.h"

#include <cstdlib>

#include "codec/picture_files.h"
#include "contract/component_codes.h"
#include "platform/heap_string.h"
#include "platform/temp_dir.h"
#include "transitions/dispatcher.h"
#include "transitions/frame_random.h"
#include "transitions/picture_scaler.h"
#include "vcdalbum/Authoring.h"
#include "vcdalbum/transitions.h"

namespace vcdalbum::authoring {

std::atomic<int> transitionSerial{0};

std::string TransitionFramePath(int serial, int frame) {
    return platform::TempDirectory() + platform::kPathSeparator + contract::TransitionFrameFileName(serial, frame);
}

namespace {

bool Decoded(const Image& image) { return image.data && image.width > 0 && image.height > 0; }

void ForgetNames(char** names) {
    for (int i = 0; i < TransitionFrames; ++i) {
        std::free(names[i]);
        names[i] = nullptr;
    }
}

}  // namespace
}  // namespace vcdalbum::authoring

namespace vcdalbum::authoring {

int ReserveTransitionSerials(int count) { return transitionSerial.fetch_add(count); }

int RenderTransitionSequence(const char* first, const char* second, unsigned short effect, int serial,
                             char** frameNames) {
    for (int i = 0; i < TransitionFrames; ++i) frameNames[i] = nullptr;
    if (!first || !second) return 1;

    OwnedImage from, to;
    codec::LoadJpegImage(first, &from.get());
    codec::LoadJpegImage(second, &to.get());
    return RenderTransitionSequence(from.get(), to.get(), effect, serial, frameNames);
}

int RenderTransitionSequence(const ::Image& first, const ::Image& second, unsigned short effect, int serial,
                             char** frameNames) {
    for (int i = 0; i < TransitionFrames; ++i) frameNames[i] = nullptr;
    if (!Decoded(first) || !Decoded(second)) return 1;

    // Pictures of different sizes: bring the first to the second's size once,
    // rather than on every frame.
    OwnedImage fitted;
    const ::Image* from = &first;
    if (first.width != second.width || first.height != second.height) {
        if (!ScaleImage(first, second.width, second.height, fitted.get())) return 1;
        from = &fitted.get();
    }

    // The same seed that DoTransitionEffect would derive for each frame, made once.
    const uint64_t seed = transitions::DrawsByChance(effect) ? transitions::PictureSeed(*from, second) : 0;
    if (serial < 0) serial = transitionSerial.fetch_add(1);
    for (int frame = 1; frame <= TransitionFrames; ++frame) {
        const std::string path = TransitionFramePath(serial, frame);
        const TransitionResult outcome =
            transitions::RenderTransitionFrame(from, &second, path.c_str(), effect, frame, seed);
        char* name = outcome.ok() || outcome.code == kTransitionUnknownEffect ? platform::HeapCopy(path.c_str()) : nullptr;
        if (!name) {
            ForgetNames(frameNames);
            return 1;
        }
        frameNames[frame - 1] = name;
    }
    return 0;
}

}  // namespace vcdalbum::authoring

// Renders frames 1..30 and returns their names, or returns non-zero with all
// 30 entries null when nothing usable was made: a picture that cannot be
// decoded (no frame is written then and the serial is not used), a frame that
// cannot be written, or memory short for a name. The entries of a caller's
// array are outputs only; the object's own frameFiles table owns its names,
// so names left there by an earlier transition are released first.
int Authoring::GetTransitionEffect(char* first, char* second, unsigned short effect, char** frameNames) {
    if (!frameNames) return 1;
    if (frameNames == frameFiles) vcdalbum::authoring::ForgetNames(frameNames);
    return vcdalbum::authoring::RenderTransitionSequence(first, second, effect, -1, frameNames);
}

void Authoring::DoTransitionEffect(Image* first, Image* second, char* path, unsigned short effect, int frame) {
    vcdalbum::transitions::RenderTransitionFrame(first, second, path, effect, frame);
}
