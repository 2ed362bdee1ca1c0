// The decoder's rate buffer (VBV) of an MPEG-1 video stream at constant
// rate, and a checker that runs it over a finished stream.
//
// A VCD player reads the disc at a fixed rate into a 40 KiB buffer and takes
// each picture out whole at its decoding time. A picture that has not fully
// arrived by then is an underflow (the player stalls, drops or shows
// garbage); a buffer that would hold more than its size before a picture is
// taken out is an overflow. The encoder keeps a model of this buffer while
// it writes, and checks the finished file with the same model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vcdalbum::components::stream {

struct VbvParams {
    double bitRate = 0;     // bits per second
    double bufferBits = 0;  // buffer size
    double frameRate = 0;   // pictures per second
};

struct VbvViolation {
    enum class Kind { Underflow, Overflow };
    Kind kind = Kind::Underflow;
    int64_t picture = 0;  // in decoding order, from 0
    double seconds = 0;   // decoding time
    double bits = 0;      // missing (underflow) or excess (overflow) bits
};

// The buffer at constant rate. Pictures are taken out one frame period
// apart; all arithmetic is in bits.
class VbvModel {
public:
    // `contentBeforeFirst`: bits in the buffer just before the first picture
    // is taken out, at `firstSeconds`.
    VbvModel(const VbvParams& params, double contentBeforeFirst, double firstSeconds = 0);

    // Takes out the next picture of `bits` bits, records a violation when
    // there is one, and lets one frame period of data arrive. Returns true
    // when the picture fitted.
    bool TakePicture(int64_t bits);

    // Zero bytes to append to a picture of `bits` bits so that the buffer
    // stays within its size until the picture after it is taken out.
    int64_t StuffingBytes(int64_t bits) const;

    // Bits in the buffer just before the next picture is taken out.
    double ContentBeforeNext() const { return content_; }
    double Fullness() const { return content_ / params_.bufferBits; }
    // The buffer is at its top before the next picture: stuffing brought it
    // there, and the few bits below are the rounding of stuffing to whole
    // bytes.
    bool AtTop() const { return content_ >= params_.bufferBits - 64; }
    // Lowest content right after a picture was taken out (negative after an
    // underflow); the buffer size before any picture.
    double LowestAfterRemoval() const { return lowest_; }
    int64_t Pictures() const { return pictures_; }
    const VbvParams& Params() const { return params_; }
    const std::vector<VbvViolation>& Violations() const { return violations_; }

    // Caps the data that can still arrive: a finished stream has no bits
    // after its last picture.
    void SetRemainingBits(double bits) { remaining_ = bits; }

private:
    VbvParams params_;
    double firstTime_ = 0;
    double content_ = 0;
    double lowest_ = 0;
    double remaining_ = -1;  // < 0: unlimited
    int64_t pictures_ = 0;
    std::vector<VbvViolation> violations_;
};

struct VbvReport {
    std::string error;  // empty when the stream could be read
    VbvParams params;
    int64_t pictures = 0;
    double firstVbvDelaySeconds = 0;
    double lowestBits = 0;  // lowest content after a picture was taken out
    std::vector<VbvViolation> violations;

    bool ok() const { return error.empty() && violations.empty(); }
    int Count(VbvViolation::Kind kind) const;
    // One line per violation (at most `maxViolations`) and a summary line.
    std::string Describe(size_t maxViolations = SIZE_MAX) const;
};

// Whether a start-code prefix (00 00 01) and its code byte begin at `i`.
bool StartCodeAt(std::span<const uint8_t> b, size_t i);

// The video elementary stream (stream id 0xE0) of an MPEG-1 or MPEG-2
// program stream; `bytes` starting with a sequence header is taken as an
// elementary stream already.
std::vector<uint8_t> ExtractVideoElementaryStream(std::span<const uint8_t> bytes, std::string& error);

// Runs the buffer over a whole stream: rate and buffer size from the first
// sequence header, the first picture's decoding time from its vbv_delay,
// each picture's bits from its start code (with the sequence and group
// headers in front of it) to the next picture's.
VbvReport CheckVbv(std::span<const uint8_t> bytes);
VbvReport CheckVbvFile(const std::string& path);

}  // namespace vcdalbum::components::stream
