// IDiscEraser: blanks a CD-RW (cdrdao) or takes the image out of drive 0.
#include "cdrdao.h"
#include "com_object.h"
#include "drives.h"
#include "image_recorder.h"
#include "project.h"
#include "results.h"

namespace vcdalbum::components::burner {
namespace {

class DiscEraser final : public ComObject<vcdalbum::burner::IDiscEraser> {
public:
    DiscEraser() : ComObject(vcdalbum::burner::IID_IDiscEraser) {}

    HRESULT VCD_STDCALL SetEraseDrive(int32_t drive) override {
        if (!DriveExists(drive)) {
            Complain("there is no drive " + std::to_string(drive) + " to erase");
            return QEL_E_NO_DRIVE;
        }
        drive_ = drive;
        return com::S_OK;
    }

    // Mode 1 erases the whole disc, any other the table of contents only.
    HRESULT VCD_STDCALL SetEraseMode(int16_t mode) override {
        mode_ = mode;
        return com::S_OK;
    }

    HRESULT VCD_STDCALL EraseDisc() override {
        if (drive_ == 0) return EraseImageDisc() ? com::S_OK : QEL_E_DRIVE;
        const std::optional<std::string> device = DeviceOfDrive(drive_);
        if (!device) {
            Complain("there is no drive " + std::to_string(drive_) + " to erase");
            return QEL_E_NO_DRIVE;
        }
        return RunCdrdao(CdrdaoBlankCommand(*device, mode_));
    }

    HRESULT VCD_STDCALL FinishErase() override {
        drive_ = 0;
        mode_ = 0;
        return com::S_OK;
    }

private:
    int32_t drive_ = 0;
    int16_t mode_ = 0;
};

}  // namespace

com::IUnknown* NewDiscEraser() { return new DiscEraser; }

}  // namespace vcdalbum::components::burner
