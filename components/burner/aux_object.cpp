// IAuxObject: held by the wrapper for the life of a burner, never called.
#include "com_object.h"

namespace vcdalbum::components::burner {
namespace {

class AuxObject final : public ComObject<vcdalbum::burner::IAuxObject> {
public:
    AuxObject() : ComObject(vcdalbum::burner::IID_IAuxObject) {}
};

}  // namespace

com::IUnknown* NewAuxObject() { return new AuxObject; }

}  // namespace vcdalbum::components::burner
