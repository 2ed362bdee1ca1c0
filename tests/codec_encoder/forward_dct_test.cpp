// The block transform: DCT values, quantisation rounding, and the SIMD path
// agreeing with the scalar one on every kind of block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>
#include <vector>

#include "codec/forward_dct.h"
#include "codec/jpeg_encoder.h"
#include "codec/jpeg_tables.h"

namespace codec = vcdalbum::codec;

namespace {

void Fill(uint8_t block[64], uint8_t v) {
    for (int i = 0; i < 64; ++i) block[i] = v;
}

}  // namespace

TEST(ForwardDct, FlatBlocksAndTheirQuantisedDc) {
    uint8_t block[64];
    int32_t c[64];
    int16_t q[64];
    Fill(block, 255);
    codec::ForwardDct(block, 8, c);
    EXPECT_EQ(c[0], 1016);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(c[i], 0) << i;
    // Luminance DC quantiser 8: (1016 + 4) / 8.
    codec::TransformBlock(block, 8, codec::EncoderQuantTable(0), q);
    EXPECT_EQ(q[0], 127);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(q[i], 0);

    Fill(block, 0);
    codec::TransformBlock(block, 8, codec::EncoderQuantTable(1), q);
    EXPECT_EQ(q[0], -128);  // -1024 / 8
    Fill(block, 128);
    codec::TransformBlock(block, 8, codec::EncoderQuantTable(0), q);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(q[i], 0);
}

TEST(ForwardDct, MatchesTheExactTransformWithinOne) {
    // F(u, v) = 1/4 C(u) C(v) sum s(x, y) cos((2x+1)u pi/16) cos((2y+1)v pi/16),
    // stored at v * 8 + u (row-major by vertical frequency).
    std::mt19937 random(7);
    uint8_t block[64];
    int32_t c[64];
    for (int trial = 0; trial < 200; ++trial) {
        for (auto& s : block) s = static_cast<uint8_t>(random());
        codec::ForwardDct(block, 8, c);
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u) {
                double sum = 0;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x)
                        sum += (block[8 * y + x] - 128.0) * std::cos((2 * x + 1) * u * std::numbers::pi / 16) *
                               std::cos((2 * y + 1) * v * std::numbers::pi / 16);
                const double cu = u ? 1.0 : 1.0 / std::sqrt(2.0), cv = v ? 1.0 : 1.0 / std::sqrt(2.0);
                ASSERT_NEAR(c[8 * v + u], 0.25 * cu * cv * sum, 1.0) << "u " << u << " v " << v;
            }
    }
}

TEST(Quantiser, RoundsHalfAwayFromZero) {
    const codec::QuantTable& luma = codec::EncoderQuantTable(0);
    std::mt19937 random(3);
    uint8_t block[64];
    int32_t c[64];
    int16_t q[64];
    for (int trial = 0; trial < 500; ++trial) {
        for (auto& s : block) s = static_cast<uint8_t>(random());
        codec::ForwardDct(block, 8, c);
        codec::TransformBlockReference(block, 8, luma, q);
        for (int i = 0; i < 64; ++i) {
            const int v = c[codec::kZigzag[i]], d = luma.zigzag[i];
            const int magnitude = (2 * std::abs(v) + d) / (2 * d);  // round half up on |v|
            ASSERT_EQ(q[i], v < 0 ? -magnitude : magnitude) << "value " << v << " / " << d;
        }
    }
}

TEST(TransformBlock, FastPathEqualsReferenceOnEveryKindOfBlock) {
    std::vector<std::vector<uint8_t>> blocks;
    // Extremes of each basis function (and its negative): 0 or 255 by sign.
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u)
            for (int flip = 0; flip < 2; ++flip) {
                std::vector<uint8_t> b(64);
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        const double basis = std::cos((2 * x + 1) * u * std::numbers::pi / 16) * std::cos((2 * y + 1) * v * std::numbers::pi / 16);
                        b[8 * y + x] = ((basis >= 0) != (flip == 1)) ? 255 : 0;
                    }
                blocks.push_back(b);
            }
    std::mt19937 random(11);
    for (int trial = 0; trial < 20000; ++trial) {
        std::vector<uint8_t> b(64);
        const int kind = trial % 4;
        const uint8_t base = static_cast<uint8_t>(random());
        for (auto& s : b) {
            const uint32_t r = random();
            s = kind == 0 ? static_cast<uint8_t>(r)                                   // noise
                : kind == 1 ? static_cast<uint8_t>(r & 1 ? 255 : 0)                  // binary
                : kind == 2 ? static_cast<uint8_t>(std::clamp<int>(base + static_cast<int>(r % 9) - 4, 0, 255))
                            : base;                                                   // flat
        }
        blocks.push_back(b);
    }
    // A wider row length, as in a plane.
    std::vector<uint8_t> plane(24 * 8);
    for (auto& s : plane) s = static_cast<uint8_t>(random());

    for (int table = 0; table < 2; ++table) {
        const codec::QuantTable& quant = codec::EncoderQuantTable(table);
        int16_t fast[64], reference[64];
        for (const auto& b : blocks) {
            codec::TransformBlock(b.data(), 8, quant, fast);
            codec::TransformBlockReference(b.data(), 8, quant, reference);
            ASSERT_TRUE(std::equal(fast, fast + 64, reference));
        }
        codec::TransformBlock(plane.data() + 8, 24, quant, fast);
        codec::TransformBlockReference(plane.data() + 8, 24, quant, reference);
        EXPECT_TRUE(std::equal(fast, fast + 64, reference));
    }

    // Divisors 1 and 2 and large ones take the scalar route or the SIMD one;
    // either way the numbers are the same.
    for (uint16_t d : {1, 2, 3, 255, 1024, 2000}) {
        codec::QuantTable custom{};
        for (auto& z : custom.zigzag) z = d;
        codec::PrepareQuantTable(custom);
        int16_t fast[64], reference[64];
        for (size_t i = 0; i < 200; ++i) {
            codec::TransformBlock(blocks[i].data(), 8, custom, fast);
            codec::TransformBlockReference(blocks[i].data(), 8, custom, reference);
            ASSERT_TRUE(std::equal(fast, fast + 64, reference)) << "divisor " << d;
        }
    }
}
