// BuildProject's work: check the project, describe it and let vcdxbuild make
// the BIN/CUE image in the project's work directory.
#pragma once

#include "contract/com_types.h"
#include "project.h"

namespace vcdalbum::components::burner {

// On failure one message is on standard error and the work directory holds
// no image (nor anything else a later build could pick up).
com::HRESULT BuildImage(Project& project);

}  // namespace vcdalbum::components::burner
