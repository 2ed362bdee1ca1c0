#include "com_object.h"

namespace vcdalbum::qelburner {

HRESULT CreateComponentObject(const com::GUID& clsid, const IID& iid, void** object) {
    if (!object) return com::E_POINTER;
    *object = nullptr;
    struct Entry {
        const com::GUID& clsid;
        com::IUnknown* (*make)();
    };
    static const Entry table[] = {
        {burner::CLSID_BurnProject, NewBurnProject},   {burner::CLSID_BurnRecorder, NewBurnRecorder},
        {burner::CLSID_PictureEncoder, NewPictureEncoder}, {burner::CLSID_DriveChooser, NewDriveChooser},
        {burner::CLSID_DiscEraser, NewDiscEraser},     {burner::CLSID_AuxObject, NewAuxObject},
        {burner::CLSID_DriveControl, NewDriveControl},
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

}  // namespace vcdalbum::qelburner
