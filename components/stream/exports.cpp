// The component's one exported symbol.
#include "vrxstream.h"

#include "stream_encode.h"

extern "C" __attribute__((visibility("default"))) int StreamEncode(StreamInfo* info) {
    return vcdalbum::components::stream::Encode(info);
}
