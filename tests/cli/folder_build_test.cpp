// `vcdalbum build FOLDER`: a tree of album folders becomes a disc with no
// project file, and the project file it writes gives back the same disc.
#include <fstream>
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/cli_runner.h"
#include "cli/disc_reader.h"

namespace vcdalbum::clitest {
namespace {
namespace fs = std::filesystem;

void Append16(std::vector<uint8_t>& out, unsigned v, bool bigEndian) {
    out.push_back(static_cast<uint8_t>(bigEndian ? v >> 8 : v));
    out.push_back(static_cast<uint8_t>(bigEndian ? v : v >> 8));
}

void Append32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A picture whose EXIF block, right after the JPEG's start marker, says when
// it was taken: IFD0 points to the EXIF IFD, which holds DateTimeOriginal.
void WriteDatedPicture(const fs::path& file, int seed, const std::string& taken) {
    WritePicture(file, seed);
    std::vector<uint8_t> tiff = {'I', 'I', 42, 0};
    Append32(tiff, 8);
    Append16(tiff, 1, false);  // IFD0: one entry, the EXIF IFD at 26
    Append16(tiff, 0x8769, false);
    Append16(tiff, 4, false);
    Append32(tiff, 1);
    Append32(tiff, 26);
    Append32(tiff, 0);
    Append16(tiff, 1, false);  // EXIF IFD: DateTimeOriginal, its text at 44
    Append16(tiff, 0x9003, false);
    Append16(tiff, 2, false);
    Append32(tiff, static_cast<uint32_t>(taken.size() + 1));
    Append32(tiff, 44);
    Append32(tiff, 0);
    tiff.insert(tiff.end(), taken.begin(), taken.end());
    tiff.push_back(0);

    std::vector<uint8_t> segment = {0xFF, 0xE1};
    Append16(segment, static_cast<unsigned>(2 + 6 + tiff.size()), true);
    segment.insert(segment.end(), {'E', 'x', 'i', 'f', 0, 0});
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    std::vector<uint8_t> jpeg = ReadBytes(file);
    ASSERT_GT(jpeg.size(), 2u);
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()),
                                                static_cast<std::streamsize>(jpeg.size()));
}

// Three albums: one dated out of name order, two in folders whose names only
// a natural order sorts right.
TEST(FolderBuild, ThreeAlbumFoldersMakeTheDiscAndItsWrittenProjectTheSameImage) {
    ScratchDir dir("vcdalbum-folder-build-");
    const fs::path trip = dir / "Trip";
    fs::create_directories(trip / "Beach");
    fs::create_directories(trip / "Day 10");
    fs::create_directories(trip / "Day 2");
    WriteDatedPicture(trip / "Beach" / "a.jpg", 1, "2023:08:01 12:00:00");
    WriteDatedPicture(trip / "Beach" / "b.jpg", 2, "2023:08:01 08:00:00");
    WriteDatedPicture(trip / "Beach" / "c.jpg", 3, "2023:08:01 10:00:00");
    WritePicture(trip / "Day 2" / "p1.jpg", 4);
    WritePicture(trip / "Day 2" / "p2.jpg", 5);
    WritePicture(trip / "Day 10" / "only.jpg", 6);

    const RunResult run = RunCli({"build", trip.string(), "--out", (dir / "out").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The plan names the albums in disc order and the defaults they got.
    const std::regex order("1\\. \"Beach\": 3 picture.*order taken[\\s\\S]*2\\. \"Day 2\"[\\s\\S]*3\\. \"Day 10\"");
    EXPECT_TRUE(std::regex_search(run.out, order)) << run.out;
    EXPECT_NE(run.out.find("5 s per picture"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("CrossFade"), std::string::npos) << run.out;

    fs::create_directories(dir / "rip");
    const Disc disc = RipDisc(dir / "out" / "Trip.cue", dir / "rip");
    // Tracks: lead clip, the one menu, the three albums; the menu offers them in order.
    ASSERT_EQ(disc.tracks.size(), 5u);
    ASSERT_EQ(disc.nodes.size(), 4u);
    EXPECT_TRUE(disc.nodes[0].selectionList);
    EXPECT_EQ(disc.nodes[0].selections, (std::vector<int>{1, 2, 3}));
    // 5 s per picture, and each cross-fade adds its one second.
    const double seconds[] = {3 * 5 + 2, 2 * 5 + 1, 5};
    for (int a = 0; a < 3; ++a) {
        SCOPED_TRACE("album " + std::to_string(a + 1));
        EXPECT_EQ(disc.nodes[static_cast<size_t>(a + 1)].track, a + 2);
        EXPECT_NEAR(ProbedSeconds(disc.tracks[static_cast<size_t>(a + 2)]), seconds[a], 0.2);
    }

    // Written inside the tree, the project names the pictures relative to
    // itself, the dated album in the order taken.
    const fs::path project = trip / "disc.json";
    const RunResult write = RunCli({"build", trip.string(), "--write-project", project.string()});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_NE(write.out.find(project.string()), std::string::npos) << write.out;
    const nlohmann::json json = nlohmann::json::parse(ReadBytes(project));
    EXPECT_EQ(json.at("albums")[0].at("pictures"),
              nlohmann::json({"Beach/b.jpg", "Beach/c.jpg", "Beach/a.jpg"}));
    EXPECT_FALSE(fs::exists(dir / "out2"));

    const RunResult again = RunCli({"build", project.string(), "--out", (dir / "out2").string(), "-q"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(ReadBytes(dir / "out" / "Trip.bin") == ReadBytes(dir / "out2" / "Trip.bin"))
        << "the written project gives another image";

    // An edited project file is never written over.
    WriteFile(project, "{\"edited\": true}\n");
    const RunResult over = RunCli({"build", trip.string(), "--write-project", project.string()});
    EXPECT_EQ(over.exitCode, 2);
    EXPECT_NE(over.err.find("already exists"), std::string::npos) << over.err;
    EXPECT_EQ(ReadBytes(project).size(), std::string("{\"edited\": true}\n").size());
}

// --captions gives every album of a folder its captions, and the written
// project keeps them; a project file says so itself, so there it is refused.
TEST(FolderBuild, CaptionsForAFolderGoIntoItsPlanAndProject) {
    ScratchDir dir("vcdalbum-folder-captions-");
    fs::create_directories(dir / "Trip" / "Beach");
    WritePicture(dir / "Trip" / "Beach" / "a.jpg", 1);
    const fs::path project = dir / "disc.json";
    const RunResult write =
        RunCli({"build", (dir / "Trip").string(), "--captions", "date", "--write-project", project.string()});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_NE(write.out.find("captions from the dates taken"), std::string::npos) << write.out;
    EXPECT_EQ(nlohmann::json::parse(ReadBytes(project)).at("albums")[0].at("captions"), "date");

    const RunResult refused = RunCli({"build", project.string(), "--captions", "name", "--dry-run"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("--captions is for a folder"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace vcdalbum::clitest
