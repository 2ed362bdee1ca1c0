// IPictureEncoder: a picture as an MPEG still for a segment item.
#include "com_object.h"
#include "project.h"
#include "results.h"
#include "still_encoder.h"

namespace vcdalbum::components::burner {
namespace {

class PictureEncoder final : public ComObject<vcdalbum::burner::IPictureEncoder> {
public:
    PictureEncoder() : ComObject(vcdalbum::burner::IID_IPictureEncoder) {}

    // The picture's format is recognised from its content, so `format` only
    // travels along. nRet is 0 when the still was written, else 1.
    HRESULT VCD_STDCALL ConvertPicture(int32_t, const char* picture, const char* mpegFile, int32_t* nRet) override {
        if (nRet) *nRet = 1;
        if (!picture || !mpegFile) return com::E_POINTER;
        std::string error;
        if (!EncodeStill(picture, mpegFile, error)) {
            Complain(error);
            return QEL_E_PICTURE;
        }
        if (nRet) *nRet = 0;
        return com::S_OK;
    }
};

}  // namespace

com::IUnknown* NewPictureEncoder() { return new PictureEncoder; }

}  // namespace vcdalbum::components::burner
