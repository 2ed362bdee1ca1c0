// Stands in for the burner and stream components in loader tests: built
// twice, as libqelburner.so and libvrxstream.so (QelBurner.dll and
// VRXStream.dll on Windows), into a folder of its own.
#include "platform/com.h"
#include "tagged.h"
#include "vcdalbum/StreamInfo.h"

#if defined(_WIN32)
#  define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#  define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using vcdalbum::com::GUID;
using vcdalbum::com::HRESULT;

struct TaggedObject final : ITagged {
    explicit TaggedObject(uint32_t tag) : tag_(tag) {}
    HRESULT VCD_STDCALL QueryInterface(const GUID&, void** object) override {
        AddRef();
        *object = this;
        return vcdalbum::com::S_OK;
    }
    uint32_t VCD_STDCALL AddRef() override { return ++refs_; }
    uint32_t VCD_STDCALL Release() override {
        uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    uint32_t Tag() override { return tag_; }

private:
    uint32_t tag_;
    uint32_t refs_ = 1;
};

}  // namespace

FAKE_EXPORT HRESULT QelCreateObject(const GUID* clsid, const GUID*, void** object) {
    if (clsid->data1 == 0xBAD) {
        *object = nullptr;
        return vcdalbum::com::REGDB_E_CLASSNOTREG;
    }
    *object = static_cast<ITagged*>(new TaggedObject(clsid->data1));
    return vcdalbum::com::S_OK;
}

// The search-order probes are built with FAKE_ORIGIN 1, 2 or 3 by folder.
#ifndef FAKE_ORIGIN
#define FAKE_ORIGIN 1
#endif

FAKE_EXPORT int StreamEncode(StreamInfo* info) {
    return 1000 * FAKE_ORIGIN + info->pictureCount;
}
