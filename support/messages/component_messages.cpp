#include "component_messages.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vcdalbum::components {

void Say(const std::string& message) {
    // One fwrite, so that lines from several threads never interleave.
    const std::string line = std::string(program_invocation_short_name) + ": " + message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

bool VerboseRun() {
    const char* value = std::getenv("VCDALBUM_VERBOSE");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

}  // namespace vcdalbum::components
