#include "platform/message_box.h"

#include <cstdio>

namespace vcdalbum::platform {

void WriteMessageLine(const char* caption, std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text.c_str());
    std::fflush(stderr);
}

}  // namespace vcdalbum::platform
