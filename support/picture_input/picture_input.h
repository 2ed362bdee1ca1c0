// Picture input through FFmpeg, one way for the command-line tool and both
// components: open a file, decode its first picture, find which way is up,
// turn it upright and convert it. HEIC, HEIF and AVIF files go through
// libheif instead (heif_input.h), told apart by their content.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "support/ffmpeg_handles.h"

namespace vcdalbum::components::picture_input {

// The holders these calls take and give.
using ffmpeg::AvErrorText;
using ffmpeg::CodecContextPtr;
using ffmpeg::FileUrl;
using ffmpeg::FramePtr;
using ffmpeg::InputPtr;
using ffmpeg::PacketPtr;
using ffmpeg::SwsPtr;

// Why a file gave no picture (or no sound). `text` is one phrase without the
// file's name, for the caller to put after it.
struct Problem {
    enum class Kind { kNone, kNotFound, kUnreadable, kNoStream, kTooLarge, kUnsupported, kDamaged, kOutOfMemory };
    Kind kind = Kind::kNone;
    std::string text;
    explicit operator bool() const { return kind != Kind::kNone; }
};

// A problem of `kind`, for a reader to return when it gives up.
inline Problem Fail(Problem::Kind kind, std::string text) { return Problem{kind, std::move(text)}; }

struct DecodeOptions {
    // Refuse a picture the decoder finds damaged instead of showing it with
    // grey blocks, and one larger than `maxPixels` (0: FFmpeg's own limit)
    // before its pixels are allocated. A JPEG is first checked by its
    // markers (jpeg_check.h): cut short, arithmetic-coded or CMYK, it is
    // refused before FFmpeg tries it.
    bool refuseDamaged = false;
    int64_t maxPixels = 0;
    // For a caller that only needs the picture smaller: given its size and
    // the decoder's largest reduction, picks a reduction r, and the decoder
    // then gives 1/2^r of each side (a scaled inverse DCT, far cheaper than
    // the full decode). Null: full size.
    std::function<int(int width, int height, int maxReduction)> reduction;
};

// Opens `path` and the decoder of its best stream of `type` (one thread).
Problem OpenDecoder(const std::string& path, AVMediaType type, InputPtr& input, CodecContextPtr& decoder,
                    int& streamIndex, const DecodeOptions& options = {});

// The first picture of `path`, as decoded; null with `problem` set on failure.
FramePtr DecodeFirstPicture(const std::string& path, Problem& problem, const DecodeOptions& options = {});

// The EXIF DateTimeOriginal text of a picture ("2024:07:14 18:30:05" as the
// camera wrote it), read by decoding it at the smallest size the decoder
// offers; empty when the picture carries none or cannot be read.
std::string TakenDate(const std::string& path);

// EXIF orientation 1..8 of a decoded picture: the Orientation tag, else the
// rotation of its display matrix; 1 (upright) when it has neither.
int Orientation(const AVFrame& frame);

// The orientation that shows a picture as its display matrix says: turned
// `angle` degrees counter-clockwise (av_display_rotation_get), to the
// nearest quarter turn.
int OrientationOfRotation(double angle);

// Whether turning a picture of this orientation upright swaps its sides.
inline bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Turns a w x h picture of 3-byte pixels upright into `dst`, which holds the
// upright size (h x w when SwapsSides). Orientation o says where the stored
// rows belong: 2 mirror, 3 rotate 180, 4 flip, 5 transpose, 6 rotate 90
// clockwise, 7 transverse, 8 rotate 90 anticlockwise; others copy.
void Orient(const uint8_t* src, size_t srcStride, int width, int height, int orientation, uint8_t* dst,
            size_t dstStride);

// The pixel format without the old full-range "J" tag; the range travels apart.
AVPixelFormat PlainFormat(int format);

// Whether a decoded picture's samples use the full 0..255 range: JPEG does,
// as do untagged RGB and grey pictures; untagged YUV is TV range.
bool IsFullRange(const AVFrame& frame);

// One conversion with FFmpeg's scaler: `src` (any size, format and range)
// into the planes `dst` of a `dstFormat` picture of width x height, in full or
// TV range, with ITU-R BT.601 coefficients and the scaler `flags`. False when
// the scaler cannot be set up for these formats.
inline constexpr int kExactScaling = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;
bool Convert(const uint8_t* const src[4], const int srcStride[4], AVPixelFormat srcFormat, bool srcFullRange,
             int srcWidth, int srcHeight, uint8_t* const dst[4], const int dstStride[4], AVPixelFormat dstFormat,
             bool dstFullRange, int width, int height, int flags = kExactScaling);

// The same from a decoded frame into a new frame of its own.
FramePtr ConvertFrame(const AVFrame& src, AVPixelFormat dstFormat, bool dstFullRange, int width, int height,
                      int flags = kExactScaling);

// A new frame of this format and size, its buffers allocated; null when
// memory is short.
FramePtr AllocFrame(AVPixelFormat format, int width, int height);

}  // namespace vcdalbum::components::picture_input
