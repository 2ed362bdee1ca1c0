// The television standard a host chose for an Authoring object. The
// exported class keeps the layout hosts were built against, so the choice
// lives in a table of the library keyed by the object's address: entries
// are made by SetVideoStandard, copied with the object and dropped when it
// is destroyed. An object without an entry makes NTSC.
#pragma once

#include "contract/video_standard.h"

class Authoring;

namespace vcdalbum::authoring {

const video::VideoStandard& StandardOf(const Authoring& object);
void ChooseStandard(const Authoring& object, const video::VideoStandard& standard);
// `to` takes over `from`'s choice (or its absence).
void CopyStandard(const Authoring& from, const Authoring& to);
void ForgetStandard(const Authoring& object);

}  // namespace vcdalbum::authoring
