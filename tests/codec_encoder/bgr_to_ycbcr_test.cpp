// Colour conversion: the fixed-point values, and the SIMD path agreeing with
// the scalar one for every input.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codec/bgr_to_ycbcr.h"

namespace codec = vcdalbum::codec;

TEST(ColourConvert, FixedPointValuesWithFlooringShifts) {
    // blue, green, red of two pixels each: Y per pixel, Cb/Cr the rounded pair mean.
    struct Case {
        uint8_t bgr[6];
        uint8_t y0, y1, cb, cr;
    };
    const Case cases[] = {
        {{128, 128, 128, 128, 128, 128}, 128, 128, 128, 128},
        {{255, 255, 255, 0, 0, 0}, 255, 0, 128, 128},
        // Red: Cb = floor(-5610 / 128) + 128 = 84, Cr = floor(16320 / 128) + 128 = 255.
        {{0, 0, 255, 0, 0, 255}, 75, 75, 84, 255},
        // Blue then green: Cb = (255 + 44 + 1) / 2, Cr = (108 + 20 + 1) / 2.
        {{255, 0, 0, 0, 255, 0}, 29, 149, 150, 64},
    };
    for (const Case& c : cases) {
        uint8_t y[2], cb, cr;
        codec::ConvertColourRowReference(c.bgr, 1, y, &cb, &cr);
        EXPECT_EQ(y[0], c.y0);
        EXPECT_EQ(y[1], c.y1);
        EXPECT_EQ(cb, c.cb);
        EXPECT_EQ(cr, c.cr);
    }
}

TEST(ColourConvert, FastPathEqualsReference) {
    std::mt19937 random(5);
    for (size_t pairs : {1u, 7u, 8u, 9u, 176u, 963u}) {
        for (int kind = 0; kind < 3; ++kind) {
            std::vector<uint8_t> bgr(6 * pairs);
            for (auto& v : bgr) {
                const uint32_t r = random();
                v = kind == 0 ? static_cast<uint8_t>(r) : kind == 1 ? static_cast<uint8_t>(r & 1 ? 255 : 0)
                                                                     : static_cast<uint8_t>(r % 3 == 0 ? 255 : r % 3 == 1 ? 0 : 128);
            }
            std::vector<uint8_t> y1(2 * pairs), cb1(pairs), cr1(pairs), y2(2 * pairs), cb2(pairs), cr2(pairs);
            codec::ConvertColourRow(bgr.data(), pairs, y1.data(), cb1.data(), cr1.data());
            codec::ConvertColourRowReference(bgr.data(), pairs, y2.data(), cb2.data(), cr2.data());
            ASSERT_EQ(y1, y2) << pairs;
            ASSERT_EQ(cb1, cb2) << pairs;
            ASSERT_EQ(cr1, cr2) << pairs;
        }
    }
}
