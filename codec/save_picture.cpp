// SaveJpegImage: an Image record through the intermediate bitmap and the
// encoder into a file.
#include <cstring>
#include <vector>

#include "codec/bitmap.h"
#include "platform/atomic_file.h"
#include "codec/jpeg_encoder.h"
#include "codec/picture_files.h"

namespace vcdalbum::codec {
namespace {

// Results beyond the encoder's own (1 to 4).
constexpr int kSaveCannotWrite = 5;

// The encoded stream of the last save. It grows to the largest picture
// saved so far and is reused, since transitions save frame after frame.
std::vector<uint8_t>& SaveOutput() {
    static std::vector<uint8_t> output;
    return output;
}

}  // namespace

int SaveJpegImage(const char* path, const Image* image) {
    if (!path || !image) return kEncodeBadImage;
    EncodeSource source;
    if (const int checked = SourceFromImage(*image, source); checked != kEncodeOk) return checked;

    BitmapInfoHeader info;
    info.headerSize = image->headerSize;
    info.width = static_cast<int32_t>(image->width);
    info.height = static_cast<int32_t>(image->height);
    info.planes = 1;
    info.bitsPerPixel = 24;
    info.compression = image->compression;
    info.imageBytes = image->imageSize;
    if (!WriteBitmapHeaders(info)) return kEncodeOutOfMemory;

    // Whole padded rows of the record's stride, so that the encoder's rows
    // line up with the record's for every width.
    MemBuffer& pixels = BitmapPixelBuffer();
    if (!pixels.allocate(source.size)) return kEncodeOutOfMemory;
    std::memcpy(pixels.data, image->data, source.size);

    std::vector<uint8_t>& output = SaveOutput();
    output.clear();
    if (const int result = EncodeJpeg(output, BitmapHeaderBuffer(), pixels); result != kEncodeOk) return result;
    if (!platform::WriteFileAtomically(path, output.data(), output.size())) return kSaveCannotWrite;
    return 0;
}

}  // namespace vcdalbum::codec
