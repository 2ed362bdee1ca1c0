// What the commands that draw pictures (build, demo, gallery) share around
// their work: the host's errors become exit codes, and cairo's font caches
// are handed back once every cairo object is gone.
#pragma once

#include <functional>

namespace vcdalbum::cli {

// Runs `body`. An InputError is printed and gives kExitBadInput, a RunError
// is printed and gives kExitFailed; otherwise the body's own exit code.
int RunDrawingCommand(const std::function<int()>& body);

}  // namespace vcdalbum::cli
