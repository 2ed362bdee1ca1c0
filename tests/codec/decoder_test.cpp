// The decoder on hand-built streams: geometry, arithmetic, restarts, the
// end-of-image result, header tolerance and every refusal.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "codec/codec_memory.h"
#include "codec/colour_convert.h"
#include "codec/idct.h"
#include "codec/jpeg_decoder.h"
#include "codec/picture_files.h"
#include "codec/simd_kernels.h"
#include "test_streams.h"
#include "vcdalbum/codec.h"

using namespace vcdalbum;
using namespace vcdalbum::codec;
using namespace vcdalbum::codec::testing;

namespace {

// A record whose every byte is 0xA5, to see that refusals leave it alone.
Image Sentinel() {
    Image image;
    std::memset(&image, 0xA5, sizeof image);
    return image;
}
bool IsSentinel(const Image& image) {
    const Image expected = Sentinel();
    return std::memcmp(&image, &expected, sizeof image) == 0;
}

struct Decoded {
    CodecResult result;
    Image image{};
    ~Decoded() {
        if (result.ok()) ReleaseImage(image);
    }
    const uint8_t* Pixel(uint32_t x, uint32_t y) const { return image.data + y * ImageStride(image.width) + 3 * x; }
};

void Decode(const std::vector<uint8_t>& bytes, Decoded& out) { out.result = DecodeJpeg(bytes, out.image); }

int Grey(int, int) { return 8; }
// Sample (dc + 4) >> 3 + 128: a DC of 8a gives the sample a + 128.
int McuLevel(int component, int mcu) { return component == 0 ? ((mcu * 7) % 200 - 100) * 8 : 0; }


std::vector<uint8_t> MinimalHeadersUpToFrame() {
    StreamBuilder s;
    s.Soi().Jfif().QuantTable(0, 1).QuantTable(1, 1);
    return s.bytes;
}

// A valid grey 16x8 stream, with `edit` applied to its header segments.
std::vector<uint8_t> GreyStream(const std::vector<uint8_t>& beforeFrame = {}) {
    StreamBuilder s;
    s.Soi().Jfif().Raw(beforeFrame).QuantTable(0, 1).Frame(16, 8, {{1, 1, 1, 0}}).StandardHuffmanTables().Scan({{1, 0, 0}});
    EntropyWriter w;
    w.DcOnlyBlock(8, kDcLuminance, kAcLuminance);
    w.DcOnlyBlock(0, kDcLuminance, kAcLuminance);
    w.Flush();
    s.Raw(w.bytes).Eoi();
    return s.bytes;
}

// Straight from the formulas, in 64-bit arithmetic, rows then columns.
void ReferenceIdct(const int32_t in[64], uint8_t out[64]) {
    int64_t ws[64];
    auto pass = [](const int64_t d[8], int64_t o[8]) {
        int64_t z1 = (d[2] + d[6]) * 4433, t2 = z1 - d[6] * 15137, t3 = z1 + d[2] * 6270;
        int64_t t0 = (d[0] + d[4]) * 8192, t1 = (d[0] - d[4]) * 8192;
        int64_t e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
        z1 = d[7] + d[1];
        int64_t z2 = d[5] + d[3], z3 = d[7] + d[3], z4 = d[5] + d[1], z5 = (z3 + z4) * 9633;
        int64_t u7 = d[7] * 2446, u5 = d[5] * 16819, u3 = d[3] * 25172, u1 = d[1] * 12299;
        z1 *= -7373; z2 *= -20995; z3 = z3 * -16069 + z5; z4 = z4 * -3196 + z5;
        u7 += z1 + z3; u5 += z2 + z4; u3 += z2 + z3; u1 += z1 + z4;
        o[0] = e10 + u1; o[7] = e10 - u1; o[1] = e11 + u3; o[6] = e11 - u3;
        o[2] = e12 + u5; o[5] = e12 - u5; o[3] = e13 + u7; o[4] = e13 - u7;
    };
    for (int r = 0; r < 8; ++r) {
        int64_t d[8], o[8];
        for (int k = 0; k < 8; ++k) d[k] = in[r * 8 + k];
        pass(d, o);
        for (int k = 0; k < 8; ++k) ws[r * 8 + k] = (o[k] + 1024) >> 11;
    }
    for (int c = 0; c < 8; ++c) {
        int64_t d[8], o[8];
        for (int k = 0; k < 8; ++k) d[k] = ws[k * 8 + c];
        pass(d, o);
        for (int k = 0; k < 8; ++k) {
            const int64_t v = ((o[k] + 131072) >> 18) + 128;
            out[k * 8 + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Arithmetic: the inverse DCT with its shortcuts, the DC-only block, colour.

TEST(DecoderArithmetic, DcOnlyBlockOfEightGives129) {
    EXPECT_EQ(DcOnlySample(8), 129);
    alignas(32) int32_t block[64] = {8};
    uint8_t out[64];
    InverseDct(block, 0xFF, 0xFF, out, 8);
    for (uint8_t v : out) EXPECT_EQ(v, 129);
    for (int32_t v : block) EXPECT_EQ(v, 0) << "the block is left cleared for the next one";
}

// Every instruction set this processor runs, each against the formulas.
static std::vector<const CodecKernels*> AvailableKernels() {
    std::vector<const CodecKernels*> all;
    for (SimdLevel level : {SimdLevel::kScalar, SimdLevel::kSse2, SimdLevel::kAvx2})
        if (const CodecKernels* k = KernelsFor(level)) all.push_back(k);
    return all;
}

TEST(DecoderArithmetic, InverseDctMatchesTheFormulasForSparseAndDenseBlocks) {
    for (const CodecKernels* kernels : AvailableKernels()) {
        SCOPED_TRACE(kernels->name);
        std::mt19937 random(7);
        for (int trial = 0; trial < 4000; ++trial) {
            alignas(32) int32_t block[64] = {};  // column-major
            int32_t natural[64] = {};
            uint32_t rows = 0, columns = 0;
            const int nonZero = 1 + trial % 40;
            // Many blocks with rows or columns 4..7 empty, as in real pictures.
            const int limits[3] = {2, 4, 8};
            const int rowLimit = limits[trial % 3], columnLimit = limits[(trial / 3) % 3];
            for (int i = 0; i < nonZero; ++i) {
                const int r = static_cast<int>(random() % rowLimit), c = static_cast<int>(random() % columnLimit);
                natural[r * 8 + c] = block[c * 8 + r] = static_cast<int32_t>(random() % 2048) - 1024;
                rows |= 1u << r;
                columns |= 1u << c;
            }
            uint8_t expected[64], out[64];
            ReferenceIdct(natural, expected);
            InverseDct(*kernels, block, rows, columns, out, 8);
            ASSERT_EQ(0, std::memcmp(out, expected, 64)) << "trial " << trial;
            for (int32_t v : block) ASSERT_EQ(v, 0);
        }
    }
}

// Damaged streams give coefficients, and row results, beyond 16 bits. The
// vector kernels must still give the scalar kernel's bits.
TEST(DecoderArithmetic, InverseDctKernelsAgreeOnDamagedMagnitudes) {
    const CodecKernels& scalar = *KernelsFor(SimdLevel::kScalar);
    for (const CodecKernels* kernels : AvailableKernels()) {
        SCOPED_TRACE(kernels->name);
        std::mt19937 random(11);
        for (int trial = 0; trial < 2000; ++trial) {
            alignas(32) int32_t block[64] = {}, copy[64];
            const int32_t magnitude = std::array<int32_t, 4>{3000, 20000, 40000, 1 << 22}[trial % 4];
            for (int i = 0; i < 1 + trial % 24; ++i)
                block[random() % 64] = static_cast<int32_t>(random() % (2 * magnitude)) - magnitude;
            std::memcpy(copy, block, sizeof block);
            uint8_t expected[64], out[64];
            InverseDct(scalar, copy, 0xFF, 0xFF, expected, 8);
            InverseDct(*kernels, block, 0xFF, 0xFF, out, 8);
            ASSERT_EQ(0, std::memcmp(out, expected, 64)) << "trial " << trial;
        }
    }
}

TEST(DecoderArithmetic, RowConversionAgreesWithThePixelFormulaForEveryWidth) {
    std::mt19937 random(3);
    std::vector<uint8_t> y(80), cb(80), cr(80);
    for (auto* plane : {&y, &cb, &cr})
        for (uint8_t& v : *plane) v = static_cast<uint8_t>(random());
    for (const CodecKernels* kernels : AvailableKernels()) {
        for (int ratio : {1, 2}) {
            for (uint32_t width = 1; width <= 80; ++width) {
                std::vector<uint8_t> row(3 * width + 3, 0xEE), expected(3 * width + 3, 0xEE);
                ConvertRowYCbCr(*kernels, y.data(), cb.data(), cr.data(), 1, ratio, ratio, row.data(), width);
                for (uint32_t x = 0; x < width; ++x) YCbCrToBgr(y[x], cb[x / ratio], cr[x / ratio], &expected[3 * x]);
                ASSERT_EQ(row, expected) << kernels->name << ", chroma 1/" << ratio << ", width " << width;
            }
        }
    }
}

TEST(DecoderArithmetic, ColourConversionFixedPoint) {
    uint8_t bgr[3];
    YCbCrToBgr(0, 0, 255, bgr);
    EXPECT_EQ(bgr[0], 0);
    EXPECT_EQ(bgr[1], 0);
    EXPECT_EQ(bgr[2], 177);
    YCbCrToBgr(100, 128, 128, bgr);
    EXPECT_EQ(bgr[0], 100);
    EXPECT_EQ(bgr[1], 100);
    EXPECT_EQ(bgr[2], 100);
    // Arithmetic shifts round towards minus infinity: Cb' = -1 gives B = Y - 2.
    YCbCrToBgr(100, 127, 128, bgr);
    EXPECT_EQ(bgr[0], 98);
    EXPECT_EQ(bgr[1], 101);  // G = Y - (-88 >> 8) = Y + 1
    EXPECT_EQ(bgr[2], 100);
}

// ---------------------------------------------------------------------------
// Geometry: strides, MCU layout, partial MCUs, grey expansion.

TEST(DecoderGeometry, Width350HasPaddedStrideAndPartialLastMcu) {
    Decoded d;
    Decode(DcOnlyPicture(350, 240, true, 2, 2, McuLevel), d);
    ASSERT_EQ(d.result.code, kCodecOk) << d.result.message;
    EXPECT_EQ(d.image.width, 350u);
    EXPECT_EQ(d.image.height, 240u);
    EXPECT_EQ(d.image.heightCopy, 240u);
    EXPECT_EQ(d.image.headerSize, 40u);
    EXPECT_EQ(ImageStride(350), 1052u);
    EXPECT_EQ(d.image.imageSize, 252480u);
    // 22 MCUs per row: the last, MCU 21, shows only columns 336..349.
    EXPECT_EQ(d.Pixel(349, 0)[0], ((21 * 7) % 200 - 100) + 128);
    EXPECT_EQ(d.Pixel(349, 239)[2], ((329 * 7) % 200 - 100) + 128);
    for (uint32_t y = 0; y < 240; ++y) {
        EXPECT_EQ(d.image.data[y * 1052 + 1050], 0);
        EXPECT_EQ(d.image.data[y * 1052 + 1051], 0);
    }
}

TEST(DecoderGeometry, Mcus420Of352x240FormA22By15Grid) {
    Decoded d;
    Decode(DcOnlyPicture(352, 240, true, 2, 2, McuLevel), d);
    ASSERT_EQ(d.result.code, kCodecOk) << d.result.message;
    EXPECT_EQ(d.image.imageSize, 352u * 3u * 240u);
    for (int my = 0; my < 15; ++my)
        for (int mx = 0; mx < 22; ++mx) {
            const int expected = ((my * 22 + mx) * 7) % 200 - 100 + 128;
            for (int corner = 0; corner < 4; ++corner) {
                const uint8_t* p = d.Pixel(mx * 16 + (corner & 1) * 15, my * 16 + (corner >> 1) * 15);
                ASSERT_EQ(p[0], expected) << "MCU " << mx << "," << my;
                ASSERT_EQ(p[1], expected);
                ASSERT_EQ(p[2], expected);
            }
        }
}

TEST(DecoderGeometry, ColourDecodeUsesTheFixedPointExample) {
    struct Levels {
        static int Of(int component, int) { return component == 1 ? -1024 : component == 2 ? 1016 : -1024; }
    };
    Decoded d;
    Decode(DcOnlyPicture(16, 16, true, 2, 1, Levels::Of), d);
    ASSERT_EQ(d.result.code, kCodecOk) << d.result.message;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(d.Pixel(x, y)[0], 0);
            EXPECT_EQ(d.Pixel(x, y)[1], 0);
            EXPECT_EQ(d.Pixel(x, y)[2], 177);
        }
}

TEST(DecoderGeometry, GreyIsExpandedToEqualBlueGreenRed) {
    Image image = Sentinel();
    const std::vector<uint8_t> bytes = DcOnlyPicture(13, 9, false, 1, 1, Grey);
    const CodecResult result = DecodeJpeg(bytes, image);
    ASSERT_EQ(result.code, kCodecOk) << result.message;
    EXPECT_EQ(image.imageSize, ImageStride(13) * 9u);
    EXPECT_EQ(image.reserved1, 0xA5A5A5A5u) << "the caller's value stays";
    for (uint32_t y = 0; y < 9; ++y)
        for (uint32_t x = 0; x < 13; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(image.data[y * ImageStride(13) + 3 * x + c], 129);
    ReleaseImage(image);

    // The palette outlives the call: later decodes and encodes, and releasing
    // the codec, neither free nor change it.
    const auto* palette = static_cast<const uint8_t*>(image.palette);
    ASSERT_NE(palette, nullptr);
    Image colour = Sentinel();
    ASSERT_TRUE(DecodeJpeg(DcOnlyPicture(40, 24, true, 2, 2, Grey), colour).ok());
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(EncodeJpeg(colour, encoded).ok());
    ReleaseImage(colour);
    ReleaseCodecTables();
    for (int i = 0; i < 256; ++i) {
        const uint8_t entry[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
        ASSERT_EQ(std::memcmp(palette + 4 * i, entry, 4), 0) << "palette entry " << i;
    }
}

// ---------------------------------------------------------------------------
// Entropy data: restarts, the end-of-image result, early end, corruption.

TEST(DecoderEntropy, RestartMarkersDoNotChangeThePicture) {
    Decoded plain, every, second;
    Decode(DcOnlyPicture(48, 32, true, 2, 2, McuLevel), plain);
    Decode(DcOnlyPicture(48, 32, true, 2, 2, McuLevel, 1), every);
    Decode(DcOnlyPicture(48, 32, true, 2, 2, McuLevel, 2), second);
    ASSERT_EQ(plain.result.code, kCodecOk);
    ASSERT_EQ(every.result.code, kCodecOk) << every.result.message;
    ASSERT_EQ(second.result.code, kCodecOk) << second.result.message;
    EXPECT_EQ(0, std::memcmp(plain.image.data, every.image.data, plain.image.imageSize));
    EXPECT_EQ(0, std::memcmp(plain.image.data, second.image.data, plain.image.imageSize));
}

TEST(DecoderEntropy, RestartResetsThePredictors) {
    // With restarts the writer codes each MCU's DC against 0; a decoder that
    // kept its predictors would add them up.
    Decoded d;
    struct Levels {
        static int Of(int component, int) { return component == 0 ? 80 : 0; }
    };
    Decode(DcOnlyPicture(32, 8, false, 1, 1, Levels::Of, 1), d);
    ASSERT_EQ(d.result.code, kCodecOk);
    for (int x = 0; x < 32; ++x) EXPECT_EQ(d.Pixel(x, 0)[0], 138);
}

TEST(DecoderEntropy, EndOfImageResult) {
    Decoded with, without, trailing;
    Decode(DcOnlyPicture(32, 16, true, 2, 1, McuLevel), with);
    Decode(DcOnlyPicture(32, 16, true, 2, 1, McuLevel, 0, false), without);
    std::vector<uint8_t> junk = DcOnlyPicture(32, 16, true, 2, 1, McuLevel, 0, false);
    junk.insert(junk.end(), {0x12, 0xFF, 0xD9});
    Decode(junk, trailing);
    EXPECT_EQ(with.result.code, kCodecOk);
    EXPECT_TRUE(with.result.message.empty());
    EXPECT_EQ(without.result.code, kCodecMissingEndOfImage);
    EXPECT_NE(without.result.message.find("end-of-image"), std::string::npos);
    EXPECT_EQ(trailing.result.code, kCodecMissingEndOfImage);
    ASSERT_TRUE(without.result.ok());
    EXPECT_EQ(0, std::memcmp(with.image.data, without.image.data, with.image.imageSize)) << "all rows are present";
}

TEST(DecoderEntropy, DataEndingEarlyIsReadAsZeroBits) {
    std::vector<uint8_t> bytes = DcOnlyPicture(64, 64, false, 1, 1, McuLevel);
    bytes.resize(bytes.size() - 40);
    Decoded d;
    Decode(bytes, d);
    ASSERT_EQ(d.result.code, kCodecMissingEndOfImage);
    EXPECT_EQ(d.image.height, 64u);
}

TEST(DecoderEntropy, CorruptCodesAndLongRunsStayInsideTheBlock) {
    StreamBuilder s;
    s.Soi().QuantTable(0, 1).Frame(16, 16, {{1, 1, 1, 0}}).StandardHuffmanTables().Scan({{1, 0, 0}});
    EntropyWriter w;
    // Block 1: five runs of 16 zeros, then a coefficient past position 63.
    w.Symbol(kDcLuminance, 0);
    for (int i = 0; i < 5; ++i) w.Symbol(kAcLuminance, 0xF0);
    w.Symbol(kAcLuminance, 0x31);
    w.Bits(1, 1);
    // Block 2: a run that jumps from 60 to past the end.
    w.Symbol(kDcLuminance, 0);
    for (int i = 0; i < 3; ++i) w.Symbol(kAcLuminance, 0xF0);
    w.Symbol(kAcLuminance, 0xE2);
    w.Bits(3, 2);
    w.Flush();
    s.Raw(w.bytes);
    // The rest: all one bits, which the standard tables do not code (a code
    // reaching length 17).
    for (int i = 0; i < 64; ++i) s.Raw({0xFF, 0x00});
    s.Eoi();
    Decoded d;
    Decode(s.bytes, d);
    EXPECT_TRUE(d.result.ok()) << d.result.message;
}

namespace {

// DC levels of the scan tests' 4:4:4 pictures.
int ScanTestLevel(int component, int mcu) { return (component * 40 + mcu * 8) % 400 - 200; }

// Both streams decode, to the same pixels.
void ExpectSamePicture(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& actual) {
    Decoded a, b;
    Decode(expected, a);
    Decode(actual, b);
    ASSERT_EQ(a.result.code, kCodecOk);
    ASSERT_EQ(b.result.code, kCodecOk) << b.result.message;
    EXPECT_EQ(0, std::memcmp(a.image.data, b.image.data, a.image.imageSize));
}

}  // namespace

TEST(DecoderEntropy, SeveralScansAreDecodedAsOnePicture) {
    // 4:4:4 DC-only picture, once interleaved and once as three scans.
    const uint16_t width = 40, height = 24;
    std::vector<uint8_t> interleaved = DcOnlyPicture(width, height, true, 1, 1, ScanTestLevel);

    StreamBuilder s;
    s.Soi().Jfif().QuantTable(0, 1).QuantTable(1, 1);
    s.Frame(width, height, {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}).StandardHuffmanTables();
    for (int c = 0; c < 3; ++c) {
        s.Scan({{static_cast<uint8_t>(c + 1), static_cast<uint8_t>(c ? 1 : 0), static_cast<uint8_t>(c ? 1 : 0)}});
        EntropyWriter w;
        int pred = 0;
        for (int m = 0; m < 15; ++m) {
            const int v = ScanTestLevel(c, m);
            w.DcOnlyBlock(v - pred, c ? kDcChrominance : kDcLuminance, c ? kAcChrominance : kAcLuminance);
            pred = v;
        }
        w.Flush();
        s.Raw(w.bytes);
        if (c == 1) {
            // Stop here for the second stream: the Cr component never arrives.
            StreamBuilder partial = s;
            partial.Eoi();
            Image image = Sentinel();
            const CodecResult result = DecodeJpeg(partial.bytes, image);
            EXPECT_EQ(result.code, kCodecHeaderError);
            EXPECT_NE(result.message.find("component 3"), std::string::npos) << result.message;
            EXPECT_TRUE(IsSentinel(image));
        }
    }
    // A component coded twice is refused: repeated scans would let a few
    // bytes demand the work of many pictures.
    StreamBuilder twice = s;
    twice.Scan({{1, 0, 0}}).Raw(std::vector<uint8_t>(20, 0)).Eoi();
    Image image = Sentinel();
    const CodecResult repeated = DecodeJpeg(twice.bytes, image);
    EXPECT_EQ(repeated.code, kCodecHeaderError);
    EXPECT_NE(repeated.message.find("two scans"), std::string::npos) << repeated.message;
    EXPECT_TRUE(IsSentinel(image));
    s.Eoi();
    ExpectSamePicture(interleaved, s.bytes);
}

TEST(DecoderEntropy, EachScanKeepsTheTablesAndRestartIntervalItWasReadWith) {
    // Scans are decoded side by side, so a later scan's DHT, DQT and DRI must
    // not reach back into an earlier one: the luma scan has restarts every
    // 5 blocks and quantiser 1; after it, DC table 0, quantiser 0 and the
    // restart interval are all redefined for the chroma scans.
    const uint16_t width = 40, height = 24;
    const std::vector<uint8_t> interleaved = DcOnlyPicture(width, height, true, 1, 1, ScanTestLevel);
    StreamBuilder s;
    s.Soi().Jfif().QuantTable(0, 1).QuantTable(1, 1);
    s.Frame(width, height, {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}).StandardHuffmanTables().RestartInterval(5);
    for (int c = 0; c < 3; ++c) {
        if (c == 1) s.HuffmanTable(0x00, kDcChrominance).QuantTable(0, 2).RestartInterval(0);
        s.Scan({{static_cast<uint8_t>(c + 1), 0, static_cast<uint8_t>(c ? 1 : 0)}});
        EntropyWriter w;
        int pred = 0;
        for (int m = 0; m < 15; ++m) {
            if (c == 0 && m > 0 && m % 5 == 0) {
                w.Restart(m / 5 - 1);
                pred = 0;
            }
            const int v = ScanTestLevel(c, m);
            w.DcOnlyBlock(v - pred, c ? kDcChrominance : kDcLuminance, c ? kAcChrominance : kAcLuminance);
            pred = v;
        }
        w.Flush();
        s.Raw(w.bytes);
    }
    s.Eoi();
    ExpectSamePicture(interleaved, s.bytes);
}

// ---------------------------------------------------------------------------
// Header tolerance: what is passed over.

TEST(DecoderHeaders, AcceptedVariations) {
    Decoded reference;
    Decode(GreyStream(), reference);
    ASSERT_EQ(reference.result.code, kCodecOk) << reference.result.message;

    // APP1 before APP0.
    std::vector<uint8_t> app1First = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x06, 'E', 'x', 'i', 'f'};
    const std::vector<uint8_t> rest = GreyStream();
    app1First.insert(app1First.end(), rest.begin() + 2, rest.end());
    // JFIF 1.02, fill bytes, junk between segments, a comment, an APP2 of the
    // largest legal size, a DRI of 0.
    StreamBuilder extras;
    extras.Raw({0x00, 0x17, 0xFF, 0xFF, 0xFF}).Segment(0xFE, {'h', 'i'});
    extras.Segment(0xE2, std::vector<uint8_t>(65533, 0x42)).RestartInterval(0);
    StreamBuilder v102;
    v102.Soi().Jfif(1, 2);
    const std::vector<uint8_t> grey = GreyStream();
    v102.Raw(std::vector<uint8_t>(grey.begin() + 20, grey.end()));

    for (const std::vector<uint8_t>& bytes : {app1First, GreyStream(extras.bytes), v102.bytes}) {
        Decoded d;
        Decode(bytes, d);
        ASSERT_EQ(d.result.code, kCodecOk) << d.result.message;
        EXPECT_EQ(0, std::memcmp(d.image.data, reference.image.data, reference.image.imageSize));
    }
}

TEST(DecoderHeaders, WithoutStartOfImage) {
    for (const std::vector<uint8_t>& bytes : {std::vector<uint8_t>{}, std::vector<uint8_t>{0xFF},
                                              std::vector<uint8_t>{0xFF, 0xD9, 0xFF, 0xD8}}) {
        Image image = Sentinel();
        EXPECT_EQ(DecodeJpeg(bytes, image).code, kCodecNoStartOfImage);
        EXPECT_TRUE(IsSentinel(image));
    }
}

// Each case: a stream, the code expected, and a word the message must hold.
struct Refusal {
    const char* name;
    std::vector<uint8_t> bytes;
    int code;
    const char* word;
};

std::vector<uint8_t> WithFrame(const std::vector<FrameComponent>& comps, uint16_t w = 16, uint16_t h = 16,
                               uint8_t marker = 0xC0, uint8_t precision = 8) {
    StreamBuilder s;
    s.Raw(MinimalHeadersUpToFrame()).Frame(w, h, comps, marker, precision).StandardHuffmanTables();
    s.Scan({{1, 0, 0}}).Raw({0x00, 0x00}).Eoi();
    return s.bytes;
}

TEST(DecoderHeaders, RefusedBeforeAnythingIsStored) {
    const std::vector<FrameComponent> ycc = {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
    std::vector<Refusal> cases;
    cases.push_back({"five components", WithFrame({{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}, {4, 1, 1, 0}, {5, 1, 1, 0}}),
                     kCodecHeaderError, "components"});
    cases.push_back({"four components", WithFrame({{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}, {4, 1, 1, 0}}),
                     kCodecHeaderError, "CMYK"});
    cases.push_back({"two components", WithFrame({{1, 1, 1, 0}, {2, 1, 1, 0}}), kCodecHeaderError, "components"});
    cases.push_back({"ids 1 4 5", WithFrame({{1, 1, 1, 0}, {4, 1, 1, 0}, {5, 1, 1, 0}}), kCodecHeaderError, "1, 4, 5"});
    cases.push_back({"ids 0 1 2", WithFrame({{0, 1, 1, 0}, {1, 1, 1, 0}, {2, 1, 1, 0}}), kCodecHeaderError, "YCbCr"});
    cases.push_back({"quant selector 4", WithFrame({{1, 1, 1, 4}}), kCodecHeaderError, "selector"});
    cases.push_back({"MCU of 14 blocks", WithFrame({{1, 4, 3, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}), kCodecHeaderError, "10 blocks"});
    cases.push_back({"zero sampling", WithFrame({{1, 0, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}), kCodecHeaderError, "sampling"});
    cases.push_back({"ratio 3:2", WithFrame({{1, 3, 1, 0}, {2, 2, 1, 1}, {3, 1, 1, 1}}), kCodecHeaderError, "multiples"});
    cases.push_back({"12-bit", WithFrame(ycc, 16, 16, 0xC1, 12), kCodecHeaderError, "12-bit"});
    cases.push_back({"zero width", WithFrame({{1, 1, 1, 0}}, 0, 16), kCodecHeaderError, "zero"});
    cases.push_back({"progressive only", WithFrame(ycc, 16, 16, 0xC2), kCodecHeaderError, "progressive"});
    cases.push_back({"lossless only", WithFrame(ycc, 16, 16, 0xC3), kCodecHeaderError, "lossless"});
    cases.push_back({"arithmetic only", WithFrame(ycc, 16, 16, 0xC9), kCodecHeaderError, "arithmetic"});
    cases.push_back({"too large", WithFrame({{1, 1, 1, 0}}, 65535, 65535), kCodecTooLarge, "too large"});
    {
        StreamBuilder s;
        s.Raw(MinimalHeadersUpToFrame()).StandardHuffmanTables().Scan({{1, 0, 0}}).Eoi();
        cases.push_back({"no frame", s.bytes, kCodecHeaderError, "frame"});
    }
    {
        const std::vector<uint8_t> grey = GreyStream();
        const std::vector<uint8_t> afterJfif(grey.begin() + 20, grey.end());
        StreamBuilder s;
        s.Soi().Segment(0xE0, {'J', 'F', 'X', 'X', 0, 0x10, 0, 0, 0, 0, 0, 0});
        s.Raw(afterJfif);
        cases.push_back({"non-JFIF APP0", s.bytes, kCodecHeaderError, "JFIF"});
        StreamBuilder v2;
        v2.Soi().Jfif(2, 0).Raw(afterJfif);
        cases.push_back({"JFIF 2.0", v2.bytes, kCodecHeaderError, "version"});
    }
    auto headerWith = [](std::vector<uint8_t> segment) {
        StreamBuilder s;
        s.Raw(MinimalHeadersUpToFrame()).Frame(16, 16, {{1, 1, 1, 0}}).Raw(segment).StandardHuffmanTables();
        s.Scan({{1, 0, 0}}).Raw({0, 0}).Eoi();
        return s.bytes;
    };
    cases.push_back({"DHT class 0x20", headerWith({0xFF, 0xC4, 0x00, 0x14, 0x20, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7}),
                     kCodecHeaderError, "class"});
    cases.push_back({"DHT id 4", headerWith({0xFF, 0xC4, 0x00, 0x14, 0x04, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7}),
                     kCodecHeaderError, "class"});
    {
        std::vector<uint8_t> dht = {0xFF, 0xC4, 0x01, 0x14, 0x00};
        for (int i = 0; i < 16; ++i) dht.push_back(i == 15 ? 255 : (i == 14 ? 2 : 0));  // 257 codes
        dht.resize(4 + 0x114 - 2 + 2, 0);
        cases.push_back({"257 codes", headerWith(dht), kCodecHeaderError, "256"});
    }
    cases.push_back({"DQT id 4", headerWith({0xFF, 0xDB, 0x00, 0x43, 0x04}), kCodecHeaderError, "quantisation"});
    cases.push_back({"length 1", headerWith({0xFF, 0xFE, 0x00, 0x01}), kCodecHeaderError, "length"});
    {
        StreamBuilder s;
        s.Raw(MinimalHeadersUpToFrame()).Frame(16, 16, {{1, 1, 1, 0}}).StandardHuffmanTables();
        s.Scan({{1, 0, 5}}).Raw({0, 0}).Eoi();
        cases.push_back({"AC selector 5", s.bytes, kCodecHeaderError, "selector"});
        StreamBuilder u;
        u.Raw(MinimalHeadersUpToFrame()).Frame(16, 16, {{1, 1, 1, 0}}).HuffmanTable(0x00, kDcLuminance);
        u.HuffmanTable(0x10, kAcLuminance).Scan({{1, 0, 2}}).Raw({0, 0}).Eoi();
        cases.push_back({"undefined Huffman table", u.bytes, kCodecHeaderError, "never defined"});
        StreamBuilder q;
        q.Soi().Frame(16, 16, {{1, 1, 1, 2}}).StandardHuffmanTables().Scan({{1, 0, 0}}).Raw({0, 0}).Eoi();
        cases.push_back({"undefined quantisation table", q.bytes, kCodecHeaderError, "never defined"});
        StreamBuilder m;
        m.Raw(MinimalHeadersUpToFrame()).Frame(16, 16, {{1, 1, 1, 0}}).StandardHuffmanTables().Scan({{7, 0, 0}});
        cases.push_back({"scan of a missing component", m.bytes, kCodecHeaderError, "lacks"});
    }
    {
        std::vector<uint8_t> cut = GreyStream();
        cut.resize(60);
        cases.push_back({"ends before the scan", cut, kCodecHeaderError, "ends"});
        StreamBuilder e;
        e.Raw(MinimalHeadersUpToFrame()).Eoi().Frame(16, 16, {{1, 1, 1, 0}});
        cases.push_back({"EOI before the scan", e.bytes, kCodecHeaderError, "end-of-image"});
    }

    for (const Refusal& c : cases) {
        Image image = Sentinel();
        const CodecResult result = DecodeJpeg(c.bytes, image);
        EXPECT_EQ(result.code, c.code) << c.name << ": " << result.message;
        EXPECT_NE(result.message.find(c.word), std::string::npos) << c.name << ": " << result.message;
        EXPECT_TRUE(IsSentinel(image)) << c.name;
    }
}

// ---------------------------------------------------------------------------
// Damaged streams: truncated and with flipped bytes, never a crash.

TEST(DecoderRobustness, TruncatedAndFlippedStreamsNeverCrash) {
    const std::vector<uint8_t> base = DcOnlyPicture(40, 24, true, 2, 2, McuLevel, 3);
    for (size_t n = 0; n < base.size(); ++n) {
        Image image = Sentinel();
        const CodecResult result = DecodeJpeg(std::span<const uint8_t>(base.data(), n), image);
        if (result.ok()) ReleaseImage(image);
        else EXPECT_TRUE(IsSentinel(image));
    }
    std::mt19937 random(11);
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<uint8_t> bytes = base;
        for (int flips = 0; flips < 1 + trial % 4; ++flips) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        Image image = Sentinel();
        const CodecResult result = DecodeJpeg(bytes, image);
        if (result.ok()) ReleaseImage(image);
        else EXPECT_TRUE(IsSentinel(image));
    }
}

// ---------------------------------------------------------------------------
// LoadJpegImage and the shared tables.

TEST(LoadJpegImage, MissingAndEmptyFilesLeaveTheRecord) {
    Image image = Sentinel();
    ::testing::internal::CaptureStdout();
    LoadJpegImage("/nonexistent/dir/picture.jpg", &image);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), " Can't Open the Jpeg file\n");
    EXPECT_TRUE(IsSentinel(image));

    const std::string path = std::string(VCDALBUM_BINARY_DIR) + "/load_jpeg_test.jpg";
    { std::ofstream(path, std::ios::binary); }
    LoadJpegImage(path.c_str(), &image);
    EXPECT_TRUE(IsSentinel(image));

    const std::vector<uint8_t> bytes = DcOnlyPicture(24, 8, false, 1, 1, Grey);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    LoadJpegImage(path.c_str(), &image);
    EXPECT_EQ(image.width, 24u);
    EXPECT_EQ(image.data[0], 129);
    ReleaseImage(image);
    std::remove(path.c_str());
}

TEST(LoadJpegImage, ReleaseCodecTablesThenDecodeAgain) {
    ReleaseCodecTables();
    Decoded d;
    Decode(GreyStream(), d);
    EXPECT_EQ(d.result.code, kCodecOk);
}
