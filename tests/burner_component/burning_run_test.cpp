// The component as the library meets it: loaded by the COM layer, driven by
// VRX_Burner and by Authoring::StartBurning, and read back with the CLI.
#include <gtest/gtest.h>

#include <chrono>

#include "authoring/authoring_test_access.h"
#include "test_tools.h"
#include "vcdalbum/Authoring.h"
#include "vcdalbum/VRX_Burner.h"

namespace vcdalbum::components::burner::testing {
namespace {

class BurningRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("vcdxbuild") || CachedStream(0).empty()) GTEST_SKIP() << "ffmpeg or vcdxbuild is missing";
        fs::create_directory(images_);
        // The library's fixed first stream lives in the temporary folder.
        fs::copy_file(CachedStream(0), temp_ / "EnablePbcNTSC.mpg");
    }

    std::vector<std::string> ImageFiles() const { return FilesIn(images_); }

    ScratchDir temp_;
    fs::path images_ = temp_ / "images";
    ScopedEnv tempEnv_{"TEMP", temp_.path().string()};
    ScopedEnv imageEnv_{"VCDALBUM_IMAGE_DIR", (temp_ / "images").string()};
    ScopedEnv componentEnv_{"VCDALBUM_COMPONENT_DIR", std::string(VCDALBUM_BINARY_DIR) + "/lib"};
};

// The line `vcdalbum inspect` prints for list `lid`.
std::string ListLine(const std::string& report, int lid) {
    const std::string start = "list " + std::to_string(lid) + " ";
    const size_t at = report.find(start);
    if (at == std::string::npos) return "(none)";
    return report.substr(at, report.find('\n', at) - at);
}

TEST_F(BurningRun, WorkedExampleBurnsToTheImageRecorder) {
    char name[] = "Worked Example";
    Authoring authoring(name);
    authoring.SetAlbumNoPerMenu(0, 3);
    authoring.SetAlbumNoPerMenu(1, 2);
    AuthoringTestAccess::AppendMenuStream(authoring, CachedStream(1).string());
    AuthoringTestAccess::AppendMenuStream(authoring, CachedStream(2).string());
    for (size_t a = 0; a < 5; ++a) AuthoringTestAccess::AppendAlbumStream(authoring, CachedStream(3 + a).string());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(authoring.StartBurning(0, 8, 0, 0), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(ImageFiles(), (std::vector<std::string>{"Worked Example.bin", "Worked Example.cue"}));
    RecordProperty("image_bytes", std::to_string(fs::file_size(images_ / "Worked Example.bin")));
    RecordProperty("burn_seconds", std::to_string(seconds));

    const fs::path cue = images_ / "Worked Example.cue";
    const CommandResult inspect = RunShell(std::string("'") + VCDALBUM_CLI + "' inspect '" + cue.string() + "'");
    ASSERT_EQ(inspect.exitCode, 0) << inspect.output;
    EXPECT_NE(inspect.output.find("format: VCD 2.0"), std::string::npos) << inspect.output;
    EXPECT_NE(inspect.output.find("tracks: 8"), std::string::npos) << inspect.output;
    EXPECT_NE(inspect.output.find("lists: 7"), std::string::npos) << inspect.output;
    // Menu0 (list 1) shows MenuItem0, the second track after the fixed first stream.
    EXPECT_EQ(ListLine(inspect.output, 1),
              "list 1 kind=selection item=track:2 selections=3,4,5,2 prev=1 next=2 return=- wait=-1 timeout=- loop=0");
    EXPECT_EQ(ListLine(inspect.output, 2),
              "list 2 kind=selection item=track:6 selections=6,7 prev=1 next=2 return=- wait=-1 timeout=- loop=0");
    EXPECT_EQ(ListLine(inspect.output, 3),
              "list 3 kind=play item=track:3 selections=- prev=1 next=4 return=- wait=3 timeout=- loop=-");
    EXPECT_EQ(ListLine(inspect.output, 5),
              "list 5 kind=play item=track:5 selections=- prev=4 next=1 return=- wait=3 timeout=- loop=-");
    EXPECT_EQ(ListLine(inspect.output, 6),
              "list 6 kind=play item=track:7 selections=- prev=2 next=7 return=- wait=3 timeout=- loop=-");

    // The same graph, read independently by vcd-info.
    const std::map<int, PsdList> psd = ReadPsd(RunShell("vcd-info -B -c '" + cue.string() + "' -p 2>&1").output);
    ASSERT_EQ(psd.size(), 7u);
    EXPECT_EQ(psd.at(1).selections, (std::vector<int>{3, 4, 5, 2}));
    EXPECT_EQ(psd.at(1).prev, 1);
    EXPECT_EQ(psd.at(1).next, 2);
    EXPECT_EQ(psd.at(1).wait, "-1");
    EXPECT_EQ(psd.at(1).loop, "0");
    EXPECT_EQ(psd.at(5).next, 1);
    EXPECT_EQ(psd.at(6).prev, 2);

    if (HaveTool("cdrdao")) {
        const CommandResult toc = RunShell("cd '" + images_.string() + "' && cdrdao toc-info 'Worked Example.cue' 2>&1");
        EXPECT_EQ(toc.exitCode, 0) << toc.output;
    }
}

TEST_F(BurningRun, BrokenProjectFailsAtBuildAndWritesNoDisc) {
    VRX_Burner burner;
    unsigned char name[] = "Broken";
    ASSERT_EQ(burner.init(4, name), VRX_OK);
    fs::copy_file(CachedStream(1), temp_ / "menu.mpg");
    unsigned long size = 0, isDat = 0;
    ASSERT_EQ(burner.addSequenceItem((temp_ / "menu.mpg").c_str(), "MenuItem0", "0", &size, &isDat), VRX_OK);
    char menuName[] = "Menu0", item[] = "MenuItem0", album[] = "Album0";
    _pbc_t* menu = burner.getSelectionListNode(menuName);
    burner.setSelectionItemID(menu, item);
    burner.addSelectionID(menu, album);  // a node that is never added
    ASSERT_EQ(burner.AddNode(menu), VRX_OK);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(burner.burn(0, nullptr, 8), VRX_FAIL);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("node 'Menu0': selection 'Album0' does not exist"),
              std::string::npos);
    EXPECT_EQ(ImageFiles(), std::vector<std::string>{});

    // Mended, but the stream has gone since it was added.
    char albumItem[] = "MenuItem0";
    _pbc_t* albumNode = burner.getPlayListNode(album);
    burner.addPlayItemID(albumNode, albumItem);
    ASSERT_EQ(burner.AddNode(albumNode), VRX_OK);
    fs::remove(temp_ / "menu.mpg");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(burner.burn(0, nullptr, 8), VRX_FAIL);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("sequence item 'MenuItem0'"), std::string::npos);
    EXPECT_EQ(ImageFiles(), std::vector<std::string>{});

    fs::copy_file(CachedStream(1), temp_ / "menu.mpg");
    EXPECT_EQ(burner.burn(0, nullptr, 8), VRX_OK);
    EXPECT_EQ(ImageFiles(), (std::vector<std::string>{"Broken.bin", "Broken.cue"}));
}

TEST_F(BurningRun, DrivesCommandListsTheImageRecorder) {
    const CommandResult drives = RunShell(std::string("'") + VCDALBUM_CLI + "' drives 2>&1");
    ASSERT_EQ(drives.exitCode, 0) << drives.output;
    EXPECT_NE(drives.output.find("    0  VCDALBUM BIN/CUE IMAGE 1.0"), std::string::npos) << drives.output;
    EXPECT_NE(drives.output.find("CD-R/RW  blank CD-RW, 80:00 free"), std::string::npos) << drives.output;
}

TEST_F(BurningRun, InspectRefusesWhatIsNotADisc) {
    WriteFile(temp_ / "junk.cue", "FILE \"junk.bin\" BINARY\n");
    WriteFile(temp_ / "junk.bin", std::string(2352 * 4, 'x'));
    const CommandResult junk = RunShell(std::string("'") + VCDALBUM_CLI + "' inspect '" + (temp_ / "junk.cue").string() + "' 2>&1");
    EXPECT_EQ(junk.exitCode, 2);
    EXPECT_NE(junk.output.find("is not a readable Video CD image"), std::string::npos) << junk.output;
    const CommandResult none = RunShell(std::string("'") + VCDALBUM_CLI + "' inspect /no/such.cue 2>&1");
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.output.find("no such disc image: /no/such.cue"), std::string::npos);
}

}  // namespace
}  // namespace vcdalbum::components::burner::testing
