// One disc, one television standard. vcdimager builds a disc whose tracks
// mix NTSC and PAL without a word, and players then switch badly or not at
// all, so such a project is refused before anything is written.
#pragma once

#include <optional>
#include <string>

#include "project.h"

namespace vcdalbum::components::burner {

// Reads the sequence header of every sequence item. The first item that
// is a VCD stream sets the disc's standard; the first one that differs is
// named in the returned message. Streams of neither standard are left to
// vcdxbuild. Nullopt when every stream agrees.
std::optional<std::string> CheckOneStandard(const Project& project);

}  // namespace vcdalbum::components::burner
