// The stream every disc starts with, before the first menu.
#pragma once

#include <string>

#include "contract/video_standard.h"

namespace vcdalbum::authoring {

// Where the streams live on the machines the library was first made for:
// this folder, then the standard's file name (EnablePbcNTSC.mpg,
// EnablePbcPAL.mpg).
inline constexpr char kFixedFirstSequenceFolder[] = "D:\\Projects\\QelBuilder\\Data\\";

// The fixed path of the standard's stream when that file exists, else the
// same name in the temporary directory. That file is made through the
// stream encoder when it is missing (a short black clip of the standard with
// silent audio), so later runs reuse it. The path is returned even when it
// could not be made; the encoder has said why on standard error, and the
// burner refuses the missing item.
std::string FirstSequenceItemPath(const video::VideoStandard& standard = video::kNtsc);

}  // namespace vcdalbum::authoring
