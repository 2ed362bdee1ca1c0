// Pushes, squeezes, slide-ins, the wipe and the corner zooms: whole pictures
// move or are resized. b = k * W / 31 columns and r = k * H / 31 rows belong
// to `second` at frame k (unsigned 32-bit products, truncated).
#include <cstdint>

#include "transitions/effects.h"
#include "transitions/picture_scaler.h"
#include "vcdalbum/transitions.h"

namespace vcdalbum::transitions {
namespace {

int TakenColumns(const EffectFrame& f) {
    return static_cast<int>(static_cast<uint32_t>(f.k) * static_cast<uint32_t>(f.W) / TransitionSteps);
}

int TakenRows(const EffectFrame& f) {
    return static_cast<int>(static_cast<uint32_t>(f.k) * static_cast<uint32_t>(f.H) / TransitionSteps);
}

Pixels ViewOf(OwnedImage& copy) {
    const Image& image = copy.get();
    return {image.data, static_cast<int>(image.width), static_cast<int>(image.height), ImageStride(image.width)};
}

// `first` squeezed to width x height; an empty view when a side is 0 (no
// pixel of it shows then). False when the copy cannot be made.
bool SqueezedFirst(const EffectFrame& f, int width, int height, OwnedImage& copy, Pixels& view) {
    view = {};
    if (width <= 0 || height <= 0) return true;
    if (!MakeScaledCopy(f.first.data, f.first.stride, f.W, f.H, width, height, copy)) return false;
    view = ViewOf(copy);
    return true;
}

// `second` reduced to b x r, drawn over `first` in the chosen corner.
bool ZoomFromCorner(const EffectFrame& f, bool right, bool bottom) {
    const int b = TakenColumns(f);
    const int r = TakenRows(f);
    OwnedImage copy;
    if (b > 0 && r > 0 && !MakeScaledCopy(f.second.data, f.second.stride, f.W, f.H, b, r, copy)) return false;
    const int left = right ? f.W - b : 0;
    const int top = bottom ? f.H - r : 0;
    const Pixels zoomed = b > 0 && r > 0 ? ViewOf(copy) : Pixels{};
    for (int y = 0; y < f.H; ++y) {
        CopyRow(f, y, false);
        if (b > 0 && r > 0 && y >= top && y < top + r) CopyPixels(f.out.row(y), left, zoomed.row(y - top), 0, b);
    }
    return true;
}

}  // namespace

bool PushFromLeft(const EffectFrame& f) {
    const int b = TakenColumns(f);
    for (int y = 0; y < f.H; ++y) {
        CopyPixels(f.out.row(y), 0, f.second.row(y), f.W - b, b);
        CopyPixels(f.out.row(y), b, f.first.row(y), 0, f.W - b);
    }
    return true;
}

bool PushFromRight(const EffectFrame& f) {
    const int b = TakenColumns(f);
    const int d = f.W - b;
    for (int y = 0; y < f.H; ++y) {
        CopyPixels(f.out.row(y), 0, f.first.row(y), b, d);
        CopyPixels(f.out.row(y), d, f.second.row(y), 0, b);
    }
    return true;
}

bool PushFromTop(const EffectFrame& f) {
    const int r = TakenRows(f);
    for (int y = 0; y < f.H; ++y) {
        const unsigned char* from = y < r ? f.second.row(f.H - r + y) : f.first.row(y - r);
        CopyPixels(f.out.row(y), 0, from, 0, f.W);
    }
    return true;
}

bool PushFromBottom(const EffectFrame& f) {
    const int r = TakenRows(f);
    const int e = f.H - r;
    for (int y = 0; y < f.H; ++y) {
        const unsigned char* from = y < e ? f.first.row(y + r) : f.second.row(y - e);
        CopyPixels(f.out.row(y), 0, from, 0, f.W);
    }
    return true;
}

bool SqueezeFromLeft(const EffectFrame& f) {
    const int b = TakenColumns(f);
    const int d = f.W - b;
    OwnedImage copy;
    Pixels squeezed;
    if (!SqueezedFirst(f, d, f.H, copy, squeezed)) return false;
    for (int y = 0; y < f.H; ++y) {
        CopyPixels(f.out.row(y), 0, f.second.row(y), d, b);
        if (d > 0) CopyPixels(f.out.row(y), b, squeezed.row(y), 0, d);
    }
    return true;
}

bool SqueezeFromRight(const EffectFrame& f) {
    const int d = f.W - TakenColumns(f);
    OwnedImage copy;
    Pixels squeezed;
    if (!SqueezedFirst(f, d, f.H, copy, squeezed)) return false;
    for (int y = 0; y < f.H; ++y) {
        if (d > 0) CopyPixels(f.out.row(y), 0, squeezed.row(y), 0, d);
        CopyPixels(f.out.row(y), d, f.second.row(y), 0, f.W - d);
    }
    return true;
}

bool SqueezeFromTop(const EffectFrame& f) {
    const int r = TakenRows(f);
    const int e = f.H - r;
    OwnedImage copy;
    Pixels squeezed;
    if (!SqueezedFirst(f, f.W, e, copy, squeezed)) return false;
    for (int y = 0; y < f.H; ++y) {
        const unsigned char* from = y < r ? f.second.row(e + y) : squeezed.row(y - r);
        CopyPixels(f.out.row(y), 0, from, 0, f.W);
    }
    return true;
}

bool SqueezeFromBottom(const EffectFrame& f) {
    const int e = f.H - TakenRows(f);
    OwnedImage copy;
    Pixels squeezed;
    if (!SqueezedFirst(f, f.W, e, copy, squeezed)) return false;
    for (int y = 0; y < f.H; ++y) {
        const unsigned char* from = y < e ? squeezed.row(y) : f.second.row(y - e);
        CopyPixels(f.out.row(y), 0, from, 0, f.W);
    }
    return true;
}

bool SlideInFromLeft(const EffectFrame& f) {
    const int b = TakenColumns(f);
    for (int y = 0; y < f.H; ++y) {
        CopyPixels(f.out.row(y), 0, f.second.row(y), f.W - b, b);
        CopyPixels(f.out.row(y), b, f.first.row(y), b, f.W - b);
    }
    return true;
}

bool WipeFromRight(const EffectFrame& f) {
    const int d = f.W - TakenColumns(f);
    for (int y = 0; y < f.H; ++y) {
        CopyPixels(f.out.row(y), 0, f.first.row(y), 0, d);
        CopyPixels(f.out.row(y), d, f.second.row(y), d, f.W - d);
    }
    return true;
}

bool SlideInFromTop(const EffectFrame& f) {
    const int r = TakenRows(f);
    for (int y = 0; y < f.H; ++y) {
        const unsigned char* from = y < r ? f.second.row(f.H - r + y) : f.first.row(y);
        CopyPixels(f.out.row(y), 0, from, 0, f.W);
    }
    return true;
}

bool SlideInFromBottom(const EffectFrame& f) {
    const int e = f.H - TakenRows(f);
    for (int y = 0; y < f.H; ++y) {
        const unsigned char* from = y < e ? f.first.row(y) : f.second.row(y - e);
        CopyPixels(f.out.row(y), 0, from, 0, f.W);
    }
    return true;
}

bool ZoomFromTopLeft(const EffectFrame& f) { return ZoomFromCorner(f, false, false); }
bool ZoomFromTopRight(const EffectFrame& f) { return ZoomFromCorner(f, true, false); }
bool ZoomFromBottomLeft(const EffectFrame& f) { return ZoomFromCorner(f, false, true); }
bool ZoomFromBottomRight(const EffectFrame& f) { return ZoomFromCorner(f, true, true); }

}  // namespace vcdalbum::transitions
