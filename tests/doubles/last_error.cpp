#include "doubles/last_error.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#endif

namespace vcdalbum::testing {

void SetLastSystemError(unsigned long code) {
#if defined(_WIN32)
    SetLastError(code);
#else
    errno = static_cast<int>(code);
#endif
}

}  // namespace vcdalbum::testing
