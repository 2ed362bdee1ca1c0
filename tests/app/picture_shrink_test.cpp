// Fitting a camera-sized picture into the frame: detail finer than the frame
// can show must vanish, not come back as coarse false patterns, and detail
// the frame can show must stay.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "picture/picture_shrink.h"
#include "picture/pictures.h"

namespace vcdalbum::host {
namespace {

// 3200x2400 in square pixels fills the 352x240 NTSC frame: 10x down, 9.1x
// across. A cosine grating of `cycles` per source pixel, across or down.
OwnedImage Grating(double cycles, bool across) {
    OwnedImage img = OwnedImage::Black(3200, 2400);
    for (uint32_t y = 0; y < img.height(); ++y)
        for (uint32_t x = 0; x < img.width(); ++x) {
            const double t = across ? x : y;
            const auto v = static_cast<unsigned char>(std::lround(128 + 100 * std::cos(2 * std::numbers::pi * cycles * t)));
            unsigned char* p = img.row(y) + 3 * x;
            p[0] = p[1] = p[2] = v;
        }
    return img;
}

// Standard deviation of the green channel inside the frame, away from its
// edges, against the grating's own (100 / sqrt 2).
double KeptAmplitude(const OwnedImage& frame) {
    double sum = 0, squares = 0;
    int n = 0;
    for (uint32_t y = 12; y + 12 < frame.height(); ++y)
        for (uint32_t x = 12; x + 12 < frame.width(); ++x) {
            const double v = frame.row(y)[3 * x + 1];
            sum += v;
            squares += v * v;
            ++n;
        }
    const double mean = sum / n;
    return std::sqrt(squares / n - mean * mean) / (100 / std::sqrt(2.0));
}

TEST(PictureShrinkTest, FineDetailVanishesAndCoarseDetailStays) {
    // The frame's Nyquist frequency is 0.05 cycles per source pixel down and
    // 0.055 across. From 1.5 to 8 times above it, what is left must be under
    // 3 % of the grating: an interpolating scaler folds most of it back as
    // a coarser grating.
    for (const bool across : {true, false})
        for (const double cycles : {0.08, 0.11, 0.17, 0.25, 0.4}) {
            const OwnedImage frame = FitToFrame(Grating(cycles, across).get());
            ASSERT_EQ(frame.width(), 352u);
            ASSERT_EQ(frame.height(), 240u);
            EXPECT_LT(KeptAmplitude(frame), 0.03) << (across ? "across" : "down") << ", " << cycles << " cycles/pixel";
        }
    // At half the Nyquist frequency a grating keeps nearly all its contrast:
    // a blur that removes everything would pass the bound above too.
    for (const bool across : {true, false}) {
        const double cycles = across ? 0.0275 : 0.025;
        EXPECT_GT(KeptAmplitude(FitToFrame(Grating(cycles, across).get())), 0.9) << (across ? "across" : "down");
    }
}

TEST(PictureShrinkTest, FlatPicturesStayFlatUpToTheirEdges) {
    // Weights that do not sum to one, or taps cut off at the border, show as
    // a tint or a dark rim.
    OwnedImage grey = OwnedImage::Black(1001, 777);
    for (uint32_t y = 0; y < grey.height(); ++y)
        for (uint32_t x = 0; x < grey.width(); ++x) {
            unsigned char* p = grey.row(y) + 3 * x;
            p[0] = 30, p[1] = 140, p[2] = 250;
        }
    const OwnedImage small = ShrinkPicture(grey.get(), 97, 61);
    for (uint32_t y = 0; y < small.height(); ++y)
        for (uint32_t x = 0; x < small.width(); ++x) {
            const unsigned char* p = small.row(y) + 3 * x;
            ASSERT_EQ(p[0], 30) << x << "," << y;
            ASSERT_EQ(p[1], 140) << x << "," << y;
            ASSERT_EQ(p[2], 250) << x << "," << y;
        }
}

}  // namespace
}  // namespace vcdalbum::host
