// The codec's exact output, pinned: decoded pixels and encoded bytes of a
// fixed set of pictures hash to values recorded from the codec once its
// results had been checked against libjpeg-turbo. Work on the codec's speed
// must leave every one of them alone, at every instruction-set level (CTest
// runs this suite again with VCDALBUM_SIMD capped).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "codec_encoder/encoder_test_support.h"
#include "vcdalbum/codec.h"

namespace {

using encoder_test::Painted;

uint64_t Fnv1a(const uint8_t* p, size_t n, uint64_t h = 0xcbf29ce484222325ull) {
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

// Hash of a decode: its result code, size and every pixel byte.
uint64_t DecodeHash(const std::vector<uint8_t>& bytes, Image* keep = nullptr) {
    Image image{};
    const vcdalbum::CodecResult result = vcdalbum::DecodeJpeg(bytes, image);
    uint64_t h = Fnv1a(reinterpret_cast<const uint8_t*>(&result.code), sizeof result.code);
    if (!result.ok()) return h;
    const uint32_t dims[2] = {image.width, image.height};
    h = Fnv1a(reinterpret_cast<const uint8_t*>(dims), sizeof dims, h);
    h = Fnv1a(image.data, size_t{ImageStride(image.width)} * image.height, h);
    if (keep)
        *keep = image;
    else
        vcdalbum::ReleaseImage(image);
    return h;
}

uint64_t EncodeHash(const Image& image) {
    std::vector<uint8_t> out;
    if (!vcdalbum::EncodeJpeg(image, out).ok()) return 0;
    return Fnv1a(out.data(), out.size());
}

std::string Hex(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(v));
    return text;
}

struct Generated {
    const char* name;
    uint32_t width, height;
    uint64_t encoded, decoded;  // hash of the encoder's bytes, of their decode
};

// Noise makes dense entropy data full of 0xFF bytes and long codes; the
// gradient is photo-like. Odd sizes exercise edge replication and partial MCUs.
const Generated kGenerated[] = {
    {"noise", 352, 240, 0xa08e1ac50fd80dab, 0xcf8eb0c59467694c},
    {"noise", 1, 1, 0xb46f9edc5c7d919d, 0x3604e77c6647ac4e},
    {"noise", 17, 9, 0x82d732be5cac676a, 0x8f0a7c9e02f10bdc},
    {"noise", 203, 131, 0xba09fe9dd777b263, 0xcc0e918f698094e7},
    {"gradient", 352, 240, 0xec992b235e61d54c, 0xb6dafc144919c896},
    {"gradient", 33, 47, 0xa8cde6b9d75fdce1, 0x42d7e97ec0ddb771},
    {"gradient", 721, 483, 0x771c5153147e4906, 0x90d5a8b925773e9b},
};

TEST(OutputHashes, GeneratedPicturesEncodeAndDecodeToTheRecordedBytes) {
    for (const Generated& g : kGenerated) {
        const bool noise = std::string(g.name) == "noise";
        const vcdalbum::OwnedImage picture =
            noise ? Painted(g.width, g.height, encoder_test::Noise(g.width * 7 + g.height))
                  : Painted(g.width, g.height, encoder_test::Gradient);
        std::vector<uint8_t> out;
        ASSERT_TRUE(vcdalbum::EncodeJpeg(picture.get(), out).ok());
        const std::string what = std::string(g.name) + " " + std::to_string(g.width) + "x" + std::to_string(g.height);
        EXPECT_EQ(Hex(Fnv1a(out.data(), out.size())), Hex(g.encoded)) << what << " encoded";
        EXPECT_EQ(Hex(DecodeHash(out)), Hex(g.decoded)) << what << " decoded";
    }
}

struct Recorded {
    const char* file;  // under the test data's jpeg/ folder
    uint64_t decoded, reencoded;  // hash of the decode; of our encoding of that decode (0: refused)
};

const Recorded kCorpus[] = {
    {"gdk-pixbuf-tests/CVE-2017-2862.jpg", 0x8d1ace904a398d17, 0},
    {"gdk-pixbuf-tests/cat.jpg", 0x72ac2716a7eb2dbd, 0xecd6e86b8797eeb5},
    {"gdk-pixbuf-tests/issue205.jpg", 0x8d1ace904a398d17, 0},
    {"gdk-pixbuf-tests/premature-end.jpg", 0x8d1ace904a398d17, 0},
    {"gdk-pixbuf-tests/valid.1.jpeg", 0xd882d9e9c09b159d, 0x679ea8ca77d0bace},
    {"gdk-pixbuf-tests/valid.2.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.221212.jpeg", 0xbb4b6baf6911b8a8, 0xf3a2cef32a0afb17},
    {"golang-1.19-src/video-001.cmyk.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.jpeg", 0x645b808c8b40b641, 0xe0d580aa64620f70},
    {"golang-1.19-src/video-001.progressive.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.progressive.truncated.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.q50.410.jpeg", 0x4e8b4a07ea154194, 0xf954f05a0b9cedc6},
    {"golang-1.19-src/video-001.q50.410.progressive.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.q50.411.jpeg", 0x7f0fc5b9bdca7eb1, 0x103eefc0dba9bc5e},
    {"golang-1.19-src/video-001.q50.411.progressive.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.q50.420.jpeg", 0xb5381cb4f45945ea, 0x59696415956ce7c0},
    {"golang-1.19-src/video-001.q50.420.progressive.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.q50.422.jpeg", 0xba2429ea87a510c7, 0x04dae9260968f31a},
    {"golang-1.19-src/video-001.q50.422.progressive.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.q50.440.jpeg", 0xcbb07c737f472758, 0x7d6d620a63e8e045},
    {"golang-1.19-src/video-001.q50.440.progressive.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.q50.444.jpeg", 0x6ec57ce1ff2e1201, 0xf225dfc3512c5071},
    {"golang-1.19-src/video-001.q50.444.progressive.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.rgb.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.separate.dc.progression.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-001.separate.dc.progression.progressive.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-005.gray.jpeg", 0xa97248272a107c94, 0xa300e6a12c3b6c47},
    {"golang-1.19-src/video-005.gray.q50.2x2.jpeg", 0x4b4d13ad4474ec3d, 0xe9d9ba95731915d4},
    {"golang-1.19-src/video-005.gray.q50.2x2.progressive.jpeg", 0x8d1ace904a398d17, 0},
    {"golang-1.19-src/video-005.gray.q50.jpeg", 0x4b4d13ad4474ec3d, 0xe9d9ba95731915d4},
    {"golang-1.19-src/video-005.gray.q50.progressive.jpeg", 0x8d1ace904a398d17, 0},
    {"libjpeg-turbo/monkey12.jpg", 0x8d1ace904a398d17, 0},
    {"libjpeg-turbo/testimgari.jpg", 0x8d1ace904a398d17, 0},
    {"libjpeg-turbo/testimgint.jpg", 0x8e4962d557b46ae5, 0x231412de297715dc},
    {"libjpeg-turbo/testorig.jpg", 0xb5bc9a63e40a77ec, 0x713f2c738d0b2ee1},
    {"libjxl-testdata/flower_small.q85_420_non_interleaved.jpg", 0xe71226900a93182c, 0xb05568d89472a453},
    {"libjxl-testdata/flower_small.q85_420_partially_interleaved.jpg", 0xe71226900a93182c, 0xb05568d89472a453},
    {"libjxl-testdata/flower_small.q85_444_non_interleaved.jpg", 0xf14e98076deea158, 0x7bf20e9b8c6b7b83},
    {"python-pygame-doc/alien1.jpg", 0xca7849b14d142468, 0xe8f2c4a363ba898c},
    {"python-pygame-doc/camera_rgb.jpg", 0x27116fcc9989610d, 0xffd4a4cfcafbe217},
    {"../bench/photo_352x240_q85_420.jpg", 0x43180700b5c0a1ca, 0x1efae3eccd9985a6},
    {"../bench/photo_1920x1080_q85_420.jpg", 0xf991c6556eb3db53, 0x4e4d6563873cd9a1},
};

TEST(OutputHashes, CorpusDecodesAndReencodesToTheRecordedBytes) {
    const std::filesystem::path dir = std::filesystem::path(VCDALBUM_TESTDATA_DIR) / "jpeg";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no test data at " << dir;
    for (const Recorded& r : kCorpus) {
        std::ifstream in(dir / r.file, std::ios::binary);
        ASSERT_TRUE(in) << r.file;
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        Image image{};
        image.data = nullptr;
        const uint64_t decoded = DecodeHash(bytes, &image);
        EXPECT_EQ(Hex(decoded), Hex(r.decoded)) << r.file << " decoded";
        const vcdalbum::OwnedImage owned(image);
        EXPECT_EQ(Hex(image.data ? EncodeHash(image) : 0), Hex(r.reencoded)) << r.file << " re-encoded";
    }
}

// Damaged data: every truncation and a fixed series of overwritten bytes
// (random values, 0xFF, marker codes) of a photo-like and a noise picture.
// Speed work on the bit reader must not change what any of them decodes to,
// result code included; the hash of all the decodes pins that.
TEST(OutputHashes, DamagedStreamsDecodeToTheRecordedResults) {
    const vcdalbum::OwnedImage gradient = Painted(72, 40, encoder_test::Gradient);
    const vcdalbum::OwnedImage noise = Painted(40, 24, encoder_test::Noise(5));
    uint64_t h = 0xcbf29ce484222325ull;
    std::mt19937 random(2024);
    for (const vcdalbum::OwnedImage* picture : {&gradient, &noise}) {
        std::vector<uint8_t> base;
        ASSERT_TRUE(vcdalbum::EncodeJpeg(picture->get(), base).ok());
        for (size_t n = 0; n <= base.size(); ++n) {
            const uint64_t d = DecodeHash(std::vector<uint8_t>(base.begin(), base.begin() + static_cast<long>(n)));
            h = Fnv1a(reinterpret_cast<const uint8_t*>(&d), sizeof d, h);
        }
        // Damage after the headers (about 600 bytes), where the entropy data lies.
        const size_t first = 620;
        ASSERT_LT(first + 16, base.size());
        for (int trial = 0; trial < 1500; ++trial) {
            std::vector<uint8_t> bytes = base;
            for (int k = 0; k <= trial % 3; ++k) {
                const size_t at = first + random() % (bytes.size() - first - 2);
                switch (trial % 4) {
                    case 0: bytes[at] = static_cast<uint8_t>(random()); break;
                    case 1: bytes[at] = 0xFF; break;
                    case 2: bytes[at] = 0xFF; bytes[at + 1] = static_cast<uint8_t>(0xD0 + random() % 10); break;
                    default: bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
                }
            }
            const uint64_t d = DecodeHash(bytes);
            h = Fnv1a(reinterpret_cast<const uint8_t*>(&d), sizeof d, h);
        }
    }
    EXPECT_EQ(Hex(h), Hex(0x0182cfeb6f78c24eull));
}

}  // namespace
