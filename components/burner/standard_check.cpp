#include "standard_check.h"

#include <cstdio>

#include "mpeg_file.h"
#include "contract/video_standard.h"

namespace vcdalbum::components::burner {
namespace {

std::string Describe(const video::VideoStandard& s) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.5g", s.fps());
    return std::string(s.name) + " (" + std::to_string(s.width) + "x" + std::to_string(s.height) + " at " + rate +
           " frames/s)";
}

}  // namespace

std::optional<std::string> CheckOneStandard(const Project& project) {
    const video::VideoStandard* discStandard = nullptr;
    const SequenceItem* setter = nullptr;
    for (const SequenceItem& item : project.sequences) {
        const std::optional<VideoFormat> format = ReadVideoFormat(item.file);
        if (!format) continue;
        const video::VideoStandard* standard = video::FromSequenceHeader(format->width, format->height, format->rateCode);
        if (standard == nullptr) continue;
        if (discStandard == nullptr) {
            discStandard = standard;
            setter = &item;
        } else if (!(*standard == *discStandard)) {
            return "the disc mixes television standards: sequence item '" + item.itemId + "' (file '" + item.file +
                   "') is " + Describe(*standard) + ", but the first stream, sequence item '" + setter->itemId +
                   "' (file '" + setter->file + "'), is " + Describe(*discStandard) +
                   "; make every stream of a disc in one standard";
        }
    }
    return std::nullopt;
}

}  // namespace vcdalbum::components::burner
