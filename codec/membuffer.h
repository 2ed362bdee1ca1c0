// The codec's byte buffer: owned storage, a position (read position of a
// source, fill level of a sink) and a capacity. Appends and reads clip at
// the capacity instead of running past it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vcdalbum::codec {

struct MemBuffer {
    uint8_t* data = nullptr;
    int32_t position = 0;
    int32_t capacity = 0;

    MemBuffer() = default;
    MemBuffer(const MemBuffer&) = delete;
    MemBuffer& operator=(const MemBuffer&) = delete;
    ~MemBuffer() { release(); }

    void reset() { position = 0; }
    // Frees the storage; position and capacity are left as they are.
    void release();
    // Replaces the storage with `size` fresh bytes (none for 0). Returns false,
    // leaving the buffer empty with capacity 0, when the memory is not there.
    bool allocate(size_t size);
    // Copies min(n, capacity - position) bytes in; returns how many.
    int32_t append(const void* src, size_t n);
    // Copies min(n, capacity - position) bytes out; returns how many.
    int32_t read(void* dst, size_t n);
    // origin 0: from the start, 1: from the position, 2: back from the capacity.
    // Returns the new position, or -1 for a buffer without storage.
    int32_t seek(int32_t offset, int origin);

    int32_t remaining() const { return capacity > position ? capacity - position : 0; }
};

}  // namespace vcdalbum::codec
