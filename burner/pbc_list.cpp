#include "burner/pbc_list.h"

#include <cstdlib>
#include <initializer_list>

#include "platform/heap_string.h"

namespace vcdalbum::burner {

PbcList* MakeList() { return static_cast<PbcList*>(std::calloc(1, sizeof(PbcList))); }

bool Append(PbcList* list, void* data) {
    auto* cell = static_cast<PbcListNode*>(std::malloc(sizeof(PbcListNode)));
    if (!cell) return false;
    cell->list = list;
    cell->data = data;
    cell->next = nullptr;
    if (list->count == 0)
        list->head = cell;
    else
        list->tail->next = cell;
    list->tail = cell;
    ++list->count;
    return true;
}

void FreeList(PbcList* list, bool freeData) {
    if (!list) return;
    for (PbcListNode* cell = list->head; cell;) {
        PbcListNode* next = cell->next;
        if (freeData) std::free(cell->data);
        std::free(cell);
        cell = next;
    }
    std::free(list);
}

_pbc_t* MakeNode(int32_t type, const char* name) {
    auto* node = static_cast<_pbc_t*>(std::calloc(1, sizeof(_pbc_t)));
    if (!node) return nullptr;
    node->type = type;
    node->id = platform::HeapCopy(name);
    bool ok = node->id != nullptr;
    if (type == PBC_PLAY_LIST) {
        ok = ok && (node->playItems = MakeList()) != nullptr;
    } else {
        ok = ok && (node->selections = MakeList()) != nullptr && (node->areas = MakeList()) != nullptr;
        node->selectionBase = 1;
        node->timeoutTime = -1;
        node->loopCount = 0;
    }
    if (!ok) {
        FreeNode(node);
        return nullptr;
    }
    return node;
}

void FreeNode(_pbc_t* node) {
    if (!node) return;
    for (char* text : {node->id, node->prevId, node->nextId, node->returnId, node->timeoutId, node->itemId})
        std::free(text);
    FreeList(node->playItems, true);
    FreeList(node->selections, true);
    FreeList(node->areas, false);
    std::free(node);
}

}  // namespace vcdalbum::burner
