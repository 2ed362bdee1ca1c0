// Our files read by libjpeg-turbo: no warnings, complete pictures, the
// right colours, and quality on par with libjpeg-turbo's own encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/bitmap.h"
#include "codec/jpeg_encoder.h"
#include "codec/picture_files.h"
#include "encoder_test_support.h"
#include "codec/libjpeg_peer.h"
#include "ppm/ppm.h"

using namespace encoder_test;
namespace fs = std::filesystem;

namespace {

const std::string kBenchDir = std::string(VCDALBUM_TESTDATA_DIR) + "/bench";

// PSNR of decoded RGB rows against a BGR record, over the first `rows` rows
// starting at `firstRow`.
double Psnr(const libjpeg_peer::Decoded& decoded, const Image& image, uint32_t firstRow, uint32_t rows) {
    double sum = 0;
    size_t count = 0;
    const uint32_t stride = ImageStride(image.width);
    for (uint32_t y = firstRow; y < firstRow + rows; ++y)
        for (uint32_t x = 0; x < image.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int original = image.data[static_cast<size_t>(y) * stride + 3 * x + (2 - c)];
                const int got = decoded.pixels[(static_cast<size_t>(y) * image.width + x) * 3 + c];
                sum += (original - got) * (original - got);
                ++count;
            }
    const double mse = sum / static_cast<double>(count);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::vector<uint8_t> SaveAndRead(const Image& image, const std::string& name) {
    const fs::path path = fs::temp_directory_path() / name;
    EXPECT_EQ(vcdalbum::codec::SaveJpegImage(path.string().c_str(), &image), 0);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    fs::remove(path);
    return bytes;
}

}  // namespace

TEST(PeerDecode, EveryFileWeWriteDecodesWithoutWarning) {
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {2, 1}, {7, 3}, {16, 8}, {17, 9}, {33, 200}, {350, 241}, {352, 240}};
    for (const auto& [w, h] : sizes) {
        for (int pattern = 0; pattern < 2; ++pattern) {
            OwnedImage picture = Painted(w, h, pattern == 0 ? Noise(w * h) : std::function<Bgr(uint32_t, uint32_t)>(Gradient));
            const std::vector<uint8_t> jpeg = SaveAndRead(picture.get(), "vcdalbum-peer-" + std::to_string(w) + ".jpg");
            const libjpeg_peer::Decoded d = libjpeg_peer::Decode(jpeg);
            ASSERT_TRUE(d.ok) << w << "x" << h << ": " << d.message;
            EXPECT_EQ(d.warnings, 0) << w << "x" << h << ": " << d.message;
            EXPECT_EQ(d.width, static_cast<int>(w));
            EXPECT_EQ(d.height, static_cast<int>(h));
            EXPECT_EQ(d.components, 3);
            if (pattern == 1) {
                EXPECT_GT(Psnr(d, picture.get(), 0, h), 30.0) << w << "x" << h;
            }
        }
    }

    // A grey (one-component) stream from an 8-bit bitmap.
    namespace codec = vcdalbum::codec;
    codec::BitmapInfoHeader info;
    info.width = 37;
    info.height = 19;
    info.bitsPerPixel = 8;
    codec::MemBuffer header, pixels;
    ASSERT_TRUE(codec::WriteBitmapHeaders(info, header));
    const uint32_t stride = codec::BitmapStride(37, 8);
    ASSERT_TRUE(pixels.allocate(stride * 19));
    for (uint32_t y = 0; y < 19; ++y)
        for (uint32_t x = 0; x < stride; ++x) pixels.data[y * stride + x] = static_cast<uint8_t>(x * 6 + y);
    std::vector<uint8_t> grey;
    ASSERT_EQ(codec::EncodeJpeg(grey, header, pixels), codec::kEncodeOk);
    const libjpeg_peer::Decoded d = libjpeg_peer::Decode(grey);
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.warnings, 0) << d.message;
    EXPECT_EQ(d.components, 1);
    for (uint32_t y = 0; y < 19; ++y)
        for (uint32_t x = 0; x < 37; ++x)
            EXPECT_NEAR(d.pixels[y * 37 + x], pixels.data[y * stride + x], 6) << x << "," << y;
}

TEST(PeerDecode, PrimaryColoursComeBackInTheirChannels) {
    const Bgr colours[] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 255, 255}, {255, 255, 255}, {0, 0, 0}, {40, 120, 200}};
    for (const Bgr c : colours) {
        OwnedImage picture = Painted(32, 16, [c](uint32_t, uint32_t) { return c; });
        const libjpeg_peer::Decoded d = libjpeg_peer::Decode(Encode(picture.get()));
        ASSERT_TRUE(d.ok) << d.message;
        for (size_t i = 0; i < d.pixels.size(); i += 3) {
            ASSERT_NEAR(d.pixels[i], c.r, 6);
            ASSERT_NEAR(d.pixels[i + 1], c.g, 6);
            ASSERT_NEAR(d.pixels[i + 2], c.b, 6);
        }
    }
}

TEST(PeerDecode, HugePictureEncodesWholeAndDecodesCompletely) {
    // 4000 x 3000, noise in the upper half so the stream is many mebibytes
    // before the smooth lower half starts; truncation would lose that half.
    const auto noise = Noise(99);
    OwnedImage picture = Painted(4000, 3000, [&](uint32_t x, uint32_t y) { return y < 1500 ? noise(x, y) : Gradient(x % 256, y % 256); });
    const std::vector<uint8_t> jpeg = SaveAndRead(picture.get(), "vcdalbum-peer-huge.jpg");
    EXPECT_GT(jpeg.size(), 4u * 1048576u);
    const libjpeg_peer::Decoded d = libjpeg_peer::Decode(jpeg);
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.warnings, 0) << d.message;
    EXPECT_EQ(d.scanlines, 3000u);
    EXPECT_GT(Psnr(d, picture.get(), 2992, 8), 30.0) << "the last rows decode as encoded";
}

TEST(PeerQuality, SeedingRoundTripIsAsGoodAsLibjpegAtTheSameQuantisers) {
    const std::string ppm = kBenchDir + "/seeding_352x240.ppm";
    const std::string tables = kBenchDir + "/half.qtables";
    if (!fs::exists(ppm) || !fs::exists(tables)) GTEST_SKIP() << "test data not found at " << kBenchDir;
    Image picture{};
    std::string error;
    ASSERT_TRUE(vcdalbum::cli::ReadPpm(ppm, picture, error)) << error;
    unsigned int luma[64], chroma[64];
    ASSERT_TRUE(libjpeg_peer::ReadQuantTables(tables, luma, chroma));

    const std::vector<uint8_t> ours = Encode(picture);
    std::vector<uint8_t> theirs;
    ASSERT_TRUE(libjpeg_peer::EncodeLikeOurs(picture.data, 352, 240, ImageStride(352), luma, chroma, theirs));
    ASSERT_GT(theirs.size(), 200u);
    // Same quantisers: libjpeg-turbo's two DQT segments carry our tables.
    for (size_t table = 0; table < 2; ++table) {
        const auto ourTable = ours.begin() + 25 + 65 * table;
        EXPECT_NE(std::search(theirs.begin(), theirs.end(), ourTable, ourTable + 64), theirs.end())
            << "libjpeg-turbo was given other quantisers, table " << table;
    }

    const libjpeg_peer::Decoded a = libjpeg_peer::Decode(ours);
    const libjpeg_peer::Decoded b = libjpeg_peer::Decode(theirs);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(a.warnings, 0);
    const double psnrOurs = Psnr(a, picture, 0, 240), psnrTheirs = Psnr(b, picture, 0, 240);
    EXPECT_GE(psnrOurs, psnrTheirs - 0.5) << "ours " << psnrOurs << " dB, libjpeg-turbo " << psnrTheirs << " dB";
    vcdalbum::ReleaseImage(picture);
}
