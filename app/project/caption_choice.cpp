#include "project/caption_choice.h"

#include "project/folder_project.h"

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
    // The same dates count as real as for ordering a folder's pictures.
    const std::optional<std::string> digits = SortableTakenDate(stamp);  // YYYYMMDDHHMMSS
    if (!digits) return "";
    return digits->substr(0, 4) + "-" + digits->substr(4, 2) + "-" + digits->substr(6, 2);
}

std::string CaptionText(const CaptionRequest& request, std::string_view exifDateTaken) {
    return request.fromDate ? DayFromExif(exifDateTaken) : request.text;
}

}  // namespace vcdalbum::host
