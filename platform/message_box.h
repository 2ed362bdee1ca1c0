// The one message the library shows a person (VRX_Burner::DBG_MSG).
#pragma once

namespace vcdalbum::platform {

// Windows: a message box with the system text of the last error. Elsewhere
// one line on standard error, "<caption>: <strerror(errno)>"; it never blocks.
void ShowLastErrorMessage(const char* caption);

}  // namespace vcdalbum::platform
