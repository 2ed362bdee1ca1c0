#include "platform/heap_string.h"

#include <cstdlib>
#include <cstring>

namespace vcdalbum::platform {

char* HeapCopy(const char* text) {
    if (!text) return nullptr;
    const std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy) std::memcpy(copy, text, size);
    return copy;
}

}  // namespace vcdalbum::platform
