// Recognising the streams a disc can take: MPEG-1 program streams, and
// tracks ripped from a Video CD as RIFF/CDXA ".DAT" files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "contract/disc_capacity.h"

namespace vcdalbum::components::burner {

using vcdalbum::burner::kRawSectorBytes;
using vcdalbum::burner::kTrackSectorBytes;

struct StreamProbe {
    bool ok = false;
    bool isDat = false;
    uint64_t sectors = 0;  // track length in 2324-byte sectors
    std::string error;     // why the file is not usable, when !ok
};

// Looks at the start of `file`: an MPEG-1 pack header, or a RIFF/CDXA
// header whose first sector carries one.
StreamProbe ProbeStream(const std::filesystem::path& file);

// The picture format the first MPEG-1 video sequence header announces.
struct VideoFormat {
    int width = 0, height = 0;
    int aspectCode = 0;  // pel aspect ratio code
    int rateCode = 0;    // picture rate code
};

// Reads the first sequence header of a stream: an MPEG-1 program stream or
// the payload of a RIFF/CDXA file's sectors. Nullopt when none is found near
// the start.
std::optional<VideoFormat> ReadVideoFormat(const std::filesystem::path& file);

// Copies the MPEG payload of a CDXA file's sectors to `mpegOut`, leaving out
// empty sectors. False and a reason on failure.
bool UnwrapDat(const std::filesystem::path& datFile, const std::filesystem::path& mpegOut, std::string& error);

}  // namespace vcdalbum::components::burner
