// What every transition effect shares: the three pictures of one frame, the
// frame number, and the row-copy helpers. The effects themselves are listed
// per family below, in effect-number order within each family.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vcdalbum::transitions {

// Pixel rows of one picture, blue-green-red, `stride` bytes apart.
struct Pixels {
    unsigned char* data = nullptr;
    int width = 0;
    int height = 0;
    size_t stride = 0;

    unsigned char* row(int y) const { return data + static_cast<size_t>(y) * stride; }
};

// One frame to draw: `out` receives W x H pixels mixed from `first` and
// `second`, which have the same size. `k` lies in 0..31 (0..30 for the fades).
// The effects that draw by chance start their own generator from `seed`,
// `effect` and `k` (FrameRandom), so the frame owns its randomness.
struct EffectFrame {
    Pixels first;
    Pixels second;
    Pixels out;
    int W = 0;
    int H = 0;
    int k = 0;
    unsigned effect = 0;
    uint64_t seed = 0;
};

// An effect fills every pixel of frame.out. It returns false only when a
// scaled copy could not be allocated; `out` is then incomplete.
using EffectFn = bool (*)(const EffectFrame& frame);

// Copies `count` pixels from column `from` of `source` to column `to` of `target`.
inline void CopyPixels(unsigned char* target, int to, const unsigned char* source, int from, int count) {
    if (count > 0) std::memcpy(target + 3 * static_cast<size_t>(to), source + 3 * static_cast<size_t>(from),
                               3 * static_cast<size_t>(count));
}

// Fills row y of frame.out from `second` where takeSecond(x) holds and from
// `first` elsewhere, copying equal neighbours as one run. takeSecond is
// called exactly once per column, in ascending order, so it may keep a
// running position (a strip or cell offset) instead of dividing.
template <class Predicate>
inline void ComposeRow(const EffectFrame& frame, int y, Predicate&& takeSecond) {
    const unsigned char* first = frame.first.row(y);
    const unsigned char* second = frame.second.row(y);
    unsigned char* out = frame.out.row(y);
    bool fromSecond = takeSecond(0);
    int start = 0;
    for (int x = 1; x < frame.W; ++x) {
        const bool next = takeSecond(x);
        if (next == fromSecond) continue;
        CopyPixels(out, start, fromSecond ? second : first, start, x - start);
        fromSecond = next;
        start = x;
    }
    CopyPixels(out, start, fromSecond ? second : first, start, frame.W - start);
}

// The whole of row y of frame.out from one picture, in place.
inline void CopyRow(const EffectFrame& frame, int y, bool fromSecond) {
    CopyPixels(frame.out.row(y), 0, (fromSecond ? frame.second : frame.first).row(y), 0, frame.W);
}

// Fills frame.out by a mask that depends on the column alone within the rows
// where masked(y) holds; the other rows are copied whole from `second` when
// outsideFromSecond holds, else from `first`. takeSecond(x) must be a pure
// function of x: its runs are found once and copied into each masked row, or,
// for masks of very many runs, it is evaluated again row by row.
template <class Predicate, class RowFilter>
inline void ComposeColumns(const EffectFrame& frame, Predicate&& takeSecond, RowFilter&& masked,
                           bool outsideFromSecond) {
    constexpr int kMaxRuns = 256;
    int runStart[kMaxRuns + 1];
    bool runSecond[kMaxRuns];
    int runs = 0;
    for (int x = 0; x < frame.W; ++x) {
        const bool s = takeSecond(x);
        if (runs > 0 && runSecond[runs - 1] == s) continue;
        if (runs == kMaxRuns) {
            for (int y = 0; y < frame.H; ++y) {
                if (masked(y))
                    ComposeRow(frame, y, takeSecond);
                else
                    CopyRow(frame, y, outsideFromSecond);
            }
            return;
        }
        runStart[runs] = x;
        runSecond[runs++] = s;
    }
    runStart[runs] = frame.W;
    for (int y = 0; y < frame.H; ++y) {
        if (!masked(y)) {
            CopyRow(frame, y, outsideFromSecond);
            continue;
        }
        const unsigned char* first = frame.first.row(y);
        const unsigned char* second = frame.second.row(y);
        unsigned char* out = frame.out.row(y);
        for (int r = 0; r < runs; ++r)
            CopyPixels(out, runStart[r], runSecond[r] ? second : first, runStart[r], runStart[r + 1] - runStart[r]);
    }
}

template <class Predicate>
inline void ComposeColumns(const EffectFrame& frame, Predicate&& takeSecond) {
    ComposeColumns(frame, takeSecond, [](int) { return true; }, false);
}

// Sliding, squeezing and zooming: whole pictures move or are resized.
bool PushFromLeft(const EffectFrame& frame);
bool PushFromRight(const EffectFrame& frame);
bool PushFromTop(const EffectFrame& frame);
bool PushFromBottom(const EffectFrame& frame);
bool SqueezeFromLeft(const EffectFrame& frame);
bool SqueezeFromRight(const EffectFrame& frame);
bool SqueezeFromTop(const EffectFrame& frame);
bool SqueezeFromBottom(const EffectFrame& frame);
bool SlideInFromLeft(const EffectFrame& frame);
bool WipeFromRight(const EffectFrame& frame);
bool SlideInFromTop(const EffectFrame& frame);
bool SlideInFromBottom(const EffectFrame& frame);
bool ZoomFromTopLeft(const EffectFrame& frame);
bool ZoomFromTopRight(const EffectFrame& frame);
bool ZoomFromBottomLeft(const EffectFrame& frame);
bool ZoomFromBottomRight(const EffectFrame& frame);

// Shape reveals: `second` shows through a growing or shrinking mask.
bool VerticalBlinds(const EffectFrame& frame);
bool HorizontalBlinds(const EffectFrame& frame);
bool SplitOpen(const EffectFrame& frame);
bool SplitClose(const EffectFrame& frame);
bool IrisOpen(const EffectFrame& frame);
bool IrisClose(const EffectFrame& frame);
bool BoxOpen(const EffectFrame& frame);
bool BoxClose(const EffectFrame& frame);

// Diagonal wipes, over the whole picture and tiled in an 8 x 8 grid.
bool DiagonalWipeFromTopLeft(const EffectFrame& frame);
bool DiagonalWipeToTopLeft(const EffectFrame& frame);
bool DiagonalSweepFromTopRight(const EffectFrame& frame);
bool DiagonalSweepFromBottomLeft(const EffectFrame& frame);
bool TiledWipeFromTopLeft(const EffectFrame& frame);
bool TiledWipeToTopLeft(const EffectFrame& frame);
bool TiledSweepFromTopRight(const EffectFrame& frame);
bool TiledSweepFromBottomLeft(const EffectFrame& frame);

// Fades and dissolves: mixes by weight or by chance.
bool CrossFade(const EffectFrame& frame);
bool NoisyCrossFade(const EffectFrame& frame);
bool DissolveFromTop(const EffectFrame& frame);
bool DissolveFromBottom(const EffectFrame& frame);
bool DissolveFromLeft(const EffectFrame& frame);
bool DissolveFromRight(const EffectFrame& frame);

}  // namespace vcdalbum::transitions
