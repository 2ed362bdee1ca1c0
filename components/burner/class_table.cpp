#include "com_object.h"

namespace vcdalbum::components::burner {

HRESULT CreateComponentObject(const com::GUID& clsid, const IID& iid, void** object) {
    if (!object) return com::E_POINTER;
    *object = nullptr;
    struct Entry {
        const com::GUID& clsid;
        com::IUnknown* (*make)();
    };
    static const Entry table[] = {
        {vcdalbum::burner::CLSID_BurnProject, NewBurnProject},   {vcdalbum::burner::CLSID_BurnRecorder, NewBurnRecorder},
        {vcdalbum::burner::CLSID_PictureEncoder, NewPictureEncoder}, {vcdalbum::burner::CLSID_DriveChooser, NewDriveChooser},
        {vcdalbum::burner::CLSID_DiscEraser, NewDiscEraser},     {vcdalbum::burner::CLSID_AuxObject, NewAuxObject},
        {vcdalbum::burner::CLSID_DriveControl, NewDriveControl},
    };
    for (const Entry& entry : table) {
        if (!(entry.clsid == clsid)) continue;
        com::IUnknown* made = entry.make();
        if (!made) return com::E_OUTOFMEMORY;
        const HRESULT hr = made->QueryInterface(iid, object);
        made->Release();  // the caller's reference, if any, is the one QueryInterface added
        return hr;
    }
    return com::REGDB_E_CLASSNOTREG;
}

}  // namespace vcdalbum::components::burner
