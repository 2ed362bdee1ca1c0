// What a phone's pictures make: HEIC and AVIF files beside JPEGs in one
// folder, and a collection too long for one disc divided into several.
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/cli_runner.h"
#include "cli/disc_reader.h"

namespace vcdalbum::clitest {
namespace {
namespace fs = std::filesystem;

void ExpectNoImage(const fs::path& out) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(out, ec))
        ADD_FAILURE() << "left behind: " << entry.path();
}

// heif-enc, as a person converting their pictures would run it.
void Encode(const fs::path& from, const fs::path& to, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"-q", "80"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {from.string(), "-o", to.string()});
    const RunResult run = RunProgram("heif-enc", args);
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
}

TEST(PhoneFolder, HeicAndAvifPicturesJoinTheJpegsAndADamagedOneIsNamed) {
    ScratchDir dir("vcdalbum-phone-folder-");
    const fs::path phone = dir / "Phone";
    fs::create_directories(phone);
    fs::create_directories(dir / "out");
    WritePicture(dir / "one.jpg", 1, 640, 480);
    WritePicture(dir / "two.jpg", 2, 480, 640);
    Encode(dir / "one.jpg", phone / "IMG_0001.HEIC");
    Encode(dir / "two.jpg", phone / "IMG_0002.avif", {"-A"});
    WritePicture(phone / "IMG_0003.jpg", 3);
    const std::vector<uint8_t> heic = ReadBytes(phone / "IMG_0001.HEIC");
    WriteFile(phone / "IMG_0004.heic", std::string(heic.begin(), heic.begin() + static_cast<long>(heic.size() / 2)));

    const RunResult refused = RunCli({"build", phone.string(), "--out", (dir / "out").string(), "-q"});
    EXPECT_EQ(refused.exitCode, 2) << refused.err;
    EXPECT_NE(refused.err.find("IMG_0004.heic: damaged HEIF picture"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("IMG_0001"), std::string::npos) << refused.err;
    ExpectNoImage(dir / "out");

    fs::remove(phone / "IMG_0004.heic");
    const RunResult run = RunCli({"build", phone.string(), "--out", (dir / "out").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"Phone\": 3 picture(s)"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("ignored"), std::string::npos) << run.out;
    fs::create_directories(dir / "rip");
    const Disc disc = RipDisc(dir / "out" / "Phone.cue", dir / "rip");
    ASSERT_EQ(disc.tracks.size(), 3u);  // lead clip, menu, the album
    EXPECT_NEAR(ProbedSeconds(disc.tracks[2]), 3 * 5 + 2, 0.2);  // and two one-second cross-fades
}

// Four 20-minute albums are 80 minutes and more: three go on the first
// 74-minute disc, the fourth on a second, each disc with its own menu.
TEST(SeveralDiscs, ACollectionOverOneDiscMakesTwoImagesEachWithItsMenus) {
    ScratchDir dir("vcdalbum-several-discs-");
    WritePicture(dir / "p1.jpg", 1);
    WritePicture(dir / "p2.jpg", 2);
    WritePicture(dir / "last.jpg", 3);
    std::string albums;
    for (int a = 0; a < 4; ++a)
        albums += std::string(a ? ", " : "") + R"({"title": "Month )" + std::to_string(a + 1) +
                  R"(", "pictures": ["p1.jpg", ")" + (a == 3 ? "last" : "p2") + R"(.jpg"]})";
    const fs::path project = dir / "year.json";
    WriteFile(project, R"({"title": "Year", "seconds_per_picture": 600, "albums": [)" + albums + "]}");
    fs::create_directories(dir / "out");

    const RunResult one = RunCli({"build", project.string(), "--out", (dir / "out").string(), "--discs", "1"});
    EXPECT_EQ(one.exitCode, 2);
    EXPECT_TRUE(std::regex_search(one.err, std::regex("does not fit a 74-minute disc: it needs 1:2\\d:\\d\\d")))
        << one.err;
    ExpectNoImage(dir / "out");

    const RunResult write = RunCli({"build", project.string(), "--write-project", (dir / "disc.json").string()});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    for (const char* name : {"disc-1.json", "disc-2.json"}) {
        SCOPED_TRACE(name);
        const nlohmann::json json = nlohmann::json::parse(ReadBytes(dir / name));
        EXPECT_EQ(json.at("title"), std::string(name) == "disc-1.json" ? "Year (1 of 2)" : "Year (2 of 2)");
    }
    EXPECT_FALSE(fs::exists(dir / "disc.json"));

    const RunResult run = RunCli({"build", project.string(), "--out", (dir / "out").string(), "-j", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::regex printed(
        "Disc 1 of 2: \"Year \\(1 of 2\\)\", 1:0\\d:\\d\\d: \"Month 1\", \"Month 2\", \"Month 3\"\n"
        "Disc 2 of 2: \"Year \\(2 of 2\\)\", 2\\d:\\d\\d: \"Month 4\"\n");
    EXPECT_TRUE(std::regex_search(run.out, printed)) << run.out;

    const size_t albumsOn[] = {3, 1};
    for (int d = 0; d < 2; ++d) {
        SCOPED_TRACE("disc " + std::to_string(d + 1));
        const fs::path cue = dir / "out" / ("Year (" + std::to_string(d + 1) + " of 2).cue");
        ASSERT_TRUE(fs::exists(cue)) << run.out;
        const fs::path rip = dir / ("rip" + std::to_string(d));
        fs::create_directories(rip);
        const Disc disc = RipDisc(cue, rip);
        ASSERT_EQ(disc.tracks.size(), 2 + albumsOn[d]);
        ASSERT_EQ(disc.nodes.size(), 1 + albumsOn[d]);
        EXPECT_TRUE(disc.nodes[0].selectionList);
        EXPECT_EQ(disc.nodes[0].selections.size(), albumsOn[d]);
        EXPECT_NEAR(ProbedSeconds(disc.tracks.back()), 1200, 1);
        // The ripped tracks are large: only the last disc's stay to the end.
        fs::remove_all(rip);
    }

    // A picture of the second disc found damaged takes the first disc's
    // image along: the set is whole or not there.
    const std::vector<uint8_t> last = ReadBytes(dir / "last.jpg");
    WriteFile(dir / "last.jpg", std::string(last.begin(), last.begin() + static_cast<long>(last.size() / 3)));
    fs::create_directories(dir / "out2");
    const RunResult damaged = RunCli({"build", project.string(), "--out", (dir / "out2").string(), "-q"});
    EXPECT_EQ(damaged.exitCode, 2) << damaged.err;
    EXPECT_NE(damaged.err.find("last.jpg"), std::string::npos) << damaged.err;
    ExpectNoImage(dir / "out2");
}

}  // namespace
}  // namespace vcdalbum::clitest
