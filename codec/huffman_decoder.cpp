#include "codec/huffman_decoder.h"

namespace vcdalbum::codec {

void DeriveHuffmanTable(HuffTable& table, HuffmanLookup& lookup, bool ac) {
    std::memset(lookup.fast, 0, sizeof lookup.fast);
    std::memset(lookup.fastAc, 0, sizeof lookup.fastAc);
    int total = 0;
    for (int l = 1; l <= 16; ++l) total += table.counts[l];
    if (total > 256) total = 256;  // the reader refuses such tables; stay bounded anyway
    lookup.total = total;
    std::memcpy(lookup.values, table.values, static_cast<size_t>(total));

    // Canonical codes: consecutive within a length, doubled between lengths.
    int32_t code = 0;
    int k = 0;
    table.counts[0] = 0;
    for (int l = 1; l <= 16; ++l) {
        const int count = table.counts[l] < total - k ? table.counts[l] : total - k;
        if (count > 0) {
            lookup.valuePtr[l] = k;
            lookup.minCode[l] = code;
            lookup.maxCode[l] = code + count - 1;
            for (int i = 0; i < count && l <= kLookaheadBits; ++i) {
                const int32_t c = code + i;
                if (c >= (1 << l)) break;  // overfull table: codes past l bits cannot be looked up
                const int shift = kLookaheadBits - l;
                const uint8_t symbol = lookup.values[k + i];
                for (int32_t j = 0; j < (1 << shift); ++j) {
                    const int32_t index = (c << shift) | j;
                    lookup.fast[index] = static_cast<uint16_t>((l << 8) | symbol);
                    const int run = symbol >> 4, size = symbol & 15;
                    if (ac && size != 0 && l + size <= kLookaheadBits) {
                        const uint32_t extra = static_cast<uint32_t>(index >> (shift - size)) & ((1u << size) - 1);
                        lookup.fastAc[index] = Extend(extra, size) * 65536 + (run << 8) + (l + size);
                    }
                }
            }
            k += count;
            code += count;
        } else {
            lookup.valuePtr[l] = 0;
            lookup.minCode[l] = 0;
            lookup.maxCode[l] = -1;
        }
        table.valuePtr[l] = lookup.valuePtr[l];
        table.minCode[l] = static_cast<int16_t>(lookup.minCode[l]);
        table.maxCode[l] = lookup.maxCode[l];
        code <<= 1;
    }
    lookup.maxCode[17] = 0xFFFFF;
    table.maxCode[17] = 0xFFFFF;
}

void BitReader::Restart() {
    const uint8_t* q = Position();
    const uint8_t* end = dataEnd_;
    while (q < end) {
        if (*q++ != 0xFF) continue;
        while (q < end && *q == 0xFF) ++q;
        if (q < end && *q != 0x00) {
            ++q;
            break;
        }
    }
    p_ = q;
    stop_ = end;
    marker_ = nullptr;
    acc_ = 0;
    bits_ = 0;
    padBits_ = 0;
}

bool BitReader::EndsWithEndOfImage() const {
    const int realBits = bits_ > padBits_ ? bits_ - padBits_ : 0;
    if (realBits >= 8) return false;
    const uint8_t* q = Position();
    return dataEnd_ - q >= 2 && q[0] == 0xFF && q[1] == 0xD9;
}

}  // namespace vcdalbum::codec
