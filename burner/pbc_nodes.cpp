// VRX_Burner: making playback-control nodes, filling them and handing them
// to the project. Links are by name; nothing is resolved here.
#include <cstdlib>

#include "burner/burner_session.h"
#include "burner/pbc_list.h"
#include "platform/heap_string.h"
#include "vcdalbum/VRX_Burner.h"

using vcdalbum::burner::BurnerSession;
namespace vb = vcdalbum::burner;

namespace {

_pbc_t* MakeOwnedNode(BurnerSession& s, int32_t type, const char* name) {
    _pbc_t* node = vb::MakeNode(type, name ? name : "");
    if (node) s.nodes->adopt(node);
    return node;
}

// Sets a link that may be set only once.
E_VRX SetOnce(char*& field, const char* id) {
    if (field) return VRX_FAIL;
    if (!(field = vcdalbum::platform::HeapCopy(id))) return VRX_FAIL;
    return VRX_OK;
}

// Replaces a string field; the copy it replaces is freed.
E_VRX Replace(char*& field, const char* id) {
    char* copy = vcdalbum::platform::HeapCopy(id);
    if (!copy) return VRX_FAIL;
    std::free(field);
    field = copy;
    return VRX_OK;
}

E_VRX AppendCopy(PbcList* list, const char* id) {
    char* copy = vcdalbum::platform::HeapCopy(id);
    if (!copy) return VRX_FAIL;
    if (!vb::Append(list, copy)) {
        std::free(copy);
        return VRX_FAIL;
    }
    return VRX_OK;
}

bool IsPlayList(const _pbc_t* node) { return node->type == PBC_PLAY_LIST; }
bool IsSelectionList(const _pbc_t* node) { return node->type == PBC_SELECTION_LIST; }

}  // namespace

_pbc_t* VRX_Burner::getPlayListNode(char* name) { return MakeOwnedNode(*session, PBC_PLAY_LIST, name); }

_pbc_t* VRX_Burner::getSelectionListNode(char* name) {
    return MakeOwnedNode(*session, PBC_SELECTION_LIST, name);
}

E_VRX VRX_Burner::AddNode(_pbc_t* node) {
    BurnerSession& s = *session;
    if (!s.project || !node) return VRX_FAIL;
    return s.project->AddPbcNode(s.projectHandle, node) == vcdalbum::com::S_OK ? VRX_OK : VRX_FAIL;
}

E_VRX VRX_Burner::setPrevNode(_pbc_t* node, char* id) {
    if (!node || !id) return VRX_FAIL;
    return SetOnce(node->prevId, id);
}

E_VRX VRX_Burner::setNextNode(_pbc_t* node, char* id) {
    if (!node || !id) return VRX_FAIL;
    return SetOnce(node->nextId, id);
}

E_VRX VRX_Burner::setRetNode(_pbc_t* node, char* id) {
    if (!node || !id) return VRX_FAIL;
    return SetOnce(node->returnId, id);
}

E_VRX VRX_Burner::setWaitTime(_pbc_t* node, int waitTime) {
    if (!node) return VRX_FAIL;
    if (!IsPlayList(node)) return VRX_ERR_NOT_PLAY_LIST;
    node->waitTime = waitTime;
    return VRX_OK;
}

E_VRX VRX_Burner::addPlayItemID(_pbc_t* node, char* id) {
    if (!node || !id) return VRX_FAIL;
    if (!IsPlayList(node)) return VRX_ERR_NOT_PLAY_LIST;
    return AppendCopy(node->playItems, id);
}

E_VRX VRX_Burner::setLoopCount(_pbc_t* node, int loopCount) {
    if (!node) return VRX_FAIL;
    if (!IsSelectionList(node)) return VRX_ERR_NOT_SELECTION_LIST;
    node->loopCount = loopCount;
    return VRX_OK;
}

E_VRX VRX_Burner::setTimeoutID(_pbc_t* node, char* id) {
    if (!node || !id) return VRX_FAIL;
    if (!IsSelectionList(node)) return VRX_ERR_NOT_SELECTION_LIST;
    return Replace(node->timeoutId, id);
}

E_VRX VRX_Burner::setTimeoutTime(_pbc_t* node, int timeoutTime) {
    if (!node) return VRX_FAIL;
    if (!IsSelectionList(node)) return VRX_ERR_NOT_SELECTION_LIST;
    node->timeoutTime = timeoutTime;
    return VRX_OK;
}

E_VRX VRX_Burner::setSelectionItemID(_pbc_t* node, char* id) {
    if (!node || !id) return VRX_FAIL;
    if (!IsSelectionList(node)) return VRX_ERR_NOT_SELECTION_LIST;
    return Replace(node->itemId, id);
}

E_VRX VRX_Burner::addSelectionID(_pbc_t* node, char* id) {
    if (!node || !id) return VRX_FAIL;
    if (!IsSelectionList(node)) return VRX_ERR_NOT_SELECTION_LIST;
    return AppendCopy(node->selections, id);
}

E_VRX VRX_Burner::addSelectionAreas(_pbc_t* node, _pbc_area_t* area) {
    if (!node) return VRX_FAIL;
    if (!IsSelectionList(node)) return VRX_ERR_NOT_SELECTION_LIST;
    return vb::Append(node->areas, area) ? VRX_OK : VRX_FAIL;
}

E_VRX VRX_Burner::setNextSelectionArea(_pbc_t* node, _pbc_area_t* area) {
    if (!node) return VRX_FAIL;
    if (!IsSelectionList(node)) return VRX_ERR_NOT_SELECTION_LIST;
    node->nextArea = area;
    return VRX_OK;
}

E_VRX VRX_Burner::setPrevSelectionArea(_pbc_t* node, _pbc_area_t* area) {
    if (!node) return VRX_FAIL;
    if (!IsSelectionList(node)) return VRX_ERR_NOT_SELECTION_LIST;
    node->prevArea = area;
    return VRX_OK;
}

E_VRX VRX_Burner::setRetnSelectionArea(_pbc_t* node, _pbc_area_t* area) {
    if (!node) return VRX_FAIL;
    if (!IsSelectionList(node)) return VRX_ERR_NOT_SELECTION_LIST;
    node->returnArea = area;
    return VRX_OK;
}
