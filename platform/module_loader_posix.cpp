#include <dlfcn.h>

#include <filesystem>

#include "platform/module_loader.h"

namespace vcdalbum::platform::module_os {

std::string OwnModuleDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnModuleDirectory), &info) == 0 || !info.dli_fname || !*info.dli_fname)
        return {};
    std::error_code ec;
    std::filesystem::path file = std::filesystem::absolute(info.dli_fname, ec);
    if (ec) return {};
    return file.parent_path().string();
}

void* Open(const std::string& path, std::string& error) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = dlerror();
        error = why ? why : "unknown error";
    }
    return module;
}

void* Symbol(void* module, const char* name) { return dlsym(module, name); }

}  // namespace vcdalbum::platform::module_os
