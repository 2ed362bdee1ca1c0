#include "declared_size.h"

#include "jpeg_check.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace vcdalbum::components::picture_input {
namespace {

uint32_t Big16(const unsigned char* p) { return uint32_t{p[0]} << 8 | p[1]; }
uint32_t Big32(const unsigned char* p) { return Big16(p) << 16 | Big16(p + 2); }
uint32_t Little16(const unsigned char* p) { return uint32_t{p[1]} << 8 | p[0]; }
uint32_t Little32(const unsigned char* p) { return Little16(p + 2) << 16 | Little16(p); }

// A BMP's height is negative for a top-down picture.
uint64_t Magnitude(uint32_t twosComplement) {
    return twosComplement & 0x80000000u ? uint64_t{~twosComplement} + 1 : twosComplement;
}

// The first frame header of a JPEG, found segment by segment.
std::optional<DeclaredSize> JpegSize(std::FILE* file) {
    unsigned char head[9];
    for (;;) {
        int byte = std::fgetc(file);
        if (byte != 0xFF) return std::nullopt;  // not at a marker: leave it to the decoder
        int code = std::fgetc(file);
        while (code == 0xFF) code = std::fgetc(file);
        if (code < 0 || code == 0xD9 || code == 0xDA) return std::nullopt;
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD8)) continue;
        if (std::fread(head, 1, 2, file) != 2) return std::nullopt;
        const long length = static_cast<long>(Big16(head));
        if (length < 2) return std::nullopt;
        if (IsFrameMarker(code)) {
            // Precision, then height and width.
            if (length < 7 || std::fread(head, 1, 5, file) != 5) return std::nullopt;
            return DeclaredSize{Big16(head + 3), Big16(head + 1)};
        }
        if (std::fseek(file, length - 2, SEEK_CUR) != 0) return std::nullopt;
    }
}

}  // namespace

std::optional<DeclaredSize> ReadDeclaredSize(const std::string& path) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    unsigned char h[26] = {};
    const size_t n = std::fread(h, 1, sizeof h, file.get());
    if (n >= 24 && std::memcmp(h, "\x89PNG\r\n\x1a\n", 8) == 0 && std::memcmp(h + 12, "IHDR", 4) == 0)
        return DeclaredSize{Big32(h + 16), Big32(h + 20)};
    if (n >= 10 && (std::memcmp(h, "GIF87a", 6) == 0 || std::memcmp(h, "GIF89a", 6) == 0))
        return DeclaredSize{Little16(h + 6), Little16(h + 8)};
    if (n >= 26 && h[0] == 'B' && h[1] == 'M') {
        // The info header's own size tells the old OS/2 kind (16-bit sizes)
        // from the rest (32-bit sizes).
        if (Little32(h + 14) == 12) return DeclaredSize{Little16(h + 18), Little16(h + 20)};
        return DeclaredSize{Magnitude(Little32(h + 18)), Magnitude(Little32(h + 22))};
    }
    if (n >= 2 && h[0] == 0xFF && h[1] == 0xD8) {
        if (std::fseek(file.get(), 2, SEEK_SET) != 0) return std::nullopt;
        return JpegSize(file.get());
    }
    return std::nullopt;
}

}  // namespace vcdalbum::components::picture_input
