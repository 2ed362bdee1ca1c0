// Whether a music file gives sound, found before a build spends its time:
// the stream encoder would otherwise skip the file quietly and leave the
// album silent.
#pragma once

#include <string>

#include "picture_input.h"

namespace vcdalbum::components::picture_input {

// Opens `path` and decodes until its first samples. Missing, unreadable,
// without an audio stream, or without a single decodable sample, it gives a
// Problem; a file that plays gives none.
Problem CheckSoundFile(const std::string& path);

}  // namespace vcdalbum::components::picture_input
