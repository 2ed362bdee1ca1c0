// The IUnknown half of every object of the component: one interface, a
// reference count, and QueryInterface answering that interface and IUnknown.
#pragma once

#include <atomic>

#include "contract/component_interfaces.h"

namespace vcdalbum::components::burner {

using com::HRESULT;
using com::IID;

template <class Interface>
class ComObject : public Interface {
public:
    explicit ComObject(const IID& iid) : iid_(iid) {}
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT VCD_STDCALL QueryInterface(const IID& iid, void** object) override {
        if (!object) return com::E_POINTER;
        if (iid == iid_ || iid == com::IID_IUnknown) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return com::S_OK;
        }
        *object = nullptr;
        return com::E_NOINTERFACE;
    }
    uint32_t VCD_STDCALL AddRef() override { return ++refs_; }
    uint32_t VCD_STDCALL Release() override {
        const uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;

private:
    const IID iid_;
    std::atomic<uint32_t> refs_{1};
};

// Makes an object of the class `clsid` and returns its interface `iid`.
// REGDB_E_CLASSNOTREG for a class the component does not have.
HRESULT CreateComponentObject(const com::GUID& clsid, const IID& iid, void** object);

// One factory per class; each returns a new object holding one reference.
com::IUnknown* NewBurnProject();
com::IUnknown* NewBurnRecorder();
com::IUnknown* NewPictureEncoder();
com::IUnknown* NewDriveChooser();
com::IUnknown* NewDiscEraser();
com::IUnknown* NewAuxObject();
com::IUnknown* NewDriveControl();

}  // namespace vcdalbum::components::burner
