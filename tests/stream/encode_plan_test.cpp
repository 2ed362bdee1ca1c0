// How the component reads a record: display times, transition runs, the
// minimum length.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "encode_plan.h"
#include "contract/component_codes.h"

namespace {

using vcdalbum::components::stream::MakePlan;

struct Record {
    std::vector<std::string> names;
    std::vector<char*> pointers;
    std::vector<float> times;
    StreamInfo info{};

    Record(std::vector<std::string> n, float time, uint16_t option5) : names(std::move(n)) {
        for (std::string& s : names) pointers.push_back(s.data());
        pointers.push_back(nullptr);
        times.assign(names.size(), time);
        info.pictureFiles = pointers.data();
        info.pictureCount = static_cast<int32_t>(names.size());
        info.pictureTimes = times.data();
        info.option5 = option5;
    }
};

std::vector<std::string> FrameRun(const std::string& dir, int serial, int from = 1, int to = 30) {
    std::vector<std::string> out;
    for (int k = from; k <= to; ++k) out.push_back(dir + "/" + std::to_string(serial) + "-" + std::to_string(k) + ".jpg");
    return out;
}

std::vector<int64_t> Frames(const vcdalbum::components::stream::EncodePlan& plan) {
    std::vector<int64_t> out;
    for (const auto& p : plan.pictures) out.push_back(p.frames);
    return out;
}

TEST(EncodePlan, AlbumHoldsPicturesAndPlaysTransitionsFrameByFrame) {
    std::vector<std::string> names{"/a/x.jpg"};
    for (auto& n : FrameRun("/t", 4)) names.push_back(n);
    names.push_back("/a/y.jpg");
    Record r(names, 1.0f / 30, 3);
    auto plan = MakePlan(r.info);
    ASSERT_EQ(plan.pictures.size(), 32u);
    // 3 s + 30 frames + 3 s on the 30000/1001 grid, with no drift.
    EXPECT_EQ(plan.pictures[0].frames, 90);
    for (int i = 1; i <= 30; ++i) EXPECT_EQ(plan.pictures[i].frames, 1);
    EXPECT_EQ(plan.totalFrames, std::llround((6.0) * 30000 / 1001) + 30);
}

TEST(EncodePlan, OnlyHeldAlbumPicturesMove) {
    std::vector<std::string> names{"/a/x.jpg"};
    for (auto& n : FrameRun("/t", 4)) names.push_back(n);
    names.push_back("/a/y.jpg");
    names.push_back("/a/z.jpg");
    std::vector<std::string> sourceNames(names.size(), "/big/source.jpg");
    std::vector<char*> sources;
    for (auto& n : sourceNames) sources.push_back(n.data());
    sources[32] = nullptr;  // z is held still
    std::vector<uint32_t> seeds(names.size(), 0);
    seeds[31] = 42;
    const StreamMotion motion{sources.data(), seeds.data()};

    Record album(names, 1.0f / 30, 3);
    auto plan = MakePlan(album.info, &motion);
    ASSERT_EQ(plan.pictures.size(), names.size());
    EXPECT_EQ(plan.pictures[0].source, "/big/source.jpg");
    for (int i = 1; i <= 30; ++i) EXPECT_TRUE(plan.pictures[i].source.empty()) << i;
    EXPECT_EQ(plan.pictures[31].source, "/big/source.jpg");
    EXPECT_EQ(plan.pictures[31].seed, 42u);
    EXPECT_TRUE(plan.pictures[32].source.empty());
    EXPECT_EQ(Frames(plan), Frames(MakePlan(album.info)));  // motion never changes the timing

    Record menu(names, 0.5f, 0);
    for (const auto& p : MakePlan(menu.info, &motion).pictures) EXPECT_TRUE(p.source.empty());
}

// PAL counts on its own 25-frame grid: a transition keeps its 30 frames
// (1.2 s), and the minimum length is 3.2 s of PAL frames. Only option6 625
// asks for PAL; any other value a host passed before PAL existed stays NTSC.
TEST(EncodePlan, PalRecordCountsOnTheTwentyFiveFrameGrid) {
    std::vector<std::string> names{"/a/x.jpg"};
    for (auto& n : FrameRun("/t", 4)) names.push_back(n);
    names.push_back("/a/y.jpg");
    Record r(names, 1.0f / 30, 3);
    r.info.option6 = 625;
    auto plan = MakePlan(r.info);
    EXPECT_EQ(plan.standard->height, 288);
    ASSERT_EQ(plan.pictures.size(), 32u);
    EXPECT_EQ(plan.pictures[0].frames, 75);
    EXPECT_EQ(plan.pictures[1].frames, 1);
    EXPECT_EQ(plan.totalFrames, 180);

    Record shortOne({"/a/x.jpg"}, 1.0f, 0);
    shortOne.info.option6 = 625;
    EXPECT_EQ(MakePlan(shortOne.info).totalFrames, 80);
    shortOne.info.option6 = 1;
    EXPECT_EQ(MakePlan(shortOne.info).standard->height, 240);
    EXPECT_EQ(MakePlan(shortOne.info).totalFrames, 96);
}

TEST(EncodePlan, OnlyCompleteRunsInOneDirectoryAreTransitions) {
    std::vector<std::string> names = FrameRun("/t", 1, 1, 29);  // one frame short
    auto mixed = FrameRun("/t", 2);
    mixed[10] = "/other/2-11.jpg";  // a different directory breaks the run
    names.insert(names.end(), mixed.begin(), mixed.end());
    Record r(names, 1.0f / 30, 3);
    auto plan = MakePlan(r.info);
    for (const auto& p : plan.pictures) EXPECT_GT(p.frames, 1) << p.path;

    std::string dir, bad;
    long long serial = 0;
    int k = 0;
    EXPECT_TRUE(vcdalbum::components::stream::ParseTransitionFrameName("C:\\T\\12-30.jpg", dir, serial, k));
    EXPECT_EQ(serial, 12);
    EXPECT_EQ(k, 30);
    for (const char* name : {"/t/1-31.jpg", "/t/1-0.jpg", "/t/x-1.jpg", "/t/1-1.png", "/t/-1.jpg", "/t/1-01.jpg"})
        EXPECT_FALSE(vcdalbum::components::stream::ParseTransitionFrameName(name, dir, serial, k)) << name;

    // Every name the library gives a frame file is read back as that frame.
    for (long long made : {0LL, 7LL, 999999999LL})
        for (int frame = 1; frame <= vcdalbum::TransitionFrames; ++frame) {
            const std::string name = "/tmp/" + vcdalbum::contract::TransitionFrameFileName(made, frame);
            ASSERT_TRUE(vcdalbum::components::stream::ParseTransitionFrameName(name, dir, serial, k)) << name;
            EXPECT_EQ(dir, "/tmp");
            EXPECT_EQ(serial, made);
            EXPECT_EQ(k, frame);
        }
}

TEST(EncodePlan, MenuUsesPictureTimesAndTransitionNamesMeanNothing) {
    Record r(FrameRun("/t", 0), 0.5f, 0);
    r.times[0] = -1.0f;  // not a time: the default half second
    auto plan = MakePlan(r.info);
    ASSERT_EQ(plan.pictures.size(), 30u);
    EXPECT_EQ(plan.totalFrames, std::llround(15.0 * 30000 / 1001));
    for (int64_t f : Frames(plan)) EXPECT_GE(f, 14);
}

TEST(EncodePlan, ShortStreamsAreHeldToTheMinimumAndEmptyOnesAreBlack) {
    Record one({"/a.jpg"}, 0.5f, 0);
    auto plan = MakePlan(one.info);
    EXPECT_EQ(plan.totalFrames, vcdalbum::components::stream::MinimumFrames(vcdalbum::video::kNtsc));
    EXPECT_EQ(plan.pictures.back().frames, vcdalbum::components::stream::MinimumFrames(vcdalbum::video::kNtsc));
    EXPECT_GE(plan.totalFrames * 1001.0 / 30000, 3.2);

    StreamInfo empty{};
    plan = MakePlan(empty);
    ASSERT_EQ(plan.pictures.size(), 1u);
    EXPECT_TRUE(plan.pictures[0].path.empty());
    EXPECT_EQ(plan.totalFrames, vcdalbum::components::stream::MinimumFrames(vcdalbum::video::kNtsc));

    // A count larger than the list stops at the null entry; music likewise.
    Record r({"/a.jpg", "/b.jpg"}, 1.0f, 0);
    r.info.pictureCount = 40;
    char song[] = "/m.mp3";
    char* music[] = {song, nullptr};
    r.info.extraFiles = music;
    r.info.extraCount = 5;
    plan = MakePlan(r.info);
    EXPECT_EQ(plan.pictures.size(), 2u);
    EXPECT_EQ(plan.music, std::vector<std::string>{"/m.mp3"});
}

}  // namespace
