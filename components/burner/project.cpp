#include "project.h"

#include <cstdlib>
#include <iostream>
#include <system_error>

#include "component_messages.h"

namespace vcdalbum::components::burner {
namespace {

// Longest list the component will walk; a count beyond it means a damaged
// record rather than a real disc (a list holds at most 99 selections).
constexpr int32_t kMaxListCells = 100000;

std::optional<std::string> CopyText(const char* text) {
    if (!text) return std::nullopt;
    return std::string(text);
}

// Walks a PbcList by its count; false when the cells run out early.
template <class Fn>
bool WalkList(const PbcList* list, Fn&& take) {
    if (!list) return true;
    if (list->count < 0 || list->count > kMaxListCells) return false;
    const PbcListNode* cell = list->head;
    for (int32_t i = 0; i < list->count; ++i) {
        if (!cell) return false;
        take(cell->data);
        cell = cell->next;
    }
    return true;
}

bool CopyStrings(const PbcList* list, std::vector<std::string>& out) {
    bool allPresent = true;
    const bool whole = WalkList(list, [&](void* data) {
        if (data)
            out.emplace_back(static_cast<const char*>(data));
        else
            allPresent = false;
    });
    return whole && allPresent;
}

}  // namespace

std::optional<PbcNode> CopyNode(const _pbc_t& node, std::string& why) {
    if (node.type != PBC_PLAY_LIST && node.type != PBC_SELECTION_LIST) {
        why = "has unknown type " + std::to_string(node.type);
        return std::nullopt;
    }
    if (!node.id || !*node.id) {
        why = "has no name";
        return std::nullopt;
    }
    PbcNode copy;
    copy.type = node.type;
    copy.name = node.id;
    copy.prev = CopyText(node.prevId);
    copy.next = CopyText(node.nextId);
    copy.ret = CopyText(node.returnId);
    if (node.type == PBC_PLAY_LIST) {
        copy.waitTime = node.waitTime;
        if (!CopyStrings(node.playItems, copy.playItems)) {
            why = "has a damaged list of play items";
            return std::nullopt;
        }
        return copy;
    }
    if (node.prevArea) copy.prevArea = *node.prevArea;
    if (node.nextArea) copy.nextArea = *node.nextArea;
    if (node.returnArea) copy.returnArea = *node.returnArea;
    const bool areasWhole = WalkList(node.areas, [&](void* data) {
        if (data)
            copy.areas.emplace_back(*static_cast<const _pbc_area_t*>(data));
        else
            copy.areas.emplace_back(std::nullopt);
    });
    if (!areasWhole) {
        why = "has a damaged list of selection areas";
        return std::nullopt;
    }
    copy.selectionBase = node.selectionBase;
    copy.timeoutTarget = CopyText(node.timeoutId);
    copy.timeoutTime = node.timeoutTime;
    copy.loopCount = node.loopCount;
    copy.item = CopyText(node.itemId);
    if (!CopyStrings(node.selections, copy.selections)) {
        why = "has a damaged list of selections";
        return std::nullopt;
    }
    return copy;
}

bool Project::HasItem(const std::string& itemId) const {
    for (const SequenceItem& item : sequences)
        if (item.itemId == itemId) return true;
    for (const SegmentItem& item : segments)
        if (item.itemId == itemId) return true;
    return false;
}

ProjectStore& ProjectStore::Instance() {
    static ProjectStore store;
    return store;
}

uint32_t ProjectStore::Open(uint8_t kind) {
    std::lock_guard lock(mutex_);
    auto project = std::make_unique<Project>();
    project->handle = nextHandle_++;
    project->kind = kind;
    project->name = "videocd";
    const uint32_t handle = project->handle;
    projects_.emplace(handle, std::move(project));
    return handle;
}

bool ProjectStore::Close(uint32_t handle) {
    std::unique_ptr<Project> project;
    {
        std::lock_guard lock(mutex_);
        auto found = projects_.find(handle);
        if (found == projects_.end()) return false;
        project = std::move(found->second);
        projects_.erase(found);
    }
    if (!project->workDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(project->workDir, ec);
    }
    return true;
}

std::filesystem::path TemporaryDirectory() {
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    std::error_code ec;
    std::filesystem::path system = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : system;
}

void Complain(const std::string& message) { Say(message); }

}  // namespace vcdalbum::components::burner
