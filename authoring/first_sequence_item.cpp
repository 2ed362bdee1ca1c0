#include "authoring/first_sequence_item.h"

#include <filesystem>

#include "platform/stream_encoder.h"
#include "vcdalbum/StreamInfo.h"
#include "platform/temp_dir.h"

namespace vcdalbum::authoring {
namespace {

// A record without pictures or music: the encoder makes a black clip of its
// minimum length with silent audio.
void MakeBlackClip(std::string& path, const video::VideoStandard& standard) {
    char* noPictures[] = {nullptr};
    char* noMusic[] = {nullptr};
    StreamInfo info{};
    info.pictureFiles = noPictures;
    info.pictureCount = 0;
    info.extraFiles = noMusic;
    info.extraCount = 0;
    info.outputFile = path.data();
    info.option1 = 2;
    info.option2 = 1;
    info.option3 = 6;
    info.option4 = 2;
    info.option6 = video::StreamOption(standard);
    platform::CallStreamEncode(&info);
}

}  // namespace

std::string FirstSequenceItemPath(const video::VideoStandard& standard) {
    std::error_code ec;
    const std::string fixed = std::string(kFixedFirstSequenceFolder) + standard.firstItemName;
    if (std::filesystem::is_regular_file(fixed, ec)) return fixed;
    std::string path = platform::TempPath(standard.firstItemName);
    if (!std::filesystem::is_regular_file(path, ec)) MakeBlackClip(path, standard);
    return path;
}

}  // namespace vcdalbum::authoring
