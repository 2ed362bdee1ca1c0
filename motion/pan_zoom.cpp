#include "motion/pan_zoom.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vcdalbum::motion {
namespace {

uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// 0 <= u < 1 from the top 53 bits.
double Uniform(uint64_t& state) { return static_cast<double>(SplitMix(state) >> 11) * 0x1.0p-53; }

// Where one tap of a bilinear filter reads along one side of a level: the
// two neighbouring samples (the edge sample repeated beyond the edge) and
// their weights in 1/256, which also carry how much of the output sample's
// footprint lies on the picture, so that a frame reaching beyond the
// picture turns black there with a sub-pixel edge, and one ending on the
// picture's edge keeps its last row bright. Whole numbers keep the result
// the same on every processor and compiler.
struct Taps {
    int i0, i1;
    uint32_t w0, w1;
};

constexpr int kWeightBits = 8;
constexpr uint32_t kOne = 1u << kWeightBits;

// Output sample k covers [origin + k * step, origin + (k + 1) * step) in
// full-size pixels of a picture `fullSize` wide; a level-L pixel i has its
// centre at full-size (i + 0.5) * 2^L.
std::vector<Taps> AxisTaps(double origin, double step, int outSize, int level, int levelSize, int fullSize) {
    std::vector<Taps> taps(static_cast<size_t>(outSize));
    const double scale = std::ldexp(1.0, -level);
    const double half = std::max(step, 1.0) / 2;  // footprint: at least one picture pixel
    for (int k = 0; k < outSize; ++k) {
        const double centre = origin + (k + 0.5) * step;
        const double cover = std::clamp(
            (std::min(centre + half, static_cast<double>(fullSize)) - std::max(centre - half, 0.0)) / (2 * half), 0.0, 1.0);
        const double u = centre * scale - 0.5;
        const double f = std::floor(u);
        const int i = static_cast<int>(std::clamp(f, -1.0, static_cast<double>(levelSize)));
        const auto w1 = static_cast<uint32_t>(std::lround((u - f) * kOne));
        const uint32_t w0 = kOne - w1;
        taps[static_cast<size_t>(k)] =
            Taps{std::clamp(i, 0, levelSize - 1), std::clamp(i + 1, 0, levelSize - 1),
                 static_cast<uint32_t>(std::lround(w0 * cover)), static_cast<uint32_t>(std::lround(w1 * cover))};
    }
    return taps;
}

// Halves a level: each pixel the mean of a 2x2 block; an odd last row or
// column pairs with itself.
void Halve(const PixelView& from, std::vector<uint8_t>& pixels, PixelView& to) {
    to.width = (from.width + 1) / 2;
    to.height = (from.height + 1) / 2;
    to.stride = static_cast<size_t>(to.width) * 3;
    pixels.assign(to.stride * static_cast<size_t>(to.height), 0);
    for (int y = 0; y < to.height; ++y) {
        const uint8_t* r0 = from.data + static_cast<size_t>(2 * y) * from.stride;
        const uint8_t* r1 = from.data + static_cast<size_t>(std::min(2 * y + 1, from.height - 1)) * from.stride;
        uint8_t* out = pixels.data() + static_cast<size_t>(y) * to.stride;
        for (int x = 0; x < to.width; ++x) {
            const size_t a = static_cast<size_t>(2 * x) * 3;
            const size_t b = static_cast<size_t>(std::min(2 * x + 1, from.width - 1)) * 3;
            for (int c = 0; c < 3; ++c)
                out[x * 3 + c] = static_cast<uint8_t>((r0[a + c] + r0[b + c] + r1[a + c] + r1[b + c] + 2) / 4);
        }
    }
    to.data = pixels.data();
}

}  // namespace

FrameShape VideoCdFrame(int width, int height) {
    return FrameShape{width, height, height == 288 ? 12.0 / 11.0 : 10.0 / 11.0};
}

PanZoomPath::PanZoomPath(uint32_t seed, int pictureWidth, int pictureHeight, FrameShape frame)
    : pictureW_(std::max(1, pictureWidth)), pictureH_(std::max(1, pictureHeight)) {
    // The frame's shape in square units; the whole picture fits it, with
    // borders on two sides unless the shapes agree.
    const double frameAspect = frame.height > 0 ? frame.width * frame.pixelAspect / frame.height : 4.0 / 3.0;
    if (pictureW_ / pictureH_ > frameAspect) {
        baseW_ = pictureW_;
        baseH_ = pictureW_ / frameAspect;
    } else {
        baseH_ = pictureH_;
        baseW_ = pictureH_ * frameAspect;
    }

    uint64_t state = 0x5EED0000ull ^ seed;
    const bool zoomIn = (SplitMix(state) & 1) != 0;
    const double zoom = kMinZoom + (kMaxZoom - kMinZoom) * Uniform(state);
    zoom0_ = zoomIn ? 1.0 : zoom;
    zoom1_ = zoomIn ? zoom : 1.0;
    // The close view lies towards a point on the edge of the room it has to
    // pan, in a direction of its own: one picture drifts to a corner, the
    // next towards the top, and so on. Zooming, the window glides from the
    // centre towards it (or back), so the pan and the zoom are one motion.
    const double angle = 2 * std::numbers::pi * Uniform(state);
    const double c = std::cos(angle), s = std::sin(angle);
    const double norm = std::max(std::abs(c), std::abs(s));
    fx_ = c / norm;
    fy_ = s / norm;
}

Window PanZoomPath::At(double t) const {
    t = std::clamp(t, 0.0, 1.0);
    // Even steps in scale, not in size, so the zoom looks steady.
    const double zoom = zoom0_ * std::pow(zoom1_ / zoom0_, t);
    Window w;
    w.width = baseW_ / zoom;
    w.height = baseH_ / zoom;
    // The window keeps within the picture along each side it is smaller
    // than the picture, so zooming never uncovers more border than the
    // whole picture shows; along the others it stays centred.
    const double roomX = std::max(0.0, pictureW_ - w.width), roomY = std::max(0.0, pictureH_ - w.height);
    const double cx = pictureW_ / 2 + fx_ * roomX / 2, cy = pictureH_ / 2 + fy_ * roomY / 2;
    w.x = cx - w.width / 2;
    w.y = cy - w.height / 2;
    return w;
}

double PathPosition(int64_t frame, int64_t frames) {
    if (frames <= 1) return 0;
    return std::clamp(static_cast<double>(frame) / static_cast<double>(frames - 1), 0.0, 1.0);
}

uint32_t PictureSeed(uint32_t seed, uint32_t index) {
    uint64_t state = (uint64_t{seed} << 32) | index;
    return static_cast<uint32_t>(SplitMix(state) >> 32);
}

MipChain::MipChain(PixelView picture) {
    if (picture.data == nullptr || picture.width <= 0 || picture.height <= 0) {
        levels_.push_back(PixelView{});
        return;
    }
    levels_.push_back(picture);
    // Down to a level no larger than a few pixels: a window can be far
    // larger than the frame only for a huge picture.
    storage_.reserve(32);
    while (levels_.back().width > 1 || levels_.back().height > 1) {
        storage_.emplace_back();
        PixelView next;
        Halve(levels_.back(), storage_.back(), next);
        levels_.push_back(next);
    }
}

void MipChain::Sample(const Window& window, const FrameShape& frame, uint8_t* out, size_t outStride) const {
    if (frame.width <= 0 || frame.height <= 0) return;
    if (!ok()) {
        for (int y = 0; y < frame.height; ++y) std::fill_n(out + static_cast<size_t>(y) * outStride, frame.width * 3, 0);
        return;
    }
    const double stepX = window.width / frame.width, stepY = window.height / frame.height;
    // The level whose pixels are as large as the frame's along the side
    // that shrinks most, and the next coarser one, blended by how far
    // between them the scale lies. A window smaller than the frame reads the
    // full-size picture alone.
    const double lod = std::log2(std::max({stepX, stepY, 1e-9}));
    const int last = levels() - 1;
    int fine = 0;
    uint32_t coarseWeight = 0;  // in 1/256
    if (lod > 0) {
        fine = std::min(static_cast<int>(std::floor(lod)), last);
        if (fine < last) coarseWeight = static_cast<uint32_t>(std::lround((lod - fine) * kOne));
    }
    const int coarse = std::min(fine + 1, last);

    struct LevelTaps {
        const PixelView* view;
        std::vector<Taps> xs, ys;
    };
    auto tapsFor = [&](int l) {
        const PixelView& v = levels_[static_cast<size_t>(l)];
        return LevelTaps{&v, AxisTaps(window.x, stepX, frame.width, l, v.width, levels_.front().width),
                         AxisTaps(window.y, stepY, frame.height, l, v.height, levels_.front().height)};
    };
    const LevelTaps a = tapsFor(fine);
    const LevelTaps b = coarseWeight > 0 ? tapsFor(coarse) : LevelTaps{nullptr, {}, {}};

    // Sums in 1/2^24: 1/256 each for the column, the row and the level.
    // The largest, 255 * 2^24, still fits 32 bits.
    std::vector<uint32_t> row(static_cast<size_t>(frame.width) * 3);
    auto accumulate = [&](const LevelTaps& lt, int y, uint32_t weight) {
        const Taps& ty = lt.ys[static_cast<size_t>(y)];
        const uint8_t* r0 = lt.view->data + static_cast<size_t>(ty.i0) * lt.view->stride;
        const uint8_t* r1 = lt.view->data + static_cast<size_t>(ty.i1) * lt.view->stride;
        const uint32_t v0 = ty.w0 * weight, v1 = ty.w1 * weight;
        uint32_t* o = row.data();
        for (int x = 0; x < frame.width; ++x, o += 3) {
            const Taps& tx = lt.xs[static_cast<size_t>(x)];
            const uint8_t* p00 = r0 + tx.i0 * 3;
            const uint8_t* p01 = r0 + tx.i1 * 3;
            const uint8_t* p10 = r1 + tx.i0 * 3;
            const uint8_t* p11 = r1 + tx.i1 * 3;
            for (int c = 0; c < 3; ++c)
                o[c] += v0 * (tx.w0 * p00[c] + tx.w1 * p01[c]) + v1 * (tx.w0 * p10[c] + tx.w1 * p11[c]);
        }
    };
    constexpr int kShift = 3 * kWeightBits;
    for (int y = 0; y < frame.height; ++y) {
        std::fill(row.begin(), row.end(), 0u);
        accumulate(a, y, kOne - coarseWeight);
        if (coarseWeight > 0) accumulate(b, y, coarseWeight);
        uint8_t* o = out + static_cast<size_t>(y) * outStride;
        for (size_t i = 0; i < row.size(); ++i)
            o[i] = static_cast<uint8_t>(std::min<uint32_t>(255, (row[i] + (1u << (kShift - 1))) >> kShift));
    }
}

}  // namespace vcdalbum::motion
