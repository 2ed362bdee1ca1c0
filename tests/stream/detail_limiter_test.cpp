// The detail limiter softens noise-like frames only, and more so when the
// rate buffer runs low.
#include <gtest/gtest.h>

#include <cstdlib>

#include "detail_limiter.h"
#include "picture_frames.h"
#include "stream_encode.h"

namespace {

vcdalbum::components::stream::FramePtr NoiseFrame(unsigned seed) {
    vcdalbum::components::stream::FramePtr frame = vcdalbum::components::stream::MakeBlackFrame();
    std::srand(seed);
    for (int p = 0; p < 3; ++p) {
        int w = p == 0 ? 352 : 176, h = p == 0 ? 240 : 120;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) frame->data[p][y * frame->linesize[p] + x] = static_cast<uint8_t>(16 + std::rand() % 220);
    }
    return frame;
}

TEST(DetailLimiter, NoiseIsSoftenedUnderTheLimitAndPlainFramesAreLeftAlone) {
    auto noise = NoiseFrame(1);
    const double before = vcdalbum::components::stream::FrameActivity(*noise);
    EXPECT_GT(before, 60.0);
    const double limit = vcdalbum::components::stream::ActivityLimit(0.0);
    EXPECT_GT(vcdalbum::components::stream::LimitDetail(*noise, limit), 0);
    EXPECT_LE(vcdalbum::components::stream::FrameActivity(*noise), limit);

    auto black = vcdalbum::components::stream::MakeBlackFrame();
    EXPECT_EQ(vcdalbum::components::stream::FrameActivity(*black), 0.0);
    EXPECT_EQ(vcdalbum::components::stream::LimitDetail(*black, limit), 0);
    EXPECT_EQ(black->data[0][120 * black->linesize[0] + 176], 16);
}

TEST(DetailLimiter, TheLimitTightensAsTheBufferEmpties) {
    double previous = vcdalbum::components::stream::ActivityLimit(1.0);
    for (double fullness = 0.9; fullness >= 0.0; fullness -= 0.1) {
        double limit = vcdalbum::components::stream::ActivityLimit(fullness);
        EXPECT_LE(limit, previous);
        previous = limit;
    }
    EXPECT_LT(vcdalbum::components::stream::ActivityLimit(0.0), vcdalbum::components::stream::ActivityLimit(1.0));
    // A softer limit never needs more passes.
    auto a = NoiseFrame(2), b = NoiseFrame(2);
    EXPECT_LE(vcdalbum::components::stream::LimitDetail(*a, vcdalbum::components::stream::ActivityLimit(1.0)),
              vcdalbum::components::stream::LimitDetail(*b, vcdalbum::components::stream::ActivityLimit(0.0)));
}

}  // namespace
