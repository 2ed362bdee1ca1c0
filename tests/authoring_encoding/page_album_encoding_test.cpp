// AppendMenuPage and AppendAlbum against a recording stand-in for the
// stream encoder: what the record holds during the call, and the progress
// reported for the transitions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "authoring/album_encoding.h"
#include "authoring/authoring_test_access.h"
#include "authoring/transition_sequences.h"
#include "doubles/scoped_env.h"
#include "doubles/scratch_dir.h"
#include "platform/stream_encoder.h"
#include "vcdalbum/StreamInfo.h"
#include "vcdalbum/Authoring.h"
#include "vcdalbum/codec.h"
#include "vcdalbum/transitions.h"

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
bool g_encoderReports = false;  // the stand-in reports 42 % once
std::mutex g_recordLock;  // albums of a batch are encoded on several threads

int RecordingEncoder(StreamInfo* info) {
    if (g_encoderReports && info->callBack != nullptr) info->callBack(42);
    std::lock_guard guard(g_recordLock);
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
        g_encoderReports = false;
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

    ScratchDir scratch_{"vcdalbum encoding-"};  // a space, and on Windows a drive letter and backslashes
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
    EXPECT_EQ(std::vector<int32_t>(r.options, r.options + 4), (std::vector<int32_t>{2, 1, 6, 2}));
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

// The standard reaches the encoder in option6: PAL's code on every record of
// a PAL object (a host's own option6 gives way), the host's value otherwise.
// The choice lives outside the object, so it must follow copies and must not
// outlive the object at its address.
TEST_F(EncodingTest, PalChoiceReachesEveryRecordAndFollowsTheObjectOnly) {
    Authoring pal;
    ASSERT_EQ(pal.SetVideoStandard(VCD_VIDEO_PAL), 0);
    EXPECT_NE(pal.SetVideoStandard(2), 0);
    EXPECT_EQ(pal.GetVideoStandard(), VCD_VIDEO_PAL);
    char* page[] = {pictures_[0], nullptr};
    pal.AppendMenuPage(0, page, nullptr);
    Album(pal, 2, {0});
    AlbumRequest request;
    request.pictureCount = 2;
    request.pictures = pictures_.data();
    request.option6 = 9;
    pal.AppendAlbums(&request, 1, 2);
    Authoring copy(pal);
    Album(copy, 2, {});
    Authoring ntsc;
    Album(ntsc, 2, {});
    std::vector<uint16_t> seen;
    for (const Recorded& r : g_records) seen.push_back(r.option6);
    EXPECT_EQ(seen, (std::vector<uint16_t>{625, 625, 625, 625, 9}));

    Authoring assigned;
    assigned = pal;
    EXPECT_EQ(assigned.GetVideoStandard(), VCD_VIDEO_PAL);
    assigned = ntsc;
    EXPECT_EQ(assigned.GetVideoStandard(), VCD_VIDEO_NTSC);

    alignas(Authoring) unsigned char storage[sizeof(Authoring)];
    auto* first = new (storage) Authoring;
    first->SetVideoStandard(VCD_VIDEO_PAL);
    first->~Authoring();
    auto* second = new (storage) Authoring;
    EXPECT_EQ(second->GetVideoStandard(), VCD_VIDEO_NTSC);
    second->~Authoring();
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

TEST_F(EncodingTest, FramesCountOnlyWhenRenderedAndEveryFileIsThere) {
    std::vector<std::string> files(vcdalbum::TransitionFrames, paths_[0]);
    std::vector<char*> names;
    for (std::string& file : files) names.push_back(file.data());
    EXPECT_EQ(vcdalbum::authoring::CompleteFrames(true, names.data()), files);
    EXPECT_TRUE(vcdalbum::authoring::CompleteFrames(false, names.data()).empty());
    std::string missing = Temp("gone.jpg");
    names.back() = missing.data();
    EXPECT_TRUE(vcdalbum::authoring::CompleteFrames(true, names.data()).empty());
    names.back() = nullptr;
    EXPECT_TRUE(vcdalbum::authoring::CompleteFrames(true, names.data()).empty());
}

TEST_F(EncodingTest, PathsAreKeptWhenTheEncoderFailsAndHaveNoLengthLimit) {
    fs::path deep = dir_ / std::string(200, 'd') / std::string(200, 'e');
    fs::create_directories(deep);
    vcdalbum::testing::SetEnv("TEMP", deep.string().c_str());
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

// "<dir>/<serial>-<k>.jpg" as "frame k", and the serial.
std::string WithoutSerial(const std::string& name, int* serial = nullptr) {
    const size_t slash = name.find_last_of("/\\"), dash = name.rfind('-');
    if (dash == std::string::npos || dash < slash || name.find("missing") != std::string::npos ||
        name.compare(slash + 1, 1, "p") == 0)
        return name;
    if (serial) *serial = std::stoi(name.substr(slash + 1, dash - slash - 1));
    return "frame " + name.substr(dash + 1);
}

std::vector<std::pair<int, int>> g_albumProgress;  // (album, percent)
void OnAlbumProgress(void* context, int percent) {
    g_albumProgress.emplace_back(*static_cast<int*>(context), percent);
}

// A batch on three threads: the encoder sees what AppendAlbum calls in a row
// give it (frame numbers aside), the paths keep the order of the requests,
// the frames are numbered in that order too, and every album's progress
// reaches its own callback only.
TEST_F(EncodingTest, BatchOnThreadsGivesWhatAlbumsInARowGive) {
    struct Spec {
        unsigned short count;
        std::vector<unsigned short> positions;
    };
    const std::vector<Spec> specs = {{3, {0}}, {4, {0, 1, 2}}, {2, {}}, {3, {1, 2}}, {4, {2, 0}}};
    std::vector<std::vector<unsigned short>> positions, effects;
    for (const Spec& s : specs) {
        positions.push_back(s.positions);
        effects.emplace_back(s.positions.size(), 36);  // a dissolve
    }
    char music[] = "song.mp3";
    char* extras[] = {music};
    std::vector<int> ids = {0, 1, 2, 3, 4};
    std::vector<AlbumRequest> requests(specs.size());
    Authoring inARow, batch;
    inARow.SetProgressCallBack(reinterpret_cast<void*>(&OnProgress));
    batch.SetProgressCallBack(reinterpret_cast<void*>(&OnProgress));  // the requests' callbacks take its place
    for (size_t i = 0; i < specs.size(); ++i) {
        const auto albumNo = static_cast<unsigned short>(20 - i);
        const auto transitions = static_cast<unsigned short>(positions[i].size());
        inARow.AppendAlbum(0, albumNo, specs[i].count, pictures_.data(), 1, extras, 7, 1, 9, transitions,
                           positions[i].data(), effects[i].data());
        AlbumRequest& r = requests[i];
        r.albumNo = albumNo;
        r.pictureCount = specs[i].count;
        r.pictures = pictures_.data();
        r.extraCount = 1;
        r.extraFiles = extras;
        r.option4 = 7, r.option5 = 1, r.option6 = 9;
        r.transitionCount = transitions;
        r.transitionPositions = positions[i].data();
        r.transitionEffects = effects[i].data();
        r.progress = &OnAlbumProgress;
        r.progressContext = &ids[i];
    }
    std::map<std::string, Recorded> expected;
    for (const Recorded& r : g_records) expected[r.output] = r;
    g_records.clear();
    g_progress.clear();
    g_encoderReports = true;

    EXPECT_EQ(batch.AppendAlbums(requests.data(), static_cast<unsigned short>(requests.size()), 3), 0);

    EXPECT_EQ(AuthoringTestAccess::albumFiles(batch), AuthoringTestAccess::albumFiles(inARow));
    EXPECT_EQ(AuthoringTestAccess::albumCount(batch), 5);
    ASSERT_EQ(g_records.size(), specs.size());
    std::map<std::string, std::vector<int>> serials;  // first serial of every run, by output
    for (const Recorded& r : g_records) {
        SCOPED_TRACE(r.output);
        ASSERT_EQ(expected.count(r.output), 1u);
        const Recorded& e = expected[r.output];
        ASSERT_EQ(r.pictures.size(), e.pictures.size());
        for (size_t i = 0; i < r.pictures.size(); ++i) {
            int serial = -1;
            EXPECT_EQ(WithoutSerial(r.pictures[i], &serial), WithoutSerial(e.pictures[i]));
            if (WithoutSerial(r.pictures[i]) == "frame 1.jpg") serials[r.output].push_back(serial);
        }
        EXPECT_EQ(r.times.size(), e.times.size());
        EXPECT_EQ(r.option5, 3);
        EXPECT_EQ(r.sourceCount, e.sourceCount);
        EXPECT_EQ(r.extras, e.extras);
    }
    // Album order, and transition order within an album (positions 2, 0 of
    // the last one splice in reverse).
    std::vector<int> order;
    for (const std::string& path : AuthoringTestAccess::albumFiles(batch)) order.insert(order.end(), serials[path].begin(), serials[path].end());
    ASSERT_EQ(order.size(), 7u);
    std::swap(order[5], order[6]);
    for (size_t i = 1; i < order.size(); ++i) EXPECT_EQ(order[i], order[0] + static_cast<int>(i));
    // The batch took its seven serials and no fewer: later frames reuse none.
    EXPECT_EQ(vcdalbum::authoring::ReserveTransitionSerials(0), order[0] + 7);

    EXPECT_TRUE(g_progress.empty());
    std::map<int, std::vector<int>> byAlbum;
    for (const auto& [album, percent] : g_albumProgress) byAlbum[album].push_back(percent);
    EXPECT_EQ(byAlbum[0], (std::vector<int>{100, 42}));
    EXPECT_EQ(byAlbum[1], (std::vector<int>{33, 66, 100, 42}));
    EXPECT_EQ(byAlbum[2], (std::vector<int>{42}));
    EXPECT_EQ(byAlbum[3], (std::vector<int>{50, 42}));
    EXPECT_EQ(byAlbum[4], (std::vector<int>{50, 100, 42}));

    // An empty batch, whatever the threads asked for, changes nothing.
    EXPECT_EQ(batch.AppendAlbums(requests.data(), 0, 8), 0);
    EXPECT_EQ(batch.AppendAlbums(nullptr, 3, 8), 0);
    EXPECT_EQ(AuthoringTestAccess::albumCount(batch), 5);
}

}  // namespace
