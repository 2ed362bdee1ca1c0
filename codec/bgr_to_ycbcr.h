// Blue-green-red rows to Y at full width and Cb, Cr averaged over pixel
// pairs, in 7-bit fixed point. Every result stays within 0..255 without
// clamping.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vcdalbum::codec {

// Converts `pairs` pixel pairs (6 * pairs bytes of `bgr`): y gets 2 * pairs
// samples, cb and cr one rounded pair average each. Uses the fastest path
// the build offers.
void ConvertColourRow(const uint8_t* bgr, size_t pairs, uint8_t* y, uint8_t* cb, uint8_t* cr);

// The same in plain scalar code, the yardstick for the fast path.
void ConvertColourRowReference(const uint8_t* bgr, size_t pairs, uint8_t* y, uint8_t* cb, uint8_t* cr);

}  // namespace vcdalbum::codec
