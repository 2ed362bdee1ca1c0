// A long album of hard pictures with random transitions, as a new user
// would make one: 40 pictures of fine grain and high-contrast detail, 5 s
// each. It takes a while, so it carries the label "slow".
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "stream/stream_test_support.h"
#include "vbv_model.h"
#include "vcdalbum/transitions.h"

namespace {

class SlowAlbum : public vcdalbum::testing::StreamTest {};

TEST_F(SlowAlbum, FortyHardPicturesWithRandomTransitionsKeepTheRateBuffer) {
    std::vector<std::string> pictures;
    std::vector<unsigned short> effects;
    std::mt19937 random(18);
    for (int i = 0; i < 40; ++i) {
        const std::string name = "p" + std::to_string(i) + ".jpg";
        MakeHardPicture(name, 352, 240, 1 + i % 4, 3 * i);
        pictures.push_back(Path(name));
        if (i > 0) effects.push_back(static_cast<unsigned short>(random() % vcdalbum::TransitionEffectCount));
    }
    const std::string out = EncodeAlbum(2, pictures, effects, 5);
    const vcdalbum::components::stream::VbvReport report = vcdalbum::components::stream::CheckVbvFile(out);
    EXPECT_TRUE(report.ok()) << report.Describe();
    EXPECT_GE(report.pictures, 40 * 149 + 39 * 30);
    EXPECT_EQ(vcdalbum::testing::g_underflowMessages, 0);
    std::printf("lowest buffer content: %.0f bits\n", report.lowestBits);
}

}  // namespace
