// Pictures and JPEG-stream helpers shared by the encoder tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "support/owned_image.h"
#include "vcdalbum/codec.h"

namespace encoder_test {

struct Bgr {
    uint8_t b, g, r;
};

using vcdalbum::OwnedImage;

// A width x height picture painted pixel by pixel.
inline OwnedImage Painted(uint32_t width, uint32_t height, const std::function<Bgr(uint32_t x, uint32_t y)>& pixel) {
    OwnedImage picture = OwnedImage::Black(width, height);
    if (!picture) std::abort();
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const Bgr p = pixel(x, y);
            uint8_t* at = picture.row(y) + 3 * x;
            at[0] = p.b;
            at[1] = p.g;
            at[2] = p.r;
        }
    return picture;
}

inline Bgr Uniform(uint8_t v) { return {v, v, v}; }

// Deterministic noise: every byte independent, so the entropy data is dense
// and full of 0xFF bytes.
inline std::function<Bgr(uint32_t, uint32_t)> Noise(uint32_t seed) {
    return [seed](uint32_t x, uint32_t y) {
        uint32_t h = (x * 73856093u) ^ (y * 19349663u) ^ (seed * 83492791u);
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        h ^= h >> 15;
        return Bgr{static_cast<uint8_t>(h), static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(h >> 16)};
    };
}

// A smooth colour picture, like a photograph's large areas.
inline Bgr Gradient(uint32_t x, uint32_t y) {
    auto wave = [](double t) { return static_cast<uint8_t>(128.0 + 100.0 * std::sin(t)); };
    return {wave(x / 23.0), wave(y / 17.0 + 1.0), wave((x + y) / 31.0 + 2.0)};
}

inline std::vector<uint8_t> Encode(const Image& image) {
    std::vector<uint8_t> out;
    const vcdalbum::CodecResult result = vcdalbum::EncodeJpeg(image, out);
    if (!result.ok()) out.clear();
    return out;
}

// Offset of the first entropy-coded byte: just after the SOS segment.
inline size_t EntropyStart(const std::vector<uint8_t>& jpeg) {
    size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        const uint8_t marker = jpeg[i + 1];
        const size_t length = (static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3];
        i += 2 + length;
        if (marker == 0xDA) return i;
    }
    return 0;
}

// Bits appended most significant first, then packed with 1-bit padding and
// 0xFF 0x00 stuffing, as a baseline entropy segment is.
class BitString {
public:
    void Put(uint32_t value, int length) {
        for (int i = length - 1; i >= 0; --i) bits_.push_back((value >> i) & 1);
    }
    void Append(const BitString& other) { bits_.insert(bits_.end(), other.bits_.begin(), other.bits_.end()); }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out;
        for (size_t i = 0; i < bits_.size(); i += 8) {
            uint8_t byte = 0;
            for (size_t j = 0; j < 8; ++j) byte = static_cast<uint8_t>((byte << 1) | (i + j < bits_.size() ? bits_[i + j] : 1));
            out.push_back(byte);
            if (byte == 0xFF) out.push_back(0);
        }
        return out;
    }

private:
    std::vector<int> bits_;
};

}  // namespace encoder_test
