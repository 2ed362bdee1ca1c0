// What the components say on standard error, and when. A person knows the
// program they ran, not its parts, so each line starts with the program's
// name, never a component's. The outside tools' own lines (vcdxbuild,
// cdrdao) and notes on how the work went are for verbose runs only: a host
// asks for them with VCDALBUM_VERBOSE=1 in the environment; unset or "0",
// only failures and warnings a person can act on are shown.
#pragma once

#include <string>

namespace vcdalbum::components {

// "<program>: <message>" and a line end on standard error, in one write.
void Say(const std::string& message);

// Whether the host asked for a verbose run.
bool VerboseRun();

}  // namespace vcdalbum::components
