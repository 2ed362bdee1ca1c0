#include "authoring/first_sequence_item.h"

#include <filesystem>

#include "platform/temp_dir.h"

namespace vcdalbum::authoring {

std::string FirstSequenceItemPath() {
    std::error_code ec;
    if (std::filesystem::is_regular_file(kFixedFirstSequenceItem, ec)) return kFixedFirstSequenceItem;
    return platform::TempPath(kFirstSequenceItemName);
}

}  // namespace vcdalbum::authoring
