#include "codec/jpeg_reader.h"

#include <cstring>

namespace vcdalbum::codec {
namespace {

uint16_t GetBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

std::string Hex(unsigned v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "0x";
    s += digits[(v >> 4) & 15];
    s += digits[v & 15];
    return s;
}

DecodeStatus Damaged(const std::string& what) { return DecodeStatus::Error(kDecodeHeaderError, "damaged header: " + what); }

// Why a stream whose only frame header is of a type we skip is refused.
std::string UnsupportedFrameReason(uint8_t marker) {
    switch (marker) {
        case 0xC2: return "not baseline: progressive JPEG is not supported";
        case 0xC3: return "not baseline: lossless JPEG is not supported";
        case 0xC5: case 0xC6: case 0xC7: return "not baseline: hierarchical JPEG is not supported";
        case 0xC9: case 0xCA: case 0xCB: case 0xCD: case 0xCE: case 0xCF:
            return "not baseline: arithmetic coding is not supported";
        default: return "not baseline: frame type " + Hex(marker) + " is not supported";
    }
}

DecodeStatus ReadFrame(const uint8_t* p, size_t n, JpegInfo& info) {
    if (info.frameSeen) return Damaged("a second frame header");
    if (n < 6) return Damaged("frame header too short");
    const unsigned precision = p[0];
    const uint16_t height = GetBe16(p + 1), width = GetBe16(p + 3);
    const unsigned count = p[5];
    if (precision != 8)
        return DecodeStatus::Error(kDecodeHeaderError,
                                   std::to_string(precision) + "-bit samples are not supported (only 8-bit)");
    if (width == 0 || height == 0) return Damaged("zero width or height");
    if (count == 4) return DecodeStatus::Error(kDecodeHeaderError, "four-component (CMYK) pictures are not supported");
    if (count != 1 && count != 3) return Damaged(std::to_string(count) + " components in the frame");
    if (n < 6 + 3 * size_t{count}) return Damaged("frame header too short");
    if (uint64_t{width} * height > kMaxDecodePixels)
        return DecodeStatus::Error(kDecodeTooLarge, "picture too large: " + std::to_string(width) + "x" +
                                                        std::to_string(height) + " exceeds the limit of " +
                                                        std::to_string(kMaxDecodePixels) + " pixels");
    unsigned hmax = 1, vmax = 1, blocks = 0;
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t* c = p + 6 + 3 * i;
        ComponentInfo& comp = info.components[i];
        comp = ComponentInfo{};
        comp.id = c[0];
        comp.index = static_cast<uint16_t>(i);
        comp.h = static_cast<uint16_t>(c[1] >> 4);
        comp.v = static_cast<uint16_t>(c[1] & 15);
        comp.quantTable = c[2];
        if (comp.h < 1 || comp.h > 4 || comp.v < 1 || comp.v > 4) return Damaged("sampling factors out of range");
        if (comp.quantTable > 3) return Damaged("quantisation table selector above 3");
        for (unsigned j = 0; j < i; ++j)
            if (info.components[j].id == comp.id) return Damaged("two components with one identifier");
        hmax = comp.h > hmax ? comp.h : hmax;
        vmax = comp.v > vmax ? comp.v : vmax;
        blocks += comp.h * comp.v;
    }
    if (count == 1) {
        // A lone component is coded block by block whatever its factors say.
        info.components[0].h = info.components[0].v = 1;
        hmax = vmax = 1;
        info.colourType = kColourGrey;
    } else {
        const ComponentInfo* c = info.components;
        if (c[0].id == 1 && c[1].id == 4 && c[2].id == 5)
            return DecodeStatus::Error(kDecodeHeaderError, "colour components 1, 4, 5 are not supported (only YCbCr)");
        if (c[0].id != 1 || c[1].id != 2 || c[2].id != 3)
            return DecodeStatus::Error(kDecodeHeaderError, "colour components are not YCbCr (identifiers " +
                                                               std::to_string(c[0].id) + ", " + std::to_string(c[1].id) +
                                                               ", " + std::to_string(c[2].id) + ")");
        if (blocks > 10) return Damaged("sampling factors make an MCU of more than 10 blocks");
        for (unsigned i = 0; i < count; ++i)
            if (hmax % c[i].h != 0 || vmax % c[i].v != 0)
                return DecodeStatus::Error(kDecodeHeaderError, "sampling factors that are not whole multiples "
                                                               "of each other are not supported");
        info.colourType = kColourYCbCr;
    }
    info.width = width;
    info.height = height;
    info.componentCount = static_cast<uint16_t>(count);
    info.hmax = static_cast<uint16_t>(hmax);
    info.vmax = static_cast<uint16_t>(vmax);
    info.frameSeen = true;
    return {};
}

DecodeStatus ReadHuffmanTables(const uint8_t* p, size_t n, JpegInfo& info) {
    while (n > 0) {
        const unsigned classId = p[0];
        const unsigned tableClass = classId >> 4, slot = classId & 15;
        if (tableClass > 1 || slot > 3) return Damaged("Huffman table class/identifier byte " + Hex(classId));
        if (n < 17) return Damaged("Huffman table segment too short");
        unsigned total = 0;
        for (int l = 0; l < 16; ++l) total += p[1 + l];
        if (total > 256) return Damaged("Huffman table with more than 256 codes");
        if (n < 17 + size_t{total}) return Damaged("Huffman table segment too short");
        HuffTable* table = tableClass ? &info.acTables[slot] : &info.dcTables[slot];
        table->counts[0] = 0;
        std::memcpy(table->counts + 1, p + 1, 16);
        std::memcpy(table->values, p + 17, total);
        (tableClass ? info.acDefined : info.dcDefined)[slot] = true;
        p += 17 + total;
        n -= 17 + total;
    }
    return {};
}

DecodeStatus ReadQuantisationTables(const uint8_t* p, size_t n, JpegInfo& info) {
    while (n > 0) {
        const unsigned precision = p[0] >> 4, slot = p[0] & 15;
        if (slot > 3) return Damaged("quantisation table identifier above 3");
        const size_t size = precision ? 129 : 65;
        if (n < size) return Damaged("quantisation table segment too short");
        for (int i = 0; i < 64; ++i) info.quant[slot][i] = precision ? GetBe16(p + 1 + 2 * i) : p[1 + i];
        info.quantDefined[slot] = true;
        p += size;
        n -= size;
    }
    return {};
}

DecodeStatus ReadScan(const uint8_t* p, size_t n, JpegInfo& info) {
    if (!info.frameSeen) {
        if (info.unsupportedFrame) return DecodeStatus::Error(kDecodeHeaderError, UnsupportedFrameReason(info.unsupportedFrame));
        return Damaged("scan without a frame header");
    }
    if (n < 1) return Damaged("scan header too short");
    const unsigned count = p[0];
    if (count < 1 || count > info.componentCount) return Damaged(std::to_string(count) + " components in a scan");
    if (n < 1 + 2 * size_t{count} + 3) return Damaged("scan header too short");
    unsigned blocks = 0;
    for (unsigned j = 0; j < count; ++j) {
        const unsigned id = p[1 + 2 * j], tables = p[2 + 2 * j];
        int found = -1;
        for (int i = 0; i < info.componentCount; ++i)
            if (info.components[i].id == id) found = i;
        if (found < 0) return Damaged("scan names component " + std::to_string(id) + " that the frame lacks");
        for (unsigned k = 0; k < j; ++k)
            if (info.scanComponents[k] == found) return Damaged("component twice in one scan");
        ComponentInfo& comp = info.components[found];
        comp.dcTable = static_cast<uint16_t>(tables >> 4);
        comp.acTable = static_cast<uint16_t>(tables & 15);
        if (comp.dcTable > 3 || comp.acTable > 3) return Damaged("Huffman table selector above 3");
        // An undefined table would decode the scan against stale or empty
        // codes; refusing is the honest answer.
        if (!info.dcDefined[comp.dcTable] || !info.acDefined[comp.acTable])
            return Damaged("scan uses a Huffman table that was never defined");
        if (!info.quantDefined[comp.quantTable]) return Damaged("component uses a quantisation table that was never defined");
        info.scanComponents[j] = static_cast<uint16_t>(found);
        blocks += comp.h * comp.v;
    }
    if (count > 1 && blocks > 10) return Damaged("MCU of more than 10 blocks");
    info.scanCount = static_cast<uint16_t>(count);
    return {};
}

DecodeStatus ReadJfif(const uint8_t* p, size_t n, JpegInfo& info) {
    if (n < 5 || std::memcmp(p, "JFIF", 5) != 0)
        return DecodeStatus::Error(kDecodeHeaderError, "APP0 segment is not a JFIF header");
    if (n < 12) return Damaged("JFIF header too short");
    if (p[5] != 1) return DecodeStatus::Error(kDecodeHeaderError, "JFIF major version " + std::to_string(p[5]) + " is not supported");
    info.densityUnits = p[7];
    info.xDensity = GetBe16(p + 8);
    info.yDensity = GetBe16(p + 10);
    return {};
}

}  // namespace

void ResetJpegInfo(JpegInfo& info) { info = JpegInfo{}; }

DecodeStatus ReadSegments(std::span<const uint8_t> data, size_t& pos, JpegInfo& info, bool afterScan,
                          SegmentsEnd& end) {
    const size_t size = data.size();
    for (;;) {
        // Find the next marker: bytes other than 0xFF are passed over, 0xFF
        // fill bytes are skipped, and 0xFF 0x00 is not a marker.
        uint8_t code = 0;
        for (;;) {
            while (pos < size && data[pos] != 0xFF) ++pos;
            while (pos < size && data[pos] == 0xFF) ++pos;
            if (pos >= size) break;
            code = data[pos++];
            if (code != 0x00) break;
            code = 0;
        }
        if (code == 0) {
            end = SegmentsEnd::kEndOfData;
            if (afterScan) return {};
            return Damaged("the data ends before the scan");
        }
        // Markers without a segment.
        if ((code >= 0xD0 && code <= 0xD8) || code == 0x01) continue;
        if (code == 0xD9) {
            end = SegmentsEnd::kEndOfImage;
            if (afterScan) return {};
            return Damaged("end-of-image marker before the scan");
        }
        if (size - pos < 2) {
            end = SegmentsEnd::kEndOfData;
            if (afterScan) return {};
            return Damaged("the data ends before the scan");
        }
        const size_t length = GetBe16(data.data() + pos);
        if (length < 2) return Damaged("segment length below 2");
        if (size - pos < length) {
            end = SegmentsEnd::kEndOfData;
            if (afterScan) return {};
            return Damaged("the data ends inside a segment");
        }
        const uint8_t* payload = data.data() + pos + 2;
        const size_t n = length - 2;
        pos += length;
        DecodeStatus status;
        switch (code) {
            case 0xC0: case 0xC1: status = ReadFrame(payload, n, info); break;
            case 0xC4: status = ReadHuffmanTables(payload, n, info); break;
            case 0xDB: status = ReadQuantisationTables(payload, n, info); break;
            case 0xDD:
                if (n != 2) return Damaged("restart interval segment of the wrong length");
                info.restartInterval = GetBe16(payload);
                break;
            case 0xE0: status = ReadJfif(payload, n, info); break;
            case 0xDA:
                status = ReadScan(payload, n, info);
                if (status.code != kDecodeOk) return status;
                end = SegmentsEnd::kScan;
                return {};
            case 0xC2: case 0xC3: case 0xC5: case 0xC6: case 0xC7: case 0xC9: case 0xCA: case 0xCB:
            case 0xCD: case 0xCE: case 0xCF:
                if (!info.unsupportedFrame) info.unsupportedFrame = code;
                break;
            default: break;  // APPn, COM, DAC, DNL, DHP, ...: passed over unread
        }
        if (status.code != kDecodeOk) return status;
    }
}

}  // namespace vcdalbum::codec
