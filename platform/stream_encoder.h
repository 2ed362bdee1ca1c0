// The library's one road to the stream encoder component.
#pragma once

// The records are the component's; the loader only passes them on.
struct StreamInfo;
struct StreamMotion;

namespace vcdalbum::platform {

using StreamEncodeFn = int (*)(StreamInfo* info);
using StreamEncodeMovingFn = int (*)(StreamInfo* info, const StreamMotion* motion);

// Calls StreamEncode of the encoder component (libvrxstream.so,
// VRXStream.dll), loaded once on first need. Returns the component's
// result, or -1 with a message on standard error when it cannot be loaded.
int CallStreamEncode(StreamInfo* info);

// Calls StreamEncodeMoving of the component, for a stream with pan-and-zoom.
// A component without that call gets the stream through StreamEncode, its
// pictures held still, with a message on standard error.
int CallStreamEncodeMoving(StreamInfo* info, const StreamMotion* motion);

// Puts another encoder in the component's place (a recording double in unit
// tests); null restores the component. Returns the previous override.
StreamEncodeFn SetStreamEncoder(StreamEncodeFn fn);
// The same for CallStreamEncodeMoving. With no moving override set, moving
// calls go to the StreamEncode override, when one is set, without the motion.
StreamEncodeMovingFn SetMovingStreamEncoder(StreamEncodeMovingFn fn);

}  // namespace vcdalbum::platform
