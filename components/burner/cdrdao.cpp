#include "cdrdao.h"

#include "component_messages.h"
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

namespace {

// The end of what cdrdao said, where the reason for a failure is.
void PassOnTail(const std::string& output, size_t lines) {
    std::vector<std::string> kept;
    std::string line;
    for (char c : output + "\n") {
        if (c != '\n' && c != '\r') {
            line += c;
            continue;
        }
        if (!line.empty()) kept.push_back(std::move(line));
        line.clear();
    }
    for (size_t i = kept.size() > lines ? kept.size() - lines : 0; i < kept.size(); ++i) Complain("cdrdao: " + kept[i]);
}

}  // namespace

com::HRESULT RunCdrdao(const std::vector<std::string>& command) {
    // Its progress is shown as it comes in verbose runs; otherwise it is
    // kept, and only a failure shows how it ended.
    const bool verbose = VerboseRun();
    const ProgramResult run = RunProgram(command, verbose ? ProgramOutput::PassOn : ProgramOutput::Capture);
    if (!run.started) {
        Complain("cdrdao could not be run; it is needed to write to an optical drive");
        return QEL_E_RECORDER_TOOL;
    }
    if (run.exitCode != 0) {
        if (!verbose) PassOnTail(run.output, 10);
        Complain("'" + CommandLineText(command) + "' failed with exit code " + std::to_string(run.exitCode));
        return QEL_E_RECORDER_TOOL;
    }
    return com::S_OK;
}

}  // namespace vcdalbum::components::burner
