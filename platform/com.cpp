#include "platform/com.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/module_loader.h"

namespace vcdalbum::com {
namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::pair<CLSID, ClassFactory>> factories;

    ClassFactory* find(REFCLSID clsid) {
        for (auto& [id, factory] : factories)
            if (id == clsid) return &factory;
        return nullptr;
    }
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

ComponentCreateFn ComponentCreator() {
    std::string error;
    void* symbol = platform::ComponentSymbol(platform::kBurnerModuleFile, "QelCreateObject", error);
    if (!symbol) {
        // Said once: a host retrying init should not flood standard error.
        static std::once_flag said;
        std::call_once(said, [&] { std::fprintf(stderr, "vcdalbum: %s\n", error.c_str()); });
        return nullptr;
    }
    return reinterpret_cast<ComponentCreateFn>(symbol);
}

}  // namespace

ClassFactory RegisterClassFactory(REFCLSID clsid, ClassFactory factory) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    if (ClassFactory* existing = registry.find(clsid)) return std::exchange(*existing, std::move(factory));
    registry.factories.emplace_back(clsid, std::move(factory));
    return {};
}

void UnregisterClassFactory(REFCLSID clsid) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    std::erase_if(registry.factories, [&](const auto& entry) { return entry.first == clsid; });
}

HRESULT CoInitialize(void*) {
    thread_local bool initialised = false;
    if (initialised) return S_FALSE;
    initialised = true;
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, uint32_t, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;

    ClassFactory factory;
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        if (ClassFactory* found = registry.find(clsid)) factory = *found;
    }
    // The factory runs outside the lock: it may create objects itself.
    if (factory) return factory(iid, object);

    ComponentCreateFn create = ComponentCreator();
    if (!create) return REGDB_E_CLASSNOTREG;
    return create(&clsid, &iid, object);
}

}  // namespace vcdalbum::com
