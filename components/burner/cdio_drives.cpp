// The machine's optical drives through libcdio (which can read and steer a
// drive but not write; writing goes through cdrdao).
#include <cdio/cdio.h>
#include <cdio/device.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>
#include <cdio/mmc_hl_cmds.h>
#include <cdio/mmc_ll_cmds.h>

#include <cstring>

#include "disc_layout.h"
#include "drives.h"

namespace vcdalbum::components::burner {

void DriveInfoFromCdio(const char* vendor, const char* model, const char* revision, uint32_t readCaps,
                       uint32_t writeCaps, uint32_t miscCaps, int16_t maxWriteSpeed, _QelDriveInfo& info) {
    std::memset(&info, 0, sizeof info);
    CopyFixedText(info.vendor, sizeof info.vendor, vendor);
    CopyFixedText(info.model, sizeof info.model, model);
    CopyFixedText(info.revision, sizeof info.revision, revision);

    // libcdio sets its UNKNOWN or ERROR bit when the drive would not say;
    // then nothing is claimed.
    const uint32_t unknown = CDIO_DRIVE_CAP_UNKNOWN | CDIO_DRIVE_CAP_ERROR;
    if (!(readCaps & unknown) && (readCaps & (CDIO_DRIVE_CAP_READ_CD_R | CDIO_DRIVE_CAP_READ_CD_RW | CDIO_DRIVE_CAP_READ_MODE2_FORM2)))
        info.capabilities |= QEL_DRIVE_CAN_READ_CD;
    if (!(writeCaps & unknown)) {
        if (writeCaps & CDIO_DRIVE_CAP_WRITE_CD_R) info.capabilities |= QEL_DRIVE_CAN_WRITE_CD_R;
        if (writeCaps & CDIO_DRIVE_CAP_WRITE_CD_RW) info.capabilities |= QEL_DRIVE_CAN_WRITE_CD_RW;
    }
    if (!(miscCaps & unknown)) {
        if (miscCaps & CDIO_DRIVE_CAP_MISC_EJECT) info.capabilities |= QEL_DRIVE_CAN_EJECT;
        if (miscCaps & CDIO_DRIVE_CAP_MISC_CLOSE_TRAY) info.capabilities |= QEL_DRIVE_CAN_CLOSE_TRAY;
        if (miscCaps & CDIO_DRIVE_CAP_MISC_LOCK) info.capabilities |= QEL_DRIVE_CAN_LOCK;
        if (miscCaps & CDIO_DRIVE_CAP_MISC_SELECT_SPEED) info.capabilities |= QEL_DRIVE_CAN_SELECT_SPEED;
    }
    const bool writes = info.capabilities & (QEL_DRIVE_CAN_WRITE_CD_R | QEL_DRIVE_CAN_WRITE_CD_RW);
    info.maxWriteSpeed = writes && maxWriteSpeed > 0 ? static_cast<uint16_t>(maxWriteSpeed) : 0;
    info.currentWriteSpeed = info.maxWriteSpeed;
}

namespace {

// kB/s of a 1x CD as drives count them.
constexpr int kOneXKiloBytes = 176;

class Device {
public:
    explicit Device(const std::string& path) : cdio_(cdio_open(path.c_str(), DRIVER_DEVICE)) {}
    ~Device() {
        if (cdio_) cdio_destroy(cdio_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    CdIo_t* get() const { return cdio_; }

private:
    CdIo_t* cdio_;
};

uint16_t Be16(const unsigned char* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// Speeds from the capabilities page (2Ah): [0] maximum read, [1] maximum
// write, [2] current write, in kB/s; 0 when the drive does not answer.
void CapabilityPageSpeeds(CdIo_t* cdio, uint16_t speeds[3], uint16_t& bufferKiB) {
    speeds[0] = speeds[1] = speeds[2] = 0;
    bufferKiB = 0;
    unsigned char buffer[256] = {};
    if (mmc_mode_sense_10(cdio, buffer, sizeof buffer, 0x2A) != DRIVER_OP_SUCCESS) return;
    const size_t page = 8 + Be16(buffer + 6);
    if (page + 30 > sizeof buffer || (buffer[page] & 0x3F) != 0x2A) return;
    speeds[0] = Be16(buffer + page + 8);
    speeds[1] = Be16(buffer + page + 18);
    speeds[2] = Be16(buffer + page + 28);
    bufferKiB = Be16(buffer + page + 12);
}

class CdioDrives : public OpticalDrives {
public:
    CdioDrives() { cdio_loglevel_default = CDIO_LOG_ERROR; }

    std::vector<std::string> Devices() override {
        std::vector<std::string> list;
        char** devices = cdio_get_devices(DRIVER_DEVICE);
        for (char** d = devices; d && *d; ++d) list.emplace_back(*d);
        cdio_free_device_list(devices);
        return list;
    }

    bool DriveInfo(const std::string& device, _QelDriveInfo& info, std::string& error) override {
        Device drive(device);
        if (!drive.get()) {
            error = "cannot open " + device;
            return false;
        }
        cdio_hwinfo_t hw{};
        if (!cdio_get_hwinfo(drive.get(), &hw)) std::memset(&hw, 0, sizeof hw);
        cdio_drive_read_cap_t read = 0;
        cdio_drive_write_cap_t write = 0;
        cdio_drive_misc_cap_t misc = 0;
        cdio_get_drive_cap(drive.get(), &read, &write, &misc);
        uint16_t speeds[3];
        uint16_t bufferKiB = 0;
        CapabilityPageSpeeds(drive.get(), speeds, bufferKiB);
        DriveInfoFromCdio(hw.psz_vendor, hw.psz_model, hw.psz_revision, read, write, misc,
                          static_cast<int16_t>(speeds[1] / kOneXKiloBytes), info);
        info.maxReadSpeed = static_cast<uint16_t>(speeds[0] / kOneXKiloBytes);
        if (speeds[2]) info.currentWriteSpeed = static_cast<uint16_t>(speeds[2] / kOneXKiloBytes);
        info.bufferSizeKiB = bufferKiB;
        return true;
    }

    bool DiscInfo(const std::string& device, _QelDiscInfo& info, std::string& error) override {
        std::memset(&info, 0, sizeof info);
        Device drive(device);
        if (!drive.get()) {
            error = "cannot open " + device;
            return false;
        }
        info.status = QEL_STATUS_NO_DISC;
        if (mmc_get_tray_status(drive.get()) == 1) return true;  // open tray: no disc to speak of

        cdio_mmc_feature_profile_t profile = CDIO_MMC_FEATURE_PROF_NON_REMOVABLE;
        if (mmc_get_disctype(drive.get(), 0, &profile) != DRIVER_OP_SUCCESS) {
            info.status = QEL_STATUS_UNKNOWN;
            return true;
        }
        switch (profile) {
            case CDIO_MMC_FEATURE_PROF_CD_ROM: info.discType = QEL_DISC_CD_ROM; break;
            case CDIO_MMC_FEATURE_PROF_CD_R: info.discType = QEL_DISC_CD_R; break;
            case CDIO_MMC_FEATURE_PROF_CD_RW: info.discType = QEL_DISC_CD_RW; break;
            default: info.discType = profile == 0 ? QEL_DISC_NONE : QEL_DISC_OTHER;
        }
        if (info.discType == QEL_DISC_NONE) return true;
        bool erasable = false;
        mmc_get_disc_erasable(drive.get(), &erasable);
        info.erasable = erasable ? 1 : 0;

        // READ DISC INFORMATION: status in the low bits of byte 2, sessions
        // in byte 4, the last possible lead-out as M:S:F in bytes 21..23.
        unsigned char data[34] = {};
        info.status = QEL_STATUS_UNKNOWN;
        if (mmc_read_disc_information(drive.get(), data, sizeof data, CDIO_MMC_READ_DISC_INFO_STANDARD, 0) ==
            DRIVER_OP_SUCCESS) {
            static constexpr uint8_t kStatus[4] = {QEL_STATUS_BLANK, QEL_STATUS_APPENDABLE, QEL_STATUS_COMPLETE,
                                                   QEL_STATUS_UNKNOWN};
            info.status = kStatus[data[2] & 3];
            info.sessions = info.status == QEL_STATUS_BLANK ? 0 : data[4];
            const uint32_t leadOut = (data[21] * 60u + data[22]) * 75u + data[23];
            if (leadOut > 150 && data[21] != 0xFF) info.capacitySectors = leadOut - 150;
        }
        if (info.status != QEL_STATUS_BLANK) {
            const lsn_t last = cdio_get_disc_last_lsn(drive.get());
            if (last != CDIO_INVALID_LSN && last > 0) info.usedSectors = static_cast<uint32_t>(last);
            const track_t tracks = cdio_get_num_tracks(drive.get());
            if (tracks != CDIO_INVALID_TRACK) info.tracks = tracks;
        }
        if (info.capacitySectors == 0)
            info.capacitySectors = info.status == QEL_STATUS_COMPLETE ? info.usedSectors : static_cast<uint32_t>(kDiscSectors);
        info.freeSectors = info.status == QEL_STATUS_COMPLETE || info.capacitySectors < info.usedSectors
                               ? 0
                               : info.capacitySectors - info.usedSectors;
        return true;
    }

    int16_t MaxWriteSpeed(const std::string& device) override {
        Device drive(device);
        if (!drive.get()) return 0;
        uint16_t speeds[3];
        uint16_t bufferKiB = 0;
        CapabilityPageSpeeds(drive.get(), speeds, bufferKiB);
        return static_cast<int16_t>(speeds[1] / kOneXKiloBytes);
    }

    bool Eject(const std::string& device, std::string& error) override {
        if (cdio_eject_media_drive(device.c_str()) == DRIVER_OP_SUCCESS) return true;
        error = "cannot open the tray of " + device;
        return false;
    }

    bool Load(const std::string& device, std::string& error) override {
        driver_id_t driver = DRIVER_DEVICE;
        if (cdio_close_tray(device.c_str(), &driver) == DRIVER_OP_SUCCESS) return true;
        error = "cannot close the tray of " + device;
        return false;
    }

    bool Unlock(const std::string& device, std::string& error) override {
        Device drive(device);
        if (drive.get() && mmc_prevent_allow_medium_removal(drive.get(), false, false, 0) == DRIVER_OP_SUCCESS)
            return true;
        error = "cannot unlock " + device;
        return false;
    }
};

}  // namespace

std::unique_ptr<OpticalDrives> MakeCdioDrives() { return std::make_unique<CdioDrives>(); }

}  // namespace vcdalbum::components::burner
