// Running the outside tools (vcdxbuild, cdrdao) as child processes.
#pragma once

#include <string>
#include <vector>

namespace vcdalbum::components::burner {

struct ProgramResult {
    bool started = false;  // false when the program could not be run at all
    int exitCode = -1;     // exit status, or 128 + signal number
    std::string output;    // standard output and error, when captured
};

enum class ProgramOutput {
    PassOn,   // the child's output goes to our standard error as it comes
    Capture,  // collected into ProgramResult::output
};

// Runs argv[0] (looked up on PATH) with the given arguments in `workDir`
// (the current directory when empty) and waits for it.
ProgramResult RunProgram(const std::vector<std::string>& argv, ProgramOutput output,
                         const std::string& workDir = {});

// The command line as a person would type it, for messages.
std::string CommandLineText(const std::vector<std::string>& argv);

}  // namespace vcdalbum::components::burner
