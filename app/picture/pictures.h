// Pictures as the disc shows them: any picture FFmpeg reads, turned upright
// by its EXIF orientation and fitted into the Video CD frame of the disc's
// television standard: 352x240 NTSC (the default) or 352x288 PAL.
#pragma once

#include <filesystem>
#include <string>

#include <vcdalbum/Image.h>

#include "support/owned_image.h"
#include "project/caption_choice.h"
#include "contract/video_standard.h"

struct AVFrame;

namespace vcdalbum::host {

using video::VideoStandard;

// The NTSC frame, the default.
inline constexpr uint32_t kFrameWidth = video::kNtsc.width;
inline constexpr uint32_t kFrameHeight = video::kNtsc.height;

// A black width x height picture; throws RunError when memory is short.
OwnedImage BlackPicture(uint32_t width, uint32_t height);

// Reads the first picture of `file` upright, in square pixels. Throws
// InputError naming the file when it is missing, is no picture, or is damaged.
// The picture is always decoded whole: the decoder's reduced sizes (a
// truncated inverse DCT per 8x8 block) fold and blur detail that the frame
// still shows, by several dB on a detailed photo even where the reduced
// picture is six times the frame's size. (PrepareFrame then shrinks its
// planes before converting its colours, which costs far less than
// converting the whole picture.)
// `dateTaken`, when given, receives the picture's EXIF DateTimeOriginal as
// stored, or nothing.
OwnedImage ReadPicture(const std::filesystem::path& file, std::string* dateTaken = nullptr);

// A decoded picture as BGR of width x height (its stored size, or smaller),
// then turned upright by `orientation` (EXIF-style). Throws InputError
// naming `name` when its pixel format cannot be converted.
OwnedImage UprightPicture(const AVFrame& frame, int orientation, const std::string& name, uint32_t width,
                          uint32_t height);

// The size a w x h picture of square pixels takes inside the frame: its
// aspect ratio kept for the frame's pixels (10:11 NTSC, 12:11 PAL), as large
// as fits.
struct FitSize {
    uint32_t width, height;
};
FitSize FitIntoFrame(uint32_t width, uint32_t height, const VideoStandard& standard = video::kNtsc);

// The scale (at most 1) that leaves a width x height picture no less than
// twice its size in the frame: enough for any closer view of it, such as
// pan-and-zoom's, and for the fitting shrink to take over.
double ScaleToTwiceTheFit(uint32_t width, uint32_t height, const VideoStandard& standard = video::kNtsc);

// The picture centred in a frame of the standard with black borders.
OwnedImage FitToFrame(const Image& picture, const VideoStandard& standard = video::kNtsc);

// The frame the disc shows for `in`: read, fitted, its caption drawn in.
// `uncaptioned`, when given, receives the frame before the caption (a menu's
// thumbnail is too small to show one); `asRead`, the picture upright and in
// square pixels before fitting, reduced to twice its size in the frame
// (ScaleToTwiceTheFit), which is what pan-and-zoom samples from.
// Throws InputError for a bad picture.
OwnedImage PrepareFrame(const std::filesystem::path& in, const CaptionRequest& caption = {},
                        OwnedImage* uncaptioned = nullptr, OwnedImage* asRead = nullptr,
                        const VideoStandard& standard = video::kNtsc);

// Prepares `in` and writes it as a JPEG (the library's encoder) at `out`.
// Throws InputError for a bad picture, RunError when writing fails.
void PreparePicture(const std::filesystem::path& in, const std::filesystem::path& out,
                    const CaptionRequest& caption = {}, const VideoStandard& standard = video::kNtsc);

// Writes `image` as a JPEG file the library reads back without measurable
// loss (see work_jpeg.h); throws RunError naming `out`.
void WriteJpeg(const Image& image, const std::filesystem::path& out);

}  // namespace vcdalbum::host
