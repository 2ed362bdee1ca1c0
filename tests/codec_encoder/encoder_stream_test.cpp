// The stream the encoder writes: header bytes, entropy data of known
// pictures, edge replication, stuffing and determinism.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "codec/bitmap.h"
#include "codec/jpeg_encoder.h"
#include "codec/jpeg_tables.h"
#include "encoder_test_support.h"

using namespace encoder_test;
namespace codec = vcdalbum::codec;

namespace {

// Annex K's examples halved and rounded down, in zigzag (DQT) order.
constexpr uint8_t kHalfLuminance[64] = {
    8,  5,  6,  7,  6,  5,  8,  7,  6,  7,  9,  8,  8,  9,  12, 20, 13, 12, 11, 11, 12, 24,
    17, 18, 14, 20, 29, 25, 30, 30, 28, 25, 28, 27, 32, 36, 46, 39, 32, 34, 43, 34, 27, 28,
    40, 54, 40, 43, 47, 49, 51, 52, 51, 31, 38, 56, 60, 56, 50, 60, 46, 50, 51, 49,
};
constexpr uint8_t kHalfChrominance[64] = {
    8,  9,  9,  12, 10, 12, 23, 13, 13, 23, 49, 33, 28, 33, 49, 49, 49, 49, 49, 49, 49, 49,
    49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49,
    49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49,
};

void Append(std::vector<uint8_t>& v, std::initializer_list<int> bytes) {
    for (int b : bytes) v.push_back(static_cast<uint8_t>(b));
}

void AppendTable(std::vector<uint8_t>& v, int id, const codec::StandardHuffmanTable& t) {
    v.push_back(static_cast<uint8_t>(id));
    v.insert(v.end(), t.counts, t.counts + 16);
    v.insert(v.end(), t.values, t.values + t.valueCount);
}

std::vector<uint8_t> ExpectedHeader(bool grey, int width, int height) {
    std::vector<uint8_t> e;
    Append(e, {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    Append(e, {0xFF, 0xDB, 0, grey ? 67 : 132, 0});
    e.insert(e.end(), kHalfLuminance, kHalfLuminance + 64);
    if (!grey) {
        e.push_back(1);
        e.insert(e.end(), kHalfChrominance, kHalfChrominance + 64);
    }
    Append(e, {0xFF, 0xC0, 0, grey ? 11 : 17, 8, height >> 8, height & 255, width >> 8, width & 255});
    if (grey) {
        Append(e, {1, 1, 0x11, 0});
    } else {
        Append(e, {3, 1, 0x21, 0, 2, 0x11, 1, 3, 0x11, 1});
    }
    const int dhtLength = grey ? 210 : 418;
    Append(e, {0xFF, 0xC4, dhtLength >> 8, dhtLength & 255});
    AppendTable(e, 0x00, codec::kDcLuminance);
    AppendTable(e, 0x10, codec::kAcLuminance);
    if (!grey) {
        AppendTable(e, 0x01, codec::kDcChrominance);
        AppendTable(e, 0x11, codec::kAcChrominance);
    }
    if (grey) {
        Append(e, {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 63, 0});
    } else {
        Append(e, {0xFF, 0xDA, 0, 12, 3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0});
    }
    return e;
}

// Encodes a grey (8-bit) picture through the intermediate bitmap.
std::vector<uint8_t> EncodeGreyBitmap(int width, int height, uint8_t level) {
    codec::BitmapInfoHeader info;
    info.width = width;
    info.height = height;
    info.bitsPerPixel = 8;
    const uint32_t stride = codec::BitmapStride(width, 8);
    info.imageBytes = stride * height;
    codec::MemBuffer header, pixels;
    EXPECT_TRUE(codec::WriteBitmapHeaders(info, header));
    EXPECT_TRUE(pixels.allocate(info.imageBytes));
    std::fill(pixels.data, pixels.data + pixels.capacity, level);
    std::vector<uint8_t> out;
    EXPECT_EQ(codec::EncodeJpeg(out, header, pixels), codec::kEncodeOk);
    return out;
}

std::vector<uint8_t> WithSize(std::vector<uint8_t> jpeg, int width, int height) {
    // SOF0 follows SOI, APP0 and the two-table DQT in a colour stream.
    const size_t sof = 2 + 18 + 134;
    EXPECT_EQ(jpeg[sof + 1], 0xC0);
    jpeg[sof + 5] = static_cast<uint8_t>(height >> 8);
    jpeg[sof + 6] = static_cast<uint8_t>(height);
    jpeg[sof + 7] = static_cast<uint8_t>(width >> 8);
    jpeg[sof + 8] = static_cast<uint8_t>(width);
    return jpeg;
}

}  // namespace

TEST(EncoderHeader, ColourAndGreyHeadersByteForByte) {
    OwnedImage picture = Painted(352, 240, Noise(1));
    const std::vector<uint8_t> jpeg = Encode(picture.get());
    const std::vector<uint8_t> expected = ExpectedHeader(false, 352, 240);
    ASSERT_EQ(expected.size(), 607u);
    ASSERT_GT(jpeg.size(), 609u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), jpeg.begin()));
    EXPECT_EQ(EntropyStart(jpeg), 607u);
    EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
    EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);

    // Sizes above 255 in both bytes of the 16-bit fields.
    OwnedImage odd = Painted(4000, 300, [](uint32_t, uint32_t) { return Uniform(7); });
    const std::vector<uint8_t> oddJpeg = Encode(odd.get());
    const std::vector<uint8_t> oddHeader = ExpectedHeader(false, 4000, 300);
    EXPECT_TRUE(std::equal(oddHeader.begin(), oddHeader.end(), oddJpeg.begin()));

    const std::vector<uint8_t> grey = EncodeGreyBitmap(352, 240, 128);
    const std::vector<uint8_t> greyHeader = ExpectedHeader(true, 352, 240);
    ASSERT_EQ(greyHeader.size(), 324u);
    ASSERT_GT(grey.size(), greyHeader.size());
    EXPECT_TRUE(std::equal(greyHeader.begin(), greyHeader.end(), grey.begin()));
}

TEST(EncoderEntropy, UniformMidGreyIsDcZeroAndEobInEveryBlock) {
    // Y = Cb = Cr = 128: every block is DC difference 0 (code 00) then EOB
    // (1010 for luminance, 00 for chrominance). 22 x 30 MCUs of Y Y Cb Cr.
    OwnedImage picture = Painted(352, 240, [](uint32_t, uint32_t) { return Uniform(128); });
    const std::vector<uint8_t> jpeg = Encode(picture.get());
    BitString bits;
    for (int m = 0; m < 22 * 30; ++m) {
        bits.Put(0b00, 2), bits.Put(0b1010, 4);
        bits.Put(0b00, 2), bits.Put(0b1010, 4);
        bits.Put(0b00, 2), bits.Put(0b00, 2);
        bits.Put(0b00, 2), bits.Put(0b00, 2);
    }
    std::vector<uint8_t> expected(jpeg.begin(), jpeg.begin() + 607);
    const std::vector<uint8_t> entropy = bits.Bytes();
    expected.insert(expected.end(), entropy.begin(), entropy.end());
    expected.push_back(0xFF);
    expected.push_back(0xD9);
    EXPECT_EQ(jpeg, expected);

    // One grey component: 44 x 30 single-block MCUs.
    const std::vector<uint8_t> grey = EncodeGreyBitmap(352, 240, 128);
    BitString greyBits;
    for (int m = 0; m < 44 * 30; ++m) greyBits.Put(0b00, 2), greyBits.Put(0b1010, 4);
    std::vector<uint8_t> greyExpected(grey.begin(), grey.begin() + 324);
    const std::vector<uint8_t> greyEntropy = greyBits.Bytes();
    greyExpected.insert(greyExpected.end(), greyEntropy.begin(), greyEntropy.end());
    greyExpected.push_back(0xFF);
    greyExpected.push_back(0xD9);
    EXPECT_EQ(grey, greyExpected);
}

TEST(EncoderEdges, PartialMcusRepeatTheLastColumnAndRow) {
    // Width 350: U = 352, columns 350 and 351 repeat column 349 in every
    // plane, so the stream equals that of a 352-wide picture built that way
    // (chroma 176 wide in both). Height 241 likewise: 7 copies of row 240.
    const auto noise = Noise(5);
    OwnedImage narrow = Painted(350, 240, noise);
    OwnedImage wide = Painted(352, 240, [&](uint32_t x, uint32_t y) { return noise(std::min(x, 349u), y); });
    EXPECT_EQ(Encode(narrow.get()), WithSize(Encode(wide.get()), 350, 240));

    OwnedImage shortPicture = Painted(352, 241, noise);
    OwnedImage tall = Painted(352, 248, [&](uint32_t x, uint32_t y) { return noise(x, std::min(y, 240u)); });
    EXPECT_EQ(Encode(shortPicture.get()), WithSize(Encode(tall.get()), 352, 241));

    OwnedImage tiny = Painted(1, 1, [](uint32_t, uint32_t) { return Bgr{10, 200, 30}; });
    OwnedImage tinyBlock = Painted(16, 8, [](uint32_t, uint32_t) { return Bgr{10, 200, 30}; });
    EXPECT_EQ(Encode(tiny.get()), WithSize(Encode(tinyBlock.get()), 1, 1));
}

TEST(EncoderEntropy, EveryFfInTheEntropyDataIsStuffed) {
    OwnedImage picture = Painted(352, 240, Noise(9));
    const std::vector<uint8_t> jpeg = Encode(picture.get());
    const size_t start = EntropyStart(jpeg);
    ASSERT_EQ(start, 607u);
    ASSERT_GE(jpeg.size(), start + 2);
    int ffCount = 0;
    for (size_t i = start; i + 2 < jpeg.size(); ++i) {
        if (jpeg[i] != 0xFF) continue;
        ++ffCount;
        ASSERT_EQ(jpeg[i + 1], 0x00) << "at offset " << i;
        ++i;
    }
    EXPECT_GT(ffCount, 20) << "noise should produce many 0xFF bytes";
    EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
    EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);
}

TEST(EncoderDeterminism, SameImageSameBytesAndOutputGrowsPastOneMebibyte) {
    OwnedImage first = Painted(352, 240, Noise(3));
    OwnedImage other = Painted(200, 100, Gradient);
    const std::vector<uint8_t> a = Encode(first.get());
    (void)Encode(other.get());
    const std::vector<uint8_t> b = Encode(first.get());
    EXPECT_EQ(a, b);

    // Noise this size codes to well over 1 MiB; all of it must arrive.
    OwnedImage big = Painted(1536, 1024, Noise(4));
    const std::vector<uint8_t> large = Encode(big.get());
    EXPECT_GT(large.size(), 1048576u);
    EXPECT_EQ(large[large.size() - 2], 0xFF);
    EXPECT_EQ(large[large.size() - 1], 0xD9);
    EXPECT_EQ(Encode(big.get()), large);
}

TEST(EncoderBitmap, RefusalsAndShortPixelBuffer) {
    std::vector<uint8_t> out = {1, 2, 3};
    codec::MemBuffer header;
    ASSERT_TRUE(header.allocate(54));
    std::fill(header.data, header.data + 54, 0);
    codec::MemBuffer pixels;
    EXPECT_EQ(codec::EncodeJpeg(out, header, pixels), codec::kEncodeNoMagic);
    EXPECT_EQ(out.size(), 3u) << "nothing is written without the magic";

    codec::BitmapInfoHeader info;
    info.width = 16;
    info.height = 16;
    info.bitsPerPixel = 16;
    ASSERT_TRUE(codec::WriteBitmapHeaders(info, header));
    EXPECT_EQ(codec::EncodeJpeg(out, header, pixels), codec::kEncodeUnsupported);
    info.bitsPerPixel = 24;
    info.width = 70000;
    ASSERT_TRUE(codec::WriteBitmapHeaders(info, header));
    EXPECT_EQ(codec::EncodeJpeg(out, header, pixels), codec::kEncodeUnsupported);
    EXPECT_EQ(out.size(), 3u);

    // Pixels for only the first 8 of 16 rows: the second batch finds the
    // read buffer as the first left it, never reads past the buffer.
    const auto noise = Noise(11);
    OwnedImage top = Painted(16, 16, noise);
    OwnedImage repeated = Painted(16, 16, [&](uint32_t x, uint32_t y) { return noise(x, y % 8); });
    info.width = 16;
    ASSERT_TRUE(codec::WriteBitmapHeaders(info, header));
    ASSERT_TRUE(pixels.allocate(48 * 8));
    std::copy(top.get().data, top.get().data + 48 * 8, pixels.data);
    out.clear();
    ASSERT_EQ(codec::EncodeJpeg(out, header, pixels), codec::kEncodeOk);
    EXPECT_EQ(out, Encode(repeated.get()));
}
