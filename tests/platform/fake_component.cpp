// Stands in for the burner and stream components in loader tests: built
// twice, as libqelburner.so and as libvrxstream.so, into a folder of its own.
#include "platform/com.h"
#include "tagged.h"
#include "vcdalbum/StreamInfo.h"

namespace {

using vcdalbum::com::GUID;
using vcdalbum::com::HRESULT;

struct TaggedObject final : ITagged {
    explicit TaggedObject(uint32_t tag) : tag_(tag) {}
    HRESULT QueryInterface(const GUID&, void** object) override {
        AddRef();
        *object = this;
        return vcdalbum::com::S_OK;
    }
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override {
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

extern "C" __attribute__((visibility("default"))) HRESULT QelCreateObject(const GUID* clsid, const GUID*,
                                                                          void** object) {
    if (clsid->data1 == 0xBAD) {
        *object = nullptr;
        return vcdalbum::com::REGDB_E_CLASSNOTREG;
    }
    *object = static_cast<ITagged*>(new TaggedObject(clsid->data1));
    return vcdalbum::com::S_OK;
}

extern "C" __attribute__((visibility("default"))) int StreamEncode(StreamInfo* info) {
    return 1000 + info->pictureCount;
}
