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
    ASSERT_TRUE(ScaleImage(source.image, 350, 239, copy.image));
    EXPECT_TRUE(SamePixels(copy.image, source.image));
    OwnedImage into;  // the same into a picture the caller allocated
    ASSERT_TRUE(vcdalbum::AllocateImage(into.image, 350, 239));
    ASSERT_TRUE(ScalePicture(&source.image, &into.image));
    EXPECT_TRUE(SamePixels(into.image, source.image));
    OwnedImage widest;  // the largest side taken
    ASSERT_TRUE(vcdalbum::AllocateImage(widest.image, 30000, 1));
    EXPECT_TRUE(ScalePicture(&source.image, &widest.image));
}

TEST(PictureScaler, HalvingSamplesEverySecondColumn) {
    OwnedImage source, half;
    MakeCoded(source, 352, 240, kFirst);
    ASSERT_TRUE(ScaleImage(source.image, 176, 120, half.image));
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 176; ++x) ASSERT_EQ(OriginOf(half.image, y, x), (Origin{'F', 2 * y, 2 * x}));
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
    ASSERT_TRUE(AllocateImage(source.image, 352, 240));
    std::mt19937 random(5);
    for (size_t i = 0; i < source.image.imageSize; ++i) source.image.data[i] = static_cast<unsigned char>(random());
    // 341 x 240 is the squeeze at frame 1: output column 340 reads source
    // columns 349..351 and 351 again for its clamped +2 neighbour.
    const struct {
        uint32_t w, h;
    } sizes[] = {{341, 240}, {352, 233}, {170, 116}, {400, 301}, {11, 7}};
    for (const auto size : sizes) {
        OwnedImage out;
        ASSERT_TRUE(ScaleImage(source.image, size.w, size.h, out.image));
        for (int y = 0; y < static_cast<int>(size.h); ++y)
            for (int x = 0; x < static_cast<int>(size.w); ++x)
                for (int b = 0; b < 3; ++b)
                    ASSERT_EQ(PixelAt(out.image, y, x)[b], Direct(source.image, size.w, size.h, y, x, b))
                        << size.w << "x" << size.h << " at " << y << "," << x << " byte " << b;
    }
}

TEST(PictureScaler, OvershootIsCutAt255AndUndershootAt0) {
    // A hard black-to-white edge enlarged: the kernel's negative lobes ring
    // below 0 just before the edge and above 255 just after it. A byte that
    // wrapped instead of being cut would land on the wrong side.
    OwnedImage edge, wide;
    ASSERT_TRUE(AllocateImage(edge.image, 8, 1));
    for (int x = 4; x < 8; ++x) std::memset(edge.image.data + 3 * x, 255, 3);
    ASSERT_TRUE(ScaleImage(edge.image, 29, 1, wide.image));
    const double step = 8.0 / 29;
    for (int x = 0; x < 29; ++x) {
        const double at = x * step;
        if (at < 3) {
            EXPECT_LE(wide.image.data[3 * x], 2) << x;
        } else if (at >= 4) {
            EXPECT_GE(wide.image.data[3 * x], 253) << x;
        }
    }
}

TEST(PictureScaler, RefusesSizesItCannotWriteSafely) {
    OwnedImage source, out;
    MakeCoded(source, 16, 16, kFirst);
    // A side of 0 would fall back to the source's size, which no target of
    // that request could hold.
    EXPECT_FALSE(ScaleImage(source.image, 0, 16, out.image));
    EXPECT_FALSE(ScaleImage(source.image, 16, 0, out.image));
    EXPECT_FALSE(ScaleImage(source.image, 30001, 1, out.image));
    EXPECT_EQ(out.image.data, nullptr);
    Image empty{};
    EXPECT_FALSE(ScaleImage(empty, 16, 16, out.image));

    Image target{};
    target.width = 0;
    target.height = 16;
    unsigned char pixels[16 * 48] = {};
    target.data = pixels;
    EXPECT_FALSE(ScalePicture(&source.image, &target));
}

}  // namespace
}  // namespace vcdalbum::transitions::test
