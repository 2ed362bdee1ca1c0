// The BIN file a CUE sheet names, and a way to open the pair with libcdio,
// which ignores the sheet's FILE line and looks for the CUE's own name with
// ".bin" instead: an image whose files were renamed apart, or made by a tool
// that names them differently, would not open.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "build/work_folder.h"

namespace vcdalbum::host {

// The BIN file named by the first FILE line of `cue`, relative to the CUE's
// folder unless absolute. InputError naming the CUE when it cannot be read,
// names no file, or names one that is not there. A path that is a folder or
// missing gets its own message.
std::filesystem::path BinNamedBy(const std::filesystem::path& cue);

// A CUE path libcdio opens onto the BIN the sheet names: the CUE itself when
// its name already leads there, else a copy beside a link to the BIN in a
// folder of its own, which goes with this object.
class OpenableCue {
public:
    explicit OpenableCue(const std::filesystem::path& cue);
    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& bin() const { return bin_; }

private:
    std::optional<WorkFolder> folder_;
    std::filesystem::path path_, bin_;
};

}  // namespace vcdalbum::host
