#include "drives.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "image_recorder.h"

namespace vcdalbum::components::burner {
namespace {

std::mutex& DrivesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<OpticalDrives>& Current() {
    static std::unique_ptr<OpticalDrives> drives;
    return drives;
}

}  // namespace

void CopyFixedText(char* out, size_t size, const char* text) {
    std::memset(out, 0, size);
    if (text && size > 0) std::memcpy(out, text, std::min(std::strlen(text), size - 1));
}

OpticalDrives& Optical() {
    std::lock_guard lock(DrivesMutex());
    if (!Current()) Current() = MakeCdioDrives();
    return *Current();
}

std::unique_ptr<OpticalDrives> ReplaceOpticalDrives(std::unique_ptr<OpticalDrives> drives) {
    std::lock_guard lock(DrivesMutex());
    std::unique_ptr<OpticalDrives> old = std::move(Current());
    Current() = std::move(drives);
    return old;
}

std::optional<std::string> DeviceOfDrive(int32_t drive) {
    if (drive < 1) return std::nullopt;
    const std::vector<std::string> devices = Optical().Devices();
    if (static_cast<size_t>(drive) > devices.size()) return std::nullopt;
    return devices[static_cast<size_t>(drive) - 1];
}

bool DriveExists(int32_t drive) { return drive == 0 || DeviceOfDrive(drive).has_value(); }

bool QueryDrive(int32_t drive, _QelDriveInfo& info, std::string& error) {
    if (drive == 0) {
        ImageRecorderDriveInfo(info);
        return true;
    }
    const std::optional<std::string> device = DeviceOfDrive(drive);
    if (!device) {
        error = "there is no drive " + std::to_string(drive);
        return false;
    }
    if (!Optical().DriveInfo(*device, info, error)) return false;
    info.driveNumber = static_cast<uint8_t>(drive);
    return true;
}

}  // namespace vcdalbum::components::burner
