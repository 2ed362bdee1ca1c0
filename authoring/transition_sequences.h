// Transition frame sequences: the frame files of one transition are named
// "<serial>-<frame>.jpg" in the temporary directory.
#pragma once

#include <atomic>
#include <string>

namespace vcdalbum::authoring {

// Numbers the frame sequences of the whole process, from 0: every
// GetTransitionEffect call that renders frames takes the current value and
// raises it by 1 in one step, so transitions rendered at the same time on
// several threads never share a number (and never overwrite each other's
// frame files).
extern std::atomic<int> transitionSerial;

// "<TEMP><separator><serial>-<frame>.jpg".
std::string TransitionFramePath(int serial, int frame);

}  // namespace vcdalbum::authoring
