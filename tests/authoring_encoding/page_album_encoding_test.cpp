// AppendMenuPage and AppendAlbum against a recording stand-in for the
// stream encoder: what the record holds during the call, and the progress
// reported for the transitions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "authoring/authoring_test_access.h"
#include "doubles/scoped_env.h"
#include "doubles/scratch_dir.h"
#include "platform/stream_encoder.h"
#include "vcdalbum/Authoring.h"
#include "vcdalbum/codec.h"

namespace {

namespace fs = std::filesystem;
using vcdalbum::testing::ReadFile;
using vcdalbum::testing::ScopedEnv;
using vcdalbum::testing::ScratchDir;

// A 16x16 picture of one grey: the pictures of an album differ, so that
// each effect draws its own frames between them.
void WritePicture(const fs::path& file, int grey) {
    Image image{};
    ASSERT_TRUE(vcdalbum::AllocateImage(image, 16, 16));
    std::memset(image.data, grey, ImageStride(16) * 16);
    EXPECT_TRUE(vcdalbum::EncodeJpegFile(file.string(), image).ok());
    vcdalbum::ReleaseImage(image);
}

struct Recorded {
    std::vector<std::string> pictures;  // up to the null entry
    int32_t pictureCount = 0;
    std::vector<float> times;
    std::vector<std::string> extras;  // up to the null entry
    int32_t extraCount = 0;
    std::string output;
    int32_t options[4] = {};
    ProgressCallBack callBack = nullptr;
    uint16_t option5 = 0, option6 = 0, sourceCount = 0;
    size_t progressBefore = 0;  // progress calls made before the encoder ran
};

std::vector<Recorded> g_records;
std::vector<int> g_progress;
int g_result = 0;

int RecordingEncoder(StreamInfo* info) {
    Recorded r;
    for (char** p = info->pictureFiles; *p != nullptr; ++p) r.pictures.emplace_back(*p);
    r.pictureCount = info->pictureCount;
    r.times.assign(info->pictureTimes, info->pictureTimes + info->pictureCount);
    for (char** p = info->extraFiles; *p != nullptr; ++p) r.extras.emplace_back(*p);
    r.extraCount = info->extraCount;
    r.output = info->outputFile;
    r.options[0] = info->option1;
    r.options[1] = info->option2;
    r.options[2] = info->option3;
    r.options[3] = info->option4;
    r.callBack = info->callBack;
    r.option5 = info->option5;
    r.option6 = info->option6;
    r.sourceCount = info->sourceCount;
    r.progressBefore = g_progress.size();
    g_records.push_back(r);
    return g_result;
}

void OnProgress(int percent) { g_progress.push_back(percent); }

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

class EncodingTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 4; ++i) {
            paths_.push_back((dir_ / ("p" + std::to_string(i) + ".jpg")).string());
            WritePicture(paths_.back(), 30 + 60 * i);
        }
        for (std::string& p : paths_) pictures_.push_back(p.data());
        g_records.clear();
        g_progress.clear();
        g_result = 0;
        previous_ = vcdalbum::platform::SetStreamEncoder(&RecordingEncoder);
    }
    void TearDown() override { vcdalbum::platform::SetStreamEncoder(previous_); }

    // Appends an album of the first `count` pictures with the given transitions.
    void Album(Authoring& a, unsigned short count, std::vector<unsigned short> positions, unsigned short option5 = 5,
               std::vector<unsigned short> effects = {}) {
        effects.resize(positions.size(), 14);
        char music[] = "song.mp3", more[] = "more.ogg";
        char* extras[] = {music, more};
        a.AppendAlbum(0, 4, count, pictures_.data(), 2, extras, 7, option5, 9,
                      static_cast<unsigned short>(positions.size()), positions.data(), effects.data());
    }

    // Checks that entries [from, from + 30) are the 30 frames of one transition in order.
    static void ExpectTransitionRun(const std::vector<std::string>& list, size_t from) {
        ASSERT_LE(from + 30, list.size());
        const std::string first = list[from];
        ASSERT_GE(first.size(), 6u);
        const std::string stem = first.substr(0, first.size() - 6);  // strip "-1.jpg"
        for (int k = 1; k <= 30; ++k) EXPECT_EQ(list[from + k - 1], stem + "-" + std::to_string(k) + ".jpg");
    }

    std::string Temp(const std::string& name) const { return (dir_ / name).string(); }

    ScratchDir scratch_;
    const fs::path dir_ = scratch_.path();
    ScopedEnv temp_{"TEMP", dir_.string()};
    std::vector<std::string> paths_;
    std::vector<char*> pictures_;
    vcdalbum::platform::StreamEncodeFn previous_ = nullptr;
};

TEST_F(EncodingTest, MenuPageRecordAndPath) {
    Authoring a;
    a.SetProgressCallBack(reinterpret_cast<void*>(&OnProgress));
    char* page[] = {pictures_[0], pictures_[1], nullptr};
    char music[] = "menu.mp3", ignored[] = "second.mp3";
    char* extras[] = {music, ignored, nullptr};
    EXPECT_EQ(a.AppendMenuPage(7, page, extras), 0);

    ASSERT_EQ(g_records.size(), 1u);
    const Recorded& r = g_records[0];
    EXPECT_EQ(r.pictures, (std::vector<std::string>{paths_[0], paths_[1]}));
    EXPECT_EQ(r.pictureCount, 2);
    EXPECT_EQ(r.times, (std::vector<float>{0.5f, 0.5f}));
    EXPECT_EQ(r.extras, std::vector<std::string>{"menu.mp3"});
    EXPECT_EQ(r.extraCount, 1);
    EXPECT_EQ(r.options[0], 2);
    EXPECT_EQ(r.options[1], 1);
    EXPECT_EQ(r.options[2], 6);
    EXPECT_EQ(r.options[3], 2);
    EXPECT_EQ(r.callBack, nullptr);
    EXPECT_EQ(r.output, Temp("menu7.mpg"));
    EXPECT_TRUE(g_progress.empty());
    EXPECT_EQ(AuthoringTestAccess::menuFiles(a), std::vector<std::string>{Temp("menu7.mpg")});
    EXPECT_EQ(AuthoringTestAccess::menuCount(a), 1);
}

TEST_F(EncodingTest, MenuPageWithoutMusicAndTheSameNumberTwice) {
    Authoring a;
    char* page[] = {pictures_[0], nullptr};
    a.AppendMenuPage(3, page, nullptr);  // no music list at all
    char* noMusic[] = {nullptr};
    a.AppendMenuPage(3, page, noMusic);
    ASSERT_EQ(g_records.size(), 2u);
    EXPECT_TRUE(g_records[0].extras.empty());
    EXPECT_TRUE(g_records[1].extras.empty());
    EXPECT_EQ(AuthoringTestAccess::menuFiles(a), (std::vector<std::string>{Temp("menu3.mpg"), Temp("menu3.mpg")}));
    EXPECT_EQ(AuthoringTestAccess::menuCount(a), 2);
}

TEST_F(EncodingTest, OneTransitionSplicesThirtyFramesAfterItsPicture) {
    Authoring a;
    a.SetProgressCallBack(reinterpret_cast<void*>(&OnProgress));
    Album(a, 3, {0});
    ASSERT_EQ(g_records.size(), 1u);
    const Recorded& r = g_records[0];
    ASSERT_EQ(r.pictures.size(), 33u);
    EXPECT_EQ(r.pictureCount, 33);
    EXPECT_EQ(r.pictures[0], paths_[0]);
    ExpectTransitionRun(r.pictures, 1);
    EXPECT_EQ(r.pictures[31], paths_[1]);
    EXPECT_EQ(r.pictures[32], paths_[2]);
    for (float t : r.times) EXPECT_EQ(Bits(t), 0x3D088889u);
    EXPECT_EQ(r.sourceCount, 3);
    EXPECT_EQ(g_progress, std::vector<int>{100});
    EXPECT_EQ(r.progressBefore, 1u);  // progress comes before the encoder starts
    EXPECT_EQ(r.callBack, &OnProgress);
    EXPECT_EQ(r.output, Temp("album4.mpg"));
}

TEST_F(EncodingTest, TransitionsAtNeighbouringPositionsKeepPictureOrder) {
    Authoring a;
    a.SetProgressCallBack(reinterpret_cast<void*>(&OnProgress));
    Album(a, 3, {0, 1});
    const Recorded& r = g_records.at(0);
    ASSERT_EQ(r.pictures.size(), 63u);
    EXPECT_EQ(r.pictures[0], paths_[0]);
    ExpectTransitionRun(r.pictures, 1);
    EXPECT_EQ(r.pictures[31], paths_[1]);
    ExpectTransitionRun(r.pictures, 32);
    EXPECT_EQ(r.pictures[62], paths_[2]);
    EXPECT_NE(r.pictures[1], r.pictures[32]);  // two distinct frame sequences
    EXPECT_EQ(g_progress, (std::vector<int>{50, 100}));
}

// Positions out of order go in from the last transition to the first, each
// right after the entry its position names in the list at that moment: the
// second transition's frames after picture 0, then the first transition's
// after the second's first frame.
TEST_F(EncodingTest, EachTransitionKeepsItsEffectAndPositionsAreTakenInTheirOrder) {
    Authoring a;
    Album(a, 3, {1, 0}, 5, {0, 14});
    const Recorded& r = g_records.at(0);
    ASSERT_EQ(r.pictures.size(), 63u);
    EXPECT_EQ(r.pictures[0], paths_[0]);
    ExpectTransitionRun(r.pictures, 2);
    const std::string second = r.pictures[1].substr(0, r.pictures[1].size() - 6);
    EXPECT_EQ(r.pictures[1], second + "-1.jpg");
    EXPECT_EQ(r.pictures[32], second + "-2.jpg");
    EXPECT_EQ(r.pictures[60], second + "-30.jpg");
    EXPECT_EQ(r.pictures[61], paths_[1]);
    // Frame 15 of each, against the same transition drawn alone.
    auto alone = [&](int from, unsigned short effect) {
        Authoring other;
        char* names[30] = {};
        EXPECT_EQ(other.GetTransitionEffect(pictures_[from], pictures_[from + 1], effect, names), 0);
        const std::string bytes = ReadFile(names[14]);
        for (char* name : names) std::free(name);
        return bytes;
    };
    EXPECT_EQ(ReadFile(r.pictures[16]), alone(1, 0));
    EXPECT_EQ(ReadFile(second + "-15.jpg"), alone(0, 14));
    EXPECT_NE(alone(0, 14), alone(0, 0));
}

TEST_F(EncodingTest, TransitionWithoutFollowingPictureIsSkipped) {
    Authoring a;
    a.SetProgressCallBack(reinterpret_cast<void*>(&OnProgress));
    Album(a, 3, {1, 2});
    const Recorded& r = g_records.at(0);
    ASSERT_EQ(r.pictures.size(), 33u);
    EXPECT_EQ(r.pictures[1], paths_[1]);
    ExpectTransitionRun(r.pictures, 2);
    EXPECT_EQ(r.pictures[32], paths_[2]);
    EXPECT_EQ(g_progress, std::vector<int>{50});
}

TEST_F(EncodingTest, ThreeTransitionsReportTruncatedThirds) {
    Authoring a;
    a.SetProgressCallBack(reinterpret_cast<void*>(&OnProgress));
    Album(a, 4, {0, 1, 2});
    EXPECT_EQ(g_records.at(0).pictures.size(), 94u);
    EXPECT_EQ(g_progress, (std::vector<int>{33, 66, 100}));
}

TEST_F(EncodingTest, SecondsPerPictureAreAtLeastThree) {
    Authoring a;
    for (unsigned short s : {0, 1, 2, 3, 5}) Album(a, 2, {}, s);
    ASSERT_EQ(g_records.size(), 5u);
    std::vector<int> seen;
    for (const Recorded& r : g_records) seen.push_back(r.option5);
    EXPECT_EQ(seen, (std::vector<int>{3, 3, 3, 3, 5}));
    const Recorded& r = g_records[0];
    EXPECT_EQ(r.options[3], 7);
    EXPECT_EQ(r.option6, 9);
    EXPECT_EQ(r.extras, (std::vector<std::string>{"song.mp3", "more.ogg"}));
    EXPECT_EQ(r.extraCount, 2);
}

TEST_F(EncodingTest, AlbumWithoutTransitionsPassesPicturesUnchanged) {
    Authoring a;
    a.SetProgressCallBack(reinterpret_cast<void*>(&OnProgress));
    Album(a, 3, {});
    const Recorded& r = g_records.at(0);
    EXPECT_EQ(r.pictures, (std::vector<std::string>{paths_[0], paths_[1], paths_[2]}));
    EXPECT_EQ(r.times.size(), 3u);
    EXPECT_EQ(r.sourceCount, 3);
    EXPECT_TRUE(g_progress.empty());
}

TEST_F(EncodingTest, UndrawableTransitionIsLeftOut) {
    Authoring a;
    a.SetProgressCallBack(reinterpret_cast<void*>(&OnProgress));
    std::string missing = Temp("missing.jpg");
    pictures_[0] = missing.data();
    Album(a, 3, {0, 1});
    const Recorded& r = g_records.at(0);
    ASSERT_EQ(r.pictures.size(), 33u);  // only the second transition
    EXPECT_EQ(r.pictures[0], missing);
    EXPECT_EQ(r.pictures[1], paths_[1]);
    ExpectTransitionRun(r.pictures, 2);
    EXPECT_EQ(g_progress, (std::vector<int>{50, 100}));
}

TEST_F(EncodingTest, PathsAreKeptWhenTheEncoderFailsAndHaveNoLengthLimit) {
    fs::path deep = dir_ / std::string(200, 'd') / std::string(200, 'e');
    fs::create_directories(deep);
    ::setenv("TEMP", deep.c_str(), 1);
    g_result = 3;
    Authoring a;
    char* page[] = {pictures_[0], nullptr};
    a.AppendMenuPage(1, page, nullptr);
    Album(a, 1, {});
    const std::string menu = (deep / "menu1.mpg").string(), album = (deep / "album4.mpg").string();
    EXPECT_EQ(g_records.at(0).output, menu);
    EXPECT_EQ(AuthoringTestAccess::menuFiles(a), std::vector<std::string>{menu});
    EXPECT_EQ(AuthoringTestAccess::albumFiles(a), std::vector<std::string>{album});
    EXPECT_EQ(AuthoringTestAccess::albumCount(a), 1);
}

}  // namespace
