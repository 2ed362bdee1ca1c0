// A third-party player follows the menus: libxine's Video CD plugin plays
// discs made by the vcdalbum tool, driven by xine_remote with the remote
// control's keys. What it must do at each step comes from the disc's own
// lists, read back with `vcdalbum inspect --json`.
#include <cmath>
#include <iostream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/cli_runner.h"
#include "player/menu_walk.h"

namespace vcdalbum::playertest {
namespace {

namespace fs = std::filesystem;
using clitest::RunCli;
using clitest::RunProgram;
using clitest::RunResult;
using clitest::ScratchDir;

// Playback runs this many times faster than normal; waits after a list are
// real seconds, and the number keys are pressed at once.
constexpr double kSpeed = 4;

struct Played {
    int list = 0;
    std::string item;
    double seconds = 0;
    bool nothing = false;
};

struct PlayerRun {
    int exitCode = 0;
    std::string text;
    Played start;
    std::vector<Played> steps;
    std::vector<std::string> messages;
};

PlayerRun Play(const fs::path& cue, const Walk& walk, const fs::path& home) {
    std::vector<std::string> args = {"--speed", std::to_string(kSpeed), "--timeout",
                                     std::to_string(walk.longestWait / kSpeed + 10), cue.string()};
    for (const WalkStep& step : walk.steps) args.push_back(step.keys);
    // xine keeps its plugin cache under $HOME. Under the sanitizers,
    // xine_remote's leak report would be libxine's and FFmpeg's inside its
    // plugins, not ours: leaks are not looked for in it.
    const RunResult run =
        RunProgram(VCDALBUM_XINE_REMOTE, args, {"HOME=" + home.string(), "ASAN_OPTIONS=detect_leaks=0"});
    PlayerRun result;
    result.exitCode = run.exitCode;
    result.text = run.out;
    static const std::regex played(R"(^(start|step \d+ \S+) list (\d+) item (\S+)(?: after ([0-9.]+) s)?$)");
    static const std::regex nothing(R"(^step \d+ \S+ nothing after ([0-9.]+) s$)");
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, played)) {
            Played p{std::stoi(m[2]), m[3], m[4].matched ? std::stod(m[4]) : 0, false};
            if (m[1] == "start") result.start = p;
            else result.steps.push_back(p);
        } else if (line.rfind("then ", 0) == 0) {
            result.messages.push_back("xine_remote: before step " + std::to_string(result.steps.size() + 1) +
                                      " the player moved on by itself: " + line);
        } else if (std::regex_match(line, m, nothing)) {
            result.steps.push_back({0, "", std::stod(m[1]), true});
        } else if (line.rfind("message ", 0) == 0 || line.find("_log_handler: warning") != std::string::npos ||
                   line.find("_log_handler: error") != std::string::npos) {
            result.messages.push_back(line);
        }
    }
    return result;
}

std::string Describe(int list, const std::string& item) { return "list " + std::to_string(list) + " (" + item + ")"; }

// Plays `cue` through the walk its lists call for, prints the step table
// and checks every step.
void WalkTheMenus(const fs::path& cue, const fs::path& scratch) {
    const RunResult inspect = RunCli({"inspect", "--json", cue.string()});
    ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
    const nlohmann::json disc = nlohmann::json::parse(inspect.out);
    const Walk walk = PlanWalk(disc);
    ASSERT_FALSE(walk.steps.empty());

    const PlayerRun run = Play(cue, walk, scratch);
    if (run.exitCode == 77) GTEST_SKIP() << run.text;
    ASSERT_EQ(run.exitCode, 0) << run.text;

    std::ostringstream table;
    table << "| step | keys | checks | expected | the player |\n|---|---|---|---|---|\n";
    table << "| start | | the first list | " << Describe(walk.firstList, walk.firstItem) << " | "
          << Describe(run.start.list, run.start.item) << " |\n";
    EXPECT_EQ(run.start.list, walk.firstList);
    EXPECT_EQ(run.start.item, walk.firstItem);
    for (size_t i = 0; i < walk.steps.size(); ++i) {
        const WalkStep& step = walk.steps[i];
        std::string did = "nothing (the run ended)";
        if (i < run.steps.size()) {
            const Played& p = run.steps[i];
            std::ostringstream text;
            if (p.nothing) text << "nothing in " << p.seconds << " s";
            else text << Describe(p.list, p.item) << (step.keys == "-" ? " after " + std::to_string(p.seconds).substr(0, 4) + " s" : "");
            did = text.str();
            EXPECT_TRUE(!p.nothing && p.list == step.list && p.item == step.item)
                << "step " << i + 1 << " (" << step.keys << ", " << step.why << "): expected "
                << Describe(step.list, step.item) << ", the player: " << did;
        } else {
            ADD_FAILURE() << "step " << i + 1 << " (" << step.keys << ", " << step.why << ") was never reached";
        }
        table << "| " << i + 1 << " | " << step.keys << " | " << step.why << " | " << Describe(step.list, step.item)
              << " | " << did << " |\n";
    }
    std::cout << table.str();

    // The player may say that a list has no RETURN link (the lists say so
    // too); anything else it complains about is a fault to look into.
    for (const std::string& message : run.messages)
        EXPECT_NE(message.find("has no RETURN entry"), std::string::npos) << "the player says: " << message;
}

// Pictures of one colour each, in 4:3, as an album's.
std::vector<std::string> WritePictures(const fs::path& folder, int count, int seed) {
    fs::create_directories(folder);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        const fs::path file = folder / ("p" + std::to_string(i) + ".jpg");
        clitest::WritePicture(file, seed + i);
        files.push_back(file.string());
    }
    return files;
}

// A project of short albums (one picture, one second: the shortest stream)
// laid out in the given menus.
fs::path BuildShortDisc(const ScratchDir& dir, const std::vector<int>& albumsPerMenu, const char* video) {
    nlohmann::json albums = nlohmann::json::array(), menus = nlohmann::json::array();
    int number = 0;
    for (int count : albumsPerMenu) {
        nlohmann::json menu = nlohmann::json::array();
        for (int i = 0; i < count; ++i, ++number) {
            const std::string title = "Album " + std::to_string(number + 1);
            albums.push_back({{"title", title}, {"pictures", WritePictures(dir / title, 1, number)}});
            menu.push_back(title);
        }
        menus.push_back(menu);
    }
    const nlohmann::json project = {{"title", "Player walk"}, {"seconds_per_picture", 1}, {"transitions", "none"},
                                    {"video", video},         {"albums", albums},         {"menus", menus}};
    clitest::WriteFile(dir / "project.json", project.dump(2));
    const RunResult build = RunCli({"build", (dir / "project.json").string(), "--out", (dir / "out").string(), "--quiet"});
    EXPECT_EQ(build.exitCode, 0) << build.err;
    return dir / "out" / "Player walk.cue";
}

// The demo ends by naming a player that follows the menus, with the disc's
// MRL: the walk plays the image that MRL names, in the same plugin.
TEST(XinePlayer, FollowsTheDemoDiscsMenus) {
    ScratchDir dir("vcdalbum-player-demo-");
    const RunResult demo = RunCli({"demo", "--out", (dir / "out").string()});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    std::smatch hint;
    ASSERT_TRUE(std::regex_search(demo.out, hint, std::regex(R"re(Play it: +xine "vcd://([^"]+)")re"))) << demo.out;
    EXPECT_EQ(fs::path(hint[1].str()), dir / "out" / "vcdalbum demo.cue");
    WalkTheMenus(hint[1].str(), dir.path());
}

TEST(XinePlayer, FollowsThreePlusTwoMenus) {
    ScratchDir dir("vcdalbum-player-3-2-");
    const fs::path cue = BuildShortDisc(dir, {3, 2}, "ntsc");
    ASSERT_TRUE(fs::exists(cue));
    WalkTheMenus(cue, dir.path());
}

TEST(XinePlayer, FollowsTheMenusOfAPalDisc) {
    ScratchDir dir("vcdalbum-player-pal-");
    const fs::path cue = BuildShortDisc(dir, {2, 1}, "pal");
    ASSERT_TRUE(fs::exists(cue));
    WalkTheMenus(cue, dir.path());
}

}  // namespace
}  // namespace vcdalbum::playertest
