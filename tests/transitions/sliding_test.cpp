// Pushes, squeezes, slide-ins, the wipe and the corner zooms on a coded
// 352 x 240 pair: at frame 1 b = 11 and r = 7, at 15 b = 170 and r = 116,
// at 30 b = 340 and r = 232.
#include "test_pictures.h"

namespace vcdalbum::transitions::test {
namespace {

using Sliding = CodedPair;

TEST_F(Sliding, PushesMoveBothPicturesAtFrameOne) {
    OwnedImage left, right, top, bottom;
    Render(0, 1, left);
    Render(1, 1, right);
    Render(2, 1, top);
    Render(3, 1, bottom);
    for (int y : {0, 119, 239}) {
        EXPECT_EQ(OriginOf(left.get(), y, 0), (Origin{'S', y, 341}));
        EXPECT_EQ(OriginOf(left.get(), y, 10), (Origin{'S', y, 351}));
        EXPECT_EQ(OriginOf(left.get(), y, 11), (Origin{'F', y, 0}));
        EXPECT_EQ(OriginOf(left.get(), y, 351), (Origin{'F', y, 340}));

        EXPECT_EQ(OriginOf(right.get(), y, 0), (Origin{'F', y, 11}));
        EXPECT_EQ(OriginOf(right.get(), y, 340), (Origin{'F', y, 351}));
        EXPECT_EQ(OriginOf(right.get(), y, 341), (Origin{'S', y, 0}));
        EXPECT_EQ(OriginOf(right.get(), y, 351), (Origin{'S', y, 10}));
    }
    for (int x : {0, 200, 351}) {
        EXPECT_EQ(OriginOf(top.get(), 0, x), (Origin{'S', 233, x}));
        EXPECT_EQ(OriginOf(top.get(), 6, x), (Origin{'S', 239, x}));
        EXPECT_EQ(OriginOf(top.get(), 7, x), (Origin{'F', 0, x}));
        EXPECT_EQ(OriginOf(top.get(), 239, x), (Origin{'F', 232, x}));

        EXPECT_EQ(OriginOf(bottom.get(), 0, x), (Origin{'F', 7, x}));
        EXPECT_EQ(OriginOf(bottom.get(), 232, x), (Origin{'F', 239, x}));
        EXPECT_EQ(OriginOf(bottom.get(), 233, x), (Origin{'S', 0, x}));
        EXPECT_EQ(OriginOf(bottom.get(), 239, x), (Origin{'S', 6, x}));
    }
}

TEST_F(Sliding, SqueezesShowSecondBesideTheRescaledFirst) {
    OwnedImage fromLeft, fromRight, fromTop, fromBottom, narrow, flat;
    Render(4, 1, fromLeft);
    Render(5, 1, fromRight);
    Render(6, 1, fromTop);
    Render(7, 1, fromBottom);
    ASSERT_TRUE(ScaleImage(first.get(), 341, 240, narrow.get()));
    ASSERT_TRUE(ScaleImage(first.get(), 352, 233, flat.get()));
    for (int y = 0; y < 240; ++y) {
        EXPECT_EQ(OriginOf(fromLeft.get(), y, 0), (Origin{'S', y, 341}));
        EXPECT_EQ(OriginOf(fromLeft.get(), y, 10), (Origin{'S', y, 351}));
        ASSERT_EQ(0, std::memcmp(PixelAt(fromLeft.get(), y, 11), PixelAt(narrow.get(), y, 0), 3 * 341)) << y;
        ASSERT_EQ(0, std::memcmp(PixelAt(fromRight.get(), y, 0), PixelAt(narrow.get(), y, 0), 3 * 341)) << y;
        EXPECT_EQ(OriginOf(fromRight.get(), y, 341), (Origin{'S', y, 0}));
    }
    for (int y = 0; y < 7; ++y) {
        EXPECT_EQ(OriginOf(fromTop.get(), y, 5), (Origin{'S', 233 + y, 5}));
        EXPECT_EQ(OriginOf(fromBottom.get(), 233 + y, 5), (Origin{'S', y, 5}));
    }
    for (int y = 0; y < 233; ++y) {
        ASSERT_EQ(0, std::memcmp(PixelAt(fromTop.get(), 7 + y, 0), PixelAt(flat.get(), y, 0), 3 * 352)) << y;
        ASSERT_EQ(0, std::memcmp(PixelAt(fromBottom.get(), y, 0), PixelAt(flat.get(), y, 0), 3 * 352)) << y;
    }
}

TEST_F(Sliding, WipeAndSlideInsAtFrameThirty) {
    OwnedImage wipe, slideLeft, slideTop, slideBottom;
    Render(9, 30, wipe);
    Render(8, 30, slideLeft);
    Render(10, 30, slideTop);
    Render(11, 30, slideBottom);
    for (int y : {0, 239}) EXPECT_EQ(RowRuns(wipe.get(), y), "F0-11 S12-351");
    EXPECT_EQ(OriginOf(slideLeft.get(), 3, 0), (Origin{'S', 3, 12}));
    EXPECT_EQ(OriginOf(slideLeft.get(), 3, 339), (Origin{'S', 3, 351}));
    EXPECT_EQ(RowRuns(slideLeft.get(), 3).substr(RowRuns(slideLeft.get(), 3).rfind(' ') + 1), "F340-351");
    for (int x : {0, 351}) {
        EXPECT_EQ(OriginOf(slideBottom.get(), 7, x), (Origin{'F', 7, x}));
        EXPECT_EQ(OriginOf(slideBottom.get(), 8, x), (Origin{'S', 0, x}));
        EXPECT_EQ(OriginOf(slideBottom.get(), 239, x), (Origin{'S', 231, x}));
        EXPECT_EQ(OriginOf(slideTop.get(), 0, x), (Origin{'S', 8, x}));
        EXPECT_EQ(OriginOf(slideTop.get(), 231, x), (Origin{'S', 239, x}));
        EXPECT_EQ(OriginOf(slideTop.get(), 232, x), (Origin{'F', 232, x}));
    }
}

TEST_F(Sliding, ZoomsGrowAReducedSecondOutOfEachCorner) {
    OwnedImage reduced;
    ASSERT_TRUE(ScaleImage(second.get(), 170, 116, reduced.get()));
    struct Corner {
        unsigned effect;
        int top, left;
    };
    for (const Corner c : {Corner{30, 0, 0}, Corner{31, 0, 182}, Corner{32, 124, 0}, Corner{33, 124, 182}}) {
        OwnedImage out;
        Render(c.effect, 15, out);
        for (int y = 0; y < 240; ++y) {
            const bool rowInside = y >= c.top && y < c.top + 116;
            for (int x = 0; x < 352; ++x) {
                const bool inside = rowInside && x >= c.left && x < c.left + 170;
                const unsigned char* expected =
                    inside ? PixelAt(reduced.get(), y - c.top, x - c.left) : PixelAt(first.get(), y, x);
                ASSERT_EQ(0, std::memcmp(PixelAt(out.get(), y, x), expected, 3))
                    << "effect " << c.effect << " at " << y << "," << x;
            }
        }
    }
}

TEST_F(Sliding, FrameZeroShowsFirstAndTheLastFrameSecond) {
    for (unsigned effect : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 30u, 31u, 32u, 33u}) {
        OwnedImage start, end;
        Render(effect, 0, start);
        Render(effect, 31, end);
        EXPECT_TRUE(SamePixels(start.get(), first.get())) << effect;
        EXPECT_TRUE(SamePixels(end.get(), second.get())) << effect;
    }
}

TEST(SlidingSmall, EmptyZoomAndSqueezeCopiesAreSkipped) {
    // 20 pixels: at frame 1 the zoom copy is 0 x 0; at frame 31 a squeeze
    // leaves no room for `first`. Neither may reach the scaler.
    OwnedImage first, second;
    MakeCoded(first, 20, 20, kFirst);
    MakeCoded(second, 20, 20, kSecond);
    for (unsigned effect : {30u, 31u, 32u, 33u}) {
        OwnedImage out;
        ASSERT_TRUE(RenderTransition(first.get(), second.get(), effect, 1, out.get()).ok());
        EXPECT_TRUE(SamePixels(out.get(), first.get())) << effect;
    }
    for (unsigned effect : {4u, 5u, 6u, 7u}) {
        OwnedImage out;
        ASSERT_TRUE(RenderTransition(first.get(), second.get(), effect, 31, out.get()).ok());
        EXPECT_TRUE(SamePixels(out.get(), second.get())) << effect;
    }
}

}  // namespace
}  // namespace vcdalbum::transitions::test
