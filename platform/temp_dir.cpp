#include "platform/temp_dir.h"

#include <cstdlib>
#include <filesystem>

namespace vcdalbum::platform {

std::string TempDirectory() {
    for (const char* name : {"TEMP", "TMPDIR"})
        if (const char* value = std::getenv(name); value && *value) return value;
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec || dir.empty()) return ".";
    std::string text = dir.string();
    // The system's answer may end in a separator; ours never adds a second one.
    while (text.size() > 1 && (text.back() == '/' || text.back() == kPathSeparator)) text.pop_back();
    return text;
}

std::string TempPath(const std::string& name) {
    std::string dir = TempDirectory();
    if (!dir.empty() && dir.back() != kPathSeparator && dir.back() != '/') dir += kPathSeparator;
    return dir + name;
}

}  // namespace vcdalbum::platform
