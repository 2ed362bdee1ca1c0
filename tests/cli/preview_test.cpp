// `vcdalbum preview` and `inspect` on images that are not the demo disc: a
// Video CD without playback control, a cut image, and files that hold no
// Video CD at all.
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/cli_runner.h"

namespace vcdalbum::clitest {
namespace {
namespace fs = std::filesystem;

// A two-track Video CD with no playback control, built straight with
// vcdxbuild from a short test clip; the second track has a second entry
// point, 2 s in.
class PlainDisc : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path clip = dir_ / "clip.mpg";
        const RunResult ffmpeg =
            RunProgram("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=352x240:rate=30000/1001", "-f",
                                  "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "4", "-target",
                                  "ntsc-vcd", clip.string()});
        ASSERT_EQ(ffmpeg.exitCode, 0) << ffmpeg.err;
        std::string items;
        for (int i = 1; i <= 2; ++i)
            items += "<sequence-item src=\"" + clip.string() + "\" id=\"s" + std::to_string(i) +
                     "\"><default-entry id=\"e" + std::to_string(i) + "\"/>" +
                     (i == 2 ? "<entry id=\"middle\">2</entry>" : "") + "</sequence-item>";
        WriteFile(dir_ / "disc.xml",
                  "<?xml version=\"1.0\"?>\n"
                  "<!DOCTYPE videocd PUBLIC \"-//GNU//DTD VideoCD//EN\" "
                  "\"http://www.gnu.org/software/vcdimager/videocd.dtd\">\n"
                  "<videocd xmlns=\"http://www.gnu.org/software/vcdimager/1.0/\" class=\"vcd\" version=\"2.0\">"
                  "<info><album-id>PLAIN</album-id><volume-count>1</volume-count><volume-number>1</volume-number>"
                  "<restriction>0</restriction></info><pvd><volume-id>PLAIN</volume-id>"
                  "<system-id>CD-RTOS CD-BRIDGE</system-id></pvd><sequence-items>" +
                      items + "</sequence-items></videocd>\n");
        const RunResult build = RunProgram("vcdxbuild", {"-c", cue_.string(), "-b", (dir_ / "plain.bin").string(),
                                                          (dir_ / "disc.xml").string()});
        ASSERT_EQ(build.exitCode, 0) << build.err;
    }

    ScratchDir dir_{"vcdalbum-plain-disc-"};
    fs::path cue_ = dir_ / "plain.cue";
};

TEST_F(PlainDisc, PreviewsAsAPlainTrackList) {
    const RunResult inspect = RunCli({"inspect", "--json", cue_.string()});
    ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
    const nlohmann::json disc = nlohmann::json::parse(inspect.out);
    EXPECT_TRUE(disc.at("lists").empty());
    EXPECT_EQ(disc.at("tracks").size(), 2u);
    // Entry points count from the start of the stream, not of the track's
    // empty margin.
    ASSERT_EQ(disc.at("entries").size(), 3u) << disc.at("entries");
    EXPECT_EQ(disc.at("entries")[1].at("track"), 2);
    EXPECT_NEAR(disc.at("entries")[1].at("seconds").get<double>(), 0, 0.05);
    EXPECT_EQ(disc.at("entries")[2].at("track"), 2);
    EXPECT_NEAR(disc.at("entries")[2].at("seconds").get<double>(), 2, 0.5);
    EXPECT_NEAR(disc.at("tracks")[1].at("seconds").get<double>(), 4, 0.3);

    const RunResult run = RunCli({"preview", cue_.string(), "--out", (dir_ / "preview").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("plain track list"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(dir_ / "preview" / "index.html"));
    EXPECT_TRUE(fs::exists(dir_ / "preview" / "track02.webm"));
}

// A cut .bin: the image still opens, but a track runs past its end. The
// message names the track and no page claims to be a finished preview.
TEST_F(PlainDisc, ACutImageNamesTheUnreadableTrackAndLeavesNoPage) {
    const auto bytes = ReadBytes(dir_ / "plain.bin");
    std::ofstream(dir_ / "plain.bin", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size() * 3 / 4));
    const fs::path out = dir_ / "preview";
    fs::create_directories(out);
    WriteFile(out / "index.html", "an older preview");
    const RunResult run = RunCli({"preview", cue_.string(), "--out", out.string(), "-q"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("track 2 cannot be read"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out / "index.html"));
    EXPECT_FALSE(fs::exists(out / "track02.webm"));
}

// `inspect` reads the BIN the CUE sheet names, whatever its name, and
// checks that it holds every sector of every track: a cut one is refused
// naming the track, with nothing on standard output (so `--json` is JSON or
// nothing). A folder is not taken for a missing image.
TEST_F(PlainDisc, InspectReadsTheNamedBinAndRefusesACutOne) {
    fs::rename(dir_ / "plain.bin", dir_ / "Our Trip (final).bin");
    std::string cue;
    for (char c : ReadBytes(cue_)) cue += static_cast<char>(c);
    const size_t file = cue.find("FILE "), end = cue.find('\n', file);
    ASSERT_NE(file, std::string::npos);
    cue.replace(file, end - file, "FILE \"Our Trip (final).bin\" BINARY");
    WriteFile(cue_, cue);
    const RunResult renamed = RunCli({"inspect", "--json", cue_.string()});
    ASSERT_EQ(renamed.exitCode, 0) << renamed.err;
    EXPECT_EQ(nlohmann::json::parse(renamed.out).at("tracks").size(), 2u);

    const auto bytes = ReadBytes(dir_ / "Our Trip (final).bin");
    std::ofstream(dir_ / "Our Trip (final).bin", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size() * 3 / 4));
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "--json" : "text");
        const RunResult cut = json ? RunCli({"inspect", "--json", cue_.string()}) : RunCli({"inspect", cue_.string()});
        EXPECT_EQ(cut.exitCode, 2);
        EXPECT_EQ(cut.out, "");
        EXPECT_NE(cut.err.find("track 2"), std::string::npos) << cut.err;
        EXPECT_NE(cut.err.find("cut short"), std::string::npos) << cut.err;
    }

    const RunResult folder = RunCli({"inspect", dir_.path().string()});
    EXPECT_EQ(folder.exitCode, 2);
    EXPECT_NE(folder.err.find("is a folder"), std::string::npos) << folder.err;
}

// Names on a disc come as bytes; JSON must still be written when they are
// not UTF-8.
TEST_F(PlainDisc, AnAlbumNameThatIsNotUtf8StillGivesJson) {
    auto bytes = ReadBytes(dir_ / "plain.bin");
    const std::string image(bytes.begin(), bytes.end());
    const size_t at = image.find("PLAIN", image.find("VIDEO_CD"));
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 0xE9;  // Latin-1 e-acute
    std::ofstream(dir_ / "plain.bin", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const RunResult run = RunCli({"inspect", "--json", cue_.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out).at("album"), "\uFFFDLAIN");
}

TEST(PreviewInput, AFileThatIsNoVideoCdGivesExitTwoNamingIt) {
    ScratchDir dir("vcdalbum-preview-input-");
    // A CUE sheet of the right shape over bytes that are no Video CD.
    WriteFile(dir / "junk.cue", "FILE \"junk.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n");
    WriteFile(dir / "junk.bin", std::string(2352 * 400, 'x'));
    WriteFile(dir / "notes.cue", "just some words\n");
    for (const char* name : {"junk.cue", "notes.cue", "missing.cue"}) {
        SCOPED_TRACE(name);
        for (const char* command : {"preview", "inspect"}) {
            const RunResult run = RunCli({command, (dir / name).string()});
            EXPECT_EQ(run.exitCode, 2) << command;
            EXPECT_NE(run.err.find(name), std::string::npos) << command << ": " << run.err;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "junk preview" / "index.html"));
}

}  // namespace
}  // namespace vcdalbum::clitest
