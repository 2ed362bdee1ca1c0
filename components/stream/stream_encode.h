// The component's work behind StreamEncode.
#pragma once

#include "contract/vrxstream.h"

namespace vcdalbum::components::stream {

// See vrxstream.h for the meaning of the record's fields and the results.
int Encode(StreamInfo* info);
// The same with pan-and-zoom (StreamEncodeMoving); null `motion`: Encode.
int Encode(StreamInfo* info, const StreamMotion* motion);

// Activity above which a frame is softened before it is coded, given how full
// the decoder's rate buffer is (0..1). Lower when the buffer runs low.
double ActivityLimit(double vbvFullness);

}  // namespace vcdalbum::components::stream
