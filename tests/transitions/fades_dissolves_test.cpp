// Cross-fades and dissolves. The random decisions are replayed from the
// frame's own generator: one byte per decision, in raster order.
#include <functional>

#include "test_pictures.h"
#include "transitions/frame_random.h"

namespace vcdalbum::transitions::test {
namespace {

TEST(Fades, CrossFadeWeighsEachByte) {
    OwnedImage first, second;
    MakeFlat(first, 352, 240, 200);
    MakeFlat(second, 352, 240, 100);
    OwnedImage tenth, start, end;
    ASSERT_TRUE(RenderTransition(first.get(), second.get(), 14, 10, tenth.get()).ok());
    ASSERT_TRUE(RenderTransition(first.get(), second.get(), 14, 0, start.get()).ok());
    ASSERT_TRUE(RenderTransition(first.get(), second.get(), 14, 30, end.get()).ok());
    OwnedImage expected;
    MakeFlat(expected, 352, 240, 166);  // (10 * 100 + 20 * 200) / 30
    EXPECT_TRUE(SamePixels(tenth.get(), expected.get()));
    EXPECT_TRUE(SamePixels(start.get(), first.get()));
    EXPECT_TRUE(SamePixels(end.get(), second.get()));
}

TEST(Fades, NoisyCrossFadeFadesAboutOneFifthFromBlack) {
    OwnedImage first, second;
    MakeFlat(first, 352, 240, 200);
    MakeFlat(second, 352, 240, 100);
    OwnedImage out;
    ASSERT_TRUE(RenderTransition(first.get(), second.get(), 15, 10, out.get()).ok());

    FrameRandom random(PictureSeed(first.get(), second.get()), 15, 10);
    int rare = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 352; ++x) {
            const bool fromBlack = random.Rare();
            rare += fromBlack;
            const unsigned char* p = PixelAt(out.get(), y, x);
            ASSERT_EQ(p[0], fromBlack ? 33 : 166) << y << "," << x;
            ASSERT_EQ(p[1], p[0]);
            ASSERT_EQ(p[2], p[0]);
        }
    EXPECT_NEAR(rare / (352.0 * 240.0), 51.0 / 256.0, 0.01);
}

using Dissolves = CodedPair;

// Renders `effect` at `frame` and checks every pixel: band pixels replay the
// generator, the others must show `passed` ('S') or 'F' as region() says.
void CheckDissolve(PicturePair& pair, unsigned effect, int frame, const std::function<char(int y, int x)>& region) {
    OwnedImage out;
    pair.Render(effect, frame, out);
    FrameRandom random(PictureSeed(pair.first.get(), pair.second.get()), effect, frame);
    const Image& image = out.get();
    for (int y = 0; y < static_cast<int>(image.height); ++y)
        for (int x = 0; x < static_cast<int>(image.width); ++x) {
            char expected = region(y, x);
            if (expected == 'B') expected = random.Rare() ? 'S' : 'F';
            ASSERT_EQ(InPlace(image, y, x), expected) << "effect " << effect << " at " << y << "," << x;
        }
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

// A frame's pattern follows from its own arguments: rendering other frames,
// effects or pictures first changes nothing.
TEST_F(Dissolves, APatternDependsOnItsOwnArgumentsNotOnEarlierRenders) {
    for (unsigned effect : {15u, 34u, 37u}) {
        OwnedImage alone, again;
        Render(effect, 12, alone);
        for (int frame = 1; frame <= 30; ++frame) {
            OwnedImage other, swapped;
            Render(effect, frame, other);
            ASSERT_TRUE(RenderTransition(second.get(), first.get(), effect, frame, swapped.get()).ok());
        }
        Render(effect, 12, again);
        EXPECT_TRUE(SamePixels(alone.get(), again.get())) << "effect " << effect;
    }
}

// ... and the noise moves from frame to frame instead of standing still.
TEST(Fades, NoisyCrossFadeDrawsAFreshPatternEachFrame) {
    OwnedImage first, second, twelve, thirteen;
    MakeFlat(first, 352, 240, 200);
    MakeFlat(second, 352, 240, 100);
    ASSERT_TRUE(RenderTransition(first.get(), second.get(), 15, 12, twelve.get()).ok());
    ASSERT_TRUE(RenderTransition(first.get(), second.get(), 15, 13, thirteen.get()).ok());
    int bothFromBlack = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 352; ++x)
            bothFromBlack += PixelAt(twelve.get(), y, x)[0] == 40 && PixelAt(thirteen.get(), y, x)[0] == 43;
    // Independent draws agree on about (51/256)^2 of the pixels, not 51/256.
    EXPECT_NEAR(bothFromBlack / (352.0 * 240.0), (51.0 / 256.0) * (51.0 / 256.0), 0.01);
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
