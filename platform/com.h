// A small in-process COM layer: CoInitialize and CoCreateInstance over a
// registry of class factories. The burner component registers its classes
// here; tests register doubles.
#pragma once

#include <functional>

#include "contract/com_types.h"

namespace vcdalbum::com {

// Makes a new object of one class and returns the interface `iid` of it.
using ClassFactory = std::function<HRESULT(REFIID iid, void** object)>;

// Registers (or replaces) the factory of a class. Returns the factory that
// was registered before, empty if none, so that a test can put it back.
ClassFactory RegisterClassFactory(REFCLSID clsid, ClassFactory factory);
// Removes a class from the registry.
void UnregisterClassFactory(REFCLSID clsid);

// Starts COM on the calling thread. Always succeeds here; S_FALSE when it
// was already started on this thread.
HRESULT CoInitialize(void* reserved);

// Creates an object of a registered class. A class that is not registered is
// asked of the burner component module (libqelburner.so, QelBurner.dll),
// loaded once on first need, through its exported C function
// `QelCreateObject` (see ComponentCreateFn). Aggregation is not supported.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, uint32_t context, REFIID iid, void** object);

}  // namespace vcdalbum::com
