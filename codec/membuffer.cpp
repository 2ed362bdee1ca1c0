#include "codec/membuffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace vcdalbum::codec {

void MemBuffer::release() {
    std::free(data);
    data = nullptr;
}

bool MemBuffer::allocate(size_t size) {
    release();
    position = 0;
    capacity = 0;
    if (size == 0) return true;
    if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
    data = static_cast<uint8_t*>(std::malloc(size));
    if (!data) return false;
    capacity = static_cast<int32_t>(size);
    return true;
}

int32_t MemBuffer::append(const void* src, size_t n) {
    const size_t room = static_cast<size_t>(remaining());
    const size_t take = n < room ? n : room;
    if (take > 0) std::memcpy(data + position, src, take);
    position += static_cast<int32_t>(take);
    return static_cast<int32_t>(take);
}

int32_t MemBuffer::read(void* dst, size_t n) {
    const size_t left = static_cast<size_t>(remaining());
    const size_t take = n < left ? n : left;
    if (take > 0) std::memcpy(dst, data + position, take);
    position += static_cast<int32_t>(take);
    return static_cast<int32_t>(take);
}

int32_t MemBuffer::seek(int32_t offset, int origin) {
    if (!data) return -1;
    switch (origin) {
        case 0: position = offset; break;
        case 1: position += offset; break;
        case 2: position = capacity - offset; break;
        default: break;
    }
    return position;
}

}  // namespace vcdalbum::codec
