#include "build/image_install.h"

#include <array>
#include <string>

#include "console/errors.h"
#include "build/work_folder.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

// One file of the image: where it goes, and where its predecessor is kept.
struct Placed {
    fs::path staged, target, backup;
    bool hadOld = false;
};

// A second name for the old file, so that renaming over it keeps its
// contents; a copy where the file system has no hard links.
void KeepOld(Placed& p) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(p.target, ec))) return;
    fs::create_hard_link(p.target, p.backup, ec);
    if (ec) fs::copy_file(p.target, p.backup, fs::copy_options::overwrite_existing, ec);
    if (ec) throw RunError(p.target.string() + ": the image there cannot be kept while the new one is put in (" +
                           ec.message() + ")");
    p.hadOld = true;
}

void PutBack(const Placed& p) {
    std::error_code ec;
    if (p.hadOld)
        fs::rename(p.backup, p.target, ec);
    else
        fs::remove(p.target, ec);
}

}  // namespace

std::unique_ptr<UndoOnStop> InstallImage(const fs::path& stagedCue, const fs::path& stagedBin, const fs::path& cue,
                                         const fs::path& bin, const fs::path& backups) {
    // The BIN first: a CUE is what readers open, so it appears last.
    auto files = std::make_shared<std::array<Placed, 2>>();
    (*files)[0] = {stagedBin, bin, backups / "old.bin"};
    (*files)[1] = {stagedCue, cue, backups / "old.cue"};
    return std::make_unique<UndoOnStop>(
        [&] {
            for (Placed& p : *files) KeepOld(p);
            for (size_t i = 0; i < files->size(); ++i) {
                std::error_code ec;
                fs::rename((*files)[i].staged, (*files)[i].target, ec);
                if (ec) {
                    for (size_t j = 0; j < i; ++j) PutBack((*files)[j]);
                    throw RunError((*files)[i].target.string() + ": the disc image cannot be put in place (" +
                                   ec.message() + ")");
                }
            }
        },
        [files] {
            for (const Placed& p : *files) PutBack(p);
        });
}

}  // namespace vcdalbum::host
