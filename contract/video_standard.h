// The two television standards a Video CD 2.0 stream can follow, as one
// description that the library, the stream encoder and the burner
// component all read: frame size, frame rate, group of pictures, pixel
// shape and the codes the MPEG-1 sequence header carries for them, and how
// the choice travels in the StreamInfo record. Header-only: the components
// never link the library.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace vcdalbum::video {

struct VideoStandard {
    const char* name;
    int width, height;
    int rateNum, rateDen;  // frames per second, as a fraction
    int gopSize;           // longest group of pictures players take
    int sarNum, sarDen;    // pixel shape: width to height
    int aspectCode;        // sequence header: pel aspect ratio code
    int rateCode;          // sequence header: picture rate code
    const char* firstItemName;  // the disc's fixed first sequence item

    double fps() const { return static_cast<double>(rateNum) / rateDen; }
    // Width of the frame on a square grid of the frame's height (4:3).
    double displayWidth() const { return static_cast<double>(width) * sarNum / sarDen; }
    bool operator==(const VideoStandard& other) const { return width == other.width && height == other.height && rateCode == other.rateCode; }
};

// 525 lines: 352x240 at 30000/1001, pixels 10:11 wide.
inline constexpr VideoStandard kNtsc{"NTSC", 352, 240, 30000, 1001, 18, 10, 11, 12, 4, "EnablePbcNTSC.mpg"};
// 625 lines: 352x288 at 25, pixels 12:11 wide.
inline constexpr VideoStandard kPal{"PAL", 352, 288, 25, 1, 15, 12, 11, 8, 3, "EnablePbcPAL.mpg"};

// StreamInfo::option6 asks the encoder for PAL with this value (the 625
// lines); 0, and every other value, leaves the stream NTSC, so that records
// filled before PAL existed keep their meaning.
inline constexpr uint16_t kStreamOptionPal = 625;

inline const VideoStandard& FromStreamOption(uint16_t option6) { return option6 == kStreamOptionPal ? kPal : kNtsc; }
inline uint16_t StreamOption(const VideoStandard& standard) { return standard == kPal ? kStreamOptionPal : 0; }

// The standard a sequence header's size and picture rate code name, or null.
inline const VideoStandard* FromSequenceHeader(int width, int height, int rateCode) {
    for (const VideoStandard* s : {&kNtsc, &kPal})
        if (s->width == width && s->height == height && s->rateCode == rateCode) return s;
    return nullptr;
}

}  // namespace vcdalbum::video
