#include <cstdio>

#include "codec/jpeg_decoder.h"
#include "codec/picture_files.h"

namespace vcdalbum::codec {

void LoadJpegImage(const char* path, Image* image) {
    if (!path || !image) return;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::printf(" Can't Open the Jpeg file\n");
        return;
    }
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    MemBuffer source;
    if (length <= 0 || !source.allocate(static_cast<size_t>(length))) {
        std::fclose(file);
        return;
    }
    source.capacity = static_cast<int32_t>(std::fread(source.data, 1, static_cast<size_t>(length), file));
    std::fclose(file);
    DecodeJpeg(source, image);  // failures leave the record untouched; callers look at it, not at a code
}

}  // namespace vcdalbum::codec
