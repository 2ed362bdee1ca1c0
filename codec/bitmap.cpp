#include "codec/bitmap.h"

namespace vcdalbum::codec {
namespace {

void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t GetLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

struct GreyPalette {
    uint8_t entries[256 * 4];
    constexpr GreyPalette() : entries() {
        for (int i = 0; i < 256; ++i) entries[4 * i] = entries[4 * i + 1] = entries[4 * i + 2] = static_cast<uint8_t>(i);
    }
};
constexpr GreyPalette kGreyPalette;

}  // namespace

const uint8_t* BitmapGreyPalette() { return kGreyPalette.entries; }

bool WriteBitmapHeaders(const BitmapInfoHeader& info, MemBuffer& buffer) {
    const uint32_t paletteBytes = info.bitsPerPixel == 8 ? 256u * 4u : 0u;
    uint8_t file[kFileHeaderSize];
    PutLe16(file, kBitmapMagic);
    PutLe32(file + 2, kFileHeaderSize + kInfoHeaderSize + paletteBytes + info.imageBytes);
    PutLe16(file + 6, 0);
    PutLe16(file + 8, 0);
    PutLe32(file + 10, kFileHeaderSize + kInfoHeaderSize + paletteBytes);

    uint8_t head[kInfoHeaderSize];
    PutLe32(head, info.headerSize);
    PutLe32(head + 4, static_cast<uint32_t>(info.width));
    PutLe32(head + 8, static_cast<uint32_t>(info.height));
    PutLe16(head + 12, info.planes);
    PutLe16(head + 14, info.bitsPerPixel);
    PutLe32(head + 16, info.compression);
    PutLe32(head + 20, info.imageBytes);
    PutLe32(head + 24, info.xResolution);
    PutLe32(head + 28, info.yResolution);
    PutLe32(head + 32, info.coloursUsed);
    PutLe32(head + 36, info.coloursImportant);

    if (!buffer.allocate(kFileHeaderSize + kInfoHeaderSize + paletteBytes)) return false;
    buffer.append(file, sizeof file);
    buffer.append(head, sizeof head);
    buffer.append(kGreyPalette.entries, paletteBytes);
    return true;
}

bool ReadBitmapHeaders(MemBuffer& header, BitmapInfoHeader& info) {
    header.reset();
    uint8_t file[kFileHeaderSize];
    uint8_t head[kInfoHeaderSize];
    if (header.read(file, sizeof file) != kFileHeaderSize || GetLe16(file) != kBitmapMagic) return false;
    if (header.read(head, sizeof head) != kInfoHeaderSize) return false;
    info.headerSize = GetLe32(head);
    info.width = static_cast<int32_t>(GetLe32(head + 4));
    info.height = static_cast<int32_t>(GetLe32(head + 8));
    info.planes = GetLe16(head + 12);
    info.bitsPerPixel = GetLe16(head + 14);
    info.compression = GetLe32(head + 16);
    info.imageBytes = GetLe32(head + 20);
    info.xResolution = GetLe32(head + 24);
    info.yResolution = GetLe32(head + 28);
    info.coloursUsed = GetLe32(head + 32);
    info.coloursImportant = GetLe32(head + 36);
    return true;
}
}  // namespace vcdalbum::codec
