// Blinds, splits, irises and boxes: neither picture moves, `second` shows
// through a centred or striped mask. The centre is (W / 2, H / 2).
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "transitions/effects.h"
#include "vcdalbum/transitions.h"

namespace vcdalbum::transitions {
namespace {

// Blinds: strips of `size` / 10 positions, each open strictly between h and
// s - h; a remainder forms a narrower last strip. Pictures under 10 pixels
// have no tenth to cut, so they open as one strip.
struct Blinds {
    int s;
    int h;

    Blinds(int size, int k) {
        s = size / 10 > 0 ? size / 10 : size;
        const int d = s * k / TransitionSteps;
        h = (s - d) / 2;
    }
    bool Open(int position) const { return h < position && position < s - h; }
};

// Opening masks test inclusive bounds made unsigned, so a bound below 0
// would admit nothing.
bool InsideOpening(int position, int centre, int half) {
    const uint32_t p = static_cast<uint32_t>(position);
    return !(p < static_cast<uint32_t>(centre - half) || p > static_cast<uint32_t>(centre + half));
}

// Closing masks keep `first` strictly inside the band.
bool InsideClosing(int position, int centre, int half) { return centre - half < position && position < centre + half; }

// The iris: an ellipse whose semi-axes grow with `steps` up to the corners,
// tested in integers on axes reduced by a power of ten.
bool DrawIris(const EffectFrame& f, int steps, bool secondInside) {
    const uint32_t pixels = static_cast<uint32_t>(f.W) * static_cast<uint32_t>(f.H);
    const float logPixels = static_cast<float>(std::log10(static_cast<double>(static_cast<float>(pixels))));
    const uint8_t p = static_cast<uint8_t>(static_cast<int>(std::sqrt(static_cast<double>(logPixels))));
    const double g = p >= 2 ? std::pow(10.0, p - 1) : 1.0;
    const double root2 = std::sqrt(2.0);
    const uint32_t a = static_cast<uint32_t>(
        static_cast<uint32_t>(static_cast<int32_t>(root2 * f.W * steps / (2 * TransitionSteps))) / g);
    const uint32_t b = static_cast<uint32_t>(
        static_cast<uint32_t>(static_cast<int32_t>(root2 * f.H * steps / (2 * TransitionSteps))) / g);

    // A zero semi-axis leaves no ellipse: before it opens there is nothing of
    // `second` to show, and once it has closed nothing of `first` remains.
    if (a == 0 || b == 0) {
        for (int y = 0; y < f.H; ++y) CopyRow(f, y, !secondInside);
        return true;
    }

    const uint32_t a2 = a * a;
    const uint32_t b2 = b * b;
    const uint32_t m = a2 * b2;
    const double g2 = g * g;
    const int cx = f.W / 2;
    const int cy = f.H / 2;
    std::unique_ptr<uint32_t[]> columnTerm(new (std::nothrow) uint32_t[f.W]);
    if (!columnTerm) return false;
    for (int x = 0; x < f.W; ++x) {
        const uint32_t dx = static_cast<uint32_t>(x > cx ? x - cx : cx - x);
        columnTerm[x] = static_cast<uint32_t>(static_cast<double>(b2 * (dx * dx)) / g2);
    }
    for (int y = 0; y < f.H; ++y) {
        const uint32_t dy = static_cast<uint32_t>(y > cy ? y - cy : cy - y);
        const uint32_t rowTerm = static_cast<uint32_t>(static_cast<double>(a2 * (dy * dy)) / g2);
        ComposeRow(f, y, [&](int x) { return (columnTerm[x] + rowTerm > m) != secondInside; });
    }
    return true;
}

}  // namespace

bool VerticalBlinds(const EffectFrame& f) {
    const Blinds blinds(f.W, f.k);
    ComposeColumns(f, [&](int x) { return blinds.Open(x % blinds.s); });
    return true;
}

bool HorizontalBlinds(const EffectFrame& f) {
    const Blinds blinds(f.H, f.k);
    for (int y = 0; y < f.H; ++y) CopyRow(f, y, blinds.Open(y % blinds.s));
    return true;
}

bool SplitOpen(const EffectFrame& f) {
    const int u = f.W / TransitionSteps;
    const int h = f.k * u / 2;
    const int cx = f.W / 2;
    ComposeColumns(f, [&](int x) { return InsideOpening(x, cx, h); });
    return true;
}

bool SplitClose(const EffectFrame& f) {
    const int u = f.W / TransitionSteps;
    const int h = u * (TransitionFrames - f.k) / 2;
    const int cx = f.W / 2;
    ComposeColumns(f, [&](int x) { return x <= cx - h || x >= cx + h; });
    return true;
}

bool IrisOpen(const EffectFrame& f) { return DrawIris(f, f.k, true); }

bool IrisClose(const EffectFrame& f) { return DrawIris(f, TransitionSteps - f.k, false); }

bool BoxOpen(const EffectFrame& f) {
    const int h = f.k * (f.W / TransitionSteps) / 2;
    const int j = f.k * (f.H / TransitionSteps) / 2;
    const int cx = f.W / 2;
    const int cy = f.H / 2;
    ComposeColumns(
        f, [&](int x) { return InsideOpening(x, cx, h); }, [&](int y) { return InsideOpening(y, cy, j); }, false);
    return true;
}

bool BoxClose(const EffectFrame& f) {
    const int h = (f.W / TransitionSteps) * (TransitionFrames - f.k) / 2;
    const int j = (f.H / TransitionSteps) * (TransitionFrames - f.k) / 2;
    const int cx = f.W / 2;
    const int cy = f.H / 2;
    ComposeColumns(
        f, [&](int x) { return !InsideClosing(x, cx, h); }, [&](int y) { return InsideClosing(y, cy, j); }, true);
    return true;
}

}  // namespace vcdalbum::transitions
