// The jpegtran program, for streams that libjpeg-turbo's API does not make
// directly (restart markers added to an existing file, transposed pictures).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vcdalbum::codec::testing {

// Runs jpegtran with `args` on `input`; empty on failure.
std::vector<uint8_t> Jpegtran(const std::string& args, const std::vector<uint8_t>& input);
bool HaveJpegtran();

std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace vcdalbum::codec::testing
