// What every copy of one VRX_Burner shares: the component objects, the open
// project and the playback-control nodes the burner made.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "contract/component_interfaces.h"
#include "vcdalbum/records.h"

namespace vcdalbum::burner {

// Nodes handed out by getPlayListNode/getSelectionListNode. The component
// copies a node when AddNode hands it over, so the nodes only have to live
// as long as the burner that made them (and its copies) can be asked to add
// them; then they go, with their strings, lists and cells.
class NodeStore {
public:
    NodeStore() = default;
    NodeStore(const NodeStore&) = delete;
    NodeStore& operator=(const NodeStore&) = delete;
    ~NodeStore();

    // Takes ownership of a node made by MakeNode.
    void adopt(_pbc_t* node) { nodes_.push_back(node); }
    std::size_t size() const { return nodes_.size(); }

private:
    std::vector<_pbc_t*> nodes_;
};

struct BurnerSession {
    BurnerSession() : nodes(std::make_shared<NodeStore>()) {}
    // A fresh session for a new init: the old one's nodes stay usable.
    explicit BurnerSession(std::shared_ptr<NodeStore> keptNodes) : nodes(std::move(keptNodes)) {}
    BurnerSession(const BurnerSession&) = delete;
    BurnerSession& operator=(const BurnerSession&) = delete;
    // Closes the project (once: the session is shared by all copies), then
    // releases the objects, driveControl first and project last.
    ~BurnerSession();

    // Declared first so that it goes last, after the component objects.
    std::shared_ptr<NodeStore> nodes;

    com::ComPtr<IBurnProject> project;
    com::ComPtr<IBurnRecorder> recorder;
    com::ComPtr<IPictureEncoder> encoder;
    com::ComPtr<IDriveChooser> chooser;
    com::ComPtr<IDiscEraser> eraser;
    com::ComPtr<IAuxObject> auxObject;
    com::ComPtr<IDriveControl> driveControl;

    uint32_t projectHandle = 0;  // 0: no project open
};

}  // namespace vcdalbum::burner
