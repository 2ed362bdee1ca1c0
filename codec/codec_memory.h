// The Huffman table block that the stream reader fills and the decoder
// derives its code tables from. Every decode keeps its own blocks, so the
// codec has no memory shared between calls.
#pragma once

#include <cstdint>

namespace vcdalbum::codec {

// One Huffman table as a DHT segment defines it, plus the code limits that
// the bit-serial search of T.81 Figure F.16 needs (derived per decode).
struct HuffTable {
    uint8_t counts[17];    // codes per length 1..16; entry 0 is 0
    uint8_t values[257];   // symbol values in stream order
    int16_t minCode[17];   // first code of each length 1..16
    int32_t maxCode[18];   // last code of each length 1..16, -1 when none; [17] is a sentinel
    int32_t valuePtr[17];  // index in `values` of the first symbol of each length
};
static_assert(sizeof(HuffTable) == 448, "a Huffman table block is 448 bytes");

inline constexpr int kTableSlots = 4;

// Kept for callers that prepare the codec before use: the tables now live
// in each decode's own state, so there is nothing to allocate. Always true.
bool EnsureCodecTables();

// Kept for callers that release the codec: nothing is held between calls.
void ReleaseCodecTables();

}  // namespace vcdalbum::codec
