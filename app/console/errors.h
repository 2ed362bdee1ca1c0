// The two ways a host step can fail, matching the tool's exit codes: bad input
// (the project, a picture, an option: exit 2) and a failed run (the encoder,
// the image build, the recorder: exit 1). Each message names the file, album
// or picture concerned.
#pragma once

#include <stdexcept>
#include <string>

namespace vcdalbum::host {

struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct RunError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace vcdalbum::host
