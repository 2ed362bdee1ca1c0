// Held pictures written without the encoder: the stream must decode to the
// same frames a player would show from encoded ones, keep its group
// structure and time codes, and keep the rate buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "picture_frames.h"
#include "stream/stream_test_support.h"
#include "vbv_model.h"
#include "vcd_writer.h"

namespace {

using namespace vcdalbum::components::stream;
using vcdalbum::testing::ExpectRateBufferKept;
using vcdalbum::testing::ReadBytes;
using vcdalbum::testing::RunShell;

struct CodedPictureInfo {
    int type = 0;               // 1 I, 2 P
    int temporalReference = 0;
    int64_t groupTimeCode = -1;  // frame number of the group header in front, if any
};

// Picture types, temporal references and group time codes (as frame numbers
// at 30 frames per time-code second) of the video in a program stream.
std::vector<CodedPictureInfo> ReadPictures(const std::string& file) {
    std::string error;
    const std::vector<uint8_t> es = ExtractVideoElementaryStream(ReadBytes(file), error);
    EXPECT_EQ(error, "");
    std::vector<CodedPictureInfo> pictures;
    int64_t pendingTimeCode = -1;
    for (size_t i = 0; i + 8 < es.size(); ++i) {
        if (es[i] != 0 || es[i + 1] != 0 || es[i + 2] != 1) continue;
        const uint8_t* h = &es[i + 4];
        if (es[i + 3] == 0xB8) {
            const uint32_t bits = (uint32_t{h[0]} << 24) | (uint32_t{h[1]} << 16) | (uint32_t{h[2]} << 8) | h[3];
            const int hours = (bits >> 26) & 0x1F, minutes = (bits >> 20) & 0x3F, seconds = (bits >> 13) & 0x3F,
                      frames = (bits >> 7) & 0x3F;
            pendingTimeCode = ((hours * 60 + minutes) * 60 + seconds) * 30 + frames;
        } else if (es[i + 3] == 0x00) {
            pictures.push_back({(h[1] >> 3) & 7, (h[0] << 2) | (h[1] >> 6), pendingTimeCode});
            pendingTimeCode = -1;
        }
    }
    return pictures;
}

std::vector<std::string> DecodedFrameHashes(const std::string& file) {
    std::istringstream lines(RunShell("ffmpeg -v error -i '" + file + "' -map 0:v -f framemd5 - | grep -v '^#'").output);
    std::vector<std::string> hashes;
    for (std::string line; std::getline(lines, line);) hashes.push_back(line.substr(line.rfind(',') + 1));
    return hashes;
}

constexpr int kNtscGop = vcdalbum::video::kNtsc.gopSize;

class HeldFramesTest : public vcdalbum::testing::StreamTest {
protected:
    // Writes `holds[i]` frames of picture i through the writer, with silence.
    int64_t WriteHolds(const std::vector<std::string>& pictures, const std::vector<int>& holds, const std::string& out) {
        VcdWriter writer;
        EXPECT_EQ(writer.Open(out), "");
        std::vector<int16_t> silence(static_cast<size_t>(writer.AudioFrameSamples()) * 2, 0);
        int64_t frame = 0;
        for (size_t p = 0; p < pictures.size(); ++p) {
            std::string why;
            FramePtr picture = LoadPictureFrame(pictures[p], vcdalbum::video::kNtsc, why);
            EXPECT_TRUE(picture) << why;
            if (!picture) return -1;
            for (int f = 0; f < holds[p]; ++f, ++frame) {
                while (writer.audioSamples() < (frame + 1) * 1001 * 44100 / 30000) EXPECT_EQ(writer.WriteAudio(silence.data()), "");
                // Every frame announces the longest hold still to come, so that
                // the first hold is cut short where it was announced longer.
                EXPECT_EQ(writer.WriteVideo(*picture, false, holds.back()), "");
            }
        }
        EXPECT_EQ(writer.Finish(), "");
        return writer.encodedVideoFrames();
    }
};

TEST_F(HeldFramesTest, HeldPicturesCostFewEncodedFramesAndPlayAsEncodedOnes) {
    // Camera pictures with grain, fitted down: the encoder refines them to
    // nothing left to code within a few frames.
    Ffmpeg("-f lavfi -i testsrc2=s=1600x1200 -vf noise=alls=24:allf=u -frames 1 -q:v 3 '" + Path("a.jpg") + "'");
    Ffmpeg("-f lavfi -i testsrc2=s=1600x1200 -vf hue=h=120,noise=alls=24:allf=u:all_seed=5 -frames 1 -q:v 3 '" +
           Path("b.jpg") + "'");
    // The first hold ends two frames into a group whose opening pictures are
    // copies of pictures coded before, sooner than announced, so the
    // encoder's reference and the player's differ when the second picture
    // comes.
    const int firstHold = 2 * kNtscGop + 2, secondHold = 300;
    const std::string out = Path("held.mpg");
    const int64_t encoded = WriteHolds({Path("a.jpg"), Path("b.jpg")}, {firstHold, secondHold}, out);
    const int total = firstHold + secondHold;
    EXPECT_LT(encoded, total / 8) << "the encoder coded " << encoded << " of " << total << " frames";

    ExpectRateBufferKept(out);
    const std::vector<CodedPictureInfo> pictures = ReadPictures(out);
    ASSERT_EQ(pictures.size(), static_cast<size_t>(total));
    int lastIntra = 0;
    for (int i = 0; i < total; ++i) {
        const CodedPictureInfo& p = pictures[static_cast<size_t>(i)];
        if (p.type == 1) {
            lastIntra = i;
            EXPECT_EQ(p.groupTimeCode, i) << "group time code of picture " << i;
        }
        EXPECT_LE(i - lastIntra, kNtscGop - 1) << "picture " << i;
        EXPECT_EQ(p.temporalReference, i - lastIntra) << "picture " << i;
    }
    EXPECT_EQ(pictures[firstHold].type, 1) << "the picture after a cut-short copy must not predict from it";

    const std::vector<std::string> decoded = DecodedFrameHashes(out);
    ASSERT_EQ(decoded.size(), static_cast<size_t>(total));
    // Each group of the held picture shows what the first complete one
    // showed, frame for frame, and ends on the same settled picture.
    const int held = firstHold + kNtscGop;  // a group of the second picture that the encoder coded in full or copied
    for (int i = held + 2 * kNtscGop; i < total; ++i)
        EXPECT_EQ(decoded[static_cast<size_t>(i)], decoded[static_cast<size_t>(i - kNtscGop)]) << "frame " << i;
    EXPECT_EQ(decoded[static_cast<size_t>(total - 1)], decoded[static_cast<size_t>(total - 2)]);
}

// PSNR-Y of each frame of the video in `file` against `picture`.
std::vector<double> FramePsnr(const std::string& file, const AVFrame& picture, const std::string& raw) {
    std::ofstream out(raw, std::ios::binary);
    for (int p = 0; p < 3; ++p) {
        const int w = p == 0 ? picture.width : picture.width / 2, h = p == 0 ? picture.height : picture.height / 2;
        for (int y = 0; y < h; ++y) out.write(reinterpret_cast<const char*>(picture.data[p] + y * picture.linesize[p]), w);
    }
    out.close();
    std::istringstream lines(RunShell("ffmpeg -v error -i '" + file + "' -f rawvideo -pix_fmt yuv420p -s " +
                                      std::to_string(picture.width) + "x" + std::to_string(picture.height) +
                                      " -stream_loop -1 -i '" + raw +
                                      "' -lavfi '[0:v]settb=1/30,setpts=N[a];[1:v]settb=1/30,setpts=N[b];"
                                      "[a][b]psnr=stats_file=-:shortest=1' -f null - | sed -n 's/.*psnr_y:\\([^ ]*\\).*/\\1/p'")
                                 .output);
    std::vector<double> psnr;
    for (std::string line; std::getline(lines, line);) psnr.push_back(line == "inf" ? 99.0 : std::stod(line));
    return psnr;
}

TEST_F(HeldFramesTest, ADetailedHeldPictureSettlesCloseToThePictureAndEndsEveryGroupOnIt) {
    // Fine grain over the whole frame: what the encoder's own rate control
    // leaves coarse, and brings back coarse at every group's I-picture.
    MakeHardPicture("grain.jpg", 352, 240, 2, 7);
    std::string why;
    FramePtr picture = LoadPictureFrame(Path("grain.jpg"), vcdalbum::video::kNtsc, why);
    ASSERT_TRUE(picture) << why;
    const int hold = 150;
    const std::string out = Path("grain.mpg");
    {
        VcdWriter writer;
        ASSERT_EQ(writer.Open(out), "");
        std::vector<int16_t> silence(static_cast<size_t>(writer.AudioFrameSamples()) * 2, 0);
        for (int64_t f = 0; f < hold; ++f) {
            while (writer.audioSamples() < (f + 1) * 1001 * 44100 / 30000) ASSERT_EQ(writer.WriteAudio(silence.data()), "");
            ASSERT_EQ(writer.WriteVideo(*picture, false, hold - f - 1), "");
        }
        ASSERT_EQ(writer.Finish(), "");
    }
    ExpectRateBufferKept(out);
    const std::vector<double> psnr = FramePsnr(out, *picture, Path("grain.yuv"));
    ASSERT_EQ(psnr.size(), static_cast<size_t>(hold));
    const std::vector<CodedPictureInfo> pictures = ReadPictures(out);
    ASSERT_EQ(pictures.size(), static_cast<size_t>(hold));
    const double settled = psnr.back();
    EXPECT_GE(settled, 40.0);
    // The frame before each I-picture after the hold's first group shows
    // the settled picture again: no group ends coarse.
    for (int i = kNtscGop; i < hold; ++i) {
        if (pictures[static_cast<size_t>(i)].type == 1) {
            EXPECT_NEAR(psnr[static_cast<size_t>(i - 1)], settled, 0.5) << "frame " << i - 1;
        }
    }
}

}  // namespace
