// What a picture's caption says: its own text from the project, or what the
// album's "captions" setting takes from the picture, its file name or the day
// it was taken.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "project/project.h"

namespace vcdalbum::host {

struct CaptionRequest {
    std::string text;       // drawn as it is
    bool fromDate = false;  // the day the picture was taken, known once it is read
};

// The caption of picture `index` of `album`: the picture's own "caption"
// first (an empty one means none), else the file name without its extension
// or the day it was taken, as the album's "captions" says.
CaptionRequest CaptionFor(const Album& album, size_t index);

// "2019-07-14" from an EXIF date and time ("2019:07:14 15:03:22"); empty
// when it holds no real date (a camera without a set clock writes zeros or
// spaces).
std::string DayFromExif(std::string_view stamp);

// The text to draw for `request`; `exifDateTaken` is the picture's EXIF
// DateTimeOriginal as stored, empty when it has none.
std::string CaptionText(const CaptionRequest& request, std::string_view exifDateTaken);

}  // namespace vcdalbum::host
