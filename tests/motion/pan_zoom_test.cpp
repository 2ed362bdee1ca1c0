// The pan-and-zoom path and its sampler: the path stays inside what the
// still picture shows, the sampler is exact where it should be, sub-pixel
// where the window moves by less than a pixel, and free of aliasing where it
// shrinks a lot.
#include "motion/pan_zoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace vcdalbum::motion {
namespace {

const FrameShape kNtsc{352, 240, 10.0 / 11.0};
const FrameShape kPal{352, 288, 12.0 / 11.0};

struct Picture {
    int width, height;
    std::vector<uint8_t> pixels;
    Picture(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3) {}
    uint8_t* at(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
    const uint8_t* at(int x, int y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
    PixelView view() const { return PixelView{pixels.data(), static_cast<size_t>(width) * 3, width, height}; }
};

Picture Sample(const Picture& source, const Window& w, const FrameShape& frame) {
    Picture out(frame.width, frame.height);
    MipChain(source.view()).Sample(w, frame, out.pixels.data(), static_cast<size_t>(frame.width) * 3);
    return out;
}

TEST(PanZoomPath, StaysWithinThePictureAndEndsOnTheWholePicture) {
    // Landscape wider than the frame, portrait, square, and the frame's own shape.
    const int sizes[][2] = {{1600, 900}, {900, 1600}, {1000, 1000}, {1400, 1050}};
    for (const FrameShape& frame : {kNtsc, kPal}) {
        const double aspect = frame.width * frame.pixelAspect / frame.height;
        for (const auto& size : sizes) {
            const double pw = size[0], ph = size[1];
            for (uint32_t seed = 0; seed < 40; ++seed) {
                const PanZoomPath path(seed, size[0], size[1], frame);
                const double zoomed = std::max(path.startZoom(), path.endZoom());
                ASSERT_EQ(std::min(path.startZoom(), path.endZoom()), 1.0);
                ASSERT_GE(zoomed, kMinZoom);
                ASSERT_LE(zoomed, kMaxZoom);
                for (int step = 0; step <= 20; ++step) {
                    const Window w = path.At(step / 20.0);
                    SCOPED_TRACE(::testing::Message() << pw << "x" << ph << " seed " << seed << " step " << step);
                    EXPECT_NEAR(w.width / w.height, aspect, 1e-9);
                    // Along a side the window is smaller than the picture, it stays inside it;
                    // along the others it is centred, the borders even.
                    if (w.width <= pw) {
                        EXPECT_GE(w.x, -1e-9);
                        EXPECT_LE(w.x + w.width, pw + 1e-9);
                    } else {
                        EXPECT_NEAR(w.x + w.width / 2, pw / 2, 1e-9);
                    }
                    if (w.height <= ph) {
                        EXPECT_GE(w.y, -1e-9);
                        EXPECT_LE(w.y + w.height, ph + 1e-9);
                    } else {
                        EXPECT_NEAR(w.y + w.height / 2, ph / 2, 1e-9);
                    }
                }
                // The zoom-1 end shows the whole picture as a still shows it.
                const Window whole = path.At(path.startZoom() == 1.0 ? 0.0 : 1.0);
                EXPECT_NEAR(std::min(whole.width / pw, whole.height / ph), 1.0, 1e-9);
                EXPECT_GE(std::max(whole.width / pw, whole.height / ph), 1.0 - 1e-9);
            }
        }
    }
}

TEST(PanZoomPath, SeedDecidesTheMotionAndMovesEveryFrame) {
    const PanZoomPath a(77, 1600, 1200, kNtsc), b(77, 1600, 1200, kNtsc);
    bool someOtherSeedDiffers = false;
    for (uint32_t other = 0; other < 8; ++other) {
        const Window w = PanZoomPath(other, 1600, 1200, kNtsc).At(0.7), v = a.At(0.7);
        someOtherSeedDiffers |= w.x != v.x || w.y != v.y || w.width != v.width;
    }
    EXPECT_TRUE(someOtherSeedDiffers);
    // 90 frames, three seconds: every frame moves, and by less than a pixel
    // of the frame, so the motion is slow and smooth.
    constexpr int kFrames = 90;
    for (int f = 0; f + 1 < kFrames; ++f) {
        const Window w0 = a.At(PathPosition(f, kFrames)), w1 = a.At(PathPosition(f + 1, kFrames));
        const Window same = b.At(PathPosition(f, kFrames));
        EXPECT_EQ(w0.x, same.x);
        EXPECT_EQ(w0.width, same.width);
        const double moved = std::abs(w1.x - w0.x) + std::abs(w1.y - w0.y) + std::abs(w1.width - w0.width);
        const double framePixel = w0.width / kNtsc.width;
        EXPECT_GT(moved, 0.01 * framePixel) << f;
        EXPECT_LT(moved, framePixel) << f;
    }
    EXPECT_EQ(PathPosition(0, kFrames), 0.0);
    EXPECT_EQ(PathPosition(kFrames - 1, kFrames), 1.0);
    EXPECT_EQ(PathPosition(0, 1), 0.0);
}

TEST(MipChainSample, WholePictureAtItsOwnSizeComesOutUnchanged) {
    Picture p(64, 48);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < 3; ++c) p.at(x, y)[c] = static_cast<uint8_t>((x * 37 + y * 11 + c * 90) & 0xFF);
    const Picture out = Sample(p, Window{0, 0, 64, 48}, FrameShape{64, 48, 1.0});
    EXPECT_EQ(out.pixels, p.pixels);
}

TEST(MipChainSample, MovesBySubPixelStepsAndFadesToBlackOutsideThePicture) {
    // A white picture with a black left half: moving the window by a quarter
    // of a pixel moves the edge by a quarter of a pixel, not by none or one.
    Picture p(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 32; x < 64; ++x) p.at(x, y)[0] = p.at(x, y)[1] = p.at(x, y)[2] = 200;
    const FrameShape frame{64, 64, 1.0};
    int previous = -1;
    for (int q = 0; q <= 4; ++q) {
        const Picture out = Sample(p, Window{q * 0.25, 0, 64, 64}, frame);
        const int edge = out.pixels[(32 * 64 + 31) * 3];  // the last column left of the edge
        EXPECT_GT(edge, previous);
        previous = edge;
    }
    EXPECT_EQ(previous, 200);
    // A window reaching beyond the right edge shows black there.
    const Picture beyond = Sample(p, Window{32, 0, 64, 64}, frame);
    EXPECT_EQ(beyond.pixels[(10 * 64 + 10) * 3], 200);
    EXPECT_EQ(beyond.pixels[(10 * 64 + 40) * 3], 0);
}

TEST(MipChainSample, FineDetailShrunkALotDoesNotAliasOrShimmer) {
    // A one-pixel checkerboard eight times the frame: point sampling would
    // show it as solid black or white, flickering as the window moves. The
    // window starts on the picture's edge, which must not darken the frame's.
    Picture p(352 * 8, 240 * 8);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if ((x + y) % 2) p.at(x, y)[0] = p.at(x, y)[1] = p.at(x, y)[2] = 255;
    const FrameShape frame{352, 240, 1.0};
    for (double shift : {0.0, 0.37, 3.6, 9.5}) {
        const double scale = 7.1 + shift / 20;  // between levels, blended
        const Picture out = Sample(p, Window{shift, shift / 2, 352 * scale, 240 * scale}, frame);
        int worst = 0;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x) worst = std::max(worst, std::abs(out.at(x, y)[1] - 128));
        EXPECT_LE(worst, 3) << "shift " << shift;
    }
}

}  // namespace
}  // namespace vcdalbum::motion
