// `vcdalbum build` on projects made by the test: the playback-control graph,
// reproducible images, and the refusals of bad input.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include <gtest/gtest.h>
#include <vcdalbum/codec.h>

#include "cli/cli_runner.h"
#include "cli/disc_reader.h"

namespace vcdalbum::clitest {
namespace {
namespace fs = std::filesystem;

class Build : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 1; i <= 4; ++i) WritePicture(dir_ / ("p" + std::to_string(i) + ".jpg"), i);
    }
    fs::path Project(const std::string& json, const std::string& name = "disc.json") {
        WriteFile(dir_ / name, json);
        return dir_ / name;
    }
    // No image of any name in `out`.
    static void ExpectNoImage(const fs::path& out) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(out, ec)) {
            const auto ext = e.path().extension();
            EXPECT_TRUE(ext != ".cue" && ext != ".bin") << "left behind: " << e.path();
        }
    }

    // Two menus offering 3 and 2 albums of two pictures, `settings` (JSON
    // members with a trailing comma) added to the disc.
    fs::path GraphProject(const std::string& settings = "") {
        std::string albums;
        for (int a = 0; a < 5; ++a)
            albums += std::string(a ? "," : "") + R"({"title": "A)" + std::to_string(a) +
                      R"(", "pictures": ["p1.jpg", "p2.jpg"], "seconds_per_picture": 1})";
        return Project(R"({"title": "Graph", )" + settings + R"("menus": [["A0", "A1", "A2"], ["A3", "A4"]], "albums": [)" +
                       albums + "]}");
    }

    ScratchDir dir_{"vcdalbum-build-"};
};

// Menus first, then albums, linked as a remote control expects (next album,
// back to the menu, previous).
void ExpectMenuGraph(const Disc& disc) {
    // Tracks: lead clip, menu 0, albums 0-2, menu 1, albums 3-4.
    ASSERT_EQ(disc.tracks.size(), 8u);
    ASSERT_EQ(disc.nodes.size(), 7u);
    enum { Menu0, Menu1, Album0, Album1, Album2, Album3, Album4 };
    struct Expected {
        bool menu;
        int track;
        std::vector<int> selections;
        int prev, next;
    };
    const Expected expected[] = {
        {true, 1, {Album0, Album1, Album2, Menu1}, Menu0, Menu1},
        {true, 5, {Album3, Album4}, Menu0, Menu1},
        {false, 2, {}, Menu0, Album1},
        {false, 3, {}, Album0, Album2},
        {false, 4, {}, Album1, Menu0},
        {false, 6, {}, Menu1, Album4},
        {false, 7, {}, Album3, Menu1},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        const DiscNode& n = disc.nodes[i];
        const Expected& e = expected[i];
        SCOPED_TRACE("node " + std::to_string(i) + " " + n.id);
        EXPECT_EQ(n.selectionList, e.menu);
        EXPECT_EQ(n.track, e.track);
        EXPECT_EQ(n.selections, e.selections);
        EXPECT_EQ(n.prev, e.prev);
        EXPECT_EQ(n.next, e.next);
        EXPECT_EQ(n.ret, -1);
        if (!e.menu) {
            EXPECT_EQ(n.wait, "3");
        }
    }
}

TEST_F(Build, ExplicitGroupsOfThreeAndTwoGiveTheMenuGraph) {
    const RunResult run = RunCli({"build", GraphProject().string(), "--out", (dir_ / "out").string(), "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    fs::create_directories(dir_ / "rip");
    ExpectMenuGraph(RipDisc(dir_ / "out" / "Graph.cue", dir_ / "rip"));
}

// A PAL project: every track, the lead clip and the menus too, is PAL with
// the 625-line 4:3 aspect code (RipDisc checks each track's rate buffer), the
// disc reads as VCD 2.0, and the graph is the NTSC one.
TEST_F(Build, PalProjectGivesAPalDiscWithTheSameGraph) {
    const fs::path project = GraphProject(R"("video": "pal", "transitions": "CrossFade", )");
    const RunResult run = RunCli({"build", project.string(), "--out", (dir_ / "out").string(), "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    fs::create_directories(dir_ / "rip");
    const Disc disc = RipDisc(dir_ / "out" / "Graph.cue", dir_ / "rip");
    ExpectMenuGraph(disc);
    const RunResult info = RunProgram("vcd-info", {"-B", "-c", (dir_ / "out" / "Graph.cue").string(), "-f", "-I"});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_TRUE(std::regex_search(info.out, std::regex("VCD 2\\.0"))) << info.out.substr(0, 2000);
    // INFO.VCD flags each of the eight tracks as PAL for the player.
    EXPECT_TRUE(std::regex_search(info.out, std::regex("pal flags: 11111111 0"))) << info.out.substr(0, 2000);
    for (const fs::path& track : disc.tracks) {
        const RunResult probe = RunProgram("ffprobe", {"-v", "error", "-show_entries",
                                                        "stream=codec_name,width,height,r_frame_rate,sample_rate,channels",
                                                        "-of", "default=noprint_wrappers=1", track.string()});
        ASSERT_EQ(probe.exitCode, 0) << track << "\n" << probe.err;
        for (const char* expected : {"codec_name=mpeg1video", "width=352", "height=288", "r_frame_rate=25/1",
                                     "codec_name=mp2", "sample_rate=44100", "channels=2"})
            EXPECT_NE(probe.out.find(expected), std::string::npos) << track << " lacks " << expected << "\n" << probe.out;
        const std::vector<uint8_t> bytes = ReadBytes(track);
        const uint8_t header[] = {0, 0, 1, 0xB3};
        const auto at = std::search(bytes.begin(), bytes.end(), std::begin(header), std::end(header));
        ASSERT_LT(at + 8, bytes.end()) << track;
        EXPECT_EQ(at[7] >> 4, 8) << track << ": aspect code";
        EXPECT_EQ(at[7] & 0x0F, 3) << track << ": picture rate code";
    }

    // --video overrides the project's choice; the plan says which it is.
    const RunResult plan = RunCli({"build", project.string(), "--dry-run"});
    const RunResult ntsc = RunCli({"build", project.string(), "--dry-run", "--video", "NTSC"});
    EXPECT_NE(plan.out.find("video: PAL"), std::string::npos) << plan.out;
    EXPECT_EQ(ntsc.exitCode, 0) << ntsc.err;
    EXPECT_EQ(ntsc.out.find("video: PAL"), std::string::npos) << ntsc.out;
    EXPECT_NE(RunCli({"build", project.string(), "--dry-run", "--video", "secam"}).exitCode, 0);
}

// The image depends on the project and the seed only: not on the clock, and
// not on how many threads shared the work (albums finish out of order then,
// and the dissolving effects draw random numbers).
TEST_F(Build, SameProjectAndSeedGiveTheSameImageWithAnyNumberOfJobs) {
    const fs::path project = Project(R"({"title": "Again", "transitions": "random", "seconds_per_picture": 1,
        "albums": [{"title": "One", "pictures": ["p1.jpg", "p2.jpg", "p3.jpg"]},
                   {"title": "Two", "pictures": ["p4.jpg", "p2.jpg", "p1.jpg"],
                    "transitions": ["NoisyCrossFade", "DissolveFromTop"]},
                   {"title": "Three", "pictures": ["p3.jpg", "p4.jpg"], "transitions": ["DissolveFromRight"]}]})");
    for (const auto& [out, jobs] : {std::pair{"a", "1"}, std::pair{"b", "2"}}) {
        const RunResult run = RunCli(
            {"build", project.string(), "--out", (dir_ / out).string(), "--seed", "99", "--jobs", jobs, "-q"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        // Let the clock move on: file dates in the image must not follow it.
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    }
    const auto a = ReadBytes(dir_ / "a" / "Again.bin"), b = ReadBytes(dir_ / "b" / "Again.bin");
    ASSERT_GT(a.size(), 100000u);
    EXPECT_TRUE(a == b) << "the two images differ";
    // The plan shows the effects the seed chose, and another seed chooses others.
    const RunResult plan99 = RunCli({"build", project.string(), "--dry-run", "--seed", "99"});
    const RunResult plan7 = RunCli({"build", project.string(), "--dry-run", "--seed", "7"});
    EXPECT_EQ(plan99.exitCode, 0);
    EXPECT_NE(plan99.out, plan7.out);
}

// The same picture twice, once with a caption: the two prepared pictures the
// build hands to the encoder differ, and only in the bottom band where the
// caption goes (widened to the JPEG blocks it touches).
TEST_F(Build, CaptionIsDrawnIntoItsPictureOnly) {
    const fs::path project = Project(R"({"title": "Words", "seconds_per_picture": 1,
        "albums": [{"title": "One", "pictures": [{"file": "p1.jpg", "caption": "Hello there"}, "p1.jpg"]}]})");
    fs::create_directories(dir_ / "tmp");
    const RunResult run = RunCli({"build", project.string(), "--out", (dir_ / "out").string(), "--keep-work", "-q"},
                                 {"TMPDIR=" + (dir_ / "tmp").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    fs::path work;
    for (const auto& e : fs::directory_iterator(dir_ / "tmp")) work = e.path();
    Image captioned{}, plain{};
    ASSERT_TRUE(DecodeJpegFile((work / "pictures" / "a0_0.jpg").string(), captioned).ok());
    ASSERT_TRUE(DecodeJpegFile((work / "pictures" / "a0_1.jpg").string(), plain).ok());
    ASSERT_EQ(captioned.width, plain.width);
    ASSERT_EQ(captioned.height, plain.height);
    uint32_t top = captioned.height, bottom = 0;
    for (uint32_t y = 0; y < captioned.height; ++y)
        if (std::memcmp(captioned.data + y * ImageStride(captioned.width), plain.data + y * ImageStride(plain.width),
                        3 * size_t{captioned.width}) != 0) {
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    ReleaseImage(captioned);
    ReleaseImage(plain);
    EXPECT_LE(top, bottom) << "the caption is missing";
    EXPECT_GE(top, 176u);     // the caption's line, above the safe area's lower edge
    EXPECT_LT(bottom, 224u);  // the safe area ends at 216; JPEG blocks reach 8 lines on
}

TEST_F(Build, BadInputStopsWithExitTwoNamingTheCulpritAndNoImage) {
    const auto jpeg = ReadBytes(dir_ / "p1.jpg");
    std::ofstream(dir_ / "cut.jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size() / 4));
    WriteFile(dir_ / "notes.jpg", "these are not pixels\n");
    WriteFile(dir_ / "blocker", "a file where a folder should be");
    std::string hours = R"("p1.jpg")";
    for (int i = 0; i < 499; ++i) hours += R"(, "p1.jpg")";

    struct Case {
        const char* what;
        std::string json;
        std::string culprit;
        std::string out = "out";
        bool oneDisc = false;  // --discs 1: refused rather than divided
    };
    const Case cases[] = {
        {"missing picture", R"({"title": "T", "albums": [{"title": "A", "pictures": ["p1.jpg", "gone.jpg"]}]})",
         "gone.jpg"},
        {"corrupt JPEG", R"({"title": "T", "albums": [{"title": "A", "pictures": ["p1.jpg", "cut.jpg"]}]})", "cut.jpg"},
        {"text named .jpg", R"({"title": "T", "albums": [{"title": "A", "pictures": ["notes.jpg"]}]})", "notes.jpg"},
        {"empty album", R"({"title": "T", "albums": [{"title": "Hollow", "pictures": []}]})", "Hollow"},
        {"unknown effect",
         R"({"title": "T", "albums": [{"title": "A", "pictures": ["p1.jpg", "p2.jpg"], "transitions": "Swirl"}]})",
         "Swirl"},
        {"over capacity",
         R"({"title": "T", "albums": [{"title": "Short", "pictures": ["p1.jpg"]},
            {"title": "Endless", "seconds_per_picture": 600, "pictures": [)" + hours + "]}]}",
         "Endless", "out", true},
        {"unwritable output folder", R"({"title": "T", "albums": [{"title": "A", "pictures": ["p1.jpg"]}]})",
         "blocker", "blocker/out"},
        {"malformed JSON", R"({"title": "T", "albums": [{"title": "A", "pictures": ["p1.jpg"]})", "bad.json"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path project = Project(c.json, c.culprit == "bad.json" ? "bad.json" : "disc.json");
        fs::create_directories(dir_ / "out");
        std::vector<std::string> args = {"build", project.string(), "--out", (dir_ / c.out).string()};
        if (c.oneDisc) args.insert(args.end(), {"--discs", "1"});
        const RunResult run = RunCli(args);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find(c.culprit), std::string::npos) << run.err;
        ExpectNoImage(dir_ / "out");
    }
    const RunResult usage = RunCli({"build", "--disc", "90", Project("{}").string()});
    EXPECT_EQ(usage.exitCode, 2);
}

// Music is judged with the pictures before any encoding: a file that gives
// no sound is named with its album and the run stops with exit 2, in a dry
// run too, instead of ending well with a silent album.
TEST_F(Build, UnusableMusicIsNamedBeforeAnyWork) {
    WriteFile(dir_ / "empty.wav", "");
    std::string noise;
    for (int i = 0; i < 20000; ++i) noise += static_cast<char>((i * 7919 + 13) % 251);
    WriteFile(dir_ / "noise.mp3", noise);
    const RunResult video = RunProgram("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=64x48", "-t", "1",
                                                  (dir_ / "silent.mpg").string()});
    ASSERT_EQ(video.exitCode, 0) << video.err;
    const fs::path project = Project(R"({"title": "T", "albums": [
        {"title": "Quiet", "music": ["empty.wav", "noise.mp3"], "pictures": ["p1.jpg"]},
        {"title": "Film", "music": ["silent.mpg"], "pictures": ["p2.jpg"]}]})");
    for (const bool dry : {false, true}) {
        SCOPED_TRACE(dry ? "dry run" : "build");
        std::vector<std::string> args = {"build", project.string(), "--out", (dir_ / "out").string()};
        if (dry) args.push_back("--dry-run");
        const RunResult run = RunCli(args);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        for (const std::string& line : {"album \"Quiet\": music " + (dir_ / "empty.wav").string(),
                                        "album \"Quiet\": music " + (dir_ / "noise.mp3").string(),
                                        "album \"Film\": music " + (dir_ / "silent.mpg").string() + ": holds no audio"})
            EXPECT_NE(run.err.find(line), std::string::npos) << line << "\nnot in:\n" << run.err;
        EXPECT_EQ(run.err.find("encoding"), std::string::npos) << run.err;
        ExpectNoImage(dir_ / "out");
    }
}

// A full disk is found from the plan before any encoding, and said in
// numbers: here an 8 MB file system for an image of about 30 MB. Mounting
// needs the right to mount; without it the test is skipped.
TEST_F(Build, FullDiskIsFoundBeforeEncoding) {
    const fs::path small = dir_ / "small";
    fs::create_directories(small);
    const RunResult mount = RunProgram("mount", {"-t", "tmpfs", "-o", "size=8m", "tmpfs", small.string()});
    if (mount.exitCode != 0) GTEST_SKIP() << "cannot mount a small file system here: " << mount.err;
    struct Unmount {
        fs::path at;
        ~Unmount() { RunProgram("umount", {at.string()}); }
    } unmount{small};
    std::string pictures = R"("p1.jpg")";
    for (int i = 0; i < 9; ++i) pictures += R"(, "p2.jpg", "p3.jpg")";
    const fs::path project =
        Project(R"({"title": "Big", "seconds_per_picture": 9, "albums": [{"title": "A", "pictures": [)" + pictures + "]}]}");
    const auto started = std::chrono::steady_clock::now();
    const RunResult run = RunCli({"build", project.string(), "--out", (small / "out").string()});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    const std::regex said("not enough room for the disc image: needs ([0-9]+) MB in " + (small / "out").string() +
                          ", ([0-9]) MB free");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.err, m, said)) << run.err;
    EXPECT_GT(std::stoi(m[1]), 20);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60)) << "it encoded first";
    ExpectNoImage(small / "out");
    std::error_code ec;
    EXPECT_TRUE(fs::is_empty(small / "out", ec)) << "something was left in the output folder";
}

}  // namespace
}  // namespace vcdalbum::clitest
