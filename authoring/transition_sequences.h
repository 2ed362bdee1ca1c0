// Transition frame sequences: the frame files of one transition are named
// "<serial>-<frame>.jpg" in the temporary directory.
#pragma once

#include <string>

namespace vcdalbum::authoring {

// Numbers the frame sequences of the whole process, from 0: every
// GetTransitionEffect call that renders frames uses it and raises it by 1.
// Not locked: transitions run one at a time in the process.
extern int transitionSerial;

// "<TEMP><separator><serial>-<frame>.jpg".
std::string TransitionFramePath(int serial, int frame);

}  // namespace vcdalbum::authoring
