// VRX_Burner: construction, copying, init, the settings records and DBG_MSG.
#include <cstring>

#include "burner/burner_session.h"
#include "platform/message_box.h"
#include "vcdalbum/VRX_Burner.h"

using vcdalbum::burner::BurnerSession;
namespace com = vcdalbum::com;
namespace vb = vcdalbum::burner;

namespace {

template <class T>
bool Create(const com::CLSID& clsid, const com::IID& iid, com::ComPtr<T>& slot) {
    const com::HRESULT hr = com::CoCreateInstance(clsid, nullptr, com::CLSCTX_INPROC_SERVER, iid, slot.put_void());
    if (hr != com::S_OK) slot.reset();
    return static_cast<bool>(slot);
}

}  // namespace

VRX_Burner::VRX_Burner() : session(std::make_shared<BurnerSession>()) {}

// Copies drive the same component objects and project; the session closes
// the project once, when the last copy goes.
VRX_Burner::VRX_Burner(const VRX_Burner& other) = default;
VRX_Burner& VRX_Burner::operator=(const VRX_Burner& other) = default;
VRX_Burner::~VRX_Burner() = default;

E_VRX VRX_Burner::init(unsigned char kind, unsigned char* name) {
    com::CoInitialize(nullptr);

    // A second init starts over: this object lets go of what the first one
    // created (other copies keep it while they live); the nodes made so far
    // stay valid.
    session = std::make_shared<BurnerSession>(session->nodes);
    BurnerSession& s = *session;

    if (!Create(vb::CLSID_BurnProject, vb::IID_IBurnProject, s.project)) return VRX_ERR_PROJECT_OBJECT;
    if (!Create(vb::CLSID_BurnRecorder, vb::IID_IBurnRecorder, s.recorder)) return VRX_ERR_RECORDER_OBJECT;
    if (!Create(vb::CLSID_PictureEncoder, vb::IID_IPictureEncoder, s.encoder)) return VRX_ERR_ENCODER_OBJECT;
    if (!Create(vb::CLSID_DiscEraser, vb::IID_IDiscEraser, s.eraser)) return VRX_ERR_ERASER_OBJECT;
    if (!Create(vb::CLSID_AuxObject, vb::IID_IAuxObject, s.auxObject)) return VRX_ERR_AUX_OBJECT;
    if (!Create(vb::CLSID_DriveControl, vb::IID_IDriveControl, s.driveControl)) return VRX_ERR_DRIVE_OBJECT;
    if (!Create(vb::CLSID_DriveChooser, vb::IID_IDriveChooser, s.chooser)) return VRX_ERR_CHOOSER_OBJECT;

    if (kind == vcdalbum::contract::kProjectKindVcd20) {
        uint32_t handle = 0;
        // A refused project leaves no handle behind for the destructor to close.
        if (s.project->NewProject(&handle, kind) != com::S_OK) return VRX_ERR_NEW_PROJECT;
        s.projectHandle = handle;
        s.project->SetProjectName(s.projectHandle, name);
    }

    reportInfo.reportKind = vcdalbum::contract::kReportKind;
    reportInfo.reportFlag = vcdalbum::contract::kReportFlag;
    reportInfo.reportText = name;  // the caller's text, kept valid until the last burn
    return VRX_OK;
}

E_VRX VRX_Burner::setWriteMode(int method, bool methodOption, bool secondOption, int finalMode) {
    namespace contract = vcdalbum::contract;
    // A local copy: the record is packed, its fields may sit unaligned.
    uint32_t flags = ioInfo.writeFlags;
    if (method >= 0 && method <= 3) flags = contract::kWriteMethodFlags[method];
    if (method == 1) flags |= methodOption ? contract::kWriteFlagMethod1Option : contract::kWriteFlagMethod1NoOption;
    if (!secondOption) flags |= contract::kWriteFlagNoSecondOption;
    if (finalMode == 1) flags |= contract::kWriteFlagFinalMode1;
    if (finalMode == 2) flags |= contract::kWriteFlagFinalMode2;
    ioInfo.writeFlags = flags;
    return VRX_OK;
}

E_VRX VRX_Burner::setIOInfo(IOInfo* info) {
    if (!info) return VRX_FAIL;
    std::memcpy(&ioInfo, info, sizeof ioInfo);
    return VRX_OK;
}

E_VRX VRX_Burner::setReportInfo(ReportInfo* info) {
    if (!info) return VRX_FAIL;
    std::memcpy(&reportInfo, info, sizeof reportInfo);
    return VRX_OK;
}

E_VRX VRX_Burner::setFSInfo(FSInfo* info) {
    if (!info) return VRX_FAIL;
    std::memcpy(&fsInfo, info, sizeof fsInfo);
    return VRX_OK;
}

void VRX_Burner::DBG_MSG(char* caption) { vcdalbum::platform::ShowLastErrorMessage(caption); }
