// IBurnRecorder: writes a built project to a drive: image files for drive 0,
// cdrdao for an optical drive.
#include <cmath>

#include "cdrdao.h"
#include "component_messages.h"
#include "com_object.h"
#include "drives.h"
#include "image_builder.h"
#include "image_recorder.h"
#include "project.h"
#include "results.h"

namespace vcdalbum::components::burner {
namespace {

using contract::kSourceProject;
using contract::kTargetDrive;
using contract::kTargetObject;

class BurnRecorder final : public ComObject<vcdalbum::burner::IBurnRecorder> {
public:
    BurnRecorder() : ComObject(vcdalbum::burner::IID_IBurnRecorder) {}

    HRESULT VCD_STDCALL SetupRecorder(IOInfo* io, ReportInfo*) override {
        setUp_ = false;
        if (!io) return com::E_POINTER;
        const IOInfo info = *io;  // packed record: copy before reading fields
        if (info.sourceKind != kSourceProject) {
            Complain("the recorder writes projects only (source kind " + std::to_string(kSourceProject) +
                     "), not source kind " + std::to_string(info.sourceKind));
            return com::E_NOTIMPL;
        }
        const uint32_t handle = static_cast<uint32_t>(info.source);
        if (!ProjectStore::Instance().With(handle, [](Project&) {})) {
            Complain("project handle " + std::to_string(handle) + " is not open");
            return QEL_E_UNKNOWN_PROJECT;
        }
        if (info.targetKind == kTargetDrive) {
            const int32_t drive = static_cast<int32_t>(info.target);
            if (!DriveExists(drive)) {
                Complain("there is no drive " + std::to_string(drive));
                return QEL_E_NO_DRIVE;
            }
            drive_ = drive;
            folder_.clear();
        } else if (info.targetKind == kTargetObject) {  // the folder for the image files
            const char* folder = reinterpret_cast<const char*>(info.target);
            if (!folder || !*folder) {
                Complain("no folder given for the image files");
                return com::E_POINTER;
            }
            folder_ = folder;
            drive_ = 0;
        } else {
            Complain("target kind " + std::to_string(info.targetKind) + " is not supported");
            return com::E_NOTIMPL;
        }
        const float speed = info.speed;
        speed_ = std::isfinite(speed) && speed > 0 ? static_cast<int>(std::lround(speed)) : 0;
        handle_ = handle;
        setUp_ = true;
        return com::S_OK;
    }

    HRESULT VCD_STDCALL StartRecording(int32_t) override {
        if (!setUp_) {
            Complain("recording was started before the recorder was set up");
            return QEL_E_NOT_SET_UP;
        }
        HRESULT hr = QEL_E_UNKNOWN_PROJECT;
        const bool open = ProjectStore::Instance().With(handle_, [&](Project& project) {
            if (!project.built) {
                hr = BuildImage(project);
                if (com::Failed(hr)) return;
            }
            hr = Record(project);
        });
        if (!open) Complain("project handle " + std::to_string(handle_) + " is not open");
        return hr;
    }

    HRESULT VCD_STDCALL EndRecording() override {
        setUp_ = false;
        return com::S_OK;
    }

private:
    HRESULT Record(const Project& project) const {
        if (!folder_.empty() || drive_ == 0) {
            const std::filesystem::path dir = folder_.empty() ? ImageDirectory() : std::filesystem::path(folder_);
            const HRESULT hr = DeliverImage(project, dir);
            if (com::Succeeded(hr) && VerboseRun())
                Complain("wrote " + (dir / (ImageBaseName(project.name) + ".cue")).string() + " and its .bin");
            return hr;
        }
        const std::optional<std::string> device = DeviceOfDrive(drive_);
        if (!device) {
            Complain("drive " + std::to_string(drive_) + " is gone");
            return QEL_E_NO_DRIVE;
        }
        std::error_code ec;
        const std::filesystem::path cue = std::filesystem::absolute(project.ImageCue(), ec);
        return RunCdrdao(CdrdaoWriteCommand(*device, speed_, cue.string()));
    }

    bool setUp_ = false;
    uint32_t handle_ = 0;
    int32_t drive_ = 0;
    std::string folder_;
    int speed_ = 0;
};

}  // namespace

com::IUnknown* NewBurnRecorder() { return new BurnRecorder; }

}  // namespace vcdalbum::components::burner
