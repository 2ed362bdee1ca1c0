// A picture as a Video CD segment still: one MPEG-1 intra picture, 352x240
// NTSC, in a program stream of 2324-byte packets.
#pragma once

#include <string>

namespace vcdalbum::components::burner {

// Reads any picture FFmpeg can read (JPEG above all), fits it into the frame
// with its aspect ratio kept for 10:11 pixels and black borders, and writes
// the still to `mpegFile` under a temporary name first. False and a reason
// on failure; then nothing is left at `mpegFile`.
bool EncodeStill(const std::string& picture, const std::string& mpegFile, std::string& error);

}  // namespace vcdalbum::components::burner
