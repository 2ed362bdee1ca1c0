// Tests set environment variables through the platform's own scoped setter.
#pragma once

#include "platform/scoped_env.h"

namespace vcdalbum::testing {

using platform::ScopedEnv;
using platform::SetEnv;

}  // namespace vcdalbum::testing
