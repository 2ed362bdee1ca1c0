#include "build/free_space.h"

#include <sys/stat.h>

#include <string>

#include "console/errors.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

std::string Megabytes(uint64_t bytes, bool up) {
    constexpr uint64_t kMegabyte = 1000 * 1000;
    return std::to_string(up ? (bytes + kMegabyte - 1) / kMegabyte : bytes / kMegabyte) + " MB";
}

}  // namespace

void CheckFreeSpace(const std::vector<SpaceNeed>& needs) {
    struct Device {
        dev_t id;
        uint64_t bytes;
        std::string folders, what;
        fs::path first;
    };
    std::vector<Device> devices;
    for (const SpaceNeed& need : needs) {
        struct stat st {};
        if (stat(need.folder.c_str(), &st) != 0) continue;
        Device* device = nullptr;
        for (Device& d : devices)
            if (d.id == st.st_dev) device = &d;
        if (!device) {
            device = &devices.emplace_back(Device{st.st_dev, 0, need.folder.string(), need.what, need.folder});
        } else {
            device->folders += " and " + need.folder.string();
            device->what += std::string(" and ") + need.what;
        }
        device->bytes += need.bytes;
    }
    for (const Device& d : devices) {
        std::error_code ec;
        const fs::space_info space = fs::space(d.first, ec);
        if (ec || space.available >= d.bytes) continue;
        throw InputError("not enough room for " + d.what + ": needs " + Megabytes(d.bytes, true) + " in " + d.folders + ", " +
                         Megabytes(space.available, false) + " free");
    }
}

}  // namespace vcdalbum::host
