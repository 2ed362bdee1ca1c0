// The bicubic scaler: exact samples where the fraction is 0, clamped
// neighbours at the borders, and outputs cut to 0..255.
#include <cmath>
#include <random>

#include "test_pictures.h"
#include "transitions/picture_scaler.h"

namespace vcdalbum::transitions::test {
namespace {

TEST(PictureScaler, SameSizeCopiesExactlyEvenWithPaddedRows) {
    OwnedImage source, copy;
    MakeCoded(source, 350, 239, kFirst);  // rows of 1,052 bytes, two of them padding
    ASSERT_TRUE(ScaleImage(source.get(), 350, 239, copy.get()));
    EXPECT_TRUE(SamePixels(copy.get(), source.get()));
    OwnedImage into;  // the same into a picture the caller allocated
    ASSERT_TRUE(vcdalbum::AllocateImage(into.get(), 350, 239));
    ASSERT_TRUE(ScalePicture(&source.get(), &into.get()));
    EXPECT_TRUE(SamePixels(into.get(), source.get()));
    OwnedImage widest;  // the largest side taken
    ASSERT_TRUE(vcdalbum::AllocateImage(widest.get(), 30000, 1));
    EXPECT_TRUE(ScalePicture(&source.get(), &widest.get()));
}

TEST(PictureScaler, HalvingSamplesEverySecondColumn) {
    OwnedImage source, half;
    MakeCoded(source, 352, 240, kFirst);
    ASSERT_TRUE(ScaleImage(source.get(), 176, 120, half.get()));
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 176; ++x) ASSERT_EQ(OriginOf(half.get(), y, x), (Origin{'F', 2 * y, 2 * x}));
}

// The kernel evaluated directly, 4 x 4 source pixels per output byte.
unsigned char Direct(const Image& source, uint32_t dw, uint32_t dh, int y, int x, int b) {
    const double fx = dw * 100.0 / source.width / 100, fy = dh * 100.0 / source.height / 100;
    const double sx = x * (1 / fx), sy = y * (1 / fy);
    const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
    auto weights = [](double t, double w[4]) {
        w[0] = -t * t * t + 2 * t * t - t;
        w[1] = t * t * t - 2 * t * t + 1;
        w[2] = -t * t * t + t * t + t;
        w[3] = t * t * t - t * t;
    };
    double wx[4], wy[4];
    weights(sx - x0, wx);
    weights(sy - y0, wy);
    auto clampTo = [](int v, int last) { return v < 0 ? 0 : v > last ? last : v; };
    double v = 0;
    for (int i = 0; i < 4; ++i) {
        const int row = clampTo(y0 - 1 + i, static_cast<int>(source.height) - 1);
        double s = 0;
        for (int j = 0; j < 4; ++j)
            s += wx[j] * PixelAt(source, row, clampTo(x0 - 1 + j, static_cast<int>(source.width) - 1))[b];
        v += wy[i] * s;
    }
    return static_cast<unsigned char>(v <= 0 ? 0 : v >= 255 ? 255 : v);
}

TEST(PictureScaler, MatchesTheDirectKernelIncludingClampedBorders) {
    OwnedImage source;
    ASSERT_TRUE(AllocateImage(source.get(), 352, 240));
    std::mt19937 random(5);
    for (size_t i = 0; i < source.get().imageSize; ++i) source.get().data[i] = static_cast<unsigned char>(random());
    // 341 x 240 is the squeeze at frame 1: output column 340 reads source
    // columns 349..351 and 351 again for its clamped +2 neighbour.
    const struct {
        uint32_t w, h;
    } sizes[] = {{341, 240}, {352, 233}, {170, 116}, {400, 301}, {11, 7}};
    for (const auto size : sizes) {
        OwnedImage out;
        ASSERT_TRUE(ScaleImage(source.get(), size.w, size.h, out.get()));
        for (int y = 0; y < static_cast<int>(size.h); ++y)
            for (int x = 0; x < static_cast<int>(size.w); ++x)
                for (int b = 0; b < 3; ++b)
                    ASSERT_EQ(PixelAt(out.get(), y, x)[b], Direct(source.get(), size.w, size.h, y, x, b))
                        << size.w << "x" << size.h << " at " << y << "," << x << " byte " << b;
    }
}

TEST(PictureScaler, OvershootIsCutAt255AndUndershootAt0) {
    // A hard black-to-white edge enlarged: the kernel's negative lobes ring
    // below 0 just before the edge and above 255 just after it. A byte that
    // wrapped instead of being cut would land on the wrong side.
    OwnedImage edge, wide;
    ASSERT_TRUE(AllocateImage(edge.get(), 8, 1));
    for (int x = 4; x < 8; ++x) std::memset(edge.get().data + 3 * x, 255, 3);
    ASSERT_TRUE(ScaleImage(edge.get(), 29, 1, wide.get()));
    const double step = 8.0 / 29;
    for (int x = 0; x < 29; ++x) {
        const double at = x * step;
        if (at < 3) {
            EXPECT_LE(wide.get().data[3 * x], 2) << x;
        } else if (at >= 4) {
            EXPECT_GE(wide.get().data[3 * x], 253) << x;
        }
    }
}

TEST(PictureScaler, RefusesSizesItCannotWriteSafely) {
    OwnedImage source, out;
    MakeCoded(source, 16, 16, kFirst);
    // A side of 0 would fall back to the source's size, which no target of
    // that request could hold.
    EXPECT_FALSE(ScaleImage(source.get(), 0, 16, out.get()));
    EXPECT_FALSE(ScaleImage(source.get(), 16, 0, out.get()));
    EXPECT_FALSE(ScaleImage(source.get(), 30001, 1, out.get()));
    EXPECT_EQ(out.get().data, nullptr);
    Image empty{};
    EXPECT_FALSE(ScaleImage(empty, 16, 16, out.get()));

    Image target{};
    target.width = 0;
    target.height = 16;
    unsigned char pixels[16 * 48] = {};
    target.data = pixels;
    EXPECT_FALSE(ScalePicture(&source.get(), &target));
}

}  // namespace
}  // namespace vcdalbum::transitions::test
