// The host's progress function, as Authoring and the stream encoder's
// record take it.
#pragma once

// One percentage 0..100, no result.
typedef void (*ProgressCallBack)(int percent);
