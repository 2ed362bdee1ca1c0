// StartBurning against the recording burner component: the exact calls, the
// nodes the project receives, and the refusal of a table that asks for more
// albums than were appended.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "authoring/first_sequence_item.h"
#include "authoring_test_access.h"
#include "platform/stream_encoder.h"
#include "vcdalbum/StreamInfo.h"
#include "doubles/native_path.h"
#include "doubles/recording_burner.h"
#include "doubles/scoped_env.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using vcdalbum::testing::In;
using vcdalbum::testing::NodeSnapshot;
using vcdalbum::testing::Recording;
using vcdalbum::testing::RecordingBurner;
using vcdalbum::testing::Value;
using vcdalbum::testing::ScopedEnv;
using Access = AuthoringTestAccess;

namespace {

// Temporary directories as users have them: on Windows with a drive letter,
// backslashes and a space.
#if defined(_WIN32)
constexpr char kTemp[] = "C:\\nonexistent\\vcdalbum temp";
constexpr char kStreams[] = "S:\\My Streams";
constexpr char kElsewhere[] = "C:\\some\\where";
#else
constexpr char kTemp[] = "/nonexistent/vcdalbum temp";
constexpr char kStreams[] = "/s";
constexpr char kElsewhere[] = "/some/where";
#endif
const std::string kFirst = In(kTemp, "EnablePbcNTSC.mpg");

// Call texts without the addresses that change from run to run (the
// out-values of AddSequence and the records of SetupRecorder).
std::vector<std::string> StableCalls(const Recording& rec) {
    std::vector<std::string> texts;
    for (auto call : rec.calls) {
        if (call.method == "AddSequence") call.args.resize(4);
        if (call.method == "SetupRecorder") call.args.clear();
        texts.push_back(call.Text());
    }
    return texts;
}

// Stands in for the stream encoder: records the output paths and writes
// nothing.
std::vector<std::string> g_encoded;
std::vector<uint16_t> g_standardOptions;  // option6 of each record
int RecordOutput(StreamInfo* info) {
    g_encoded.push_back(info->outputFile);
    g_standardOptions.push_back(info->option6);
    return 0;
}

class ScopedEncoder {
public:
    ScopedEncoder() : previous_(vcdalbum::platform::SetStreamEncoder(&RecordOutput)) {
        g_encoded.clear();
        g_standardOptions.clear();
    }
    ~ScopedEncoder() { vcdalbum::platform::SetStreamEncoder(previous_); }
    ScopedEncoder(const ScopedEncoder&) = delete;
    ScopedEncoder& operator=(const ScopedEncoder&) = delete;

private:
    vcdalbum::platform::StreamEncodeFn previous_;
};

// An object with `perMenu[m]` albums offered by menu m and `albums` appended,
// their streams named in /s.
Authoring Disc(std::vector<int> perMenu, int albums) {
    ScopedEnv temp{"TEMP", kStreams};
    char picture[] = "/p/picture.jpg";
    char* pictures[] = {picture, nullptr};
    Authoring a;
    for (std::size_t m = 0; m < perMenu.size(); ++m) {
        a.AppendMenuPage(static_cast<unsigned short>(m), pictures, nullptr);
        a.SetAlbumNoPerMenu(static_cast<int>(m), perMenu[m]);
    }
    for (int i = 0; i < albums; ++i)
        a.AppendAlbum(0, static_cast<unsigned short>(i), 1, pictures, 0, nullptr, 0, 0, 0, 0, nullptr, nullptr);
    return a;
}

struct Expected {
    int type;
    std::string id;
    std::string item;
    std::vector<std::string> selections;
    std::string prev, next;
};

void ExpectNode(const NodeSnapshot& got, const Expected& want) {
    SCOPED_TRACE(want.id);
    EXPECT_EQ(got.type, want.type);
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.prevId, want.prev);
    EXPECT_EQ(got.nextId, want.next);
    EXPECT_FALSE(got.returnId || got.timeoutId);  // no return node, no timeout target
    EXPECT_TRUE(got.listsWellFormed);
    EXPECT_TRUE(got.reservedWordsZero);
    if (want.type == PBC_SELECTION_LIST) {
        EXPECT_EQ(got.itemId, want.item);
        EXPECT_EQ(got.selections, want.selections);
        EXPECT_TRUE(got.areas.empty());
        EXPECT_EQ(got.timeoutTime, -1);
        EXPECT_EQ(got.loopCount, 0);
        EXPECT_EQ(got.selectionBase, 1);
    } else {
        EXPECT_THAT(got.playItems, ElementsAre(want.item));
        EXPECT_EQ(got.waitTime, 3);
    }
}

class BurningRun : public testing::Test {
protected:
    ScopedEncoder encoder;
    ScopedEnv temp{"TEMP", kTemp};
    RecordingBurner rec;
};

constexpr int kMenu = PBC_SELECTION_LIST;
constexpr int kAlbum = PBC_PLAY_LIST;

}  // namespace

TEST_F(BurningRun, TwoMenusWithThreeAndTwoAlbums) {
    Authoring disc = Disc({3, 2}, 5);
    EXPECT_EQ(disc.StartBurning(1, 8, 0, 0), 0);

    EXPECT_THAT(StableCalls(*rec),
                ElementsAreArray(std::vector<std::string>{
                    "NewProject(4)",
                    "SetProjectName(81, VRX_Burner)",
                    "AddSequence(81, default, " + kFirst + ", defaultentry)",
                    "AddSequence(81, MenuItem0, " + In(kStreams, "menu0.mpg") + ", 0)",
                    "AddSequence(81, AlbumItem0, " + In(kStreams, "album0.mpg") + ", 0)",
                    "AddSequence(81, AlbumItem1, " + In(kStreams, "album1.mpg") + ", 1)",
                    "AddSequence(81, AlbumItem2, " + In(kStreams, "album2.mpg") + ", 2)",
                    "AddSequence(81, MenuItem1, " + In(kStreams, "menu1.mpg") + ", 1)",
                    "AddSequence(81, AlbumItem3, " + In(kStreams, "album3.mpg") + ", 3)",
                    "AddSequence(81, AlbumItem4, " + In(kStreams, "album4.mpg") + ", 4)",
                    "AddPbcNode(81, Menu0)",
                    "AddPbcNode(81, Menu1)",
                    "AddPbcNode(81, Album0)",
                    "AddPbcNode(81, Album1)",
                    "AddPbcNode(81, Album2)",
                    "AddPbcNode(81, Album3)",
                    "AddPbcNode(81, Album4)",
                    "OpenDrive(1)",
                    "BuildProject(81)",
                    "GetMaxWriteSpeed(1)",
                    "SetupRecorder()",
                    "StartRecording(1)",
                    "EndRecording()",
                    "UnlockDrive(1)",
                    "StopDrive(1)",
                    "UnlockDrive(1)",
                    "EjectMedia(1)",
                    "CloseProject(81)",
                }));

    ASSERT_EQ(rec->nodes.size(), 7u);
    ExpectNode(rec->nodes[0], {kMenu, "Menu0", "MenuItem0", {"Album0", "Album1", "Album2", "Menu1"}, "Menu0", "Menu1"});
    ExpectNode(rec->nodes[1], {kMenu, "Menu1", "MenuItem1", {"Album3", "Album4"}, "Menu0", "Menu1"});
    ExpectNode(rec->nodes[2], {kAlbum, "Album0", "AlbumItem0", {}, "Menu0", "Album1"});
    ExpectNode(rec->nodes[3], {kAlbum, "Album1", "AlbumItem1", {}, "Album0", "Album2"});
    ExpectNode(rec->nodes[4], {kAlbum, "Album2", "AlbumItem2", {}, "Album1", "Menu0"});
    ExpectNode(rec->nodes[5], {kAlbum, "Album3", "AlbumItem3", {}, "Menu1", "Album4"});
    ExpectNode(rec->nodes[6], {kAlbum, "Album4", "AlbumItem4", {}, "Album3", "Menu1"});

    ASSERT_EQ(rec->recorderIO.size(), 1u);
    EXPECT_EQ(Value(rec->recorderIO[0].speed), 8.0f);
    EXPECT_EQ(Value(rec->recorderIO[0].sourceKind), 7);
    EXPECT_EQ(rec->LiveTotal(), 0);  // the run's burner is gone
}

TEST_F(BurningRun, OneMenuOneAlbumAndTheBurnerName) {
    char name[] = "Our Trip";
    Authoring disc(name);
    char picture[] = "/p/picture.jpg";
    char* pictures[] = {picture, nullptr};
    disc.AppendMenuPage(0, pictures, nullptr);
    disc.AppendAlbum(0, 0, 1, pictures, 0, nullptr, 0, 0, 0, 0, nullptr, nullptr);
    disc.SetAlbumNoPerMenu(0, 1);
    disc.StartBurning(0, 4, 0, 0);
    EXPECT_THAT(rec->CallsOf("SetProjectName"), ElementsAre("SetProjectName(81, Our Trip)"));
    ASSERT_EQ(rec->nodes.size(), 2u);
    ExpectNode(rec->nodes[0], {kMenu, "Menu0", "MenuItem0", {"Album0"}, "Menu0", "Menu0"});
    ExpectNode(rec->nodes[1], {kAlbum, "Album0", "AlbumItem0", {}, "Menu0", "Menu0"});
    EXPECT_EQ(Value(rec->recorderReport[0].reportKind), 4);
}

TEST_F(BurningRun, MenuWithoutAlbumsOffersOnlyTheNextMenu) {
    Authoring disc = Disc({0, 2, 1}, 3);
    disc.StartBurning(0, 4, 0, 0);
    ASSERT_EQ(rec->nodes.size(), 6u);
    ExpectNode(rec->nodes[0], {kMenu, "Menu0", "MenuItem0", {"Menu1"}, "Menu0", "Menu1"});
    ExpectNode(rec->nodes[1], {kMenu, "Menu1", "MenuItem1", {"Album0", "Album1", "Menu2"}, "Menu0", "Menu2"});
    ExpectNode(rec->nodes[2], {kMenu, "Menu2", "MenuItem2", {"Album2"}, "Menu1", "Menu2"});
    ExpectNode(rec->nodes[3], {kAlbum, "Album0", "AlbumItem0", {}, "Menu1", "Album1"});
    ExpectNode(rec->nodes[4], {kAlbum, "Album1", "AlbumItem1", {}, "Album0", "Menu1"});
    ExpectNode(rec->nodes[5], {kAlbum, "Album2", "AlbumItem2", {}, "Menu2", "Menu2"});
}

TEST_F(BurningRun, DriveAndSpeedReachTheBurnerAndSpeedIsCutTo16Bits) {
    Authoring disc = Disc({1}, 1);
    disc.StartBurning(2, 0x10008, 0, 0);
    EXPECT_THAT(rec->CallsOf("OpenDrive"), ElementsAre("OpenDrive(2)"));
    EXPECT_THAT(rec->CallsOf("EjectMedia"), ElementsAre("EjectMedia(2)"));
    ASSERT_EQ(rec->recorderIO.size(), 1u);
    EXPECT_EQ(Value(rec->recorderIO[0].speed), 8.0f);
    EXPECT_EQ(Value(rec->recorderIO[0].target), 2u);
}

TEST_F(BurningRun, RunningTwiceIssuesTheSameCallsAndLeavesTheObjectAlone) {
    Authoring disc = Disc({2, 1}, 3);
    disc.StartBurning(1, 8, 0, 0);
    const auto first = StableCalls(*rec);
    rec->Clear();
    disc.StartBurning(1, 8, 0, 0);
    EXPECT_EQ(StableCalls(*rec), first);
    EXPECT_EQ(Access::menuCount(disc), 2);
    EXPECT_EQ(Access::albumCount(disc), 3);
}

TEST_F(BurningRun, TableAskingForMoreAlbumsThanAppendedStopsBeforeBurning) {
    Authoring disc = Disc({3, 3}, 5);
    // Refused with a code, not thrown: an exception cannot cross the DLL's
    // boundary into every host.
    int result = -1;
    EXPECT_NO_THROW(result = disc.StartBurning(1, 8, 0, 0));
    EXPECT_EQ(result, VRX_FAIL);
    const auto calls = StableCalls(*rec);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "AddSequence(81, AlbumItem4, " + In(kStreams, "album4.mpg") + ", 4)");
    EXPECT_EQ(calls.back(), "CloseProject(81)");  // the burner is still cleaned up
    EXPECT_TRUE(rec->nodes.empty());
    EXPECT_TRUE(rec->recorderIO.empty());
    EXPECT_EQ(rec->LiveTotal(), 0);
}

TEST_F(BurningRun, AlbumsNoMenuOffersStayOffTheDisc) {
    Authoring disc = Disc({1}, 3);
    disc.StartBurning(0, 4, 0, 0);
    EXPECT_THAT(rec->CallsOf("AddPbcNode"), ElementsAre("AddPbcNode(81, Menu0)", "AddPbcNode(81, Album0)"));
    EXPECT_EQ(rec->CallsOf("AddSequence").size(), 3u);  // default, MenuItem0, AlbumItem0
}

TEST_F(BurningRun, NegativeCountsOfferNoAlbums) {
    Authoring disc = Disc({-2, 1}, 1);
    disc.StartBurning(0, 4, 0, 0);
    ASSERT_EQ(rec->nodes.size(), 3u);
    ExpectNode(rec->nodes[0], {kMenu, "Menu0", "MenuItem0", {"Menu1"}, "Menu0", "Menu1"});
    ExpectNode(rec->nodes[2], {kAlbum, "Album0", "AlbumItem0", {}, "Menu1", "Menu1"});
}

TEST_F(BurningRun, NoMenusStillBurnsTheFirstItem) {
    Authoring disc;
    disc.StartBurning(0, 4, 0, 0);
    EXPECT_THAT(rec->CallsOf("AddSequence").size(), 1u);
    EXPECT_TRUE(rec->nodes.empty());
    EXPECT_EQ(rec->recorderIO.size(), 1u);
}

// A PAL disc must not start with the NTSC clip: players would switch
// standards before the first menu, and the burner refuses the mix.
TEST_F(BurningRun, PalObjectStartsItsDiscWithItsOwnPalClip) {
    Authoring disc;
    ASSERT_EQ(disc.SetVideoStandard(VCD_VIDEO_PAL), 0);
    disc.StartBurning(0, 4, 0, 0);
    const std::string first = In(kTemp, "EnablePbcPAL.mpg");
    EXPECT_EQ(StableCalls(*rec).at(2), "AddSequence(81, default, " + first + ", defaultentry)");
    EXPECT_EQ(g_encoded, std::vector<std::string>{first});
    EXPECT_EQ(g_standardOptions, std::vector<uint16_t>{625});
}

TEST(FirstSequenceItem, FallsBackToTheTemporaryDirectoryAndIsMadeOnce) {
    ScopedEncoder encoder;
    {
        ScopedEnv temp("TEMP", kElsewhere);
        // The fixed path is a Windows drive path; it does not exist here.
        EXPECT_EQ(vcdalbum::authoring::FirstSequenceItemPath(), In(kElsewhere, "EnablePbcNTSC.mpg"));
        EXPECT_EQ(g_encoded, std::vector<std::string>{In(kElsewhere, "EnablePbcNTSC.mpg")});
    }
    // Once the clip is there it is used as it is.
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("vcdalbum-first-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "EnablePbcNTSC.mpg") << "made before";
    g_encoded.clear();
    {
        ScopedEnv temp("TEMP", dir.string().c_str());
        EXPECT_EQ(vcdalbum::authoring::FirstSequenceItemPath(), (dir / "EnablePbcNTSC.mpg").string());
    }
    EXPECT_TRUE(g_encoded.empty());
    fs::remove_all(dir);
}
