// Drive 0: a recorder whose discs are BIN/CUE image files. "Writing" puts
// <project name>.cue and .bin into the image directory; the disc in it is
// the last image this process wrote there.
#pragma once

#include <filesystem>
#include <string>

#include "contract/com_types.h"
#include "project.h"
#include "contract/component_interfaces.h"

namespace vcdalbum::components::burner {

inline constexpr int16_t kImageRecorderMaxSpeed = 52;

// VCDALBUM_IMAGE_DIR, else the current directory.
std::filesystem::path ImageDirectory();

// The file name an image of the project gets (without extension): the
// project's name with path separators and control characters replaced.
std::string ImageBaseName(const std::string& projectName);

// Copies the project's built image into `dir` under temporary names and
// renames both into place, the CUE pointing at the BIN by its bare name.
// On failure nothing new is left in `dir` and one message is on stderr.
com::HRESULT DeliverImage(const Project& project, const std::filesystem::path& dir);

void ImageRecorderDriveInfo(_QelDriveInfo& info);
void ImageRecorderDiscInfo(_QelDiscInfo& info);
// Removes the image that is "in the drive"; true when nothing is left.
bool EraseImageDisc();

}  // namespace vcdalbum::components::burner
