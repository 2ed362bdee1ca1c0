// The public encoding calls of the codec API.
#include <vector>

#include "platform/atomic_file.h"
#include "codec/jpeg_encoder.h"
#include "vcdalbum/codec.h"

namespace vcdalbum {
namespace {

CodecResult FromEncodeResult(int result) {
    switch (result) {
        case codec::kEncodeOk: return {};
        case codec::kEncodeOutOfMemory: return {kCodecOutOfMemory, "not enough memory to encode the picture"};
        case codec::kEncodeBadImage:
            return {kCodecBadImage,
                    "the picture has no pixels, a width or height of 0 or above 65535, or an imageSize smaller "
                    "than its rows"};
        default: return {kCodecBadImage, "the picture cannot be encoded"};
    }
}

}  // namespace

CodecResult EncodeJpeg(const Image& image, std::vector<uint8_t>& out) {
    codec::EncodeSource source;
    if (const int checked = codec::SourceFromImage(image, source); checked != codec::kEncodeOk)
        return FromEncodeResult(checked);
    // Replaces the contents; the vector's memory is reused.
    out.clear();
    return FromEncodeResult(codec::EncodeJpegPixels(source, out));
}

CodecResult EncodeJpegFile(const std::string& path, const Image& image) {
    std::vector<uint8_t> encoded;
    CodecResult result = EncodeJpeg(image, encoded);
    if (!result.ok()) {
        result.message = path + ": " + result.message;
        return result;
    }
    std::string error;
    if (!platform::WriteFileAtomically(path, encoded.data(), encoded.size(), &error)) return {kCodecIoError, error};
    return {};
}

}  // namespace vcdalbum
