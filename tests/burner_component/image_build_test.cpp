// Building real images with vcdimager: the two-menu example disc, read back
// with vcd-info and cdrdao, and the failures that must leave no image.
#include <chrono>
#include <regex>

#include "burner_test_support.h"
#include "disc_layout.h"
#include "image_recorder.h"

namespace vcdalbum::components::burner::testing {
namespace {

class Streams {
public:
    static fs::path Stream(size_t i) { return CachedStream(i); }
    static bool Ready() {
        if (!HaveTool("vcdxbuild")) return false;
        for (size_t i = 0; i < 8; ++i)
            if (Stream(i).empty()) return false;
        return true;
    }
};

struct Link {
    std::string node, item, prev, next;
    std::vector<std::string> selections;
};

// Two menus with three and two albums, linked the way the authoring run
// links them, added menus first.
const std::vector<Link> kExampleNodes = {
    {"Menu0", "MenuItem0", "Menu0", "Menu1", {"Album0", "Album1", "Album2", "Menu1"}},
    {"Menu1", "MenuItem1", "Menu0", "Menu1", {"Album3", "Album4"}},
    {"Album0", "AlbumItem0", "Menu0", "Album1", {}},
    {"Album1", "AlbumItem1", "Album0", "Album2", {}},
    {"Album2", "AlbumItem2", "Album1", "Menu0", {}},
    {"Album3", "AlbumItem3", "Menu1", "Album4", {}},
    {"Album4", "AlbumItem4", "Album3", "Menu1", {}},
};

class ImageBuild : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Streams::Ready()) GTEST_SKIP() << "ffmpeg or vcdxbuild is missing";
        ASSERT_EQ(project_->NewProject(&handle_, 4), com::S_OK);
        ASSERT_EQ(project_->SetProjectName(handle_, reinterpret_cast<const unsigned char*>("Example Disc")), com::S_OK);
    }
    void TearDown() override {
        if (handle_) project_->CloseProject(handle_);
    }

    void AddExampleItems() {
        const std::vector<std::tuple<size_t, std::string, std::string>> items = {
            {0, "default", "defaultentry"}, {1, "MenuItem0", "0"}, {2, "AlbumItem0", "0"}, {3, "AlbumItem1", "1"},
            {4, "AlbumItem2", "2"},         {5, "MenuItem1", "1"}, {6, "AlbumItem3", "3"}, {7, "AlbumItem4", "4"}};
        for (const auto& [stream, item, entry] : items) {
            unsigned long size = 0, isDat = 0;
            ASSERT_EQ(project_->AddSequence(handle_, item.c_str(), Streams::Stream(stream).c_str(), entry.c_str(), &size,
                                            &isDat),
                      com::S_OK);
            EXPECT_GT(size, 0u);
        }
    }

    void AddNodes(const std::vector<Link>& links) {
        for (const Link& link : links) {
            const bool menu = link.node.rfind("Menu", 0) == 0;
            NodeRecord node(menu ? PBC_SELECTION_LIST : PBC_PLAY_LIST, link.node);
            if (menu) {
                node.Item(link.item).Timeout(-1).Loop(0);
                for (const std::string& selection : link.selections) node.Select(selection);
            } else {
                node.PlayItem(link.item).Wait(3);
            }
            node.Prev(link.prev).Next(link.next);
            ASSERT_EQ(project_->AddPbcNode(handle_, node.get()), com::S_OK);
        }
    }

    // Writes the built project to drive 0 the way VRX_Burner::burn does.
    HRESULT Record(int32_t drive = 0, float speed = 8) {
        ComPtr<vcdalbum::burner::IBurnRecorder> recorder = NewRecorderObject();
        IOInfo io{};
        io.sourceKind = 7;
        io.source = handle_;
        io.sourceStart = 150;
        io.sourceSectorSize = 2352;
        io.targetKind = 2;
        io.target = static_cast<uintptr_t>(drive);
        io.speed = speed;
        ReportInfo report{};
        const HRESULT setup = recorder->SetupRecorder(&io, &report);
        if (com::Failed(setup)) return setup;
        const HRESULT hr = recorder->StartRecording(1);
        recorder->EndRecording();
        return hr;
    }

    // Builds, expecting failure `code` with `message`, and checks that no
    // image and no work file is left.
    void ExpectBuildFailure(HRESULT code, const std::string& message) {
        ScopedEnv imageDir("VCDALBUM_IMAGE_DIR", images_.path().string());
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(project_->BuildProject(handle_), code);
        EXPECT_NE(Record(), com::S_OK);  // a recorder given the broken project writes nothing either
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(message), std::string::npos) << said;
        EXPECT_EQ(FilesIn(images_.path()), std::vector<std::string>{});
        const fs::path work = WorkDirOf(handle_);
        if (!work.empty()) {
            EXPECT_EQ(FilesIn(work), std::vector<std::string>{});
        }
    }

    ComPtr<vcdalbum::burner::IBurnProject> project_ = NewProjectObject();
    uint32_t handle_ = 0;
    ScratchDir images_;
};

TEST_F(ImageBuild, TwoMenuExampleIsNavigableAsLaidOut) {
    AddExampleItems();
    AddNodes(kExampleNodes);
    ScopedEnv imageDir("VCDALBUM_IMAGE_DIR", images_.path().string());
    ASSERT_EQ(project_->BuildProject(handle_), com::S_OK);
    ASSERT_EQ(Record(), com::S_OK);

    EXPECT_EQ(FilesIn(images_.path()), (std::vector<std::string>{"Example Disc.bin", "Example Disc.cue"}));
    const std::string cue = ReadFile(images_ / "Example Disc.cue");
    EXPECT_EQ(cue.rfind("FILE \"Example Disc.bin\" BINARY\n", 0), 0u) << cue;  // relative to the CUE
    EXPECT_NE(cue.find("TRACK 09"), std::string::npos);  // data track and eight streams

    // Read back from another folder: the pair is self-contained.
    const CommandResult info = RunShell("cd / && vcd-info -B -c '" + (images_ / "Example Disc.cue").string() + "' -p 2>&1");
    ASSERT_EQ(info.exitCode, 0) << info.output;
    const std::map<int, PsdList> psd = ReadPsd(info.output);
    ASSERT_EQ(psd.size(), 7u) << info.output;
    // LIDs follow the order the nodes were added: Menu0 1, Menu1 2, Album0..4 3..7.
    const PsdList& menu0 = psd.at(1);
    EXPECT_EQ(menu0.kind, "selection");
    EXPECT_EQ(menu0.selections, (std::vector<int>{3, 4, 5, 2}));
    EXPECT_EQ(menu0.prev, 1);
    EXPECT_EQ(menu0.next, 2);
    EXPECT_EQ(menu0.wait, "-1");
    EXPECT_EQ(menu0.loop, "0");
    EXPECT_EQ(psd.at(2).selections, (std::vector<int>{6, 7}));
    EXPECT_EQ(psd.at(2).prev, 1);
    EXPECT_EQ(psd.at(5).kind, "play");
    EXPECT_EQ(psd.at(5).next, 1);  // Album2 goes back to Menu0
    EXPECT_EQ(psd.at(6).prev, 2);  // Album3's previous is Menu1
    EXPECT_EQ(psd.at(7).next, 2);
    EXPECT_EQ(psd.at(3).wait, "3");

    if (HaveTool("cdrdao")) {
        const CommandResult toc = RunShell("cd '" + images_.path().string() + "' && cdrdao toc-info 'Example Disc.cue' 2>&1");
        EXPECT_EQ(toc.exitCode, 0) << toc.output;
    }

    _QelDiscInfo disc;
    uint32_t error = 0;
    ASSERT_EQ(NewDriveControlObject()->QueryDiscInfo(0, &disc, &error), com::S_OK);
    EXPECT_EQ(disc.status, QEL_STATUS_COMPLETE);
    EXPECT_EQ(disc.tracks, 9);
    EXPECT_EQ(disc.usedSectors, fs::file_size(images_ / "Example Disc.bin") / 2352 + 150);
    // The disc-time check plans with at least what vcdxbuild really used.
    uint64_t planned = 0;
    ProjectStore::Instance().With(handle_, [&](Project& p) { planned = EstimateDiscSectors(p); });
    EXPECT_GE(planned, disc.usedSectors);
    EXPECT_LE(planned, disc.usedSectors + 300);

    // Erasing drive 0 takes the image away again.
    auto eraser = Create<vcdalbum::burner::IDiscEraser>(vcdalbum::burner::CLSID_DiscEraser, vcdalbum::burner::IID_IDiscEraser);
    eraser->SetEraseDrive(0);
    EXPECT_EQ(eraser->EraseDisc(), com::S_OK);
    EXPECT_EQ(FilesIn(images_.path()), std::vector<std::string>{});
    NewDriveControlObject()->QueryDiscInfo(0, &disc, &error);
    EXPECT_EQ(disc.status, QEL_STATUS_BLANK);
}

TEST_F(ImageBuild, OpticalDriveGetsTheImageThroughCdrdaoWrite) {
    RecordingCdrdao cdrdao;
    FakeDrives::Drive writer;
    writer.device = "/dev/sr7";
    writer.info.capabilities = QEL_DRIVE_CAN_WRITE_CD_R;
    ScopedDrives fake(std::make_unique<FakeDrives>(std::vector<FakeDrives::Drive>{writer}, nullptr));
    AddExampleItems();
    AddNodes(kExampleNodes);
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(project_->BuildProject(handle_), com::S_OK);
    EXPECT_EQ(Record(1, 8.0f), com::S_OK);
    const std::string cue = (WorkDirOf(handle_) / "disc.cue").string();
    EXPECT_EQ(cdrdao.Calls(), "write --device /dev/sr7 --speed 8 --eject -n " + cue + "\n");

    cdrdao.ExitWith(2);
    EXPECT_EQ(Record(1, 0), QEL_E_RECORDER_TOOL);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cdrdao stand-in: write"), std::string::npos) << said;
    EXPECT_NE(said.find("failed with exit code 2"), std::string::npos) << said;

    // The recorder refuses what it cannot do before anything runs.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Record(2), QEL_E_NO_DRIVE);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("there is no drive 2"), std::string::npos);
    ComPtr<vcdalbum::burner::IBurnRecorder> recorder = NewRecorderObject();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(recorder->StartRecording(1), QEL_E_NOT_SET_UP);
    IOInfo io{};
    io.sourceKind = 6;
    EXPECT_EQ(recorder->SetupRecorder(&io, nullptr), com::E_NOTIMPL);
    ::testing::internal::GetCapturedStderr();
}

TEST_F(ImageBuild, MissingStreamFileFailsAtBuild) {
    AddExampleItems();
    ScratchDir gone;
    ASSERT_TRUE(MakeStream(gone / "album.mpg", "white", 1));
    ASSERT_EQ(project_->AddSequence(handle_, "AlbumItem5", (gone / "album.mpg").c_str(), "5", nullptr, nullptr), com::S_OK);
    fs::remove(gone / "album.mpg");
    AddNodes(kExampleNodes);
    ExpectBuildFailure(QEL_E_INVALID_PROJECT, "sequence item 'AlbumItem5': file '" + (gone / "album.mpg").string() +
                                                  "' cannot be read");
}

// vcdimager builds a disc of NTSC and PAL tracks without a word, and players
// then switch badly or not at all: the first stream that leaves the disc's
// standard is named, and nothing is written.
TEST_F(ImageBuild, MixedStandardsFailAtBuildNamingTheFirstStreamThatDiffers) {
    AddExampleItems();
    ScratchDir dir;
    for (const char* item : {"AlbumItem5", "AlbumItem6"}) {
        const fs::path file = dir / (std::string(item) + ".mpg");
        ASSERT_TRUE(MakeStream(file, "white", 4, true));
        ASSERT_EQ(project_->AddSequence(handle_, item, file.c_str(), "5", nullptr, nullptr), com::S_OK);
    }
    AddNodes(kExampleNodes);
    ExpectBuildFailure(QEL_E_INVALID_PROJECT, "sequence item 'AlbumItem5' (file '" + (dir / "AlbumItem5.mpg").string() +
                                                  "') is PAL (352x288 at 25 frames/s), but the first stream, sequence "
                                                  "item 'default' (file '" + Streams::Stream(0).string() +
                                                  "'), is NTSC (352x240 at 29.97 frames/s)");
}

TEST_F(ImageBuild, DanglingSelectionFailsAtBuild) {
    AddExampleItems();
    std::vector<Link> nodes = kExampleNodes;
    nodes[1].selections.push_back("Album9");
    AddNodes(nodes);
    ExpectBuildFailure(QEL_E_INVALID_PROJECT, "node 'Menu1': selection 'Album9' does not exist");
}

TEST_F(ImageBuild, HundredSelectionsFailAtBuild) {
    AddExampleItems();
    std::vector<Link> nodes = kExampleNodes;
    nodes[1].selections.assign(100, "Album3");
    AddNodes(nodes);
    ExpectBuildFailure(QEL_E_INVALID_PROJECT, "node 'Menu1' has 100 selections");
}

TEST_F(ImageBuild, DuplicateNodeNameFailsAtBuild) {
    AddExampleItems();
    std::vector<Link> nodes = kExampleNodes;
    nodes.push_back(nodes[3]);
    AddNodes(nodes);
    ExpectBuildFailure(QEL_E_INVALID_PROJECT, "node name 'Album1' is used by more than one node");
}

TEST_F(ImageBuild, StreamVcdxbuildRejectsFailsWithItsMessage) {
    ScratchDir dir;
    // An MPEG-1 pack header and nothing a decoder could use after it.
    WriteFile(dir / "broken.mpg", std::string("\0\0\1\xBA\x21\0\1\0\1\x80\x1B\x91", 12) + std::string(50000, '\x55'));
    ASSERT_EQ(project_->AddSequence(handle_, "broken", (dir / "broken.mpg").c_str(), "0", nullptr, nullptr), com::S_OK);
    ExpectBuildFailure(QEL_E_IMAGE_BUILD, "vcdxbuild");
}

TEST_F(ImageBuild, UnwritableImageDirectoryLeavesNoImage) {
    AddExampleItems();
    AddNodes(kExampleNodes);
    ASSERT_EQ(project_->BuildProject(handle_), com::S_OK);
    // A folder nobody may create files in; root ignores permission bits, so
    // it gets a folder of a read-only file system instead.
    fs::path target = images_ / "locked";
    fs::create_directory(target);
    if (geteuid() == 0)
        target = "/proc/self";
    else
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_exec);
    ScopedEnv imageDir("VCDALBUM_IMAGE_DIR", target.string());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Record(), QEL_E_DESTINATION);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot write the image of project 'Example Disc' to " + target.string()), std::string::npos)
        << said;
    EXPECT_FALSE(fs::exists(target / "Example Disc.bin"));
    EXPECT_FALSE(fs::exists(target / "Example Disc.cue"));
    if (geteuid() != 0) {
        EXPECT_EQ(FilesIn(target), std::vector<std::string>{});
    }
}

TEST_F(ImageBuild, FailedRebuildLeavesNothingStaleToRecord) {
    AddExampleItems();
    AddNodes(kExampleNodes);
    ASSERT_EQ(project_->BuildProject(handle_), com::S_OK);
    EXPECT_FALSE(FilesIn(WorkDirOf(handle_)).empty());
    // A later change breaks the project: the old image must not be burned.
    AddNodes({{"Menu2", "MenuItem0", "Menu7", "Menu0", {}}});
    ExpectBuildFailure(QEL_E_INVALID_PROJECT, "node 'Menu2': its previous node 'Menu7' does not exist");
}

TEST_F(ImageBuild, ClosingRemovesTheWorkDirectory) {
    AddExampleItems();
    ASSERT_EQ(project_->BuildProject(handle_), com::S_OK);  // a disc without playback control is fine
    const fs::path work = WorkDirOf(handle_);
    ASSERT_TRUE(fs::exists(work / "disc.bin"));
    EXPECT_EQ(project_->CloseProject(handle_), com::S_OK);
    EXPECT_FALSE(fs::exists(work));
    handle_ = 0;
}

}  // namespace
}  // namespace vcdalbum::components::burner::testing
