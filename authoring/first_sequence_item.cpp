#include "authoring/first_sequence_item.h"

#include <filesystem>

#include "platform/stream_encoder.h"
#include "platform/temp_dir.h"

namespace vcdalbum::authoring {
namespace {

// A record without pictures or music: the encoder makes a black clip of its
// minimum length with silent audio.
void MakeBlackClip(std::string& path) {
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
    platform::CallStreamEncode(&info);
}

}  // namespace

std::string FirstSequenceItemPath() {
    std::error_code ec;
    if (std::filesystem::is_regular_file(kFixedFirstSequenceItem, ec)) return kFixedFirstSequenceItem;
    std::string path = platform::TempPath(kFirstSequenceItemName);
    if (!std::filesystem::is_regular_file(path, ec)) MakeBlackClip(path);
    return path;
}

}  // namespace vcdalbum::authoring
