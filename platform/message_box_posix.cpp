#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include "platform/message_box.h"

namespace vcdalbum::platform {

// No desktop to show a box on: one line on standard error, so that a program
// without a terminal never waits for a click.
void ShowLastErrorMessage(const char* caption) {
    const int error = errno;
    const std::string text = std::generic_category().message(error);
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text.c_str());
    std::fflush(stderr);
}

}  // namespace vcdalbum::platform
