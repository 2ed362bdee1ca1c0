// Whole-picture and tiled diagonal wipes on a coded 352 x 240 pair.
#include "test_pictures.h"

namespace vcdalbum::transitions::test {
namespace {

using DiagonalWipes = CodedPair;

struct LineCase {
    unsigned effect;
    int frame;
    bool row;  // a row, else a column
    int at;
    const char* runs;
};

void Check(PicturePair& pair, std::initializer_list<LineCase> cases) {
    for (const LineCase& c : cases) {
        OwnedImage out;
        pair.Render(c.effect, c.frame, out);
        EXPECT_EQ(c.row ? RowRuns(out.get(), c.at) : ColumnRuns(out.get(), c.at), c.runs)
            << "effect " << c.effect << " frame " << c.frame << (c.row ? " row " : " column ") << c.at;
    }
}

TEST_F(DiagonalWipes, CornerWipesIncludeOrExcludeTheirEdge) {
    Check(*this, {
                     // a = 170, b = 116, 2ab = 39440
                     {22, 15, true, 0, "S0-340 F341-351"},
                     {22, 15, false, 0, "S0-232 F233-239"},
                     {22, 0, true, 239, "S0-351"},
                     {23, 31, true, 239, "S0-351"},
                     // a = 181, b = 123, 2ab = 44526: first keeps the corner triangle
                     {23, 15, true, 0, "F0-351"},
                     {23, 15, true, 239, "F0-10 S11-351"},
                 });
}

TEST_F(DiagonalWipes, SweepsRunInTwoPhases) {
    Check(*this, {
                     // X = 329, Y = 15
                     {24, 1, true, 0, "F0-328 S329-351"},
                     {24, 1, false, 351, "S0-15 F16-239"},
                     // X = 11, Y = 232
                     {24, 15, true, 0, "F0-10 S11-351"},
                     {24, 15, false, 351, "S0-232 F233-239"},
                     // X = 341, Y = 7: the edge has passed the diagonal
                     {24, 16, false, 0, "S0-6 F7-239"},
                     {24, 16, true, 239, "F0-341 S342-351"},
                     // X = 23, Y = 224
                     {24, 30, false, 0, "S0-223 F224-239"},
                     {24, 30, true, 239, "F0-23 S24-351"},
                     // X = 340, Y = 7, then X = 11, Y = 233
                     {25, 15, false, 0, "F0-6 S7-239"},
                     {25, 15, true, 239, "S0-340 F341-351"},
                     {25, 16, true, 0, "S0-10 F11-351"},
                     {25, 16, false, 351, "F0-233 S234-239"},
                 });
}

// Runs of a line cut in cells of `cell` positions, each cell showing
// `second` where inCell(position in cell) holds.
template <class InCell>
std::string Tiled(int count, int cell, InCell inCell) {
    return Runs(count, [&](int p) { return inCell(p % cell) ? 'S' : 'F'; });
}

TEST_F(DiagonalWipes, TiledWipesRepeatInEveryCell) {
    // Cells of 44 x 30. Frame 15: A = 21.29..., B = 14.51...
    OwnedImage wipe, sweepRight, sweepLeft;
    Render(26, 15, wipe);
    EXPECT_EQ(RowRuns(wipe.get(), 0), Tiled(352, 44, [](int tx) { return tx <= 42; }));
    EXPECT_EQ(RowRuns(wipe.get(), 30), RowRuns(wipe.get(), 0));
    EXPECT_EQ(ColumnRuns(wipe.get(), 0), "S0-239");
    // Frame 1 of the tiled sweeps: a pixel exactly on the edge keeps `first`.
    Render(28, 1, sweepRight);  // X = 41.16..., Y = 1.93...
    EXPECT_EQ(RowRuns(sweepRight.get(), 0), Tiled(352, 44, [](int tx) { return tx >= 42; }));
    Render(29, 1, sweepLeft);  // X = 2.83..., Y = 28.06...
    EXPECT_EQ(ColumnRuns(sweepLeft.get(), 0), Tiled(240, 30, [](int ty) { return ty == 29; }));
}

TEST_F(DiagonalWipes, TiledWipeToTopLeftClosesOverEveryCell) {
    OwnedImage start, end;
    Render(27, 0, start);
    Render(27, 31, end);
    // At frame 0, A = 44 and B = 30: even the far corner of a cell stays
    // below 2AB, so every cell is still `first`.
    EXPECT_TRUE(SamePixels(start.get(), first.get()));
    EXPECT_TRUE(SamePixels(end.get(), second.get()));
}

TEST(DiagonalWipesSmall, PicturesBelowEightPixelsAreOneCell) {
    OwnedImage first, second;
    MakeCoded(first, 7, 5, kFirst);
    MakeCoded(second, 7, 5, kSecond);
    for (unsigned effect = 26; effect <= 29; ++effect) {
        for (int frame = 0; frame <= 30; ++frame) {
            OwnedImage out;
            ASSERT_TRUE(RenderTransition(first.get(), second.get(), effect, frame, out.get()).ok());
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 7; ++x) ASSERT_NE(InPlace(out.get(), y, x), '?');
        }
    }
    // From 8 to 15 pixels a cell is a single pixel, its own top-left corner:
    // once the tiled wipe has begun, every cell shows `second`.
    OwnedImage wideFirst, wideSecond;
    MakeCoded(wideFirst, 12, 9, kFirst);
    MakeCoded(wideSecond, 12, 9, kSecond);
    OwnedImage wipe;
    ASSERT_TRUE(RenderTransition(wideFirst.get(), wideSecond.get(), 26, 15, wipe.get()).ok());
    EXPECT_TRUE(SamePixels(wipe.get(), wideSecond.get()));
}

}  // namespace
}  // namespace vcdalbum::transitions::test
