// Pictures whose every pixel tells where it came from, and helpers to read a
// rendered frame back as runs of `first` and `second`.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "transitions/picture_scaler.h"
#include "vcdalbum/codec.h"
#include "vcdalbum/transitions.h"

namespace vcdalbum::transitions::test {

enum Which : uint8_t { kFirst = 0x40, kSecond = 0x80 };

// Pixel (y, x) of a coded picture: blue = x mod 256, green = y mod 256,
// red = picture tag | x / 256 (| 0x20 * (y / 256)).
inline void CodePixel(unsigned char* p, Which which, int y, int x) {
    p[0] = static_cast<unsigned char>(x & 255);
    p[1] = static_cast<unsigned char>(y & 255);
    p[2] = static_cast<unsigned char>(which | (x >> 8) | ((y >> 8) << 4));
}

inline void MakeCoded(OwnedImage& picture, uint32_t width, uint32_t height, Which which) {
    ASSERT_TRUE(AllocateImage(picture.get(), width, height));
    const size_t stride = ImageStride(width);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            CodePixel(picture.get().data + y * stride + 3 * x, which, static_cast<int>(y), static_cast<int>(x));
}

inline void MakeFlat(OwnedImage& picture, uint32_t width, uint32_t height, unsigned char value) {
    ASSERT_TRUE(AllocateImage(picture.get(), width, height));
    const size_t stride = ImageStride(width);
    for (uint32_t y = 0; y < height; ++y) std::memset(picture.get().data + y * stride, value, 3 * width);
}

inline const unsigned char* PixelAt(const Image& image, int y, int x) {
    return image.data + static_cast<size_t>(y) * ImageStride(image.width) + 3 * static_cast<size_t>(x);
}

// Where a pixel of a coded frame came from.
struct Origin {
    char picture;  // 'F', 'S' or '?'
    int y;
    int x;
    bool operator==(const Origin&) const = default;
};

inline Origin OriginOf(const Image& frame, int y, int x) {
    const unsigned char* p = PixelAt(frame, y, x);
    const char picture = (p[2] & 0xC0) == kFirst ? 'F' : (p[2] & 0xC0) == kSecond ? 'S' : '?';
    return {picture, p[1] | ((p[2] >> 4 & 3) << 8), p[0] | ((p[2] & 0x0F) << 8)};
}

inline std::ostream& operator<<(std::ostream& out, const Origin& o) {
    return out << o.picture << "(" << o.y << "," << o.x << ")";
}

// A line of pixels as runs of in-place `first` (F) and `second` (S) pixels,
// anything else as '?': "F0-10 S11-351".
template <class At>
std::string Runs(int count, At at) {
    std::string text;
    char current = 0;
    int start = 0;
    for (int i = 0; i <= count; ++i) {
        const char c = i < count ? at(i) : 0;
        if (c == current) continue;
        if (current) text += (text.empty() ? "" : " ") + std::string(1, current) + std::to_string(start) + "-" +
                             std::to_string(i - 1);
        current = c;
        start = i;
    }
    return text;
}

inline char InPlace(const Image& frame, int y, int x) {
    const Origin o = OriginOf(frame, y, x);
    return o.y == y && o.x == x ? o.picture : '?';
}

inline std::string RowRuns(const Image& frame, int y) {
    return Runs(static_cast<int>(frame.width), [&](int x) { return InPlace(frame, y, x); });
}

inline std::string ColumnRuns(const Image& frame, int x) {
    return Runs(static_cast<int>(frame.height), [&](int y) { return InPlace(frame, y, x); });
}

struct PicturePair {
    OwnedImage first, second;
    // Renders a frame that must succeed.
    void Render(unsigned effect, int frame, OwnedImage& out) {
        const TransitionResult r = RenderTransition(first.get(), second.get(), effect, frame, out.get());
        ASSERT_TRUE(r.ok()) << r.message;
    }
};

// A coded 352 x 240 pair, the size of a Video CD picture.
struct CodedPair : ::testing::Test, PicturePair {
    void SetUp() override {
        MakeCoded(first, 352, 240, kFirst);
        MakeCoded(second, 352, 240, kSecond);
    }
};

inline bool SamePixels(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height) return false;
    for (uint32_t y = 0; y < a.height; ++y)
        if (std::memcmp(PixelAt(a, y, 0), PixelAt(b, y, 0), 3 * a.width) != 0) return false;
    return true;
}

}  // namespace vcdalbum::transitions::test
