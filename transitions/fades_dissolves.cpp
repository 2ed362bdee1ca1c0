// Cross-fades and dissolving wipes: pictures mixed by weight or by chance.
// The fades weigh by k / 30, so frame 30 is exactly `second`. Chance comes
// from the frame's own generator, one byte per decision; the rarer branch
// (r <= 50) is taken for 51 of 256 values.
#include <cstdint>

#include "transitions/effects.h"
#include "transitions/frame_random.h"
#include "vcdalbum/transitions.h"

namespace vcdalbum::transitions {
namespace {

constexpr int kFadeFrames = 30;

// v / 30 for v up to 30 * 255: the high half of a 16-bit product, then a
// shift, which vectorises where a division does not.
constexpr uint32_t kDivide30 = 34953;  // ceil(2^20 / 30)
constexpr uint8_t DivideBy30(uint16_t v) {
    return static_cast<uint8_t>(static_cast<uint16_t>((static_cast<uint32_t>(v) * kDivide30) >> 16) >> 4);
}
constexpr bool DivideBy30IsExact() {
    for (uint32_t v = 0; v <= kFadeFrames * 255; ++v)
        if (DivideBy30(static_cast<uint16_t>(v)) != v / kFadeFrames) return false;
    return true;
}
static_assert(DivideBy30IsExact());

// One row of (k * S + (30 - k) * F) / 30, byte by byte.
void BlendRow(const unsigned char* __restrict first, const unsigned char* __restrict second,
              unsigned char* __restrict out, int bytes, uint32_t k) {
    const uint16_t toward = static_cast<uint16_t>(k);
    const uint16_t keep = static_cast<uint16_t>(kFadeFrames - k);
    for (int i = 0; i < bytes; ++i)
        out[i] = DivideBy30(static_cast<uint16_t>(toward * second[i] + keep * first[i]));
}

// The band lo <= position < hi, one step deep, just behind the moving edge.
struct Band {
    float lo;
    float hi;
    bool secondBelow;  // positions below lo show `second`; otherwise those at or above hi do

    Band(int size, int k, bool fromStart) {
        const int loSteps = fromStart ? k - 1 : TransitionSteps - k;
        lo = static_cast<float>(static_cast<double>(loSteps) * size / TransitionSteps);
        hi = static_cast<float>(static_cast<double>(loSteps + 1) * size / TransitionSteps);
        secondBelow = fromStart;
    }
    bool Inside(int position) const { return lo <= static_cast<float>(position) && static_cast<float>(position) < hi; }
    bool Passed(int position) const {
        return secondBelow ? static_cast<float>(position) < lo : static_cast<float>(position) >= hi;
    }
};

// Pixels of the band draw once each, row by row and left to right.
bool DissolveRows(const EffectFrame& f, bool fromTop) {
    const Band band(f.H, f.k, fromTop);
    FrameRandom random(f.seed, f.effect, f.k);
    for (int y = 0; y < f.H; ++y) {
        if (band.Inside(y))
            ComposeRow(f, y, [&](int) { return random.Rare(); });
        else
            CopyRow(f, y, band.Passed(y));
    }
    return true;
}

bool DissolveColumns(const EffectFrame& f, bool fromLeft) {
    const Band band(f.W, f.k, fromLeft);
    FrameRandom random(f.seed, f.effect, f.k);
    for (int y = 0; y < f.H; ++y)
        ComposeRow(f, y, [&](int x) { return band.Inside(x) ? random.Rare() : band.Passed(x); });
    return true;
}

}  // namespace

bool CrossFade(const EffectFrame& f) {
    for (int y = 0; y < f.H; ++y) BlendRow(f.first.row(y), f.second.row(y), f.out.row(y), 3 * f.W, f.k);
    return true;
}

bool NoisyCrossFade(const EffectFrame& f) {
    const uint32_t k = f.k;
    FrameRandom random(f.seed, f.effect, f.k);
    for (int y = 0; y < f.H; ++y) {
        const unsigned char* first = f.first.row(y);
        const unsigned char* second = f.second.row(y);
        unsigned char* out = f.out.row(y);
        for (int x = 0; x < f.W; ++x) {
            const int at = 3 * x;
            if (random.Rare()) {
                // Faded up from black, with nothing of `first`.
                for (int b = 0; b < 3; ++b) out[at + b] = DivideBy30(static_cast<uint16_t>(k * second[at + b]));
            } else {
                BlendRow(first + at, second + at, out + at, 3, k);
            }
        }
    }
    return true;
}

bool DissolveFromTop(const EffectFrame& f) { return DissolveRows(f, true); }
bool DissolveFromBottom(const EffectFrame& f) { return DissolveRows(f, false); }
bool DissolveFromLeft(const EffectFrame& f) { return DissolveColumns(f, true); }
bool DissolveFromRight(const EffectFrame& f) { return DissolveColumns(f, false); }

}  // namespace vcdalbum::transitions
