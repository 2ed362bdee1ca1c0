// Writing a whole file so that a failure never leaves a half-written one.
// The library's codec and the command-line tool both write through here.
#pragma once

#include <cstddef>
#include <string>

namespace vcdalbum::platform {

// Writes `size` bytes to a temporary file beside `path` ("<path>.part-<pid>-<n>",
// unique per call) and renames it over `path`. On failure the temporary file
// is removed, whatever was at `path` stays as it was, and `error` (when
// given) says why, naming `path`.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string* error = nullptr);

}  // namespace vcdalbum::platform
