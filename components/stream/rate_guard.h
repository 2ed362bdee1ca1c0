// What keeps every picture inside the decoder's rate buffer.
//
// The encoder's rate control codes a frame more coarsely when it would not
// fit, but only down to quantiser 31; a detailed frame can be larger than
// the buffer's content even then, above all when a transition has drained
// it. So before each frame is sent, its cost at quantiser 31 (as an I-frame,
// the dearest it can be coded) is compared with what the buffer will hold,
// and a frame that might not fit is replaced by a softened copy that does.
// A held picture starts soft and turns sharp as soon as the buffer has
// refilled, which takes a few frames since a still costs next to nothing.
//
// The finished stream is then checked with the buffer model; pictures that
// failed all the same get a larger safety margin in another pass.
#pragma once

#include <cstdint>
#include <vector>

#include "encode_plan.h"
#include "ffmpeg_util.h"
#include "frame_cost.h"
#include "vbv_model.h"
#include "vcd_writer.h"

namespace vcdalbum::components::stream {

inline constexpr int kMaxSafetyLevel = 6;

// Buffer content a frame whose quantiser-31 I-frame has `coarsestBits` bits
// needs before it is sent, at safety `level` (0 on the first pass).
double NeededBits(int64_t coarsestBits, int level);

// Buffer content at or above which no frame of the standard's size needs
// checking: even random noise in every plane fits.
double ContentThatFitsAnyFrame(int level, const video::VideoStandard& standard);

class RateGuard {
public:
    explicit RateGuard(const video::VideoStandard& standard = video::kNtsc) : standard_(standard), probe_(standard) {}
    const video::VideoStandard& standard() const { return standard_; }

    // The frame's quantiser-31 I-frame bits (-1 when they cannot be learnt).
    int64_t Cost(const AVFrame& frame) { return probe_.CoarsestIntraBits(frame); }

    // A softened copy of `frame` that fits `contentBits` at `level`, or the
    // softest of a bounded number of rounds. `bits` receives its cost.
    FramePtr Soften(const AVFrame& frame, double contentBits, int level, int64_t& bits);

private:
    const video::VideoStandard& standard_;
    FrameCostProbe probe_;
};

// Chooses, frame by frame, what is sent for one planned picture: the
// picture itself, or a softened copy while the buffer cannot take the
// picture as an I-frame, and when the next I-frame comes.
//
// A held picture costs next to nothing after its first frames, except at
// each I-frame. The encoder starts a group of pictures every gopSize
// frames of the standard; when the buffer has dipped below what this picture's I-frame
// needs, the next I-frame is asked for early, at a frame where it fits,
// and if none fits before the encoder's own, that one is sent soft.
class PictureFitter {
public:
    PictureFitter(RateGuard& guard, const AVFrame& picture, int level)
        : guard_(guard), picture_(picture), level_(level) {}

    struct Choice {
        const AVFrame* frame = nullptr;  // null: out of memory
        bool keyFrame = false;           // ask for an I-frame
    };
    // `contentBits`: the buffer's content before this frame; `sinceKeyFrame`:
    // frames since the last I-frame, counting this one.
    Choice Next(double contentBits, int64_t sinceKeyFrame);

private:
    const AVFrame* SoftFitting(double contentBits);

    RateGuard& guard_;
    const AVFrame& picture_;
    int level_;
    int64_t cost_ = -1, softCost_ = -1;  // quantiser-31 I-frame bits, once learnt
    FramePtr soft_;
    bool sharpShown_ = false;  // sent as it is since its softened start
    bool dipped_ = false;      // the buffer was too low for its I-frame in this group
    int64_t lastSinceKey_ = 0;
};

// Raises the safety level of the planned pictures whose frames failed in
// `report` (`levels` has one entry per planned picture). Returns false when
// the report shows a fault that a larger margin cannot mend.
bool RaiseSafetyLevels(const EncodePlan& plan, const VbvReport& report, std::vector<int>& levels);

}  // namespace vcdalbum::components::stream
