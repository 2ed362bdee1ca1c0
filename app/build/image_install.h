// Putting a finished disc image in its place. The image is made in a hidden
// folder beside its final place and moved in only when both its files are
// complete, so that `--out` never shows half an image, and an older image of
// the same name stays whole until the new one replaces it.
#pragma once

#include <filesystem>
#include <memory>

namespace vcdalbum::host {

class UndoOnStop;

// Moves `stagedCue` and `stagedBin` over `cue` and `bin`, keeping the old
// files' contents in `backups` (a folder on the same file system) until the
// returned guard goes: a stopping signal before then puts the old image
// back, or takes the new one away when there was none. Throws RunError when
// the files cannot be moved; then the old image is as it was.
std::unique_ptr<UndoOnStop> InstallImage(const std::filesystem::path& stagedCue, const std::filesystem::path& stagedBin,
                                         const std::filesystem::path& cue, const std::filesystem::path& bin,
                                         const std::filesystem::path& backups);

}  // namespace vcdalbum::host
