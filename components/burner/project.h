// The disc projects the component holds: content items, extra files and
// playback-control nodes, each project under its own handle.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "contract/component_interfaces.h"

namespace vcdalbum::components::burner {

// An MPEG track of the disc, played through its item ID.
struct SequenceItem {
    std::string itemId;
    std::string file;
    std::string entryId;
    uint64_t sectors = 0;   // length in 2324-byte sectors
    bool isDat = false;     // a RIFF/CDXA file holding raw Mode 2 sectors
};

// An MPEG still (or short clip) in the segment area of the disc.
struct SegmentItem {
    std::string itemId;
    std::string file;
};

// A plain file copied into the disc's file system.
struct ExtraFile {
    std::string source;      // file on this machine
    std::string discPath;    // folder/name on the disc
};

// A playback-control node, copied whole from the caller's _pbc_t so that the
// caller may change or free its record after handing it over.
struct PbcNode {
    int32_t type = 0;  // PBC_PLAY_LIST or PBC_SELECTION_LIST
    std::string name;
    std::optional<std::string> prev, next, ret;
    int32_t waitTime = 0;
    std::vector<std::string> playItems;
    std::optional<_pbc_area_t> prevArea, nextArea, returnArea;
    std::vector<std::optional<_pbc_area_t>> areas;  // one per selection, by position
    int32_t selectionBase = 1;
    std::optional<std::string> timeoutTarget;
    int32_t timeoutTime = -1;
    int32_t loopCount = 0;
    std::optional<std::string> item;
    std::vector<std::string> selections;
};

// Copies a node and everything hanging from it. An invalid node (unknown
// type, no name, missing list) gives nullopt and a reason.
std::optional<PbcNode> CopyNode(const _pbc_t& node, std::string& why);

struct Project {
    uint32_t handle = 0;
    uint8_t kind = 0;
    std::string name;
    std::vector<SequenceItem> sequences;
    std::vector<SegmentItem> segments;
    std::vector<ExtraFile> files;
    std::vector<std::string> directories;  // folders on the disc
    std::vector<PbcNode> nodes;            // in the order they were added

    // Where BuildProject writes the description and the image; made on the
    // first build, removed with the project.
    std::filesystem::path workDir;
    // Set by a successful BuildProject, cleared by every change after it.
    bool built = false;

    std::filesystem::path ImageBin() const { return workDir / "disc.bin"; }
    std::filesystem::path ImageCue() const { return workDir / "disc.cue"; }
    std::filesystem::path Description() const { return workDir / "disc.xml"; }

    // True when the item ID names a sequence or segment item.
    bool HasItem(const std::string& itemId) const;
};

// All open projects of the process. Handles start at 1 and are never reused,
// so a handle closed twice, or one never opened, is simply unknown.
class ProjectStore {
public:
    static ProjectStore& Instance();

    uint32_t Open(uint8_t kind);
    // Removes the project and its work directory; false for an unknown handle.
    bool Close(uint32_t handle);

    // Runs `work` on the project under the store's lock; false (and no call)
    // for an unknown handle.
    template <class Fn>
    bool With(uint32_t handle, Fn&& work) {
        std::lock_guard lock(mutex_);
        auto found = projects_.find(handle);
        if (found == projects_.end()) return false;
        work(*found->second);
        return true;
    }

private:
    std::mutex mutex_;
    std::map<uint32_t, std::unique_ptr<Project>> projects_;
    uint32_t nextHandle_ = 1;
};

// The directory for temporary work: TEMP, else TMPDIR, else the system's.
std::filesystem::path TemporaryDirectory();

// Writes "<program>: <message>" on standard error (component_messages.h).
void Complain(const std::string& message);

}  // namespace vcdalbum::components::burner
