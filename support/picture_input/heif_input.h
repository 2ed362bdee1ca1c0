// HEIC, HEIF and AVIF pictures through libheif: phones store their pictures
// this way, and FFmpeg has no reader for them. A file is taken for one by its
// content (the brand of its file-type box), whatever its name.
#pragma once

#include <string>

#include "picture_input.h"

namespace vcdalbum::components::picture_input {

// Whether the file at `path` starts like a HEIF file libheif may read.
bool IsHeifFile(const std::string& path);

// The primary picture of a HEIF file, turned upright by its own rotation and
// mirror properties, as an RGB24 frame in full range. Its EXIF orientation is
// left out of the frame's metadata: the file's transforms already did that
// turn, and a phone records the same turn in both places. The frame carries
// the EXIF DateTimeOriginal as metadata, as FFmpeg's JPEG decoder does.
// `options.maxPixels` is held against the declared size before any pixels
// are decoded; `options.reduction` is ignored (libheif has no reduced decode).
FramePtr DecodeHeifPicture(const std::string& path, Problem& problem, const DecodeOptions& options = {});

// The EXIF DateTimeOriginal of a HEIF file, read without decoding its
// pixels; empty when it carries none or cannot be read.
std::string HeifTakenDate(const std::string& path);

}  // namespace vcdalbum::components::picture_input
