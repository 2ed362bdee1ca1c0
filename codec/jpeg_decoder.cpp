#include "codec/jpeg_decoder.h"

#include <cstdlib>

#include "codec/bitmap.h"
#include "codec/decode_core.h"
#include "vcdalbum/codec.h"

namespace vcdalbum::codec {

DecodeStatus DecodeJpegStream(std::span<const uint8_t> bytes, Image& image) {
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return DecodeStatus::Error(kDecodeNoStartOfImage, "not a JPEG file (no start-of-image marker)");

    JpegInfo info;
    ResetJpegInfo(info);
    size_t pos = 2;
    SegmentsEnd end = SegmentsEnd::kScan;
    DecodeStatus status = ReadSegments(bytes, pos, info, false, end);
    if (status.code != kDecodeOk) return status;

    BitmapInfoHeader header;
    header.width = info.width;
    header.height = info.height;
    header.bitsPerPixel = info.colourType == kColourGrey ? 8 : 24;
    header.imageBytes = BitmapStride(info.width, header.bitsPerPixel) * info.height;
    header.coloursUsed = BitmapColours(header.bitsPerPixel);
    MemBuffer headerBuffer;
    if (!WriteBitmapHeaders(header, headerBuffer)) return DecodeStatus::Error(kDecodeOutOfMemory, "out of memory for the bitmap header");

    const size_t bytesNeeded = (size_t{3} * info.width + 3) * info.height;  // <= 3 * 2^27 + 3 * 65535
    auto* pixels = static_cast<unsigned char*>(std::malloc(bytesNeeded + kImageTailPadding));
    if (!pixels) return DecodeStatus::Error(kDecodeOutOfMemory, "out of memory for the picture's pixels");

    status = DecodeFrame(bytes, pos, info, pixels, ImageStride(info.width));
    if (status.failed()) {
        std::free(pixels);
        return status;
    }
    FillImageFromBitmap(image, headerBuffer, pixels);
    return status;
}

int DecodeJpeg(MemBuffer& source, Image* image) {
    if (!source.data || !image) return kDecodeNoStartOfImage;
    const std::span<const uint8_t> bytes(source.data + source.position,
                                         static_cast<size_t>(source.remaining()));
    const DecodeStatus status = DecodeJpegStream(bytes, *image);
    return status.code == kDecodeMissingEndOfImage ? kDecodeOk : status.code;
}

void FillImageFromBitmap(Image& image, MemBuffer& header, unsigned char* pixels) {
    BitmapInfoHeader info;
    ReadBitmapHeaders(header, info);
    const uint32_t width = static_cast<uint32_t>(info.width), height = static_cast<uint32_t>(info.height);
    image.headerSize = 40;
    image.width = width;
    image.height = height;
    image.heightCopy = height;
    image.compression = 0;
    image.imageSize = ImageStride(width) * height;
    image.reserved2 = 0;
    image.reserved3 = 0;
    // The record's field is not const, but nothing writes through it.
    if (info.bitsPerPixel == 8) image.palette = const_cast<uint8_t*>(BitmapGreyPalette());
    image.data = pixels;
}

}  // namespace vcdalbum::codec
