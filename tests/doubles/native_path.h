// Paths as the library joins them on each platform, written out by the tests
// themselves rather than taken from the library.
#pragma once

#include <string>

namespace vcdalbum::testing {

#if defined(_WIN32)
inline constexpr char kSep = '\\';
#else
inline constexpr char kSep = '/';
#endif

// `name` in the folder `dir`, with one separator between.
inline std::string In(const std::string& dir, const std::string& name) { return dir + kSep + name; }

}  // namespace vcdalbum::testing
