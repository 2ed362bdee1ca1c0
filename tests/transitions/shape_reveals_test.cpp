// Blinds, splits, boxes and irises on a coded 352 x 240 pair: which columns
// and rows show `second` in place.
#include "test_pictures.h"

namespace vcdalbum::transitions::test {
namespace {

using ShapeReveals = CodedPair;

// Runs of a line where position p shows `second` when open(p).
template <class Open>
std::string Expected(int count, Open open) {
    return Runs(count, [&](int p) { return open(p) ? 'S' : 'F'; });
}

TEST_F(ShapeReveals, VerticalBlindsOpenEachStripFromItsMiddle) {
    OwnedImage one, fifteen, thirty;
    Render(12, 1, one);
    Render(12, 15, fifteen);
    Render(12, 30, thirty);
    // Strips of 35 columns; columns 350 and 351 form a short eleventh strip.
    EXPECT_EQ(RowRuns(one.get(), 0), "F0-351");
    const std::string at15 = Expected(352, [](int x) { return x < 350 && x % 35 >= 10 && x % 35 <= 25; });
    const std::string at30 = Expected(352, [](int x) { return x < 350 && x % 35 >= 2 && x % 35 <= 33; });
    for (int y : {0, 120, 239}) {
        EXPECT_EQ(RowRuns(fifteen.get(), y), at15);
        EXPECT_EQ(RowRuns(thirty.get(), y), at30);
    }
    EXPECT_EQ(RowRuns(thirty.get(), 0).substr(0, 11), "F0-1 S2-33 ");
}

TEST_F(ShapeReveals, HorizontalBlindsOpenRowStrips) {
    OwnedImage out;
    Render(13, 15, out);
    // Strips of 24 rows: d = 11, h = 6, so positions 7..17 are open.
    const std::string expected = Expected(240, [](int y) { return y % 24 >= 7 && y % 24 <= 17; });
    for (int x : {0, 351}) EXPECT_EQ(ColumnRuns(out.get(), x), expected);
}

TEST_F(ShapeReveals, SplitsMoveInWholeStepsOfTheTruncatedUnit) {
    const struct {
        unsigned effect;
        int frame;
        const char* row;
    } cases[] = {
        {16, 0, "F0-175 S176-176 F177-351"},
        {16, 1, "F0-170 S171-181 F182-351"},
        {16, 30, "F0-10 S11-341 F342-351"},
        {17, 1, "S0-17 F18-334 S335-351"},
        {17, 29, "S0-171 F172-180 S181-351"},
        {17, 30, "S0-351"},
    };
    for (const auto& c : cases) {
        OwnedImage out;
        Render(c.effect, c.frame, out);
        EXPECT_EQ(RowRuns(out.get(), 0), c.row) << "effect " << c.effect << " frame " << c.frame;
        EXPECT_EQ(RowRuns(out.get(), 239), c.row) << "effect " << c.effect << " frame " << c.frame;
    }
}

TEST_F(ShapeReveals, BoxesUseInclusiveOpeningAndExclusiveClosingBounds) {
    OwnedImage open, close;
    Render(20, 15, open);
    Render(21, 15, close);
    // h = 82, j = 52 around the centre (176, 120).
    EXPECT_EQ(RowRuns(open.get(), 120), "F0-93 S94-258 F259-351");
    EXPECT_EQ(RowRuns(open.get(), 67), "F0-351");
    EXPECT_EQ(ColumnRuns(open.get(), 176), "F0-67 S68-172 F173-239");
    EXPECT_EQ(RowRuns(close.get(), 120), "S0-94 F95-257 S258-351");
    EXPECT_EQ(RowRuns(close.get(), 68), "S0-351");
    EXPECT_EQ(ColumnRuns(close.get(), 176), "S0-68 F69-171 S172-239");
}

TEST_F(ShapeReveals, IrisAtFrameFifteen) {
    // p = 2, g = 10, a = 12, b = 8, m = 9216.
    OwnedImage open, close;
    Render(18, 15, open);
    Render(19, 15, close);
    EXPECT_EQ(RowRuns(open.get(), 120), "F0-55 S56-296 F297-351");
    EXPECT_EQ(ColumnRuns(open.get(), 176), "F0-39 S40-200 F201-239");
    EXPECT_EQ(RowRuns(close.get(), 120), "S0-55 F56-296 S297-351");
    EXPECT_EQ(ColumnRuns(close.get(), 176), "S0-39 F40-200 S201-239");
    EXPECT_EQ(InPlace(open.get(), 0, 0), 'F');
}

TEST_F(ShapeReveals, IrisWithAZeroSemiAxisIsEmpty) {
    // Frame 1 of the opening and frame 30 of the closing reduce a semi-axis to
    // 0; the iris must not flash the wrong picture over the whole frame.
    OwnedImage opening, closing;
    Render(18, 1, opening);
    Render(19, 30, closing);
    EXPECT_TRUE(SamePixels(opening.get(), first.get()));
    EXPECT_TRUE(SamePixels(closing.get(), second.get()));
    // On a wide strip only the short semi-axis is 0 at frame 2 (a = 1, b = 0).
    OwnedImage wideFirst, wideSecond, strip;
    MakeCoded(wideFirst, 352, 60, kFirst);
    MakeCoded(wideSecond, 352, 60, kSecond);
    ASSERT_TRUE(RenderTransition(wideFirst.get(), wideSecond.get(), 18, 2, strip.get()).ok());
    EXPECT_TRUE(SamePixels(strip.get(), wideFirst.get()));
}

TEST(ShapeRevealsSmall, BlindsOnPicturesBelowTenPixelsOpenAsOneStrip) {
    OwnedImage first, second;
    MakeCoded(first, 9, 9, kFirst);
    MakeCoded(second, 9, 9, kSecond);
    OwnedImage vertical, horizontal;
    ASSERT_TRUE(RenderTransition(first.get(), second.get(), 12, 15, vertical.get()).ok());
    ASSERT_TRUE(RenderTransition(first.get(), second.get(), 13, 15, horizontal.get()).ok());
    // s = 9, d = 4, h = 2.
    EXPECT_EQ(RowRuns(vertical.get(), 4), "F0-2 S3-6 F7-8");
    EXPECT_EQ(ColumnRuns(horizontal.get(), 4), "F0-2 S3-6 F7-8");
}

}  // namespace
}  // namespace vcdalbum::transitions::test
