// VRX_Burner: choosing a drive, asking about it, burning, erasing, the tray.
#include <cstring>

#include "burner/burner_session.h"
#include "vcdalbum/VRX_Burner.h"

using vcdalbum::burner::BurnerSession;
namespace com = vcdalbum::com;
namespace vb = vcdalbum::burner;
namespace contract = vcdalbum::contract;

namespace {

// Word 1 of the chooser's record is the drive the burner works on.
constexpr int kDriveWord = 1;

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
            ioInfo.sourceKind = contract::kSourceProject;
            ioInfo.source = s.projectHandle;
            if (mode == 0) {
                ioInfo.targetKind = contract::kTargetDrive;
                ioInfo.target = driveSelection[kDriveWord];
            } else {
                ioInfo.targetKind = contract::kTargetObject;
                ioInfo.target = object;
            }
            break;
        case 1:
        case 2:
        case 3:
        case 5: {
            if (!ioObject) return VRX_FAIL;
            static constexpr uint16_t kSourceKinds[] = {0, contract::kSourceObjectMode1, contract::kSourceObjectMode2,
                                                        contract::kSourceObjectMode3, 0, contract::kSourceObjectMode5};
            ioInfo.sourceKind = kSourceKinds[mode];
            ioInfo.source = object;
            ioInfo.targetKind = contract::kTargetDrive;
            ioInfo.target = driveSelection[kDriveWord];
            break;
        }
        default:
            break;  // source and target as the host set them
    }

    ioInfo.sourceStart = contract::kTrackStartSector;
    ioInfo.sourceSectorSize = contract::kSourceSectorBytes;
    ioInfo.targetStart = contract::kTrackStartSector;
    ioInfo.targetSectorSize = contract::kTargetSectorBytes;
    ioInfo.formatCode = contract::kFormatVcd;
    ioInfo.writeFlags |= contract::kWriteFlagBurn;

    if (!s.recorder || !s.driveControl) return VRX_FAIL;

    int16_t maxSpeed = 0;
    uint32_t error = 0;
    // A drive that cannot tell its maximum is asked for the requested speed.
    if (s.driveControl->GetMaxWriteSpeed(drive, &maxSpeed, &error) == com::S_OK && speed > maxSpeed)
        ioInfo.speed = static_cast<float>(maxSpeed);
    else
        ioInfo.speed = static_cast<float>(speed);

    reportInfo.reportKind = contract::kReportKind;
    reportInfo.reportFlag = contract::kReportFlag;

    if (s.recorder->SetupRecorder(&ioInfo, &reportInfo) != com::S_OK) {
        char caption[] = "VRX burner init failure";
        DBG_MSG(caption);
        return VRX_ERR_RECORDER_SETUP;
    }
    s.recorder->StartRecording(contract::kRecordingMode);
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
