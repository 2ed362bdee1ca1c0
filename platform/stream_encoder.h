// The library's one road to the stream encoder component.
#pragma once

#include "vcdalbum/StreamInfo.h"

namespace vcdalbum::platform {

using StreamEncodeFn = int (*)(StreamInfo* info);

// Calls StreamEncode of the encoder component (libvrxstream.so,
// VRXStream.dll), loaded once on first need. Returns the component's
// result, or -1 with a message on standard error when it cannot be loaded.
int CallStreamEncode(StreamInfo* info);

// Puts another encoder in the component's place (a recording double in unit
// tests); null restores the component. Returns the previous override.
StreamEncodeFn SetStreamEncoder(StreamEncodeFn fn);

}  // namespace vcdalbum::platform
