// The one message the library shows a person (VRX_Burner::DBG_MSG).
#pragma once

#include <string>

namespace vcdalbum::platform {

// Windows: a message box with the system text of the last error, which
// waits for a click. When no one can click (the variable named below is set
// and not empty, or the process runs on a window station without a visible
// desktop, as services and scheduled tasks do) it writes the line below
// instead. Elsewhere always one line on standard error,
// "<caption>: <strerror(errno)>"; it never blocks.
void ShowLastErrorMessage(const char* caption);

inline constexpr const char* kNoMessageBoxVariable = "VCDALBUM_NO_MESSAGE_BOX";

// "<caption>: <text>\n" on standard error, with any line end the system's
// text brought with it taken off.
void WriteMessageLine(const char* caption, std::string text);

}  // namespace vcdalbum::platform
