#include <cerrno>
#include <system_error>

#include "platform/message_box.h"

namespace vcdalbum::platform {

// No desktop to show a box on: one line on standard error, so that a program
// without a terminal never waits for a click.
void ShowLastErrorMessage(const char* caption) {
    const int error = errno;
    WriteMessageLine(caption, std::generic_category().message(error));
}

}  // namespace vcdalbum::platform
