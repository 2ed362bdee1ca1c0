// The playback-control records the wrapper builds: nodes and their linked
// lists. Everything here lives on the C heap, because the burner component
// reads these records directly.
#pragma once

#include "vcdalbum/records.h"

namespace vcdalbum::burner {

// A zeroed node of `type` with a copy of `name` as its id and the empty
// lists its kind carries; null when memory runs out.
_pbc_t* MakeNode(int32_t type, const char* name);

// Frees a node made by MakeNode, with its strings, lists and cells. The
// selection areas stay: they belong to whoever made them.
void FreeNode(_pbc_t* node);

// A new empty list; null when memory runs out.
PbcList* MakeList();

// Appends `data` at the tail in constant time. False when memory runs out.
bool Append(PbcList* list, void* data);

// Frees the list and its cells; with `freeData` also each element.
void FreeList(PbcList* list, bool freeData);

}  // namespace vcdalbum::burner
