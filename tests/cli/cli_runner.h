// Running the vcdalbum tool (and the disc tools) from a test.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "doubles/scratch_dir.h"

namespace vcdalbum::clitest {

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

// Runs `program` with `args` (no shell), with the extra environment
// variables `env` ("NAME=value"), and collects what it prints.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
              const std::vector<std::string>& env = {}, const std::filesystem::path& cwd = {});

// Runs the vcdalbum tool built with the tests.
RunResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// A program started and not yet waited for.
struct RunningProgram {
    int pid = -1;
    std::string outFile, errFile;
    // Waits for the end and collects what it printed.
    RunResult Wait();
};
RunningProgram StartProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::vector<std::string>& env = {}, const std::filesystem::path& cwd = {});
RunningProgram StartCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

using vcdalbum::testing::ReadBytes;
using vcdalbum::testing::ScratchDir;
using vcdalbum::testing::WriteFile;

// A 4:3 JPEG of one colour with a white band whose place depends on `seed`,
// written with the library's encoder.
void WritePicture(const std::filesystem::path& file, int seed, unsigned width = 320, unsigned height = 240);

}  // namespace vcdalbum::clitest
