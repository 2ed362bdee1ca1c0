#include <cstdio>
#include <new>
#include <vector>

#include "codec/jpeg_decoder.h"
#include "vcdalbum/codec.h"

namespace vcdalbum {
namespace {

CodecResult ToResult(const codec::DecodeStatus& status, const std::string& name) {
    CodecResult result;
    result.code = status.code;
    if (status.code == codec::kDecodeMissingEndOfImage)
        result.message = name + ": warning: the data does not end with an end-of-image marker";
    else if (status.code != codec::kDecodeOk)
        result.message = name + ": " + status.reason;
    return result;
}

CodecResult Decode(std::span<const uint8_t> bytes, Image& image, const std::string& name) {
    return ToResult(codec::DecodeJpegStream(bytes, image), name);
}

}  // namespace

CodecResult DecodeJpeg(std::span<const uint8_t> bytes, Image& image) { return Decode(bytes, image, "JPEG stream"); }

CodecResult DecodeJpegFile(const std::string& path, Image& image) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return {kCodecIoError, path + ": cannot open for reading"};
    std::vector<uint8_t> bytes;
    bool readOk = true;
    try {
        uint8_t chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
        readOk = !std::ferror(file);
    } catch (const std::bad_alloc&) {
        std::fclose(file);
        return {kCodecOutOfMemory, path + ": out of memory reading the file"};
    }
    std::fclose(file);
    if (!readOk) return {kCodecIoError, path + ": read error"};
    return Decode(bytes, image, path);
}

}  // namespace vcdalbum
