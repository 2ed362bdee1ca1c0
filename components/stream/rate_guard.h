// What keeps every picture inside the decoder's rate buffer.
//
// The encoder's own rate control already re-codes a frame at a coarser
// quantiser when it would not fit, but at the coarsest quantiser a detailed
// frame can still be larger than what the buffer holds, above all an I-frame
// that arrives while a transition has drained it. No setting of the encoder
// can promise a fit for every picture, so the finished stream is checked
// with the buffer model, and the pictures whose frames did not fit are coded
// again, softened more each time, until the whole stream fits.
#pragma once

#include <cstdint>
#include <vector>

#include "encode_plan.h"
#include "vbv_model.h"

namespace vrxstream {

// How much one planned picture is softened beyond the usual.
struct PictureSqueeze {
    int level = 0;           // 0: as usual; each level lowers the activity limit
    int64_t softFrames = 0;  // held pictures: how many leading frames are softened
};

inline constexpr int kMaxSqueezeLevel = 6;

// Activity limit for a squeezed picture (level > 0) given the buffer's
// fullness (0..1) when it starts.
double SqueezedActivityLimit(int level, double vbvFullness);

// Raises the squeeze of the pictures whose frames failed in `report`
// (`squeezes` has one entry per planned picture). Returns false when the
// report shows a fault that more softening cannot mend.
bool TightenSqueezes(const EncodePlan& plan, const VbvReport& report, std::vector<PictureSqueeze>& squeezes);

}  // namespace vrxstream
