// Finding and loading the two component modules the library calls at run
// time: the burner component and the stream encoder. Both are looked up the
// same way, so a build tree, an installed tree and a test's stand-in all work:
//   1. the directory named by VCDALBUM_COMPONENT_DIR, when set and not empty;
//   2. the directory of the module that holds this code (the shared library,
//      or the program it is linked into) and its sibling ../lib;
//   3. the bare file name, left to the system's own search.
#pragma once

#include <string>
#include <vector>

namespace vcdalbum::platform {

#if defined(_WIN32)
inline constexpr const char* kBurnerModuleFile = "QelBurner.dll";
inline constexpr const char* kStreamModuleFile = "VRXStream.dll";
#else
inline constexpr const char* kBurnerModuleFile = "libqelburner.so";
inline constexpr const char* kStreamModuleFile = "libvrxstream.so";
#endif

inline constexpr const char* kComponentDirVariable = "VCDALBUM_COMPONENT_DIR";

// The places tried for `fileName`, in order.
std::vector<std::string> ComponentSearchPaths(const std::string& fileName);

// Loads `fileName` once for the life of the process (a module that loaded is
// kept; a failed attempt is tried again on the next call) and returns its
// exported `symbol`. On failure returns null and says why in `error`.
void* ComponentSymbol(const std::string& fileName, const char* symbol, std::string& error);

// Platform part, one file per platform.
namespace module_os {
// Directory of the module (shared library or program) holding this code;
// empty when it cannot be told.
std::string OwnModuleDirectory();
// Opens a module; null with the system's reason in `error` on failure.
void* Open(const std::string& path, std::string& error);
void* Symbol(void* module, const char* name);
}  // namespace module_os

}  // namespace vcdalbum::platform
