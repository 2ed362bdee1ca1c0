// The rate buffer checker: exact figures on a stream built bit by bit, and
// FFmpeg-made streams that are known to underflow or to be clean.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "stream/stream_test_support.h"
#include "vbv_model.h"

namespace {

using vcdalbum::components::stream::VbvViolation;
using Kind = VbvViolation::Kind;

constexpr double kRate = 1150000, kPeriod = 1001.0 / 30000, kPerFrame = kRate * kPeriod;

// A video elementary stream of I-pictures of the given sizes in bytes (the
// first one with the 12-byte sequence header in front), 1,150,000 bit/s,
// 20 x 16 kbit buffer, 29.97 pictures/s, the first vbv_delay `delay`.
std::vector<uint8_t> ElementaryStream(const std::vector<size_t>& pictureBytes, int delay) {
    std::vector<uint8_t> es = {0, 0, 1, 0xB3, 0x16, 0x00, 0xF0, 0xC4};
    const int rate = 2875, vbv = 20;
    es.push_back(static_cast<uint8_t>(rate >> 10));
    es.push_back(static_cast<uint8_t>((rate >> 2) & 0xFF));
    es.push_back(static_cast<uint8_t>(((rate & 3) << 6) | 0x20 | (vbv >> 5)));
    es.push_back(static_cast<uint8_t>((vbv & 0x1F) << 3));
    for (size_t i = 0; i < pictureBytes.size(); ++i) {
        const size_t begin = i == 0 ? 0 : es.size();
        es.insert(es.end(), {0, 0, 1, 0x00, 0x00, static_cast<uint8_t>(0x08 | (delay >> 13)),
                             static_cast<uint8_t>((delay >> 5) & 0xFF), static_cast<uint8_t>((delay & 0x1F) << 3)});
        es.insert(es.end(), {0, 0, 1, 0x01});
        es.resize(begin + pictureBytes[i], 0x55);
    }
    return es;
}

TEST(VbvModel, FindsEachUnderflowAndOverflowWithItsPictureAndTime) {
    // The first picture is taken out 0.2 s after its start code (byte 16)
    // arrived. Picture 1 is 3,500 bits short; after it small pictures let
    // the buffer fill past its size before pictures 11 and 12; the last
    // picture is taken out before all of it has arrived.
    std::vector<size_t> sizes = {20000, 14000, 4000};
    for (int i = 0; i < 9; ++i) sizes.push_back(100);
    sizes.push_back(50000);
    const vcdalbum::components::stream::VbvReport r = vcdalbum::components::stream::CheckVbv(ElementaryStream(sizes, 18000));
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.params.bufferBits, 327680);
    EXPECT_EQ(r.params.bitRate, kRate);
    EXPECT_EQ(r.pictures, 13);
    ASSERT_EQ(r.violations.size(), 4u) << r.Describe();

    const double t0 = 128 / kRate + 0.2, before0 = kRate * t0;
    const double before1 = before0 - 160000 + kPerFrame;
    EXPECT_EQ(r.violations[0].kind, Kind::Underflow);
    EXPECT_EQ(r.violations[0].picture, 1);
    EXPECT_NEAR(r.violations[0].seconds, t0 + kPeriod, 1e-9);
    EXPECT_NEAR(r.violations[0].bits, 112000 - before1, 0.01);

    const double before11 = before1 - 112000 + kPerFrame - 32000 + kPerFrame + 8 * (kPerFrame - 800);
    EXPECT_EQ(r.violations[1].kind, Kind::Overflow);
    EXPECT_EQ(r.violations[1].picture, 11);
    EXPECT_NEAR(r.violations[1].bits, before11 - 327680, 0.01);

    EXPECT_EQ(r.violations[2].kind, Kind::Overflow);
    EXPECT_EQ(r.violations[2].picture, 12);
    const double total = (20000 + 14000 + 4000 + 900 + 50000) * 8.0;
    EXPECT_EQ(r.violations[3].kind, Kind::Underflow);
    EXPECT_EQ(r.violations[3].picture, 12);
    EXPECT_NEAR(r.violations[3].bits, total - kRate * (t0 + 12 * kPeriod), 0.01);
    EXPECT_LT(r.lowestBits, 0);
    EXPECT_NE(r.Describe().find("underflow at picture 1 ("), std::string::npos) << r.Describe();
}

TEST(VbvModel, StuffingKeepsTheBufferWithinItsSize) {
    // At the start the buffer holds 3/4 of its size; pictures of 10,000 bits
    // would fill it past its size without stuffing.
    vcdalbum::components::stream::VbvModel model({kRate, 327680, 30000.0 / 1001}, 327680 * 0.75);
    for (int i = 0; i < 40; ++i) {
        const int64_t stuffing = model.StuffingBytes(10000);
        EXPECT_TRUE(model.TakePicture(10000 + 8 * stuffing));
        EXPECT_LE(model.ContentBeforeNext(), 327680);
    }
    EXPECT_GT(model.ContentBeforeNext(), 327680 - 8);
    EXPECT_TRUE(model.Violations().empty());
}

TEST(VbvModel, UnreadableInputIsAnErrorNamingIt) {
    EXPECT_FALSE(vcdalbum::components::stream::CheckVbvFile("/no/such/stream.mpg").error.empty());
    EXPECT_NE(vcdalbum::components::stream::CheckVbvFile("/no/such/stream.mpg").Describe().find("stream.mpg"), std::string::npos);
    const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'm', 'p', 'e', 'g'};
    EXPECT_FALSE(vcdalbum::components::stream::CheckVbv(text).error.empty());
    // A pack whose video packet claims more bytes than there are.
    const std::vector<uint8_t> cut = {0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0x80, 0x1B, 0x91, 0, 0, 1, 0xE0, 0x08, 0x00, 0x0F};
    EXPECT_FALSE(vcdalbum::components::stream::CheckVbv(cut).error.empty());
    // A sequence header without a picture rate leaves no time to fill the buffer in.
    std::vector<uint8_t> noRate = ElementaryStream({2000, 2000}, 9000);
    noRate[7] = 0xC0;
    EXPECT_EQ(vcdalbum::components::stream::CheckVbv(noRate).error, "no usable sequence header");
}

class VbvCheckerOnFfmpegStreams : public vcdalbum::testing::StreamTest {};

TEST_F(VbvCheckerOnFfmpegStreams, FindsThePlantedUnderflowAndNothingInACleanStream) {
    // A dissolve between two noise pictures at the VCD rate cannot fit the
    // buffer: the ffmpeg program writes it all the same.
    Ffmpeg("-f lavfi -i \"nullsrc=s=352x240,geq=random(1)*255:128:128\" -frames 1 '" + Path("n1.png") + "'");
    Ffmpeg("-f lavfi -i \"nullsrc=s=352x240,geq=random(2)*255:random(3)*255:random(4)*255\" -frames 1 '" + Path("n2.png") + "'");
    Ffmpeg("-loop 1 -t 2 -i '" + Path("n1.png") + "' -loop 1 -t 2 -i '" + Path("n2.png") +
           "' -filter_complex \"[0][1]xfade=transition=dissolve:duration=1:offset=0.5,format=yuv420p\" -target ntsc-vcd '" +
           Path("dissolve.mpg") + "'");
    Ffmpeg("-f lavfi -i testsrc2=s=352x240:d=2 -target ntsc-vcd '" + Path("clean.mpg") + "'");

    const vcdalbum::components::stream::VbvReport bad = vcdalbum::components::stream::CheckVbvFile(Path("dissolve.mpg"));
    ASSERT_TRUE(bad.error.empty()) << bad.error;
    EXPECT_GT(bad.Count(Kind::Underflow), 0);
    ASSERT_FALSE(bad.violations.empty());
    // Not before the dissolve starts, half a second in.
    EXPECT_GE(bad.violations.front().seconds, 0.5);
    EXPECT_GE(bad.violations.front().picture, 14);

    const vcdalbum::components::stream::VbvReport clean = vcdalbum::components::stream::CheckVbvFile(Path("clean.mpg"));
    EXPECT_TRUE(clean.ok()) << clean.Describe();
    EXPECT_EQ(clean.pictures, 60);
    EXPECT_GT(clean.lowestBits, 0);

    // The same video taken out of the program stream gives the same account.
    Ffmpeg("-i '" + Path("dissolve.mpg") + "' -c:v copy -an -f mpeg1video '" + Path("dissolve.m1v") + "'");
    const vcdalbum::components::stream::VbvReport es = vcdalbum::components::stream::CheckVbvFile(Path("dissolve.m1v"));
    EXPECT_EQ(es.pictures, bad.pictures);
    EXPECT_EQ(es.violations.size(), bad.violations.size());
    EXPECT_NEAR(es.lowestBits, bad.lowestBits, 1);
}

}  // namespace
