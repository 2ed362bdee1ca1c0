// Hand-built JPEG streams for decoder tests: segments written byte by byte
// and entropy data coded with the standard Huffman tables, so that every
// header and bit is under the test's control.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/jpeg_tables.h"

namespace vcdalbum::codec::testing {

struct FrameComponent {
    uint8_t id, h, v, quantTable;
};
struct ScanComponent {
    uint8_t id, dcTable, acTable;
};

class StreamBuilder {
public:
    std::vector<uint8_t> bytes;

    StreamBuilder& Soi();
    StreamBuilder& Eoi();
    StreamBuilder& Jfif(uint8_t major = 1, uint8_t minor = 1);
    StreamBuilder& Segment(uint8_t marker, const std::vector<uint8_t>& payload);
    StreamBuilder& QuantTable(uint8_t id, uint8_t value);  // all 64 entries equal
    StreamBuilder& Frame(uint16_t width, uint16_t height, const std::vector<FrameComponent>& components,
                         uint8_t marker = 0xC0, uint8_t precision = 8);
    StreamBuilder& HuffmanTable(uint8_t classId, const StandardHuffmanTable& table);
    StreamBuilder& StandardHuffmanTables();  // DC 0/1 and AC 0/1 of Annex K
    StreamBuilder& RestartInterval(uint16_t interval);
    StreamBuilder& Scan(const std::vector<ScanComponent>& components);
    StreamBuilder& Raw(const std::vector<uint8_t>& data);
};

// Entropy coder for test data: DC differences and end-of-block only (every
// block DC-only) with the standard tables, or raw symbols.
class EntropyWriter {
public:
    void Bits(uint32_t value, int count);
    void Symbol(const StandardHuffmanTable& table, uint8_t symbol);
    // One DC-only block: DC difference `diff`, then EOB.
    void DcOnlyBlock(int diff, const StandardHuffmanTable& dc, const StandardHuffmanTable& ac);
    // Pads to a byte with 1 bits.
    void Flush();
    // Flushes and writes RSTn.
    void Restart(int n);
    std::vector<uint8_t> bytes;

private:
    uint32_t acc_ = 0;
    int bits_ = 0;
};

// A stream of `width` x `height` DC-only blocks: grey (one component) or
// YCbCr with luma factors h x v and chroma 1x1, every quantiser 1. Each
// component's DC value per MCU comes from `dcOf(component, mcuIndex)`.
std::vector<uint8_t> DcOnlyPicture(uint16_t width, uint16_t height, bool colour, uint8_t lumaH, uint8_t lumaV,
                                   int (*dcOf)(int component, int mcu), uint16_t restartInterval = 0,
                                   bool endOfImage = true);

}  // namespace vcdalbum::codec::testing
