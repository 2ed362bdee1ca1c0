// Sets the calling thread's last system error, the one DBG_MSG reports:
// GetLastError's on Windows, errno elsewhere. Kept out of line so that tests
// need not include <windows.h>, whose macros clash with our COM names.
#pragma once

namespace vcdalbum::testing {

void SetLastSystemError(unsigned long code);

}  // namespace vcdalbum::testing
