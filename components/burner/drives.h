// The drives the component knows: number 0 is the image recorder, numbers
// 1..N are the machine's optical drives in libcdio's order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contract/component_interfaces.h"

namespace vcdalbum::components::burner {

// The machine's optical drives, by device path. Behind an interface so that
// tests can stand in for drives this machine does not have.
class OpticalDrives {
public:
    virtual ~OpticalDrives() = default;
    virtual std::vector<std::string> Devices() = 0;
    virtual bool DriveInfo(const std::string& device, _QelDriveInfo& info, std::string& error) = 0;
    virtual bool DiscInfo(const std::string& device, _QelDiscInfo& info, std::string& error) = 0;
    // In multiples of 1x (176.4 kB/s); 0 when the drive does not say.
    virtual int16_t MaxWriteSpeed(const std::string& device) = 0;
    virtual bool Eject(const std::string& device, std::string& error) = 0;
    virtual bool Load(const std::string& device, std::string& error) = 0;
    virtual bool Unlock(const std::string& device, std::string& error) = 0;
};

// The drives through libcdio.
std::unique_ptr<OpticalDrives> MakeCdioDrives();

// The drives in use (libcdio's unless replaced).
OpticalDrives& Optical();
// Puts `drives` in place of the current ones and returns those; for tests.
std::unique_ptr<OpticalDrives> ReplaceOpticalDrives(std::unique_ptr<OpticalDrives> drives);

// The device path of optical drive `drive` (1..N); nullopt for 0 and unknown numbers.
std::optional<std::string> DeviceOfDrive(int32_t drive);
// True for 0 and for 1..N.
bool DriveExists(int32_t drive);
// Drive info of any drive number; false and a message for an unknown one.
bool QueryDrive(int32_t drive, _QelDriveInfo& info, std::string& error);

// Copies `text` (null for none) into a fixed field, cut to fit and always
// zero-terminated; the rest of the field is zero.
void CopyFixedText(char* out, size_t size, const char* text);

// Fills a drive record from what libcdio reports (its CDIO_DRIVE_CAP_* bits).
void DriveInfoFromCdio(const char* vendor, const char* model, const char* revision, uint32_t readCaps,
                       uint32_t writeCaps, uint32_t miscCaps, int16_t maxWriteSpeed, _QelDriveInfo& info);

}  // namespace vcdalbum::components::burner
