#include "platform/module_loader.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

namespace vcdalbum::platform {

std::vector<std::string> ComponentSearchPaths(const std::string& fileName) {
    namespace fs = std::filesystem;
    std::vector<std::string> paths;
    if (const char* dir = std::getenv(kComponentDirVariable); dir && *dir)
        paths.push_back((fs::path(dir) / fileName).string());
    if (std::string own = module_os::OwnModuleDirectory(); !own.empty()) {
        paths.push_back((fs::path(own) / fileName).string());
        paths.push_back((fs::path(own).parent_path() / "lib" / fileName).string());
    }
    paths.push_back(fileName);
    return paths;
}

void* ComponentSymbol(const std::string& fileName, const char* symbol, std::string& error) {
    // Loaded modules stay loaded: objects and functions they hand out may be
    // in use anywhere in the process.
    static std::mutex mutex;
    static std::map<std::string, void*> loaded;

    std::lock_guard lock(mutex);
    void* module = nullptr;
    if (auto it = loaded.find(fileName); it != loaded.end()) {
        module = it->second;
    } else {
        std::string reasons;
        for (const std::string& path : ComponentSearchPaths(fileName)) {
            std::string why;
            module = module_os::Open(path, why);
            if (module) break;
            reasons += "\n  " + path + ": " + why;
        }
        if (!module) {
            error = "cannot load " + fileName + reasons;
            return nullptr;
        }
        loaded.emplace(fileName, module);
    }
    void* address = module_os::Symbol(module, symbol);
    if (!address) error = fileName + " has no function " + symbol;
    return address;
}

}  // namespace vcdalbum::platform
