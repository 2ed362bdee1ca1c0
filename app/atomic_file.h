// Writing a whole file so that a failure never leaves a half-written one.
#pragma once

#include <cstddef>
#include <string>

namespace vcdalbum::cli {

// Writes `size` bytes to a temporary file beside `path`, then renames it
// over `path`. On failure nothing is left at `path` and `error` says why.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error);

}  // namespace vcdalbum::cli
