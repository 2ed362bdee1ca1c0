// IAuxObject: held by the wrapper for the life of a burner, never called.
#include "com_object.h"

namespace vcdalbum::qelburner {
namespace {

class AuxObject final : public ComObject<burner::IAuxObject> {
public:
    AuxObject() : ComObject(burner::IID_IAuxObject) {}
};

}  // namespace

com::IUnknown* NewAuxObject() { return new AuxObject; }

}  // namespace vcdalbum::qelburner
