// What `vcdalbum build` says, and what it leaves behind when it stops: a
// quiet success is silent, every unusable picture is named in plain words
// in one run, and a stopped run takes its work folder with it.
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"

namespace vcdalbum::clitest {
namespace {
namespace fs = std::filesystem;

void WriteBytes(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The picture of WritePicture, its frame header marked as arithmetic-coded
// (SOF9 for SOF0), as an encoder that codes arithmetically would mark it.
void WriteArithmeticJpeg(const fs::path& file) {
    WritePicture(file, 2);
    std::vector<uint8_t> bytes = ReadBytes(file);
    size_t at = 2;
    while (at + 4 <= bytes.size() && bytes[at] == 0xFF && bytes[at + 1] != 0xC0)
        at += 2 + (bytes[at + 2] << 8 | bytes[at + 3]);
    ASSERT_TRUE(at + 1 < bytes.size() && bytes[at + 1] == 0xC0) << "no baseline frame header";
    bytes[at + 1] = 0xC9;
    WriteBytes(file, bytes);
}

// A complete 8x8 CMYK JPEG as print software writes it: Adobe marker, four
// components, every block flat.
void WriteCmykJpeg(const fs::path& file) {
    std::vector<uint8_t> b = {0xFF, 0xD8,                                                   // SOI
                              0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o', 'b', 'e', 0x00, 0x64,  // APP14 Adobe
                              0x00, 0x00, 0x00, 0x00, 0x00,
                              0xFF, 0xDB, 0x00, 0x43, 0x00};  // DQT, table 0 of ones
    b.insert(b.end(), 64, 1);
    const uint8_t frame[] = {0xFF, 0xC0, 0x00, 0x14, 8, 0, 8, 0, 8, 4, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0, 4, 0x11, 0};
    b.insert(b.end(), std::begin(frame), std::end(frame));
    for (uint8_t table : {0x00, 0x10}) {  // DC and AC: one 1-bit code, for 0 (DC) and end-of-block (AC)
        b.insert(b.end(), {0xFF, 0xC4, 0x00, 0x14, table, 1});
        b.insert(b.end(), 15, 0);
        b.push_back(0x00);
    }
    const uint8_t scan[] = {0xFF, 0xDA, 0x00, 0x0E, 4, 1, 0x00, 2, 0x00, 3, 0x00, 4, 0x00, 0, 63, 0,
                            0x00,  // four blocks, two zero bits each
                            0xFF, 0xD9};
    b.insert(b.end(), std::begin(scan), std::end(scan));
    WriteBytes(file, b);
}

std::string Project(const ScratchDir& dir, const std::string& pictures, int seconds) {
    const fs::path file = dir / "disc.json";
    WriteFile(file, R"({"title": "Said", "transitions": "CrossFade", "albums": [{"title": "Walk", "seconds_per_picture": )" +
                        std::to_string(seconds) + R"(, "pictures": [)" + pictures + "]}]}");
    return file.string();
}

bool HasEntries(const fs::path& dir) {
    std::error_code ec;
    return fs::exists(dir, ec) && !fs::is_empty(dir, ec);
}

// Lines of the tools and components the person did not ask for.
void ExpectNoInsideVoices(const std::string& err) {
    for (const char* voice : {"@ 0x", "qelburner", "vrxstream", "not reachable by PBC"})
        EXPECT_EQ(err.find(voice), std::string::npos) << voice << " in:\n" << err;
}

TEST(Messages, QuietBuildSaysNothingAndVerboseOnlyWhatMeansSomething) {
    ScratchDir dir("vcdalbum-said-");
    WritePicture(dir / "a.jpg", 1);
    WritePicture(dir / "b.jpg", 3);
    const std::string project = Project(dir, R"("a.jpg", "b.jpg")", 1);

    const RunResult quiet = RunCli({"build", project, "--out", (dir / "out").string(), "--quiet"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");

    // Verbose runs pass the tools' lines on, but never the warning every
    // disc gets about its fixed lead clip.
    const RunResult verbose = RunCli({"build", project, "--out", (dir / "out").string(), "--verbose"});
    EXPECT_EQ(verbose.exitCode, 0) << verbose.err;
    EXPECT_NE(verbose.err.find("work folder"), std::string::npos) << verbose.err;
    ExpectNoInsideVoices(verbose.err);
}

// A temporary folder that is not there is named, with the variable that
// points at it, instead of ending the tool on an uncaught exception.
TEST(Messages, MissingTemporaryFolderIsNamed) {
    ScratchDir dir("vcdalbum-no-tmp-");
    WritePicture(dir / "a.jpg", 1);
    const std::string missing = (dir / "gone").string();
    const RunResult run =
        RunCli({"build", Project(dir, R"("a.jpg")", 1), "--out", (dir / "out").string()}, {"TMPDIR=" + missing});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("TMPDIR names " + missing), std::string::npos) << run.err;
    EXPECT_FALSE(HasEntries(dir / "out"));
}

TEST(Messages, EveryUnusablePictureIsNamedInPlainWordsInOneRun) {
    ScratchDir dir("vcdalbum-unusable-");
    ScratchDir temp("vcdalbum-unusable-tmp-");
    WritePicture(dir / "fine.jpg", 1);
    WriteArithmeticJpeg(dir / "arith.jpg");
    WriteCmykJpeg(dir / "print.jpg");
    WritePicture(dir / "whole.jpg", 4);
    const std::vector<uint8_t> whole = ReadBytes(dir / "whole.jpg");
    WriteBytes(dir / "cut.jpg", std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
    WriteFile(dir / "notes.jpg", "shopping list\n");
    const std::string project =
        Project(dir, R"("fine.jpg", "arith.jpg", "print.jpg", "cut.jpg", "notes.jpg", "fine.jpg")", 1);

    const RunResult run = RunCli({"build", project, "--out", (dir / "out").string()}, {"TMPDIR=" + temp.path().string()});
    EXPECT_EQ(run.exitCode, 2);
    const std::pair<const char*, std::string> expected[] = {
        {"arith.jpg", "arithmetic-coded JPEG, not supported"},
        {"print.jpg", "CMYK JPEG, not supported"},
        {"cut.jpg", "cut short at byte " + std::to_string(whole.size() / 2)},
        {"notes.jpg", "not a picture"},
    };
    for (const auto& [file, reason] : expected) {
        const std::string line = std::string(file) + ": " + reason + "\n";
        EXPECT_NE(run.err.find(line), std::string::npos) << line << "not in:\n" << run.err;
    }
    EXPECT_EQ(run.err.find("fine.jpg:"), std::string::npos) << run.err;
    ExpectNoInsideVoices(run.err);
    EXPECT_FALSE(HasEntries(dir / "out")) << "an image was left";
    EXPECT_FALSE(HasEntries(temp.path())) << "the work folder was left";
}

TEST(Messages, StoppedBuildTakesItsWorkFolderAlong) {
    ScratchDir dir("vcdalbum-stopped-");
    for (int i = 1; i <= 4; ++i) WritePicture(dir / ("p" + std::to_string(i) + ".jpg"), i);
    // Long enough to be still encoding when the signal comes.
    const std::string project = Project(dir, R"("p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg")", 120);
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(strsignal(signal));
        ScratchDir temp("vcdalbum-stopped-tmp-");
        RunningProgram build =
            StartCli({"build", project, "--out", (dir / "out").string(), "-q"}, {"TMPDIR=" + temp.path().string()});
        ASSERT_GT(build.pid, 0);
        // Under way: the work folder holds prepared pictures.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        bool underWay = false;
        while (!underWay && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(temp.path(), ec)) underWay |= HasEntries(e.path() / "pictures");
        }
        kill(build.pid, signal);
        const RunResult run = build.Wait();
        ASSERT_TRUE(underWay) << run.err;
        EXPECT_EQ(run.exitCode, 128 + signal) << run.err;
        EXPECT_FALSE(HasEntries(temp.path())) << "the work folder was left";
        EXPECT_EQ(run.err, "");
    }
}

// A disc image is there whole with exit 0, or not at all: a hidden title
// gets a visible image under the name the tool reports, and a signal at
// any moment leaves the older image of the same name as it was, and nothing
// else in the output folder.
TEST(Messages, ImageIsInstalledWholeOrNotAtAll) {
    ScratchDir dir("vcdalbum-install-");
    for (int i = 1; i <= 2; ++i) WritePicture(dir / ("p" + std::to_string(i) + ".jpg"), i);
    const fs::path out = dir / "out";
    auto titled = [&](const std::string& title, const std::string& pictures) {
        const fs::path file = dir / "disc.json";
        WriteFile(file, R"({"title": ")" + title + R"(", "albums": [{"title": "Walk", "seconds_per_picture": 1, "pictures": [)" +
                            pictures + "]}]}");
        return file.string();
    };

    const RunResult hidden = RunCli({"build", titled(".hidden", R"("p1.jpg")"), "--out", out.string()});
    EXPECT_EQ(hidden.exitCode, 0) << hidden.err;
    const std::string reported = (out / "_hidden.cue").string();
    EXPECT_NE(hidden.out.find("Disc image: " + reported), std::string::npos) << hidden.out;
    EXPECT_TRUE(fs::is_regular_file(out / "_hidden.cue") && fs::is_regular_file(out / "_hidden.bin"));
    fs::remove_all(out);

    ASSERT_EQ(RunCli({"build", titled("Kept", R"("p1.jpg")"), "--out", out.string(), "-q"}).exitCode, 0);
    const std::vector<uint8_t> oldBin = ReadBytes(out / "Kept.bin"), oldCue = ReadBytes(out / "Kept.cue");
    const std::string project = titled("Kept", R"("p2.jpg", "p1.jpg", "p2.jpg")");
    bool caught = false;
    // The run is stopped as soon as anything of it shows in the output
    // folder; a run too quick to be caught is tried again.
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        RunningProgram build = StartCli({"build", project, "--out", out.string(), "-q"});
        ASSERT_GT(build.pid, 0);
        bool seen = false;
        for (;;) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(out, ec)) {
                const std::string name = e.path().filename().string();
                seen |= name != "Kept.cue" && name != "Kept.bin";
            }
            siginfo_t ended{};
            if (seen || waitid(P_PID, static_cast<id_t>(build.pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                ended.si_pid != 0)
                break;
        }
        if (seen) kill(build.pid, SIGTERM);
        const RunResult run = build.Wait();
        if (run.exitCode == 0) {
            // Too quick: the new image is in; start again from the old one.
            ASSERT_FALSE(seen) << "stopped, yet the run says it succeeded";
            ASSERT_EQ(RunCli({"build", titled("Kept", R"("p1.jpg")"), "--out", out.string(), "-q"}).exitCode, 0);
            continue;
        }
        caught = true;
        EXPECT_EQ(run.exitCode, 128 + SIGTERM) << run.err;
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(out)) left.push_back(e.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"Kept.bin", "Kept.cue"}));
        EXPECT_TRUE(ReadBytes(out / "Kept.bin") == oldBin) << "the old image was changed";
        EXPECT_TRUE(ReadBytes(out / "Kept.cue") == oldCue) << "the old image was changed";
    }
    EXPECT_TRUE(caught) << "no run was stopped while it was writing";
}

}  // namespace
}  // namespace vcdalbum::clitest
