// Writing a whole file so that a failure never leaves a half-written one.
#pragma once

#include <cstddef>
#include <string>

namespace vcdalbum::codec {

// Writes `size` bytes to a temporary file beside `path` and renames it over
// `path`. On failure the temporary file is removed, whatever was at `path`
// stays as it was, and `error` (when given) says why.
bool WriteFileThroughTemp(const std::string& path, const void* data, size_t size, std::string* error = nullptr);

}  // namespace vcdalbum::codec
