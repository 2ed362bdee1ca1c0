#include "cdrdao.h"

#include "process.h"
#include "project.h"
#include "results.h"

namespace vcdalbum::components::burner {

std::vector<std::string> CdrdaoWriteCommand(const std::string& device, int speed, const std::string& cueFile) {
    std::vector<std::string> command = {"cdrdao", "write", "--device", device};
    if (speed > 0) {
        command.push_back("--speed");
        command.push_back(std::to_string(speed));
    }
    // -n: no 10-second pause before writing; nobody is there to abort.
    for (const char* arg : {"--eject", "-n"}) command.emplace_back(arg);
    command.push_back(cueFile);
    return command;
}

std::vector<std::string> CdrdaoBlankCommand(const std::string& device, int eraseMode) {
    return {"cdrdao", "blank", "--device", device, "--blank-mode", eraseMode == 1 ? "full" : "minimal"};
}

com::HRESULT RunCdrdao(const std::vector<std::string>& command) {
    const ProgramResult run = RunProgram(command, ProgramOutput::PassOn);
    if (!run.started) {
        Complain("cdrdao could not be run; it is needed to write to an optical drive");
        return QEL_E_RECORDER_TOOL;
    }
    if (run.exitCode != 0) {
        Complain("'" + CommandLineText(command) + "' failed with exit code " + std::to_string(run.exitCode));
        return QEL_E_RECORDER_TOOL;
    }
    return com::S_OK;
}

}  // namespace vcdalbum::components::burner
