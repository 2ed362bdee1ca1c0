// VRX_Burner: choosing a drive, asking about it, burning, erasing, the tray.
#include <cstring>

#include "burner/burner_session.h"
#include "vcdalbum/VRX_Burner.h"

using vcdalbum::burner::BurnerSession;
namespace com = vcdalbum::com;
namespace vb = vcdalbum::burner;

namespace {

// Word 1 of the chooser's record is the drive the burner works on.
constexpr int kDriveWord = 1;

// IOInfo values the recorder expects for a Video CD: a track starts after
// the 150-sector pregap, raw 2352-byte sectors are read and written with
// subchannel (2448 bytes), in the recorder's format 26.
constexpr uint16_t kTrackStart = 150;
constexpr uint16_t kSourceSectorSize = 2352;
constexpr uint16_t kTargetSectorSize = 2448;
constexpr uint16_t kFormatCode = 26;
constexpr uint32_t kWriteFlagBurn = 0x2;

constexpr uint16_t kSourceProject = 7;
constexpr uint16_t kTargetDrive = 2;
constexpr uint16_t kTargetObject = 1;

}  // namespace

E_VRX VRX_Burner::selectDrive(bool choose, int drive) {
    BurnerSession& s = *session;
    if (choose) {
        if (!s.chooser) return VRX_FAIL;
        vb::DriveSelection selection;
        std::memcpy(&selection, driveSelection, sizeof selection);
        s.chooser->ChooseDrive(&selection);
        std::memcpy(driveSelection, &selection, sizeof selection);
        return VRX_OK;
    }
    driveSelection[kDriveWord] = static_cast<uint32_t>(drive);
    if (!s.driveControl) return VRX_FAIL;
    uint32_t error = 0;
    s.driveControl->OpenDrive(drive, &error);
    return VRX_OK;
}

E_VRX VRX_Burner::getDriveInfo(int drive, _QelDriveInfo* info) {
    BurnerSession& s = *session;
    if (!s.driveControl || !info) return VRX_FAIL;
    uint32_t error = 0;
    return s.driveControl->QueryDriveInfo(drive, info, &error) == com::S_OK ? VRX_OK : VRX_FAIL;
}

E_VRX VRX_Burner::getDiscInfo(int drive, _QelDiscInfo* info) {
    BurnerSession& s = *session;
    if (!s.driveControl || !info) return VRX_FAIL;
    uint32_t error = 0;
    return s.driveControl->QueryDiscInfo(drive, info, &error) == com::S_OK ? VRX_OK : VRX_FAIL;
}

E_VRX VRX_Burner::burn(int mode, void* ioObject, short speed) {
    BurnerSession& s = *session;
    const int32_t drive = static_cast<int32_t>(driveSelection[kDriveWord]);
    const auto object = reinterpret_cast<uintptr_t>(ioObject);

    switch (mode) {
        case 0:
        case 4:
            if (!s.project) return VRX_FAIL;
            if (s.project->BuildProject(s.projectHandle) != com::S_OK) return VRX_FAIL;
            ioInfo.sourceKind = kSourceProject;
            ioInfo.source = s.projectHandle;
            if (mode == 0) {
                ioInfo.targetKind = kTargetDrive;
                ioInfo.target = driveSelection[kDriveWord];
            } else {
                ioInfo.targetKind = kTargetObject;
                ioInfo.target = object;
            }
            break;
        case 1:
        case 2:
        case 3:
        case 5: {
            if (!ioObject) return VRX_FAIL;
            static constexpr uint16_t kSourceKinds[] = {0, 6, 5, 9, 0, 1};
            ioInfo.sourceKind = kSourceKinds[mode];
            ioInfo.source = object;
            ioInfo.targetKind = kTargetDrive;
            ioInfo.target = driveSelection[kDriveWord];
            break;
        }
        default:
            break;  // source and target as the host set them
    }

    ioInfo.sourceStart = kTrackStart;
    ioInfo.sourceSectorSize = kSourceSectorSize;
    ioInfo.targetStart = kTrackStart;
    ioInfo.targetSectorSize = kTargetSectorSize;
    ioInfo.formatCode = kFormatCode;
    ioInfo.writeFlags |= kWriteFlagBurn;

    if (!s.recorder || !s.driveControl) return VRX_FAIL;

    int16_t maxSpeed = 0;
    uint32_t error = 0;
    // A drive that cannot tell its maximum is asked for the requested speed.
    if (s.driveControl->GetMaxWriteSpeed(drive, &maxSpeed, &error) == com::S_OK && speed > maxSpeed)
        ioInfo.speed = static_cast<float>(maxSpeed);
    else
        ioInfo.speed = static_cast<float>(speed);

    reportInfo.reportKind = 4;
    reportInfo.reportFlag = 1;

    if (s.recorder->SetupRecorder(&ioInfo, &reportInfo) != com::S_OK) {
        char caption[] = "VRX burner init failure";
        DBG_MSG(caption);
        return VRX_ERR_RECORDER_SETUP;
    }
    s.recorder->StartRecording(1);
    s.recorder->EndRecording();
    s.driveControl->UnlockDrive(drive, &error);
    return VRX_OK;
}

E_VRX VRX_Burner::erase(short eraseMode) {
    BurnerSession& s = *session;
    if (!s.eraser) return VRX_FAIL;
    s.eraser->SetEraseDrive(static_cast<int32_t>(driveSelection[kDriveWord]));
    s.eraser->SetEraseMode(eraseMode);
    s.eraser->EraseDisc();
    s.eraser->FinishErase();
    return VRX_OK;
}

E_VRX VRX_Burner::ejectDisc(bool eject) {
    BurnerSession& s = *session;
    if (!s.driveControl) return VRX_FAIL;
    const int32_t drive = static_cast<int32_t>(driveSelection[kDriveWord]);
    uint32_t error = 0;
    if (eject) {
        s.driveControl->StopDrive(drive, &error);
        s.driveControl->UnlockDrive(drive, &error);
        s.driveControl->EjectMedia(drive, &error);
    } else {
        s.driveControl->LoadMedia(drive, &error);
    }
    return VRX_OK;
}
