// The real stream encoder: streams checked with ffprobe, read back at the
// byte level for the VCD header values, and accepted by vcdxbuild.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include "authoring/first_sequence_item.h"
#include "doubles/scoped_env.h"
#include "platform/stream_encoder.h"
#include "contract/video_standard.h"
#include "stream_encode.h"
#include "stream/stream_test_support.h"
#include "vcdalbum/Authoring.h"
#include "contract/vrxstream.h"

namespace {

namespace fs = std::filesystem;

using vcdalbum::testing::ExpectRateBufferKept;
using vcdalbum::testing::ReadBytes;
using vcdalbum::testing::RunShell;

std::map<std::string, std::string> Probe(const std::string& file, const char* stream) {
    std::string out = RunShell(std::string("ffprobe -v error -select_streams ") + stream +
                               " -count_packets -show_entries stream=codec_name,width,height,r_frame_rate,sample_rate,"
                               "channels,nb_read_packets -of default=nw=1 '" + file + "'").output;
    std::map<std::string, std::string> values;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        std::string line = out.substr(pos, end - pos);
        size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end == std::string::npos ? out.size() : end + 1;
    }
    return values;
}

class StreamEncodeTest : public vcdalbum::testing::StreamTest {
protected:
    // Two unlike 352x240 pictures, 30 random-pixel dissolve frames between
    // them named as a transition run, and a short piece of music.
    void MakeAlbumInputs() {
        Ffmpeg("-f lavfi -i testsrc2=s=352x240 -frames 1 '" + Path("a.jpg") + "'");
        Ffmpeg("-f lavfi -i mandelbrot=s=352x240 -frames 1 '" + Path("b.jpg") + "'");
        Ffmpeg("-f lavfi -i color=white:s=352x240 -frames 1 '" + Path("white.jpg") + "'");
        for (auto [from, to, serial] : {std::tuple{"a.jpg", "b.jpg", 7}, std::tuple{"b.jpg", "white.jpg", 8}})
            Ffmpeg("-loop 1 -i '" + Path(from) + "' -loop 1 -i '" + Path(to) +
                   "' -filter_complex \"[0][1]xfade=transition=dissolve:duration=1:offset=0,select='between(n,1,30)'\" "
                   "-vsync 0 -frames 30 -start_number 1 '" + Path(std::to_string(serial) + "-%d.jpg") + "'");
        Ffmpeg("-f lavfi -i sine=f=440:d=1.5 -ac 2 '" + Path("music.mp3") + "'");
    }

    static void ExpectVcdStream(const std::string& file, const vcdalbum::video::VideoStandard& standard = vcdalbum::video::kNtsc) {
        auto video = Probe(file, "v:0");
        EXPECT_EQ(video["codec_name"], "mpeg1video");
        EXPECT_EQ(video["width"], std::to_string(standard.width));
        EXPECT_EQ(video["height"], std::to_string(standard.height));
        EXPECT_EQ(video["r_frame_rate"], std::to_string(standard.rateNum) + "/" + std::to_string(standard.rateDen));
        auto audio = Probe(file, "a:0");
        EXPECT_EQ(audio["codec_name"], "mp2");
        EXPECT_EQ(audio["sample_rate"], "44100");
        EXPECT_EQ(audio["channels"], "2");

        // VBV size in the sequence header, mux rate and size of the packs.
        std::vector<uint8_t> bytes = ReadBytes(file);
        std::vector<size_t> packs;
        int vbv = -1, aspectCode = -1, rateCode = -1;
        for (size_t i = 0; i + 12 < bytes.size(); ++i) {
            if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) continue;
            if (bytes[i + 3] == 0xBA) packs.push_back(i);
            if (bytes[i + 3] == 0xB3 && vbv < 0) {
                vbv = ((bytes[i + 10] & 0x1F) << 5) | (bytes[i + 11] >> 3);
                aspectCode = bytes[i + 7] >> 4;
                rateCode = bytes[i + 7] & 0x0F;
            }
        }
        EXPECT_EQ(vbv * 16 * 1024, 327680);
        // The 4:3 entry of the standard (12 for 525 lines, 8 for 625), not square pixels.
        EXPECT_EQ(aspectCode, standard.aspectCode);
        EXPECT_EQ(rateCode, standard.rateCode);
        ASSERT_GE(packs.size(), 3u);
        const uint8_t* p = &bytes[packs[0] + 9];
        int muxRate = ((p[0] & 0x7F) << 15) | (p[1] << 7) | (p[2] >> 1);
        EXPECT_EQ(muxRate, 3528);  // units of 50 bytes/s: 1,411,200 bit/s
        EXPECT_EQ(packs[1] - packs[0], 2324u);
        EXPECT_EQ(bytes.size() % 2324, 0u);
        ExpectRateBufferKept(file);
    }

    double VideoSeconds(const std::string& file) {
        return std::stod(Probe(file, "v:0")["nb_read_packets"]) * 1001.0 / 30000.0;
    }

    // Luma plane of one decoded frame, in the stream's own (TV) range.
    std::vector<uint8_t> LumaOfFrame(const std::string& file, int frame, size_t height = 240) {
        std::string raw = Path("frame.y");
        Ffmpeg("-i '" + file + "' -vf \"select=eq(n\\," + std::to_string(frame) +
               ")\" -frames 1 -f rawvideo -pix_fmt yuv420p '" + raw + "'");
        std::vector<uint8_t> yuv = ReadBytes(raw);
        if (yuv.size() >= 352u * height) yuv.resize(352u * height);  // the luma plane as coded
        return yuv;
    }

};

TEST_F(StreamEncodeTest, AlbumWithTwoTransitionsAndMusicIsAVcdStream) {
    MakeAlbumInputs();
    std::vector<std::string> names{Path("a.jpg")};
    for (int k = 1; k <= 30; ++k) names.push_back(Path("7-" + std::to_string(k) + ".jpg"));
    names.push_back(Path("b.jpg"));
    for (int k = 1; k <= 30; ++k) names.push_back(Path("8-" + std::to_string(k) + ".jpg"));
    names.push_back(Path("white.jpg"));
    std::vector<char*> pictures;
    for (auto& n : names) pictures.push_back(n.data());
    pictures.push_back(nullptr);
    std::vector<float> times(names.size(), 1.0f / 30);
    std::string music = Path("music.mp3"), out = Path("album.mpg");
    char* extras[] = {music.data(), nullptr};

    static std::vector<int> progress;
    progress.clear();
    StreamInfo info{};
    info.pictureFiles = pictures.data();
    info.pictureCount = static_cast<int32_t>(names.size());
    info.pictureTimes = times.data();
    info.extraFiles = extras;
    info.extraCount = 1;
    info.outputFile = out.data();
    info.option5 = 3;
    info.sourceCount = 3;
    info.callBack = [](int p) { progress.push_back(p); };
    ASSERT_EQ(StreamEncode(&info), kVrxStreamOk);

    ExpectVcdStream(out);
    EXPECT_NEAR(VideoSeconds(out), 3 * 3 + 2 * 1.0, 1001.0 / 30000);
    EXPECT_EQ(vcdalbum::testing::g_underflowMessages, 0);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << "temporary file left: " << e.path();

    // vcdxbuild takes it as a sequence item without a warning.
    std::ofstream(Path("disc.xml"))
        << "<?xml version=\"1.0\"?>\n"
           "<!DOCTYPE videocd PUBLIC \"-//GNU//DTD VideoCD//EN\" \"http://www.gnu.org/software/vcdimager/videocd.dtd\">\n"
           "<videocd xmlns=\"http://www.gnu.org/software/vcdimager/1.0/\" class=\"vcd\" version=\"2.0\">\n"
           "<info><album-id>TEST</album-id><volume-count>1</volume-count><volume-number>1</volume-number>"
           "<restriction>0</restriction></info>\n"
           "<pvd><volume-id>TEST</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>\n"
           "<sequence-items><sequence-item src=\"" << out << "\" id=\"s0\"><default-entry id=\"e0\"/></sequence-item>"
           "</sequence-items>\n</videocd>\n";
    const auto build = RunShell("vcdxbuild -c '" + Path("disc.cue") + "' -b '" + Path("disc.bin") + "' '" +
                                Path("disc.xml") + "' 2>&1");
    EXPECT_EQ(build.exitCode, 0) << build.output;
    EXPECT_EQ(build.output.find("WARN"), std::string::npos) << build.output;
    EXPECT_TRUE(fs::exists(Path("disc.bin")));
}

TEST_F(StreamEncodeTest, MenuPageThroughAuthoringIsAVcdStreamOfItsPictureTimes) {
    MakeAlbumInputs();
    vcdalbum::testing::ScopedEnv temp("TEMP", dir_.c_str());
    auto previous = vcdalbum::platform::SetStreamEncoder(&vcdalbum::components::stream::Encode);
    std::string a = Path("a.jpg"), b = Path("b.jpg"), music = Path("music.mp3");
    char* page[] = {a.data(), b.data(), a.data(), b.data(), a.data(), b.data(), a.data(), b.data(), nullptr};
    char* extras[] = {music.data(), nullptr};
    {
        Authoring authoring;
        authoring.AppendMenuPage(2, page, extras);
        authoring.AppendMenuPage(3, page, nullptr);  // no music: silent audio
    }
    vcdalbum::platform::SetStreamEncoder(previous);
    for (const char* name : {"menu2.mpg", "menu3.mpg"}) {
        SCOPED_TRACE(name);
        ExpectVcdStream(Path(name));
        EXPECT_NEAR(VideoSeconds(Path(name)), 8 * 0.5, 1001.0 / 30000);
    }
    EXPECT_EQ(vcdalbum::testing::g_underflowMessages, 0);
}

TEST_F(StreamEncodeTest, AlbumOfRandomPixelTransitionsKeepsTheRateBuffer) {
    // The random-pixel transitions between very unlike pictures are the
    // hardest frames to code at the VCD rate.
    const char* sources[] = {"testsrc2=s=352x240", "mandelbrot=s=352x240", "color=black:s=352x240",
                             "color=white:s=352x240", "smptebars=s=352x240", "cellauto=s=352x240"};
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        names.push_back(Path("src" + std::to_string(i) + ".jpg"));
        Ffmpeg(std::string("-f lavfi -i ") + sources[i] + " -frames 1 '" + names.back() + "'");
    }
    Ffmpeg("-f lavfi -i sine=f=220:d=4 -ac 2 '" + Path("music.mp3") + "'");
    std::vector<char*> pictures;
    for (auto& n : names) pictures.push_back(n.data());
    std::string music = Path("music.mp3");
    char* extras[] = {music.data()};
    unsigned short positions[] = {0, 1, 2, 3, 4};
    unsigned short effects[] = {15, 34, 35, 36, 37};

    vcdalbum::testing::ScopedEnv temp("TEMP", dir_.c_str());
    auto previous = vcdalbum::platform::SetStreamEncoder(&vcdalbum::components::stream::Encode);
    {
        Authoring authoring;
        authoring.AppendAlbum(0, 9, 6, pictures.data(), 1, extras, 0, 3, 0, 5, positions, effects);
    }
    vcdalbum::platform::SetStreamEncoder(previous);

    const std::string out = Path("album9.mpg");
    ASSERT_TRUE(fs::exists(out));
    ExpectVcdStream(out);
    EXPECT_NEAR(VideoSeconds(out), 6 * 3 + 5 * 1.0, 1001.0 / 30000);
    EXPECT_EQ(vcdalbum::testing::g_underflowMessages, 0);
}

TEST_F(StreamEncodeTest, PortraitPhotoIsTurnedUprightAndPillarboxed) {
    // Stored landscape with its top half white; EXIF orientation 6 asks for
    // a clockwise quarter turn, which puts the white half on the right.
    Ffmpeg("-f lavfi -i \"color=black:s=480x320,drawbox=x=0:y=0:w=480:h=160:color=white:t=fill\" -frames 1 "
           "-pix_fmt yuvj420p '" + Path("stored.jpg") + "'");
    std::vector<uint8_t> jpeg = ReadBytes(Path("stored.jpg"));
    const uint8_t app1[] = {0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0,
                            1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
    jpeg.insert(jpeg.begin() + 2, std::begin(app1), std::end(app1));
    std::string portrait = Path("portrait.jpg"), out = Path("portrait.mpg");
    std::ofstream(portrait, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());

    char* pictures[] = {portrait.data(), nullptr};
    float times[] = {1.0f};
    StreamInfo info{};
    info.pictureFiles = pictures;
    info.pictureCount = 1;
    info.pictureTimes = times;
    info.outputFile = out.data();
    ASSERT_EQ(StreamEncode(&info), kVrxStreamOk);

    std::vector<uint8_t> y = LumaOfFrame(out, 20);
    ASSERT_EQ(y.size(), 352u * 240u);
    auto at = [&](int x, int row) { return static_cast<int>(y[row * 352 + x]); };
    // Black borders, in TV range.
    for (auto [x, row] : {std::pair{2, 2}, {349, 2}, {2, 237}, {349, 237}, {30, 120}, {330, 60}}) {
        EXPECT_NEAR(at(x, row), 16, 3) << x << "," << row;
    }
    // The picture, 176 pixels wide in the middle: dark left half, white right half, top to bottom.
    EXPECT_GT(at(230, 20), 200);
    EXPECT_GT(at(230, 220), 200);
    EXPECT_LT(at(120, 20), 40);
    EXPECT_LT(at(120, 220), 40);
}

// PAL is asked for in option6: 352x288 at 25 frames/s, everything else as
// for NTSC. A 4:3 photo fills the frame's 12:11 pixels edge to edge; fitted
// for NTSC's narrower pixels it would leave black bands above and below.
TEST_F(StreamEncodeTest, PalRecordGivesA352x288StreamAt25WithA43PhotoFillingTheFrame) {
    Ffmpeg("-f lavfi -i color=white:s=640x480 -frames 1 '" + Path("four-three.jpg") + "'");
    const std::string out = Path("pal.mpg");
    ASSERT_EQ(EncodeStream({Path("four-three.jpg")}, 3, out, 625), kVrxStreamOk);
    ExpectVcdStream(out, vcdalbum::video::kPal);
    EXPECT_EQ(Probe(out, "v:0")["nb_read_packets"], "80");  // 3.2 s at 25 frames/s

    std::vector<uint8_t> y = LumaOfFrame(out, 40, 288);
    ASSERT_EQ(y.size(), 352u * 288u);
    for (auto [x, row] : {std::pair{2, 2}, {349, 2}, {2, 285}, {349, 285}, {176, 144}})
        EXPECT_GT(y[static_cast<size_t>(row) * 352 + x], 200) << x << "," << row;

    // Moving, the picture travels on the same frame: laid out for NTSC's
    // pixels, the 4:3 photo would leave bands above and below.
    std::string source = Path("four-three.jpg");
    char* sources[] = {source.data(), nullptr};
    uint32_t seeds[] = {7};
    const StreamMotion motion{sources, seeds};
    const std::string moving = Path("pal-moving.mpg");
    ASSERT_EQ(EncodeStream({Path("four-three.jpg")}, 3, moving, 625, &motion), kVrxStreamOk);
    ExpectVcdStream(moving, vcdalbum::video::kPal);
    y = LumaOfFrame(moving, 40, 288);
    ASSERT_EQ(y.size(), 352u * 288u);
    for (auto [x, row] : {std::pair{176, 2}, {176, 285}, {176, 144}})
        EXPECT_GT(y[static_cast<size_t>(row) * 352 + x], 200) << x << "," << row;
}

TEST_F(StreamEncodeTest, RelativeNamesWithAColonAreFiles) {
    // "x:" would name a protocol to FFmpeg; these are plain files.
    Ffmpeg("-f lavfi -i color=gray:s=352x240 -frames 1 '" + Path("x:pic.jpg") + "'");
    const fs::path cwd = fs::current_path();
    fs::current_path(dir_);
    char picture[] = "x:pic.jpg";
    char output[] = "x:out.mpg";
    char* pictures[] = {picture, nullptr};
    StreamInfo info{};
    info.pictureFiles = pictures;
    info.pictureCount = 1;
    info.outputFile = output;
    const int result = StreamEncode(&info);
    fs::current_path(cwd);
    EXPECT_EQ(result, kVrxStreamOk);
    EXPECT_TRUE(fs::exists(Path("x:out.mpg")));
}

TEST_F(StreamEncodeTest, FailuresLeaveNoFileAndSayWhy) {
    std::string out = Path("bad.mpg"), missing = Path("missing.jpg");
    char* pictures[] = {missing.data(), nullptr};
    StreamInfo info{};
    info.pictureFiles = pictures;
    info.pictureCount = 1;
    info.outputFile = out.data();
    info.option5 = 3;
    testing::internal::CaptureStderr();
    EXPECT_EQ(StreamEncode(&info), kVrxStreamBadPicture);
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("missing.jpg"), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(fs::is_empty(dir_));

    std::string noDir = Path("no/such/dir/x.mpg");
    info.pictureFiles = nullptr;
    info.outputFile = noDir.data();
    testing::internal::CaptureStderr();
    EXPECT_NE(StreamEncode(&info), kVrxStreamOk);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("x.mpg"), std::string::npos);
    EXPECT_EQ(StreamEncode(nullptr), kVrxStreamBadArguments);
}

TEST_F(StreamEncodeTest, EmptyListGivesTheMinimumBlackClipAndUnreadableMusicIsSilence) {
    std::string out = Path("black.mpg"), music = Path("not-music.mp3");
    std::ofstream(music) << "not audio";
    char* extras[] = {music.data(), nullptr};
    StreamInfo info{};
    info.outputFile = out.data();
    info.extraFiles = extras;
    info.extraCount = 1;
    testing::internal::CaptureStderr();
    ASSERT_EQ(StreamEncode(&info), kVrxStreamOk);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("not-music.mp3"), std::string::npos);
    ExpectVcdStream(out);
    EXPECT_GE(VideoSeconds(out), 3.2);
    EXPECT_LT(VideoSeconds(out), 3.3);
    std::vector<uint8_t> y = LumaOfFrame(out, 10);
    ASSERT_FALSE(y.empty());
    EXPECT_NEAR(y[352 * 120 + 176], 16, 2);
}

TEST_F(StreamEncodeTest, FirstSequenceItemIsMadeThroughTheLoadedComponent) {
    vcdalbum::testing::ScopedEnv temp("TEMP", dir_.c_str());
    // No stand-in: the library finds and loads libvrxstream.so itself.
    const std::string first = vcdalbum::authoring::FirstSequenceItemPath();
    EXPECT_EQ(first, Path("EnablePbcNTSC.mpg"));
    ASSERT_TRUE(fs::exists(first));
    ExpectVcdStream(first);
    EXPECT_GE(VideoSeconds(first), 3.2);
}

}  // namespace
