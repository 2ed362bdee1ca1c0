// Where the library puts its stream and frame files.
#pragma once

#include <string>

namespace vcdalbum::platform {

// The platform's path separator: '\\' on Windows, '/' elsewhere.
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The value of TEMP; when it is unset or empty, TMPDIR; then the system's
// temporary directory. Read anew on every call.
std::string TempDirectory();

// TempDirectory() + separator + name.
std::string TempPath(const std::string& name);

}  // namespace vcdalbum::platform
