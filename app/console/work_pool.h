// Independent items of a build shared out over threads.
#pragma once

#include <cstddef>
#include <functional>

namespace vcdalbum::host {

// The number of threads a build uses unless told otherwise: one per core.
unsigned DefaultJobs();

// Calls `item(i)` for i = 0 .. count-1 on up to `jobs` threads, this one
// included. After an item throws, no further item starts; the first
// exception is rethrown here once every thread has stopped.
void ForEachOnThreads(size_t count, unsigned jobs, const std::function<void(size_t)>& item);

}  // namespace vcdalbum::host
