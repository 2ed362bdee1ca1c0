// Cross-fades and dissolves. The random decisions are replayed from the same
// seed: one std::rand call per decision, in raster order, and no other call.
#include <cstdlib>
#include <functional>

#include "test_pictures.h"

namespace vcdalbum::transitions::test {
namespace {

TEST(Fades, CrossFadeWeighsEachByte) {
    OwnedImage first, second;
    MakeFlat(first, 352, 240, 200);
    MakeFlat(second, 352, 240, 100);
    OwnedImage tenth, start, end;
    ASSERT_TRUE(RenderTransition(first.image, second.image, 14, 10, tenth.image).ok());
    ASSERT_TRUE(RenderTransition(first.image, second.image, 14, 0, start.image).ok());
    ASSERT_TRUE(RenderTransition(first.image, second.image, 14, 30, end.image).ok());
    OwnedImage expected;
    MakeFlat(expected, 352, 240, 166);  // (10 * 100 + 20 * 200) / 30
    EXPECT_TRUE(SamePixels(tenth.image, expected.image));
    EXPECT_TRUE(SamePixels(start.image, first.image));
    EXPECT_TRUE(SamePixels(end.image, second.image));
}

TEST(Fades, NoisyCrossFadeFadesAboutOneFifthFromBlack) {
    OwnedImage first, second;
    MakeFlat(first, 352, 240, 200);
    MakeFlat(second, 352, 240, 100);
    std::srand(7);
    OwnedImage out;
    ASSERT_TRUE(RenderTransition(first.image, second.image, 15, 10, out.image).ok());
    const int after = std::rand();

    std::srand(7);
    int rare = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 352; ++x) {
            const bool fromBlack = (std::rand() & 255) <= 50;
            rare += fromBlack;
            const unsigned char* p = PixelAt(out.image, y, x);
            ASSERT_EQ(p[0], fromBlack ? 33 : 166) << y << "," << x;
            ASSERT_EQ(p[1], p[0]);
            ASSERT_EQ(p[2], p[0]);
        }
    EXPECT_EQ(std::rand(), after);
    EXPECT_NEAR(rare / (352.0 * 240.0), 51.0 / 256.0, 0.01);
}

using Dissolves = CodedPair;

// Renders `effect` at `frame` and checks every pixel: band pixels replay the
// generator, the others must show `passed` ('S') or 'F' as region() says.
void CheckDissolve(PicturePair& pair, unsigned effect, int frame, const std::function<char(int y, int x)>& region) {
    std::srand(11);
    OwnedImage out;
    pair.Render(effect, frame, out);
    const int after = std::rand();
    std::srand(11);
    const Image& image = out.image;
    for (int y = 0; y < static_cast<int>(image.height); ++y)
        for (int x = 0; x < static_cast<int>(image.width); ++x) {
            char expected = region(y, x);
            if (expected == 'B') expected = (std::rand() & 255) <= 50 ? 'S' : 'F';
            ASSERT_EQ(InPlace(image, y, x), expected) << "effect " << effect << " at " << y << "," << x;
        }
    EXPECT_EQ(std::rand(), after) << "effect " << effect << " drew more or fewer numbers than band pixels";
}

TEST_F(Dissolves, BandsLeadTheEdgeAtFrameFifteen) {
    // Top: lo = 108.38..., hi = 116.12...
    CheckDissolve(*this, 34, 15, [](int y, int) { return y <= 108 ? 'S' : y <= 116 ? 'B' : 'F'; });
    CheckDissolve(*this, 35, 15, [](int y, int) { return y <= 123 ? 'F' : y <= 131 ? 'B' : 'S'; });
    CheckDissolve(*this, 36, 15, [](int, int x) { return x <= 158 ? 'S' : x <= 170 ? 'B' : 'F'; });
    // Right: lo = 181.67..., hi = 193.03...
    CheckDissolve(*this, 37, 15, [](int, int x) { return x <= 181 ? 'F' : x <= 193 ? 'B' : 'S'; });
}

TEST_F(Dissolves, FrameZeroDrawsNothing) {
    for (unsigned effect = 34; effect <= 37; ++effect)
        CheckDissolve(*this, effect, 0, [](int, int) { return 'F'; });
}

TEST(DissolvesExact, BandLimitsOnAMultipleOf31Rows) {
    PicturePair pair;
    MakeCoded(pair.first, 352, 248, kFirst);
    MakeCoded(pair.second, 352, 248, kSecond);
    // lo = 128 and hi = 136 exactly.
    CheckDissolve(pair, 35, 15, [](int y, int) { return y < 128 ? 'F' : y < 136 ? 'B' : 'S'; });
}

}  // namespace
}  // namespace vcdalbum::transitions::test
