// The demo disc, built once and read back with the disc tools.
#include <regex>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "cli/disc_reader.h"

namespace vcdalbum::clitest {
namespace {
namespace fs = std::filesystem;

class DemoDisc : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir("demo_disc");
        run_ = new RunResult(RunCli({"demo", "--out", (*dir_ / "out").string()}));
        cue_ = *dir_ / "out" / "vcdalbum demo.cue";
        fs::create_directories(*dir_ / "rip");
        if (run_->exitCode == 0) disc_ = new Disc(RipDisc(cue_, *dir_ / "rip"));
    }
    static void TearDownTestSuite() {
        delete disc_;
        delete run_;
        delete dir_;
        disc_ = nullptr;
    }
    void SetUp() override {
        ASSERT_EQ(run_->exitCode, 0) << run_->err;
        ASSERT_NE(disc_, nullptr);
    }

    static ScratchDir* dir_;
    static RunResult* run_;
    static fs::path cue_;
    static Disc* disc_;
};
ScratchDir* DemoDisc::dir_ = nullptr;
RunResult* DemoDisc::run_ = nullptr;
fs::path DemoDisc::cue_;
Disc* DemoDisc::disc_ = nullptr;

TEST_F(DemoDisc, SaysWhereTheImageIsAndHowToUseIt) {
    EXPECT_NE(run_->out.find(cue_.string()), std::string::npos) << run_->out;
    EXPECT_NE(run_->out.find("Play it"), std::string::npos);
    EXPECT_NE(run_->out.find("Burn it"), std::string::npos);
    EXPECT_TRUE(fs::exists(*dir_ / "out" / "vcdalbum demo.bin"));
    EXPECT_TRUE(fs::exists(*dir_ / "out" / "project" / "project.json"));  // rebuildable with `vcdalbum build`
}

TEST_F(DemoDisc, ReadBackAsVcd20WithTwoMenusAndSixAlbums) {
    const RunResult info = RunProgram("vcd-info", {"-B", "-c", cue_.string(), "-f", "-I", "-L", "-p", "-E", "-T", "-F"});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_TRUE(std::regex_search(info.out, std::regex("VCD 2\\.0"))) << info.out.substr(0, 2000);
    const RunResult inspect = RunCli({"inspect", cue_.string()});
    EXPECT_EQ(inspect.exitCode, 0) << inspect.err;
    EXPECT_TRUE(std::regex_search(inspect.out, std::regex("VCD 2\\.0"))) << inspect.out.substr(0, 2000);

    EXPECT_EQ(disc_->discClass, "vcd");
    EXPECT_EQ(disc_->version, "2.0");
    // The lead clip, then menu 1 and its four albums, menu 2 and its two.
    ASSERT_EQ(disc_->tracks.size(), 9u);
    ASSERT_EQ(disc_->nodes.size(), 8u);
    const DiscNode& menu1 = disc_->nodes[0];
    const DiscNode& menu2 = disc_->nodes[1];
    EXPECT_TRUE(menu1.selectionList);
    EXPECT_TRUE(menu2.selectionList);
    EXPECT_EQ(menu1.selections, (std::vector<int>{2, 3, 4, 5, 1}));
    EXPECT_EQ(menu2.selections, (std::vector<int>{6, 7}));
    EXPECT_EQ(menu1.track, 1);
    EXPECT_EQ(menu2.track, 6);
    for (int a = 2; a < 8; ++a) EXPECT_FALSE(disc_->nodes[static_cast<size_t>(a)].selectionList) << a;
}

TEST_F(DemoDisc, EveryTrackIsAConformantNtscVcdStream) {
    ASSERT_FALSE(disc_->tracks.empty());
    for (const auto& track : disc_->tracks) {
        const RunResult probe = RunProgram("ffprobe", {"-v", "error", "-show_entries",
                                                "stream=codec_name,width,height,r_frame_rate,sample_aspect_ratio,"
                                                "sample_rate,channels,bit_rate:format=format_name",
                                                "-of", "default=noprint_wrappers=1", track.string()});
        ASSERT_EQ(probe.exitCode, 0) << track << "\n" << probe.err;
        const std::string& o = probe.out;
        EXPECT_NE(o.find("codec_name=mpeg1video"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("width=352"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("height=240"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("r_frame_rate=30000/1001"), std::string::npos) << track << "\n" << o;
        // MPEG-1 codes pixel shape by table: the 525-line 4:3 entry reads back as 200:219.
        EXPECT_TRUE(std::regex_search(o, std::regex("sample_aspect_ratio=(10:11|200:219)"))) << track << "\n" << o;
        EXPECT_NE(o.find("codec_name=mp2"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("sample_rate=44100"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("channels=2"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("format_name=mpeg"), std::string::npos) << track << "\n" << o;
    }
}

}  // namespace
}  // namespace vcdalbum::clitest
