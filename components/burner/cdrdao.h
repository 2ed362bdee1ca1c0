// Writing and blanking real discs through cdrdao (libcdio cannot write).
#pragma once

#include <string>
#include <vector>

#include "contract/com_types.h"

namespace vcdalbum::components::burner {

// cdrdao write --device DEV [--speed S] --eject -n CUE. Speed 0 or less
// leaves the choice to the drive.
std::vector<std::string> CdrdaoWriteCommand(const std::string& device, int speed, const std::string& cueFile);
// cdrdao blank --device DEV --blank-mode minimal|full. Erase mode 1 blanks
// the whole disc; every other mode only its table of contents.
std::vector<std::string> CdrdaoBlankCommand(const std::string& device, int eraseMode);

// Runs a cdrdao command with its output passed on to standard error.
// Failure (cdrdao missing, or a non-zero exit code, which the message
// gives) is QEL_E_RECORDER_TOOL.
com::HRESULT RunCdrdao(const std::vector<std::string>& command);

}  // namespace vcdalbum::components::burner
