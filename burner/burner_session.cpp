#include "burner/burner_session.h"

#include "burner/pbc_list.h"

namespace vcdalbum::burner {

NodeStore::~NodeStore() {
    for (_pbc_t* node : nodes_) FreeNode(node);
}

BurnerSession::~BurnerSession() {
    if (project) project->CloseProject(projectHandle);
    driveControl.reset();
    auxObject.reset();
    eraser.reset();
    chooser.reset();
    encoder.reset();
    recorder.reset();
    project.reset();
}

}  // namespace vcdalbum::burner
