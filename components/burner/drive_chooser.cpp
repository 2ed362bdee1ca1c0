// IDriveChooser: picks the drive to write to without asking anybody.
#include <cstring>

#include "com_object.h"
#include "drives.h"

namespace vcdalbum::components::burner {
namespace {

class DriveChooser final : public ComObject<vcdalbum::burner::IDriveChooser> {
public:
    DriveChooser() : ComObject(vcdalbum::burner::IID_IDriveChooser) {}

    // Fills the selection: word 0 the number of drives (the image recorder
    // included), word 1 the chosen drive, word 2 its QEL_DRIVE_* capabilities,
    // word 3 its maximum write speed. The first optical drive that writes
    // CD-R wins; with none, the image recorder.
    HRESULT VCD_STDCALL ChooseDrive(vcdalbum::burner::DriveSelection* selection) override {
        if (!selection) return com::E_POINTER;
        const size_t optical = Optical().Devices().size();
        _QelDriveInfo chosen{};
        int32_t number = 0;
        for (int32_t drive = 1; drive <= static_cast<int32_t>(optical); ++drive) {
            _QelDriveInfo info{};
            std::string ignored;
            if (QueryDrive(drive, info, ignored) && (info.capabilities & QEL_DRIVE_CAN_WRITE_CD_R)) {
                chosen = info;
                number = drive;
                break;
            }
        }
        if (number == 0) {
            std::string ignored;
            QueryDrive(0, chosen, ignored);
        }
        selection->word0 = static_cast<uint32_t>(optical + 1);
        selection->driveNumber = number;
        selection->word2 = chosen.capabilities;
        selection->word3 = chosen.maxWriteSpeed;
        return com::S_OK;
    }
};

}  // namespace

com::IUnknown* NewDriveChooser() { return new DriveChooser; }

}  // namespace vcdalbum::components::burner
