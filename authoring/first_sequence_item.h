// The stream every disc starts with, before the first menu.
#pragma once

#include <string>

namespace vcdalbum::authoring {

// Where the stream lives on the machines the library was first made for.
inline constexpr char kFixedFirstSequenceItem[] = "D:\\Projects\\QelBuilder\\Data\\EnablePbcNTSC.mpg";
inline constexpr char kFirstSequenceItemName[] = "EnablePbcNTSC.mpg";

// The fixed path when that file exists, else EnablePbcNTSC.mpg in the
// temporary directory.
std::string FirstSequenceItemPath();

}  // namespace vcdalbum::authoring
