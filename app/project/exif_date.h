// The date a picture was taken, as EXIF writes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vcdalbum::host {

// An EXIF date "YYYY:MM:DD HH:MM:SS" as "YYYYMMDDHHMMSS", which sorts by
// time; nothing for text that is no real date, such as the blanks or zeros
// a camera without a set clock writes.
std::optional<std::string> SortableTakenDate(std::string_view exif);

}  // namespace vcdalbum::host
