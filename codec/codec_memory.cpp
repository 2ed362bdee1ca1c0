#include "codec/codec_memory.h"

namespace vcdalbum::codec {

bool EnsureCodecTables() { return true; }

void ReleaseCodecTables() {}

}  // namespace vcdalbum::codec
