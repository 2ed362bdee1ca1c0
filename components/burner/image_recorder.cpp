#include "image_recorder.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "disc_layout.h"
#include "drives.h"
#include "mpeg_file.h"
#include "results.h"

namespace vcdalbum::components::burner {
namespace {

struct LoadedImage {
    std::mutex mutex;
    std::filesystem::path cue, bin;
};

LoadedImage& Loaded() {
    static LoadedImage image;
    return image;
}

// The CUE vcdxbuild wrote names the BIN by its absolute work path; the
// delivered one names it by its bare file name, so the pair can be moved.
bool RewriteCue(const std::filesystem::path& from, const std::string& binName, std::string& text) {
    std::ifstream in(from);
    if (!in) return false;
    std::ostringstream out;
    std::string line;
    bool named = false;
    while (std::getline(in, line)) {
        if (line.rfind("FILE ", 0) == 0) {
            out << "FILE \"" << binName << "\" BINARY\n";
            named = true;
        } else {
            out << line << '\n';
        }
    }
    text = out.str();
    return named;
}

std::filesystem::path TemporaryName(const std::filesystem::path& dir, const std::string& name) {
    static std::atomic<unsigned> counter{0};
    return dir / ("." + name + ".part-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
}

}  // namespace

std::filesystem::path ImageDirectory() {
    const char* dir = std::getenv("VCDALBUM_IMAGE_DIR");
    if (dir && *dir) return dir;
    std::error_code ec;
    std::filesystem::path current = std::filesystem::current_path(ec);
    return ec ? std::filesystem::path(".") : current;
}

std::string ImageBaseName(const std::string& projectName) {
    std::string name;
    for (unsigned char c : projectName) name += (c < 0x20 || c == '/' || c == '\\' || c == '"' || c == 0x7f) ? '_' : c;
    if (name.empty() || name == "." || name == "..") name = "videocd";
    if (name.front() == '.') name.front() = '_';  // no hidden images
    return name;
}

com::HRESULT DeliverImage(const Project& project, const std::filesystem::path& dir) {
    const std::string base = ImageBaseName(project.name);
    const std::filesystem::path bin = dir / (base + ".bin");
    const std::filesystem::path cue = dir / (base + ".cue");
    const std::filesystem::path tmpBin = TemporaryName(dir, base + ".bin");
    const std::filesystem::path tmpCue = TemporaryName(dir, base + ".cue");
    std::error_code ec;
    auto fail = [&](const std::string& why) {
        std::error_code ignored;
        std::filesystem::remove(tmpBin, ignored);
        std::filesystem::remove(tmpCue, ignored);
        Complain("cannot write the image of project '" + project.name + "' to " + dir.string() + ": " + why);
        return QEL_E_DESTINATION;
    };

    std::string cueText;
    if (!RewriteCue(project.ImageCue(), base + ".bin", cueText)) return fail("the built CUE sheet cannot be read");
    if (!std::filesystem::is_directory(dir, ec)) return fail("no such directory");
    std::filesystem::copy_file(project.ImageBin(), tmpBin, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return fail(ec.message());
    {
        std::ofstream out(tmpCue, std::ios::trunc);
        out << cueText;
        out.close();
        if (!out) return fail("cannot write " + tmpCue.filename().string());
    }
    std::filesystem::rename(tmpBin, bin, ec);
    if (ec) return fail(ec.message());
    std::filesystem::rename(tmpCue, cue, ec);
    if (ec) {
        // A BIN without its CUE is no image; take it away again.
        std::error_code ignored;
        std::filesystem::remove(bin, ignored);
        return fail(ec.message());
    }

    LoadedImage& loaded = Loaded();
    std::lock_guard lock(loaded.mutex);
    loaded.cue = cue;
    loaded.bin = bin;
    return com::S_OK;
}

void ImageRecorderDriveInfo(_QelDriveInfo& info) {
    std::memset(&info, 0, sizeof info);
    CopyFixedText(info.vendor, sizeof info.vendor, "VCDALBUM");
    CopyFixedText(info.model, sizeof info.model, "BIN/CUE IMAGE");
    CopyFixedText(info.revision, sizeof info.revision, "1.0");
    info.driveNumber = 0;
    info.capabilities = QEL_DRIVE_CAN_READ_CD | QEL_DRIVE_CAN_WRITE_CD_R | QEL_DRIVE_CAN_WRITE_CD_RW |
                        QEL_DRIVE_CAN_EJECT | QEL_DRIVE_CAN_CLOSE_TRAY | QEL_DRIVE_CAN_SELECT_SPEED |
                        QEL_DRIVE_IS_IMAGE_RECORDER;
    info.maxReadSpeed = kImageRecorderMaxSpeed;
    info.maxWriteSpeed = kImageRecorderMaxSpeed;
    info.currentWriteSpeed = kImageRecorderMaxSpeed;
    info.bufferSizeKiB = 0;
}

void ImageRecorderDiscInfo(_QelDiscInfo& info) {
    std::memset(&info, 0, sizeof info);
    info.discType = QEL_DISC_CD_RW;
    info.erasable = 1;
    info.capacitySectors = static_cast<uint32_t>(kDiscSectors);

    LoadedImage& loaded = Loaded();
    std::lock_guard lock(loaded.mutex);
    std::error_code ec;
    const uint64_t binSize = loaded.bin.empty() ? 0 : std::filesystem::file_size(loaded.bin, ec);
    if (loaded.cue.empty() || ec || !std::filesystem::is_regular_file(loaded.cue, ec)) {
        info.status = QEL_STATUS_BLANK;
        info.freeSectors = info.capacitySectors;
        return;
    }
    info.status = QEL_STATUS_COMPLETE;
    info.sessions = 1;
    // The image starts after the 2-second gap before the first track.
    const uint64_t used = std::min<uint64_t>(binSize / kRawSectorBytes + vcdalbum::burner::kLeadInGapSectors, kDiscSectors);
    info.usedSectors = static_cast<uint32_t>(used);
    info.freeSectors = 0;  // a finished disc takes nothing more
    std::ifstream in(loaded.cue);
    std::string line;
    while (std::getline(in, line))
        if (line.find("TRACK ") != std::string::npos) ++info.tracks;
}

bool EraseImageDisc() {
    LoadedImage& loaded = Loaded();
    std::lock_guard lock(loaded.mutex);
    std::error_code ec;
    bool gone = true;
    for (const std::filesystem::path& file : {loaded.cue, loaded.bin}) {
        if (file.empty()) continue;
        std::filesystem::remove(file, ec);
        if (ec) {
            Complain("cannot erase " + file.string() + ": " + ec.message());
            gone = false;
        }
    }
    if (gone) loaded.cue.clear(), loaded.bin.clear();
    return gone;
}

}  // namespace vcdalbum::components::burner
