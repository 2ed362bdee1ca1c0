// Marker-segment parser of the JPEG decoder: reads the frame, table, restart
// and scan parameters of a baseline stream into JpegInfo, refusing anything
// the decoder could not store or decode safely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "codec/codec_memory.h"

namespace vcdalbum::codec {

// The largest picture the decoder accepts, in pixels (128 Mi, a little over
// 134 megapixels). It keeps the 24-bit pixel buffer, about 400 MB at the
// limit, within what a 32-bit process can address, and it is checked before
// anything is allocated.
inline constexpr uint64_t kMaxDecodePixels = uint64_t{1} << 27;

// Outcome codes shared by the reader and the decoding core.
enum DecodeCode : int {
    kDecodeOk = 0,
    kDecodeNoStartOfImage = 1,
    kDecodeHeaderError = 2,
    kDecodeMissingEndOfImage = 3,
    kDecodeTooLarge = 4,
    kDecodeOutOfMemory = 5,
};

struct DecodeStatus {
    int code = kDecodeOk;
    std::string reason;  // for a person; empty on success

    static DecodeStatus Error(int code, std::string why) { return {code, std::move(why)}; }
    bool failed() const { return code != kDecodeOk && code != kDecodeMissingEndOfImage; }
};

enum ColourType : uint32_t {
    kColourNone = 0,
    kColourGrey = 1,   // one component
    kColourYCbCr = 3,  // identifiers 1, 2, 3
};

struct ComponentInfo {
    uint16_t id = 0;
    uint16_t index = 0;
    uint16_t h = 1, v = 1;  // sampling factors
    uint16_t quantTable = 0;
    uint16_t dcTable = 0, acTable = 0;
};

struct JpegInfo {
    uint32_t colourType = kColourNone;
    ComponentInfo components[4];
    int32_t quant[4][64] = {};  // zigzag order, as in the stream
    HuffTable dcTables[kTableSlots] = {};  // this decode's own table blocks
    HuffTable acTables[kTableSlots] = {};
    uint16_t componentCount = 0;
    uint16_t width = 0, height = 0;
    uint16_t xDensity = 1, yDensity = 1;
    uint8_t densityUnits = 0;
    uint16_t hmax = 1, vmax = 1;
    uint16_t restartInterval = 0;

    // The scan just read: frame component indices in scan order.
    uint16_t scanCount = 0;
    uint16_t scanComponents[4] = {};

    bool frameSeen = false;
    bool quantDefined[4] = {};
    bool dcDefined[kTableSlots] = {};
    bool acDefined[kTableSlots] = {};
    uint8_t unsupportedFrame = 0;  // marker code of a frame type we skip (SOF2 ...), 0 if none
};

// Result of ReadSegments besides a DecodeStatus error.
enum class SegmentsEnd {
    kScan,         // a scan header was read; `pos` is at its first entropy byte
    kEndOfImage,   // EOI was reached first (only after a scan)
    kEndOfData,    // the data ran out first
};

// Sets `info` to the defaults of a fresh decode.
void ResetJpegInfo(JpegInfo& info);

// Parses marker segments from `pos` until a scan header has been read.
// `afterScan` is true when the first scan has been decoded already; then a
// second frame header is refused and EOI / end of data are returned as such
// (before the first scan they are header errors).
DecodeStatus ReadSegments(std::span<const uint8_t> data, size_t& pos, JpegInfo& info, bool afterScan,
                          SegmentsEnd& end);

}  // namespace vcdalbum::codec
