// Albums as hard as pictures get for the rate buffer: camera-sized photos
// of fine grain and high-contrast detail, every transition effect between
// the two most detailed pictures with a held picture after each. The
// player's buffer must never run dry, and the encoder must never have to
// code anything at a size it cannot afford.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stream/stream_test_support.h"
#include "vbv_model.h"
#include "vcdalbum/transitions.h"
#include "contract/vrxstream.h"

namespace {

using vcdalbum::testing::ExpectRateBufferKept;
using vcdalbum::testing::g_underflowMessages;

class HardAlbum : public vcdalbum::testing::StreamTest {};

TEST_F(HardAlbum, EveryEffectBetweenTheTwoMostDetailedPicturesWithAHeldPictureAfterEach) {
    // 352x240, as the vcdalbum tool hands pictures to the library.
    MakeHardPicture("a.jpg", 352, 240, 2, 1);
    MakeHardPicture("b.jpg", 352, 240, 1, 7);
    std::vector<std::string> pictures;
    std::vector<unsigned short> effects;
    for (int e = 0; e < vcdalbum::TransitionEffectCount; ++e) {
        pictures.push_back(Path(e % 2 ? "b.jpg" : "a.jpg"));
        effects.push_back(static_cast<unsigned short>(e));
    }
    pictures.push_back(Path("a.jpg"));
    const std::string out = EncodeAlbum(4, pictures, effects, 1);
    ExpectRateBufferKept(out);
    EXPECT_EQ(g_underflowMessages, 0);
    EXPECT_GE(vcdalbum::components::stream::CheckVbvFile(out).pictures, 39 * 30 + 38 * 30);
}

TEST_F(HardAlbum, CameraSizedGrainyPhotosAfterFfmpegTransitions) {
    // Straight to the encoder: 12-megapixel photos, fitted by the encoder,
    // and 30-frame runs of ffmpeg's dissolve, wipe and pixelize between them.
    const char* kinds[] = {"dissolve", "wipeleft", "pixelize"};
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) {
        MakeHardPicture("photo" + std::to_string(i) + ".jpg", 3000, 2000, 10 + 3 * i, 11 * i);
        Ffmpeg("-i '" + Path("photo" + std::to_string(i) + ".jpg") + "' -vf scale=352:240 '" +
               Path("small" + std::to_string(i) + ".png") + "'");
    }
    for (int i = 0; i < 4; ++i) {
        names.push_back(Path("photo" + std::to_string(i) + ".jpg"));
        if (i == 3) break;
        Ffmpeg("-loop 1 -i '" + Path("small" + std::to_string(i) + ".png") + "' -loop 1 -i '" +
               Path("small" + std::to_string(i + 1) + ".png") + "' -filter_complex \"[0][1]xfade=transition=" + kinds[i] +
               ":duration=1:offset=0,select='between(n,1,30)'\" -vsync 0 -frames 30 -start_number 1 '" +
               Path(std::to_string(20 + i) + "-%d.jpg") + "'");
        for (int k = 1; k <= 30; ++k) names.push_back(Path(std::to_string(20 + i) + "-" + std::to_string(k) + ".jpg"));
    }
    const std::string out = Path("camera.mpg");
    ASSERT_EQ(EncodeStream(names, 2, out), kVrxStreamOk);
    ExpectRateBufferKept(out);
    EXPECT_EQ(g_underflowMessages, 0);
}

TEST_F(HardAlbum, ScatteredDotsDrainTheBufferBeforeADenseHeldPicture) {
    // Each transition frame is a new field of scattered dots, sparse enough
    // to pass as ordinary detail yet as dear as noise to code; the picture
    // held after them is denser still. The encoder's rate control alone
    // lets the buffer run dry here; the finished stream must not.
    Ffmpeg("-f lavfi -i testsrc2=s=352x240 -frames 1 '" + Path("first.jpg") + "'");
    Ffmpeg("-f lavfi -i \"nullsrc=s=352x240,geq=lum='16+219*gt(random(1)\\,0.965)':cb=128:cr=128\" -frames 30 -q:v 2 "
           "-start_number 1 '" + Path("5-%d.jpg") + "'");
    Ffmpeg("-f lavfi -i \"nullsrc=s=352x240,format=gbrp,geq=r='255*gt(random(4)\\,0.95)':g='255*gt(random(5)\\,0.95)':"
           "b='255*gt(random(6)\\,0.95)'\" -frames 1 -q:v 2 '" + Path("held.jpg") + "'");
    std::vector<std::string> names{Path("first.jpg")};
    for (int k = 1; k <= 30; ++k) names.push_back(Path("5-" + std::to_string(k) + ".jpg"));
    names.push_back(Path("held.jpg"));
    const std::string out = Path("dots.mpg");
    ASSERT_EQ(EncodeStream(names, 2, out), kVrxStreamOk);
    ExpectRateBufferKept(out);
}

}  // namespace
