#include <windows.h>

#include <filesystem>
#include <vector>

#include "platform/module_loader.h"

namespace vcdalbum::platform::module_os {

std::string OwnModuleDirectory() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&OwnModuleDirectory), &self))
        return {};
    std::vector<char> name(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(self, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return {};
        if (n < name.size()) return std::filesystem::path(std::string(name.data(), n)).parent_path().string();
        name.resize(name.size() * 2);  // the name was cut: try a larger buffer
    }
}

void* Open(const std::string& path, std::string& error) {
    // A missing or damaged module is reported to the caller, never in a
    // system dialog box that would hold an unattended host.
    DWORD previousMode = 0;
    const bool quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = LoadLibraryA(path.c_str());
    const DWORD code = GetLastError();
    if (quiet) SetThreadErrorMode(previousMode, nullptr);
    if (!module) error = "LoadLibrary failed with error " + std::to_string(code);
    return reinterpret_cast<void*>(module);
}

void* Symbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace vcdalbum::platform::module_os
