// Diagonal wipes: `second` is uncovered behind a slanted edge, over the whole
// picture (32-bit integer edges) or repeated in every cell of an 8 x 8 grid
// (fractional edges held in single precision, tested in double precision).
// Sweeps run in two phases; their edge passes the diagonal between frames
// 15 and 16.
#include <cstdint>

#include "transitions/effects.h"
#include "vcdalbum/transitions.h"

namespace vcdalbum::transitions {
namespace {

constexpr int N = TransitionSteps;

// Edge positions of a whole-picture sweep. `fromTopRight` sweeps from the
// top-right corner, otherwise from the bottom-left one. Quotients of
// negative numerators truncate towards zero.
struct SweepEdge {
    int64_t X;
    int64_t Y;
    bool firstPhase;

    SweepEdge(int W, int H, int k, bool fromTopRight) {
        firstPhase = 2 * k <= N;
        const int64_t w = W, h = H;
        const int64_t towards = (N - 2 * k) * (fromTopRight ? w : h) / N;  // shrinking side
        const int64_t along = 2 * k * (fromTopRight ? h : w) / N;          // growing side
        const int64_t growFull = fromTopRight ? h : w;
        const int64_t shrinkFull = fromTopRight ? w : h;
        const int64_t shrink = firstPhase ? towards : shrinkFull + towards;
        const int64_t grow = firstPhase ? along : along - growFull;
        X = fromTopRight ? shrink : grow;
        Y = fromTopRight ? grow : shrink;
    }
};

// Cell size of the tiled wipes; a picture under 8 pixels is one cell.
int CellSize(int size) { return size / 8 > 0 ? size / 8 : size; }

// A per-frame quantity of the tiled wipes, stored in single precision.
float Single(double value) { return static_cast<float>(value); }

// Row y of a tiled wipe: takeSecond(tx, ty) with tx, ty the cell coordinates.
template <class Rule>
void ComposeTiledRow(const EffectFrame& f, int y, int tw, int th, Rule takeSecond) {
    const int ty = y % th;
    int tx = 0;
    ComposeRow(f, y, [&](int) {
        const bool second = takeSecond(static_cast<double>(tx), static_cast<double>(ty));
        if (++tx == tw) tx = 0;
        return second;
    });
}

}  // namespace

bool DiagonalWipeFromTopLeft(const EffectFrame& f) {
    const int64_t a = static_cast<int64_t>(f.k) * f.W / N;
    const int64_t b = static_cast<int64_t>(f.k) * f.H / N;
    for (int y = 0; y < f.H; ++y) ComposeRow(f, y, [&](int x) { return !(b * x + a * y > 2 * a * b); });
    return true;
}

bool DiagonalWipeToTopLeft(const EffectFrame& f) {
    const int64_t a = static_cast<int64_t>(N - f.k) * f.W / N;
    const int64_t b = static_cast<int64_t>(N - f.k) * f.H / N;
    for (int y = 0; y < f.H; ++y) ComposeRow(f, y, [&](int x) { return !(b * x + a * y < 2 * a * b); });
    return true;
}

bool DiagonalSweepFromTopRight(const EffectFrame& f) {
    const SweepEdge e(f.W, f.H, f.k, true);
    const int64_t area = e.X * e.Y;
    for (int y = 0; y < f.H; ++y) {
        if (e.firstPhase)
            ComposeRow(f, y, [&](int x) { return !(e.Y * x - (f.W - 1 - e.X) * y < area); });
        else
            ComposeRow(f, y, [&](int x) { return e.X * y - (f.H - 1 - e.Y) * x < area; });
    }
    return true;
}

bool DiagonalSweepFromBottomLeft(const EffectFrame& f) {
    const SweepEdge e(f.W, f.H, f.k, false);
    const int64_t area = e.X * e.Y;
    for (int y = 0; y < f.H; ++y) {
        if (e.firstPhase)
            ComposeRow(f, y, [&](int x) { return !(e.X * y - (f.H - 1 - e.Y) * x < area); });
        else
            ComposeRow(f, y, [&](int x) { return e.Y * x - (f.W - 1 - e.X) * y < area; });
    }
    return true;
}

bool TiledWipeFromTopLeft(const EffectFrame& f) {
    const int tw = CellSize(f.W), th = CellSize(f.H);
    const float A = Single(static_cast<double>(f.k) * tw / N);
    const float B = Single(static_cast<double>(f.k) * th / N);
    const double twice = 2.0 * A * B;
    for (int y = 0; y < f.H; ++y)
        ComposeTiledRow(f, y, tw, th, [&](double tx, double ty) { return twice >= tx * B + ty * A; });
    return true;
}

bool TiledWipeToTopLeft(const EffectFrame& f) {
    const int tw = CellSize(f.W), th = CellSize(f.H);
    const float A = Single(static_cast<double>(N - f.k) * tw / N);
    const float B = Single(static_cast<double>(N - f.k) * th / N);
    const double twice = 2.0 * A * B;
    for (int y = 0; y < f.H; ++y)
        ComposeTiledRow(f, y, tw, th, [&](double tx, double ty) { return twice <= tx * B + ty * A; });
    return true;
}

bool TiledSweepFromTopRight(const EffectFrame& f) {
    const int tw = CellSize(f.W), th = CellSize(f.H);
    const bool firstPhase = 2 * f.k <= N;
    const double towards = static_cast<double>(N - 2 * f.k) * tw / N;
    const double along = static_cast<double>(2 * f.k) * th / N;
    const float X = Single(firstPhase ? towards : tw + towards);
    const float Y = Single(firstPhase ? along : along - th);
    const double area = static_cast<double>(X) * Y;
    for (int y = 0; y < f.H; ++y) {
        if (firstPhase)
            ComposeTiledRow(f, y, tw, th, [&](double tx, double ty) { return !(tx * Y - (tw - 1 - static_cast<double>(X)) * ty <= area); });
        else
            ComposeTiledRow(f, y, tw, th, [&](double tx, double ty) { return ty * X - (th - 1 - static_cast<double>(Y)) * tx < area; });
    }
    return true;
}

bool TiledSweepFromBottomLeft(const EffectFrame& f) {
    const int tw = CellSize(f.W), th = CellSize(f.H);
    const bool firstPhase = 2 * f.k <= N;
    const double along = static_cast<double>(2 * f.k) * tw / N;
    const double towards = static_cast<double>(N - 2 * f.k) * th / N;
    const float X = Single(firstPhase ? along : along - tw);
    const float Y = Single(firstPhase ? towards : th + towards);
    const double area = static_cast<double>(X) * Y;
    for (int y = 0; y < f.H; ++y) {
        if (firstPhase)
            ComposeTiledRow(f, y, tw, th, [&](double tx, double ty) { return !(ty * X - (th - 1 - static_cast<double>(Y)) * tx <= area); });
        else
            ComposeTiledRow(f, y, tw, th, [&](double tx, double ty) { return tx * Y - (tw - 1 - static_cast<double>(X)) * ty < area; });
    }
    return true;
}

}  // namespace vcdalbum::transitions
