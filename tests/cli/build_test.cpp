// `vcdalbum build` on projects made by the test: the playback-control graph,
// reproducible images, and the refusals of bad input.
#include <chrono>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

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

    ScratchDir dir_{"vcdalbum-build-"};
};

// Two menus offering 3 and 2 albums: menus first, then albums, linked as a
// remote control expects (next album, back to the menu, previous).
TEST_F(Build, ExplicitGroupsOfThreeAndTwoGiveTheMenuGraph) {
    std::string albums;
    for (int a = 0; a < 5; ++a)
        albums += std::string(a ? "," : "") + R"({"title": "A)" + std::to_string(a) +
                  R"(", "pictures": ["p1.jpg", "p2.jpg"], "seconds_per_picture": 1})";
    const fs::path project =
        Project(R"({"title": "Graph", "menus": [["A0", "A1", "A2"], ["A3", "A4"]], "albums": [)" + albums + "]}");
    const RunResult run = RunCli({"build", project.string(), "--out", (dir_ / "out").string(), "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    fs::create_directories(dir_ / "rip");
    const Disc disc = RipDisc(dir_ / "out" / "Graph.cue", dir_ / "rip");

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
         "Endless"},
        {"unwritable output folder", R"({"title": "T", "albums": [{"title": "A", "pictures": ["p1.jpg"]}]})",
         "blocker", "blocker/out"},
        {"malformed JSON", R"({"title": "T", "albums": [{"title": "A", "pictures": ["p1.jpg"]})", "bad.json"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path project = Project(c.json, c.culprit == "bad.json" ? "bad.json" : "disc.json");
        fs::create_directories(dir_ / "out");
        const RunResult run = RunCli({"build", project.string(), "--out", (dir_ / c.out).string()});
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find(c.culprit), std::string::npos) << run.err;
        ExpectNoImage(dir_ / "out");
    }
    const RunResult usage = RunCli({"build", "--disc", "90", Project("{}").string()});
    EXPECT_EQ(usage.exitCode, 2);
}

}  // namespace
}  // namespace vcdalbum::clitest
