// The chance draws of the noisy and dissolving effects. Each frame gets its
// own generator, keyed by the transition's seed, the effect and the frame
// number, so a frame's pattern follows from its own arguments alone: the
// same call gives the same pixels on any thread, in any order, however many
// other frames were drawn before.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "vcdalbum/Image.h"

namespace vcdalbum::transitions {

// The finaliser of SplitMix64: a bijection that spreads every input bit over
// the whole word.
inline constexpr uint64_t MixBits(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// A seed that tells transitions apart without the caller choosing one: a hash
// of the two pictures' sizes and visible pixels. Equal pictures give equal
// seeds, so a transition renders the same wherever and whenever it is drawn.
inline uint64_t PictureSeed(const Image& first, const Image& second) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (const Image* image : {&first, &second}) {
        h = MixBits(h ^ (uint64_t{image->width} << 32 | image->height));
        if (!image->data) continue;
        const size_t stride = ImageStride(image->width), used = 3 * size_t{image->width};
        for (uint32_t y = 0; y < image->height; ++y) {
            const unsigned char* row = image->data + y * stride;
            size_t i = 0;
            for (; i + 8 <= used; i += 8) {
                uint64_t word;
                std::memcpy(&word, row + i, 8);
                h = (h ^ word) * 0x100000001B3ull;
                h ^= h >> 29;
            }
            for (; i < used; ++i) h = (h ^ row[i]) * 0x100000001B3ull;
        }
    }
    return MixBits(h);
}

// SplitMix64 started from (seed, effect, frame). Every draw gives a byte, as
// uniform as the low byte of a C `rand` call; eight draws share one step.
class FrameRandom {
public:
    FrameRandom(uint64_t seed, unsigned effect, int frame)
        : state_(MixBits(seed ^ MixBits((uint64_t{effect} << 32) | static_cast<uint32_t>(frame)))) {}

    uint8_t NextByte() {
        if (left_ == 0) {
            state_ += 0x9E3779B97F4A7C15ull;
            bits_ = MixBits(state_);
            left_ = 8;
        }
        const uint8_t byte = static_cast<uint8_t>(bits_);
        bits_ >>= 8;
        --left_;
        return byte;
    }

    // The rarer branch of a decision: 51 of the 256 byte values, about 19.9 %.
    bool Rare() { return NextByte() <= 50; }

private:
    uint64_t state_;
    uint64_t bits_ = 0;
    int left_ = 0;
};

}  // namespace vcdalbum::transitions
