// Checking a project against what a Video CD can hold, and describing it in
// vcdimager's XML.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "contract/disc_capacity.h"
#include "project.h"

namespace vcdalbum::components::burner {

inline constexpr size_t kMaxSelections = 99;  // per selection list, with the base number
// The largest disc a project may fill: an 80-minute CD-R.
inline constexpr uint64_t kDiscSectors = static_cast<uint64_t>(vcdalbum::burner::kLargestDiscSectors);

// Sectors the project will take on the disc, margins and gaps included.
// An upper estimate: vcdxbuild's own layout stays below it.
uint64_t EstimateDiscSectors(const Project& project);

// Checks the whole project before anything is written: kind, item and node
// references, unique node names, list limits, readable files, disc time.
// Returns the one message for the first problem found, naming the item or
// node, or nullopt when the project can be built.
std::optional<std::string> CheckProject(const Project& project);

// The name an extra file or folder gets on the disc: ISO 9660 level 1
// (upper case letters, digits and '_', 8 characters plus a 3-letter
// extension for files).
std::string DiscFolderName(const std::string& name);
std::string DiscFileName(const std::string& name);

// The XML ID of sequence item `index` (from 0) in the description.
std::string SequenceXmlId(const Project& project, size_t index);

// The XML description vcdxbuild reads. `streamFiles` maps a sequence item's
// index to the file to use instead of its own (unwrapped .DAT files);
// every path is made absolute.
std::string DescribeDisc(const Project& project, const std::map<size_t, std::filesystem::path>& streamFiles);

}  // namespace vcdalbum::components::burner
