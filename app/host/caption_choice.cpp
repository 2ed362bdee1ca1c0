#include "host/caption_choice.h"

namespace vcdalbum::host {

CaptionRequest CaptionFor(const Album& album, size_t index) {
    if (index < album.pictureCaptions.size() && album.pictureCaptions[index])
        return {*album.pictureCaptions[index], false};
    if (index >= album.pictures.size()) return {};
    switch (album.captions) {
        case CaptionSource::Name: return {album.pictures[index].stem().string(), false};
        case CaptionSource::Date: return {"", true};
        case CaptionSource::None: break;
    }
    return {};
}

std::string DayFromExif(std::string_view stamp) {
    // "YYYY:MM:DD", the time after it is not shown.
    if (stamp.size() < 10 || stamp[4] != ':' || stamp[7] != ':') return "";
    int parts[3] = {0, 0, 0};
    const size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p)
        for (size_t i = starts[p]; i < starts[p] + lengths[p]; ++i) {
            if (stamp[i] < '0' || stamp[i] > '9') return "";
            parts[p] = parts[p] * 10 + (stamp[i] - '0');
        }
    if (parts[0] == 0 || parts[1] < 1 || parts[1] > 12 || parts[2] < 1 || parts[2] > 31) return "";
    std::string day(stamp.substr(0, 10));
    day[4] = day[7] = '-';
    return day;
}

std::string CaptionText(const CaptionRequest& request, std::string_view exifDateTaken) {
    return request.fromDate ? DayFromExif(exifDateTaken) : request.text;
}

}  // namespace vcdalbum::host
