// The codec's two file operations, as the transition code calls them.
#pragma once

#include "vcdalbum/Image.h"

namespace vcdalbum::codec {

// Reads a JPEG file into `image`. A file that cannot be opened prints
// " Can't Open the Jpeg file\n" to standard output; that and any refused
// stream leave the record untouched.
void LoadJpegImage(const char* path, Image* image);

// Writes `image` as a JPEG file through a temporary name. Returns 0 on
// success; non-zero, with no file written at `path`, on failure.
int SaveJpegImage(const char* path, const Image* image);

}  // namespace vcdalbum::codec
