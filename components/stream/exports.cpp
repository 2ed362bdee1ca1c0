// The component's exported symbols.
#include "contract/vrxstream.h"

#include "stream_encode.h"

extern "C" __attribute__((visibility("default"))) int StreamEncode(StreamInfo* info) {
    return vcdalbum::components::stream::Encode(info);
}

extern "C" __attribute__((visibility("default"))) int StreamEncodeMoving(StreamInfo* info, const StreamMotion* motion) {
    return vcdalbum::components::stream::Encode(info, motion);
}
