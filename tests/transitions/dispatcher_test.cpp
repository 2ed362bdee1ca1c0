// The dispatcher: effect table, the result record, pictures of other sizes
// and strides, and frames or effects outside the drawn range.
#include <vector>

#include "test_pictures.h"

namespace vcdalbum::transitions::test {
namespace {

using Dispatcher = CodedPair;

TEST(EffectTable, NamesAndLastFramesByNumber) {
    const std::vector<std::string> names = TransitionEffectNames();
    ASSERT_EQ(names.size(), 38u);
    EXPECT_EQ(names[0], "PushFromLeft");
    EXPECT_EQ(names[14], "CrossFade");
    EXPECT_EQ(names[22], "DiagonalWipeFromTopLeft");
    EXPECT_EQ(names[30], "ZoomFromTopLeft");
    EXPECT_EQ(names[37], "DissolveFromRight");
    EXPECT_STREQ(TransitionEffectName(18), "IrisOpen");
    EXPECT_EQ(TransitionEffectName(38), nullptr);
    EXPECT_EQ(TransitionLastFrame(0), 31);
    EXPECT_EQ(TransitionLastFrame(14), 30);
    EXPECT_EQ(TransitionLastFrame(24), 30);
    EXPECT_EQ(TransitionLastFrame(38), -1);
}

TEST_F(Dispatcher, ResultTakesSecondsFieldsAndItsOwnBufferSize) {
    second.get().reserved1 = 77;
    second.get().reserved2 = 5;
    second.get().heightCopy = 240;
    OwnedImage out;
    Render(0, 30, out);
    EXPECT_EQ(out.get().width, 352u);
    EXPECT_EQ(out.get().height, 240u);
    EXPECT_EQ(out.get().imageSize, 253440u);
    EXPECT_EQ(out.get().reserved1, 77u);
    EXPECT_EQ(out.get().reserved2, 5u);
    EXPECT_EQ(out.get().headerSize, 40u);
    // 30 * 352 / 31 = 340 columns of `second`, 12 of `first`.
    EXPECT_EQ(OriginOf(out.get(), 0, 339), (Origin{'S', 0, 351}));
    EXPECT_EQ(OriginOf(out.get(), 0, 340), (Origin{'F', 0, 0}));
}

TEST_F(Dispatcher, UnknownEffectShowsFirst) {
    OwnedImage out;
    const TransitionResult r = RenderTransition(first.get(), second.get(), 38, 15, out.get());
    EXPECT_EQ(r.code, kTransitionUnknownEffect);
    EXPECT_TRUE(SamePixels(out.get(), first.get()));
}

TEST_F(Dispatcher, FramesOutsideTheRangeShowTheLimitPictures) {
    for (unsigned effect = 0; effect < 38; ++effect) {
        OwnedImage before, after;
        Render(effect, -1, before);
        Render(effect, TransitionLastFrame(effect) + 1, after);
        EXPECT_TRUE(SamePixels(before.get(), first.get())) << effect;
        EXPECT_TRUE(SamePixels(after.get(), second.get())) << effect;
    }
}

TEST_F(Dispatcher, FirstOfAnotherSizeIsRescaledToSeconds) {
    OwnedImage small, fitted, out;
    MakeCoded(small, 176, 100, kFirst);
    ASSERT_TRUE(ScaleImage(small.get(), 352, 240, fitted.get()));
    ASSERT_TRUE(RenderTransition(small.get(), second.get(), 14, 0, out.get()).ok());
    EXPECT_TRUE(SamePixels(out.get(), fitted.get()));
    OwnedImage wipe;
    ASSERT_TRUE(RenderTransition(small.get(), second.get(), 9, 30, wipe.get()).ok());
    EXPECT_EQ(0, std::memcmp(PixelAt(wipe.get(), 239, 0), PixelAt(fitted.get(), 239, 0), 36));
}

TEST(DispatcherSizes, RowsAreAddressedByTheirPaddedStride) {
    // 350 pixels make rows of 1,052 bytes: reading rows of 1,050 would drift
    // by two bytes a row and mix padding into the pixels.
    PicturePair pair;
    MakeCoded(pair.first, 350, 239, kFirst);
    MakeCoded(pair.second, 350, 239, kSecond);
    const std::vector<unsigned> resized = {4, 5, 6, 7, 14, 15, 30, 31, 32, 33};
    for (unsigned effect = 0; effect < 38; ++effect) {
        if (std::find(resized.begin(), resized.end(), effect) != resized.end()) continue;
        for (int frame : {1, 15, 30}) {
            OwnedImage out;
            pair.Render(effect, frame, out);
            for (int y = 0; y < 239; ++y)
                for (int x = 0; x < 350; ++x) {
                    const Origin o = OriginOf(out.get(), y, x);
                    ASSERT_TRUE(o.picture != '?' && o.y < 239 && o.x < 350)
                        << "effect " << effect << " frame " << frame << " at " << y << "," << x;
                }
            EXPECT_EQ(PixelAt(out.get(), 0, 350)[0], 0) << "padding of effect " << effect;
        }
    }
}

TEST(DispatcherSizes, TinyAndOddPicturesRenderEveryEffectAndFrame) {
    const struct {
        uint32_t w, h;
    } sizes[] = {{1, 1}, {3, 2}, {9, 7}, {31, 31}, {33, 11}};
    for (const auto size : sizes) {
        PicturePair pair;
        MakeCoded(pair.first, size.w, size.h, kFirst);
        MakeCoded(pair.second, size.w, size.h, kSecond);
        for (unsigned effect = 0; effect < 38; ++effect)
            for (int frame = 0; frame <= 31; ++frame) {
                OwnedImage out;
                const TransitionResult r = RenderTransition(pair.first.get(), pair.second.get(), effect, frame, out.get());
                ASSERT_TRUE(r.ok()) << size.w << "x" << size.h << " effect " << effect << " frame " << frame;
            }
    }
}

TEST(DispatcherInput, RefusesPicturesWithoutPixels) {
    OwnedImage good, out;
    MakeCoded(good, 8, 8, kFirst);
    Image empty{};
    EXPECT_EQ(RenderTransition(empty, good.get(), 0, 1, out.get()).code, kTransitionBadPicture);
    Image noPixels = good.get();
    noPixels.data = nullptr;
    EXPECT_EQ(RenderTransition(good.get(), noPixels, 0, 1, out.get()).code, kTransitionBadPicture);
    EXPECT_EQ(out.get().data, nullptr);
}

}  // namespace
}  // namespace vcdalbum::transitions::test
