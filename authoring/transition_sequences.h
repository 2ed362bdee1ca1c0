// Transition frame sequences: the frame files of one transition are named
// "<serial>-<frame>.jpg" in the temporary directory.
#pragma once

#include <atomic>
#include <string>

#include "vcdalbum/Image.h"

namespace vcdalbum::authoring {

// Numbers the frame sequences of the whole process, from 0: every
// GetTransitionEffect call that renders frames takes the current value and
// raises it by 1 in one step, so transitions rendered at the same time on
// several threads never share a number (and never overwrite each other's
// frame files).
extern std::atomic<int> transitionSerial;

// "<TEMP><separator><serial>-<frame>.jpg".
std::string TransitionFramePath(int serial, int frame);

// Takes `count` consecutive serials at once and returns the first, so that
// frame sequences rendered out of order still carry the numbers a run in
// order would have given them.
int ReserveTransitionSerials(int count);

// GetTransitionEffect's work into a caller's array of 30 names (heap
// copies, the caller's to free), numbered with `serial`, or with the next
// value of transitionSerial when `serial` is negative. Returns non-zero, all
// 30 entries null, when nothing usable was made.
int RenderTransitionSequence(const char* first, const char* second, unsigned short effect, int serial,
                             char** frameNames);

// The same from two pictures already in memory (a `first` of another size
// is brought to `second`'s), for the end frames of moving pictures.
int RenderTransitionSequence(const ::Image& first, const ::Image& second, unsigned short effect, int serial,
                             char** frameNames);

}  // namespace vcdalbum::authoring
