// vcdalbum drives: the drives a disc can be written to, through VRX_Burner.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>

#include "command.h"
#include "contract/stream_rules.h"
#include "vcdalbum/VRX_Burner.h"

namespace vcdalbum::cli {
namespace {

std::string Trimmed(const char* text, size_t size) {
    std::string s(text, strnlen(text, size));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    return s;
}

std::string DriveName(const _QelDriveInfo& info) {
    std::string name;
    for (const std::string& part : {Trimmed(info.vendor, sizeof info.vendor), Trimmed(info.model, sizeof info.model),
                                    Trimmed(info.revision, sizeof info.revision)})
        if (!part.empty()) name += (name.empty() ? "" : " ") + part;
    return name.empty() ? "(unnamed drive)" : name;
}

std::string Writes(const _QelDriveInfo& info) {
    const bool r = info.capabilities & QEL_DRIVE_CAN_WRITE_CD_R;
    const bool rw = info.capabilities & QEL_DRIVE_CAN_WRITE_CD_RW;
    if (r && rw) return "CD-R/RW";
    if (r) return "CD-R";
    if (rw) return "CD-RW";
    return "no";
}

std::string DiscStatus(const _QelDiscInfo& disc) {
    static const char* const types[] = {"", "CD-ROM", "CD-R", "CD-RW", "other disc"};
    static const char* const states[] = {"blank", "appendable", "complete", "no disc", "unknown"};
    if (disc.status == QEL_STATUS_NO_DISC || disc.discType == QEL_DISC_NONE) return "no disc";
    const std::string state = disc.status < 5 ? states[disc.status] : "unknown";
    const std::string type = disc.discType < 5 ? types[disc.discType] : "other disc";
    std::string text = state + " " + type;
    if (disc.status != QEL_STATUS_UNKNOWN) {
        const unsigned playing = disc.freeSectors / contract::kSectorsPerSecond;
        const unsigned minutes = playing / 60, seconds = playing % 60;
        text += ", " + std::to_string(minutes) + ":" + (seconds < 10 ? "0" : "") + std::to_string(seconds) + " free";
    }
    return text;
}

int ListDrives() {
    VRX_Burner burner;
    unsigned char name[] = "vcdalbum drives";
    // No project is needed to look at drives, so no kind-4 project is opened.
    if (burner.init(0, name) != VRX_OK) {
        PrintError("cannot look at the drives: the disc-writing part of vcdalbum could not be loaded");
        return kExitFailed;
    }
    std::cout << "drive  name                              writes   disc\n";
    // Drive 0, the image recorder, is always there; the optical drives
    // follow until the first number the component does not know.
    for (int drive = 0;; ++drive) {
        _QelDriveInfo info{};
        if (burner.getDriveInfo(drive, &info) != VRX_OK) {
            if (drive == 0) {
                PrintError("no drive found, not even the disc-image writer");
                return kExitFailed;
            }
            break;
        }
        _QelDiscInfo disc{};
        const std::string status = burner.getDiscInfo(drive, &disc) == VRX_OK ? DiscStatus(disc) : "unknown";
        std::string label = DriveName(info);
        if (label.size() < 32) label.resize(32, ' ');
        std::string writes = Writes(info);
        writes.resize(std::max<size_t>(writes.size(), 7), ' ');
        std::cout << (drive < 10 ? "    " : "   ") << drive << "  " << label << "  " << writes << "  " << status << '\n';
    }
    return kExitOk;
}

const bool drivesRegistered = RegisterCommand("drives", [](CLI::App& app) -> RunFn {
    app.add_subcommand("drives", "List the drives a disc can be written to (0 is the BIN/CUE image recorder)");
    return [] { return ListDrives(); };
});

}  // namespace
}  // namespace vcdalbum::cli
