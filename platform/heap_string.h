// Strings that cross the library's boundary as C heap blocks (node names,
// frame file names): whoever ends up owning one releases it with free().
#pragma once

namespace vcdalbum::platform {

// A malloc'ed copy of `text`; null for a null text or when memory runs out.
char* HeapCopy(const char* text);

}  // namespace vcdalbum::platform
