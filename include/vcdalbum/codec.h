// The library's own baseline JPEG codec, for host programs.
// Every call keeps its working memory to itself: calls on different images
// may run at the same time on any number of threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vcdalbum/Image.h"
#include "vcdalbum/export.h"

namespace vcdalbum {

// Outcome of a codec call. `code` 0 is success; 3 (decode only) means the
// picture was decoded whole but its end-of-image marker was missing, which
// `message` mentions as a warning. Every other code is a refusal, explained
// in `message` for a person.
struct CodecResult {
    int code = 0;
    std::string message;

    bool ok() const { return code == 0 || code == 3; }
};

enum CodecCode : int {
    kCodecOk = 0,
    kCodecNoStartOfImage = 1,
    kCodecHeaderError = 2,
    kCodecMissingEndOfImage = 3,
    kCodecTooLarge = 4,
    kCodecOutOfMemory = 5,
    kCodecIoError = 6,
    kCodecBadImage = 7,
};

// Decodes a whole JPEG stream into `image`. On success `image.data` is a
// fresh malloc'ed block that the caller frees (ReleaseImage). A grey picture
// gets a `palette` that points at constant data of the library, never freed
// or changed. On refusal `image` is left untouched.
VCDALBUM_API CodecResult DecodeJpeg(std::span<const uint8_t> bytes, Image& image);
VCDALBUM_API CodecResult DecodeJpegFile(const std::string& path, Image& image);

// Encodes `image` (24-bit, rows of ImageStride(width) bytes) as baseline
// JFIF: Y 2x1 with Cb, Cr 1x1, the halved example tables of T.81 Annex K.
VCDALBUM_API CodecResult EncodeJpeg(const Image& image, std::vector<uint8_t>& out);
// Writes through a temporary name and a rename: a failed call leaves no file.
VCDALBUM_API CodecResult EncodeJpegFile(const std::string& path, const Image& image);

// Every pixel buffer the library allocates (here and in DecodeJpeg) has this
// many spare bytes after its last row: vector code, FFmpeg's scaler among
// it, reads and writes whole vector words past the end of a row.
inline constexpr size_t kImageTailPadding = 64;

// A zeroed width x height record with a pixel buffer of ImageStride(width) *
// height bytes, all black, and kImageTailPadding spare bytes after them.
// Returns false (record untouched) when memory is short.
VCDALBUM_API bool AllocateImage(Image& image, uint32_t width, uint32_t height);
// Frees image.data and sets it to null.
VCDALBUM_API void ReleaseImage(Image& image);

}  // namespace vcdalbum
