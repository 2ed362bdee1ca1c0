// The stream every disc starts with, before the first menu.
#pragma once

#include <string>

namespace vcdalbum::authoring {

// Where the stream lives on the machines the library was first made for.
inline constexpr char kFixedFirstSequenceItem[] = "D:\\Projects\\QelBuilder\\Data\\EnablePbcNTSC.mpg";
inline constexpr char kFirstSequenceItemName[] = "EnablePbcNTSC.mpg";

// The fixed path when that file exists, else EnablePbcNTSC.mpg in the
// temporary directory. That file is made through the stream encoder when it
// is missing (a short black clip with silent audio), so later runs reuse it.
// The path is returned even when it could not be made; the encoder has said
// why on standard error, and the burner refuses the missing item.
std::string FirstSequenceItemPath();

}  // namespace vcdalbum::authoring
