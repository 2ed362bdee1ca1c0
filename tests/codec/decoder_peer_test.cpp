// The decoder beside libjpeg-turbo (integer IDCT, replication upsampling),
// over generated pictures and the real-world files of the shared test data,
// and the decode command.
//
// Our inverse DCT runs its first pass over rows, libjpeg-turbo's over
// columns; the intermediate rounding differs, so pixel-exact comparisons
// decode the transposed stream (jpegtran -transpose moves the coefficients
// losslessly) with libjpeg-turbo and transpose its picture back. Direct
// comparisons use looser bounds.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <filesystem>
#include <fstream>
#include <random>

#include "jpegtran.h"
#include "libjpeg_peer.h"
#include "test_streams.h"
#include "vcdalbum/codec.h"

using namespace vcdalbum;
using namespace vcdalbum::codec::testing;
using libjpeg_peer::PeerDecode;
using libjpeg_peer::PeerEncode;
using libjpeg_peer::PeerPicture;
namespace fs = std::filesystem;

namespace {

const std::string kJpegDir = std::string(VCDALBUM_TESTDATA_DIR) + "/jpeg/";

struct Difference {
    int max = 0;
    double mean = 0;
};

// Compares our BGR record with the peer's RGB picture, optionally transposed.
Difference Compare(const Image& ours, const PeerPicture& peer, bool transposed) {
    Difference d;
    const uint32_t stride = ImageStride(ours.width);
    uint64_t sum = 0;
    for (uint32_t y = 0; y < ours.height; ++y)
        for (uint32_t x = 0; x < ours.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const size_t p = transposed ? (size_t{x} * peer.width + y) : (size_t{y} * peer.width + x);
                const int a = ours.data[y * stride + 3 * x + (2 - c)], b = peer.rgb[p * 3 + c];
                const int diff = a > b ? a - b : b - a;
                d.max = diff > d.max ? diff : d.max;
                sum += static_cast<uint64_t>(diff);
            }
    d.mean = static_cast<double>(sum) / (3.0 * ours.width * ours.height);
    return d;
}

struct Decoded {
    CodecResult result;
    Image image{};
    explicit Decoded(const std::vector<uint8_t>& bytes) { result = DecodeJpeg(bytes, image); }
    ~Decoded() {
        if (result.ok()) ReleaseImage(image);
    }
};

// Our decode against the peer, exact arithmetic through the transposed
// stream and directly. Bounds: `exactMax` for the transposed comparison.
void CheckAgainstPeer(const std::string& name, const std::vector<uint8_t>& bytes, int exactMax, int directMax) {
    Decoded ours(bytes);
    ASSERT_EQ(ours.result.code, kCodecOk) << name << ": " << ours.result.message;
    const PeerPicture direct = PeerDecode(bytes);
    ASSERT_TRUE(direct.ok) << name;
    ASSERT_EQ(static_cast<int>(ours.image.width), direct.width) << name;
    ASSERT_EQ(static_cast<int>(ours.image.height), direct.height) << name;
    const Difference d = Compare(ours.image, direct, false);
    EXPECT_LE(d.max, directMax) << name;
    EXPECT_LT(d.mean, 1.0) << name;
    if (!HaveJpegtran()) return;
    const PeerPicture transposed = PeerDecode(Jpegtran("-transpose -copy none", bytes));
    ASSERT_TRUE(transposed.ok) << name;
    ASSERT_EQ(transposed.width, direct.height) << name;
    const Difference t = Compare(ours.image, transposed, true);
    EXPECT_LE(t.max, exactMax) << name;
    EXPECT_LT(t.mean, 1.0) << name;
}

std::vector<uint8_t> TestPicture(int width, int height, int components) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * components);
    std::mt19937 random(static_cast<unsigned>(width * 31 + height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c) {
                const int smooth = (x * (3 + c) + y * (5 - c)) % 256;
                const int noise = static_cast<int>(random() % 48) - 24;
                const int edge = ((x / 7 + y / 5) % 2) * 60;
                const int v = smooth + noise + edge;
                pixels[(static_cast<size_t>(y) * width + x) * components + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
    return pixels;
}

bool HaveTestData() { return fs::is_directory(kJpegDir); }

}  // namespace

// ---------------------------------------------------------------------------
// Generated pictures (always run).

TEST(DecoderPeerGenerated, GreyAndColourSamplings) {
    struct Case {
        int width, height, components, h, v, quality;
    } cases[] = {
        {64, 48, 1, 1, 1, 90}, {37, 29, 1, 1, 1, 75}, {352, 240, 3, 2, 2, 85}, {350, 240, 3, 2, 2, 85},
        {77, 51, 3, 2, 1, 95}, {45, 33, 3, 1, 1, 60}, {61, 70, 3, 1, 2, 80},  {100, 20, 3, 4, 1, 85},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes =
            PeerEncode(TestPicture(c.width, c.height, c.components), c.width, c.height, c.components, c.quality, c.h, c.v, 0);
        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + " " + std::to_string(c.h) +
                                 "x" + std::to_string(c.v) + " components " + std::to_string(c.components);
        CheckAgainstPeer(name, bytes, c.components == 1 ? 0 : 3, c.components == 1 ? 1 : 4);
    }
}

TEST(DecoderPeerGenerated, RestartIntervalsGiveTheSamePicture) {
    const std::vector<uint8_t> pixels = TestPicture(120, 72, 3);
    Decoded plain(PeerEncode(pixels, 120, 72, 3, 85, 2, 2, 0));
    ASSERT_EQ(plain.result.code, kCodecOk);
    for (int interval : {1, 2, 5}) {
        Decoded restarted(PeerEncode(pixels, 120, 72, 3, 85, 2, 2, interval));
        ASSERT_EQ(restarted.result.code, kCodecOk) << restarted.result.message;
        EXPECT_EQ(0, std::memcmp(plain.image.data, restarted.image.data, plain.image.imageSize)) << interval;
    }
}

// ---------------------------------------------------------------------------
// The shared real-world files.

TEST(DecoderPeerFiles, GreyBaselineIsExact) {
    if (!HaveTestData()) GTEST_SKIP() << kJpegDir << " is absent";
    for (const char* file : {"golang-1.19-src/video-005.gray.jpeg", "golang-1.19-src/video-005.gray.q50.jpeg",
                             "golang-1.19-src/video-005.gray.q50.2x2.jpeg", "gdk-pixbuf-tests/cat.jpg"})
        CheckAgainstPeer(file, ReadFileBytes(kJpegDir + file), 0, 1);
}

TEST(DecoderPeerFiles, ColourBaselineWithinThree) {
    if (!HaveTestData()) GTEST_SKIP() << kJpegDir << " is absent";
    for (const char* file :
         {"golang-1.19-src/video-001.q50.420.jpeg", "golang-1.19-src/video-001.q50.422.jpeg",
          "golang-1.19-src/video-001.q50.440.jpeg", "golang-1.19-src/video-001.q50.444.jpeg",
          "golang-1.19-src/video-001.q50.411.jpeg", "golang-1.19-src/video-001.q50.410.jpeg",
          "golang-1.19-src/video-001.jpeg", "golang-1.19-src/video-001.221212.jpeg", "libjpeg-turbo/testorig.jpg",
          "libjpeg-turbo/testimgint.jpg", "python-pygame-doc/camera_rgb.jpg", "python-pygame-doc/alien1.jpg",
          "gdk-pixbuf-tests/valid.1.jpeg"})
        CheckAgainstPeer(file, ReadFileBytes(kJpegDir + file), 3, 4);
}

TEST(DecoderPeerFiles, SeveralScansPerFrame) {
    if (!HaveTestData()) GTEST_SKIP() << kJpegDir << " is absent";
    for (const char* file : {"libjxl-testdata/flower_small.q85_420_non_interleaved.jpg",
                             "libjxl-testdata/flower_small.q85_420_partially_interleaved.jpg",
                             "libjxl-testdata/flower_small.q85_444_non_interleaved.jpg"})
        CheckAgainstPeer(file, ReadFileBytes(kJpegDir + file), 3, 4);
}

TEST(DecoderPeerFiles, RestartMarkersFromJpegtran) {
    if (!HaveTestData()) GTEST_SKIP() << kJpegDir << " is absent";
    if (!HaveJpegtran()) GTEST_SKIP() << "jpegtran is not installed";
    for (const char* file : {"libjpeg-turbo/testorig.jpg", "golang-1.19-src/video-001.q50.422.jpeg",
                             "gdk-pixbuf-tests/cat.jpg", "golang-1.19-src/video-001.q50.411.jpeg"}) {
        const std::vector<uint8_t> bytes = ReadFileBytes(kJpegDir + file);
        Decoded plain(bytes);
        for (const char* args : {"-restart 1", "-restart 3"}) {
            Decoded restarted(Jpegtran(args, bytes));
            ASSERT_EQ(restarted.result.code, kCodecOk) << file << " " << args << ": " << restarted.result.message;
            ASSERT_EQ(plain.image.imageSize, restarted.image.imageSize);
            EXPECT_EQ(0, std::memcmp(plain.image.data, restarted.image.data, plain.image.imageSize)) << file << args;
        }
    }
}

TEST(DecoderPeerFiles, NonBaselineFilesAreRefusedCleanly) {
    if (!HaveTestData()) GTEST_SKIP() << kJpegDir << " is absent";
    std::vector<std::string> files = {"gdk-pixbuf-tests/valid.2.jpeg", "libjpeg-turbo/testimgari.jpg",
                                      "libjpeg-turbo/monkey12.jpg", "golang-1.19-src/video-001.cmyk.jpeg"};
    for (const auto& entry : fs::directory_iterator(kJpegDir + "golang-1.19-src"))
        if (entry.path().filename().string().find(".progressive") != std::string::npos)
            files.push_back("golang-1.19-src/" + entry.path().filename().string());
    ASSERT_GT(files.size(), 10u);
    for (const std::string& file : files) {
        Image image;
        std::memset(&image, 0x5A, sizeof image);
        const Image before = image;
        const CodecResult result = DecodeJpegFile(kJpegDir + file, image);
        EXPECT_FALSE(result.ok()) << file;
        EXPECT_NE(result.message.find(file), std::string::npos) << result.message;
        EXPECT_EQ(0, std::memcmp(&image, &before, sizeof image)) << file;
    }
}

TEST(DecoderPeerFiles, DamagedFilesNeverCrash) {
    if (!HaveTestData()) GTEST_SKIP() << kJpegDir << " is absent";
    for (const char* file : {"gdk-pixbuf-tests/premature-end.jpg", "gdk-pixbuf-tests/CVE-2017-2862.jpg",
                             "gdk-pixbuf-tests/issue205.jpg", "golang-1.19-src/video-001.progressive.truncated.jpeg"}) {
        Image image{};
        const CodecResult result = DecodeJpegFile(kJpegDir + file, image);
        if (result.ok()) ReleaseImage(image);
        else EXPECT_FALSE(result.message.empty()) << file;
    }
    // Declares 64250x64250 in 1,407 bytes.
    Image image{};
    EXPECT_FALSE(DecodeJpegFile(kJpegDir + "gdk-pixbuf-tests/issue205.jpg", image).ok());
    // Every truncation of a real file.
    const std::vector<uint8_t> bytes = ReadFileBytes(kJpegDir + "golang-1.19-src/video-001.q50.420.jpeg");
    for (size_t n = 0; n < bytes.size(); n += 97) {
        Image part{};
        const CodecResult result = DecodeJpeg(std::span<const uint8_t>(bytes.data(), n), part);
        if (result.ok()) ReleaseImage(part);
    }
}

// ---------------------------------------------------------------------------
// vcdalbum decode.

namespace {

struct CommandRun {
    int exitCode;
    std::string err;
};

CommandRun RunDecode(const std::string& in, const std::string& out) {
    const std::string errPath = out + ".stderr";
    const int status = std::system(("'" VCDALBUM_CLI "' decode '" + in + "' '" + out + "' 2>'" + errPath + "'").c_str());
    CommandRun run{WEXITSTATUS(status), {}};
    std::ifstream err(errPath);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    std::remove(errPath.c_str());
    return run;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(DecodeCommand, WritesPpmRefusesWithOneLineWarnsWithoutEndOfImage) {
    const std::string dir = std::string(VCDALBUM_BINARY_DIR) + "/decode_command_test";
    fs::create_directories(dir);
    const std::vector<uint8_t> pixels = TestPicture(33, 17, 3);
    const std::vector<uint8_t> good = PeerEncode(pixels, 33, 17, 3, 90, 2, 2, 0);
    WriteBytes(dir + "/good.jpg", good);

    CommandRun run = RunDecode(dir + "/good.jpg", dir + "/good.ppm");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    const std::vector<uint8_t> ppm = ReadFileBytes(dir + "/good.ppm");
    const std::string header = "P6\n33 17\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + 33 * 17 * 3);
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + static_cast<long>(header.size())), header);
    Decoded ours(good);
    for (uint32_t y = 0; y < 17; ++y)
        for (uint32_t x = 0; x < 33; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(ppm[header.size() + (y * 33 + x) * 3 + c], ours.image.data[y * ImageStride(33) + 3 * x + 2 - c]);

    std::vector<uint8_t> progressive = good;
    for (size_t i = 0; i + 1 < progressive.size(); ++i)
        if (progressive[i] == 0xFF && progressive[i + 1] == 0xC0) progressive[i + 1] = 0xC2;
    WriteBytes(dir + "/progressive.jpg", progressive);
    run = RunDecode(dir + "/progressive.jpg", dir + "/progressive.ppm");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("progressive.jpg"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("progressive JPEG"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(fs::exists(dir + "/progressive.ppm"));

    std::vector<uint8_t> cut(good.begin(), good.end() - 2);
    WriteBytes(dir + "/noeoi.jpg", cut);
    run = RunDecode(dir + "/noeoi.jpg", dir + "/noeoi.ppm");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("warning"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(dir + "/noeoi.ppm"), ppm);

    run = RunDecode(dir + "/missing.jpg", dir + "/missing.ppm");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("missing.jpg"), std::string::npos);
    fs::remove_all(dir);
}
