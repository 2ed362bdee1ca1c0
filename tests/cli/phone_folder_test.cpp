// What a phone's pictures make: HEIC and AVIF files and video clips beside
// JPEGs in one folder, and a collection too long for one disc divided into
// several.
#include <cmath>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/heif_writer.h"
#include "cli/cli_runner.h"
#include "cli/disc_reader.h"
#include "picture_input.h"

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

void Ffmpeg(std::vector<std::string> args) {
    args.insert(args.begin(), {"-v", "error", "-y"});
    const RunResult run = RunProgram("ffmpeg", args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
}

// A phone's clip: the rows stored as the sensor saw them (`upright` turned a
// quarter clockwise), a display matrix that turns them back, and sound: a
// 440 Hz tone at an eighth of full scale.
void WritePhoneClip(const fs::path& file, const OwnedImage& upright, double seconds) {
    const fs::path ppm = file.parent_path() / "upright.ppm";
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << upright.width() << " " << upright.height() << "\n255\n";
        for (uint32_t y = 0; y < upright.height(); ++y)
            for (uint32_t x = 0; x < upright.width(); ++x) {
                const unsigned char* p = upright.row(y) + 3 * x;
                out.put(static_cast<char>(p[2])).put(static_cast<char>(p[1])).put(static_cast<char>(p[0]));
            }
    }
    const fs::path sideways = file.parent_path() / "sideways.mp4";
    const std::string length = std::to_string(seconds);
    Ffmpeg({"-loop", "1", "-framerate", "30", "-i", ppm.string(), "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
            "-t", length, "-vf", "transpose=clock", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
            sideways.string()});
    // FFmpeg 5.1 writes the matrix when the stream is copied: "rotate" 90
    // shows the rows a quarter turn anticlockwise, as a phone's player does.
    Ffmpeg({"-i", sideways.string(), "-c", "copy", "-metadata:s:v:0", "rotate=90", file.string()});
    fs::remove(ppm);
    fs::remove(sideways);
}

// The track's frame shown at `seconds`, as RGB rows of 352x240.
std::vector<uint8_t> FrameAt(const fs::path& track, double seconds) {
    const RunResult run = RunProgram("ffmpeg", {"-v", "error", "-ss", std::to_string(seconds), "-i", track.string(),
                                                "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.size(), 352u * 240 * 3);
    return std::vector<uint8_t>(run.out.begin(), run.out.end());
}

// testing::Marked as shown full frame: green on top, red at the lower left,
// blue at the lower right.
void ExpectMarkedUpright(const std::vector<uint8_t>& rgb) {
    if (rgb.size() != 352u * 240 * 3) return;
    const auto expect = [&](int x, int y, int r, int g, int b) {
        const uint8_t* p = rgb.data() + (static_cast<size_t>(y) * 352 + static_cast<size_t>(x)) * 3;
        EXPECT_NEAR(p[0], r, 64) << "red at " << x << "," << y;
        EXPECT_NEAR(p[1], g, 64) << "green at " << x << "," << y;
        EXPECT_NEAR(p[2], b, 64) << "blue at " << x << "," << y;
    };
    expect(176, 24, 0, 255, 0);
    expect(70, 180, 255, 0, 0);
    expect(282, 180, 0, 0, 255);
}

// The root mean square of the track's sound over [from, from + length) s,
// in 16-bit steps.
double SoundLevel(const fs::path& track, double from, double length) {
    const RunResult run = RunProgram("ffmpeg", {"-v", "error", "-ss", std::to_string(from), "-t", std::to_string(length),
                                                "-i", track.string(), "-vn", "-ac", "1", "-f", "s16le", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    double sum = 0;
    const size_t n = run.out.size() / 2;
    for (size_t i = 0; i < n; ++i) {
        const auto v = static_cast<int16_t>(static_cast<uint8_t>(run.out[2 * i]) | static_cast<uint8_t>(run.out[2 * i + 1]) << 8);
        sum += static_cast<double>(v) * v;
    }
    return n > 0 ? std::sqrt(sum / static_cast<double>(n)) : 0;
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

// A phone's folder as it is: a HEIC picture stored sideways with its
// rotation property, one from heif-enc, a JPEG and a clip recorded sideways
// with sound. The album holds them in name order, each picture 5 s, the clip
// for its own length, with a one-second cross-fade at each of the 3 joins.
TEST(PhoneFolder, RotatedHeicAndRotatedClipWithSoundMakeOneUprightAlbum) {
    ScratchDir dir("vcdalbum-phone-clip-");
    const fs::path phone = dir / "Phone";
    fs::create_directories(phone);
    fs::create_directories(dir / "out");
    const OwnedImage upright = testing::Marked(320, 240);
    OwnedImage stored = OwnedImage::Black(240, 320);  // orientation 6: the upright rows turned anticlockwise
    components::picture_input::Orient(upright.row(0), ImageStride(320), 320, 240, 8, stored.row(0), ImageStride(240));
    testing::WriteHeif(phone / "IMG_0001.HEIC", stored, heif_compression_HEVC, 6, {});
    WritePicture(dir / "two.jpg", 2, 640, 480);
    Encode(dir / "two.jpg", phone / "IMG_0002.HEIC");
    WritePicture(phone / "IMG_0003.JPG", 3);
    constexpr double kClipSeconds = 3;
    WritePhoneClip(phone / "IMG_0004.MP4", upright, kClipSeconds);

    const RunResult run = RunCli({"build", phone.string(), "--out", (dir / "out").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"Phone\": 3 picture(s) and 1 video clip(s)"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("ignored"), std::string::npos) << run.out;
    fs::create_directories(dir / "rip");
    const Disc disc = RipDisc(dir / "out" / "Phone.cue", dir / "rip");  // the rate buffer checked too
    ASSERT_EQ(disc.tracks.size(), 3u);
    const fs::path& album = disc.tracks[2];
    const double join = 30 / (30000.0 / 1001);
    const double clipStart = 3 * 5 + 3 * join;
    EXPECT_NEAR(ProbedSeconds(album), clipStart + kClipSeconds, 0.2);

    {
        SCOPED_TRACE("the HEIC picture");
        ExpectMarkedUpright(FrameAt(album, 2.5));
    }
    {
        SCOPED_TRACE("the clip");
        ExpectMarkedUpright(FrameAt(album, clipStart + kClipSeconds / 2));
    }
    // The folder has no music: the clip's tone is the only sound, and only
    // while the clip plays. A full-scale eighth sine is 2900 steps RMS.
    const double clip = SoundLevel(album, clipStart + 0.2, kClipSeconds - 0.5);
    const double before = SoundLevel(album, 1, 10);
    EXPECT_GT(clip, 1500) << "the clip's sound is missing";
    EXPECT_LT(before, 50) << "sound before the clip";
}

// A clip FFmpeg finds no video in, and one whose video it cannot decode,
// are named in one list, before anything is made; a good clip's "start" and
// "end" decide how long it plays.
TEST(PhoneFolder, BadClipsAreNamedAndAClipPlaysFromItsStartToItsEnd) {
    ScratchDir dir("vcdalbum-phone-bad-clips-");
    fs::create_directories(dir / "out");
    WritePicture(dir / "one.jpg", 1);
    WritePhoneClip(dir / "good.mp4", testing::Marked(320, 240), 4);
    Ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a", "aac", (dir / "voice.mp4").string()});
    std::vector<uint8_t> bytes = ReadBytes(dir / "good.mp4");
    const std::string text(bytes.begin(), bytes.end());
    // The media box's samples overwritten; its header and the index stay.
    const size_t media = text.find("mdat");
    ASSERT_TRUE(media != std::string::npos && media >= 4);
    const size_t boxEnd = media - 4 + (size_t{bytes[media - 4]} << 24 | size_t{bytes[media - 3]} << 16 |
                                       size_t{bytes[media - 2]} << 8 | size_t{bytes[media - 1]});
    ASSERT_LE(boxEnd, bytes.size());
    std::fill(bytes.begin() + static_cast<long>(media + 4), bytes.begin() + static_cast<long>(boxEnd), 0x5a);
    WriteFile(dir / "garbled.mov", std::string(bytes.begin(), bytes.end()));

    const fs::path project = dir / "clips.json";
    WriteFile(project, R"({"title": "Clips", "albums": [{"title": "A", "pictures": ["one.jpg",
        {"video": "voice.mp4"}, {"video": "good.mp4", "start": 1, "end": 2.5}, "garbled.mov"]}]})");
    const RunResult refused = RunCli({"build", project.string(), "--out", (dir / "out").string(), "-q"});
    EXPECT_EQ(refused.exitCode, 2) << refused.err;
    EXPECT_NE(refused.err.find("2 files cannot be used"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("picture 2: " + (dir / "voice.mp4").string() + ": holds no video"), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("picture 4: " + (dir / "garbled.mov").string() + ": its video cannot be decoded"),
              std::string::npos)
        << refused.err;
    ExpectNoImage(dir / "out");

    // First in its album, the clip also gives the menu's thumbnail, and the
    // cross-fade after it starts from its last frame.
    WriteFile(project, R"({"title": "Clips", "transitions": "CrossFade", "albums": [{"title": "A",
        "pictures": [{"video": "good.mp4", "start": 1, "end": 2.5}, "one.jpg"]}]})");
    const RunResult run = RunCli({"build", project.string(), "--out", (dir / "out").string(), "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    fs::create_directories(dir / "rip");
    const Disc disc = RipDisc(dir / "out" / "Clips.cue", dir / "rip");
    ASSERT_EQ(disc.tracks.size(), 3u);
    EXPECT_NEAR(ProbedSeconds(disc.tracks[2]), 1.5 + 30 / (30000.0 / 1001) + 5, 0.2);
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

    // A picture of the second disc found damaged stops the build before the
    // first disc is encoded: the set is whole or not there.
    const std::vector<uint8_t> last = ReadBytes(dir / "last.jpg");
    WriteFile(dir / "last.jpg", std::string(last.begin(), last.begin() + static_cast<long>(last.size() / 3)));
    fs::create_directories(dir / "out2");
    const RunResult damaged = RunCli({"build", project.string(), "--out", (dir / "out2").string()});
    EXPECT_EQ(damaged.exitCode, 2) << damaged.err;
    EXPECT_NE(damaged.err.find("last.jpg"), std::string::npos) << damaged.err;
    EXPECT_EQ(damaged.err.find("encoding"), std::string::npos) << damaged.err;
    ExpectNoImage(dir / "out2");
}

}  // namespace
}  // namespace vcdalbum::clitest
