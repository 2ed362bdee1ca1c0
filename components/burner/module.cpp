// The component module's one export, which the library's COM layer looks up
// when it is asked for a class nobody registered.
#include "com_object.h"

extern "C" __attribute__((visibility("default"))) vcdalbum::com::HRESULT QelCreateObject(
    const vcdalbum::com::GUID* clsid, const vcdalbum::com::GUID* iid, void** object) {
    if (!clsid || !iid) return vcdalbum::com::E_POINTER;
    return vcdalbum::components::burner::CreateComponentObject(*clsid, *iid, object);
}

// Checked at compile time against the type the COM layer loads.
static_assert(std::is_same_v<decltype(&QelCreateObject), vcdalbum::com::ComponentCreateFn>);
