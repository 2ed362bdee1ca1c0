// IDriveControl: drive and disc information, speed and tray of every drive.
#include "com_object.h"
#include "drives.h"
#include "image_recorder.h"
#include "project.h"
#include "results.h"

namespace vcdalbum::components::burner {
namespace {

class DriveControl final : public ComObject<vcdalbum::burner::IDriveControl> {
public:
    DriveControl() : ComObject(vcdalbum::burner::IID_IDriveControl) {}

    // A number past the last drive fails quietly: asking drive after drive
    // until one fails is how a host counts them.
    HRESULT VCD_STDCALL QueryDriveInfo(int32_t drive, _QelDriveInfo* info, uint32_t* error) override {
        if (!info) return Report(error, com::E_POINTER);
        if (!DriveExists(drive)) return Report(error, QEL_E_NO_DRIVE);
        std::string why;
        if (!QueryDrive(drive, *info, why)) return Report(error, Complaint(why, drive));
        return Report(error, com::S_OK);
    }

    HRESULT VCD_STDCALL QueryDiscInfo(int32_t drive, _QelDiscInfo* info, uint32_t* error) override {
        if (!info) return Report(error, com::E_POINTER);
        if (drive == 0) {
            ImageRecorderDiscInfo(*info);
            return Report(error, com::S_OK);
        }
        const std::optional<std::string> device = DeviceOfDrive(drive);
        if (!device) return Report(error, Complaint("", drive));
        std::string why;
        if (!Optical().DiscInfo(*device, *info, why)) return Report(error, Complaint(why, drive));
        return Report(error, com::S_OK);
    }

    // Nothing spins on its own between commands here; stopping is accepted.
    HRESULT VCD_STDCALL StopDrive(int32_t drive, uint32_t* error) override {
        return Report(error, DriveExists(drive) ? com::S_OK : Complaint("", drive));
    }

    HRESULT VCD_STDCALL GetMaxWriteSpeed(int32_t drive, int16_t* write, uint32_t* error) override {
        if (!write) return Report(error, com::E_POINTER);
        if (drive == 0) {
            *write = kImageRecorderMaxSpeed;
            return Report(error, com::S_OK);
        }
        const std::optional<std::string> device = DeviceOfDrive(drive);
        if (!device) return Report(error, Complaint("", drive));
        *write = Optical().MaxWriteSpeed(*device);
        return Report(error, com::S_OK);
    }

    HRESULT VCD_STDCALL OpenDrive(int32_t drive, uint32_t* error) override {
        return Report(error, DriveExists(drive) ? com::S_OK : Complaint("", drive));
    }

    HRESULT VCD_STDCALL UnlockDrive(int32_t drive, uint32_t* error) override {
        return Tray(drive, error, &OpticalDrives::Unlock);
    }
    HRESULT VCD_STDCALL EjectMedia(int32_t drive, uint32_t* error) override {
        return Tray(drive, error, &OpticalDrives::Eject);
    }
    HRESULT VCD_STDCALL LoadMedia(int32_t drive, uint32_t* error) override {
        return Tray(drive, error, &OpticalDrives::Load);
    }

private:
    static HRESULT Report(uint32_t* error, HRESULT hr) {
        if (error) *error = com::Succeeded(hr) ? 0 : static_cast<uint32_t>(hr);
        return hr;
    }

    static HRESULT Complaint(const std::string& why, int32_t drive) {
        Complain(why.empty() ? "there is no drive " + std::to_string(drive) : why);
        return why.empty() ? QEL_E_NO_DRIVE : QEL_E_DRIVE;
    }

    // The image recorder's tray opens and closes without anything to move.
    static HRESULT Tray(int32_t drive, uint32_t* error,
                       bool (OpticalDrives::*command)(const std::string&, std::string&)) {
        if (drive == 0) return Report(error, com::S_OK);
        const std::optional<std::string> device = DeviceOfDrive(drive);
        if (!device) return Report(error, Complaint("", drive));
        std::string why;
        if (!(Optical().*command)(*device, why)) return Report(error, Complaint(why, drive));
        return Report(error, com::S_OK);
    }
};

}  // namespace

com::IUnknown* NewDriveControl() { return new DriveControl; }

}  // namespace vcdalbum::components::burner
