// General helpers of the component's tests: scratch folders, shell
// commands, and short Video CD streams made by the ffmpeg tool.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "doubles/run_shell.h"
#include "doubles/scoped_env.h"
#include "doubles/scratch_dir.h"

namespace vcdalbum::components::burner::testing {

namespace fs = std::filesystem;

using ::vcdalbum::testing::CommandResult;
using ::vcdalbum::testing::ReadFile;
using ::vcdalbum::testing::RunShell;
using ::vcdalbum::testing::ScopedEnv;
using ::vcdalbum::testing::ScratchDir;
using ::vcdalbum::testing::WriteFile;

inline bool HaveTool(const std::string& tool) { return RunShell("command -v " + tool + " >/dev/null 2>&1").exitCode == 0; }

// A Video CD stream (NTSC, or PAL when `pal`) of one colour with silent
// sound, made by the ffmpeg tool.
inline bool MakeStream(const fs::path& file, const std::string& colour, double seconds = 4, bool pal = false) {
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i color=c=" + colour +
                                (pal ? ":s=352x288:r=25" : ":s=352x240:r=30000/1001") +
                                " -f lavfi -i anullsrc=r=44100:cl=stereo -target " +
                                (pal ? "pal-vcd" : "ntsc-vcd") + " -t " + std::to_string(seconds) + " '" +
                                file.string() + "' 2>&1";
    return RunShell(command).exitCode == 0 && fs::exists(file);
}

// Files in a folder, hidden ones included.
inline std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One of eight 4-second streams of different colours, kept in the build
// tree: ctest runs each test in a process of its own, and making them takes
// a while. Empty path when ffmpeg failed.
inline fs::path CachedStream(size_t i) {
    static const char* const colours[] = {"black", "navy", "red", "orange", "yellow", "maroon", "green", "purple"};
    const fs::path dir = fs::path(VCDALBUM_BINARY_DIR) / "test-streams";
    const fs::path file = dir / ("s" + std::to_string(i % 8) + ".mpg");
    if (!fs::exists(file)) {
        fs::create_directories(dir);
        const fs::path part = dir / ("s" + std::to_string(i % 8) + "." + std::to_string(getpid()) + ".mpg");
        if (MakeStream(part, colours[i % 8])) fs::rename(part, file);
    }
    return fs::exists(file) ? file : fs::path();
}

// What the standard PSD of `vcd-info -p` says about one list.
struct PsdList {
    std::string kind;
    int prev = 0, next = 0;
    std::string wait, loop;
    std::vector<int> selections;
};

// The standard PSD of `vcd-info -p`, list by list, keyed by list number.
inline std::map<int, PsdList> ReadPsd(const std::string& output) {
    std::map<int, PsdList> lists;
    const size_t start = output.find("VCD/PSD.VCD");
    if (start == std::string::npos) return lists;
    const size_t end = output.find("EXT/", start);
    std::istringstream lines(output.substr(start, end - start));
    const std::regex header(R"(\(LID\[(\d+)\] @0x[0-9a-f]+\): (selection|play) list)");
    const std::regex links(R"(prev: LID\[(\d+)\].*next: LID\[(\d+)\])");
    const std::regex waitLoop(R"(wait: (-?\d+) secs \| loop: (\d+))");
    const std::regex playWait(R"(wait: (-?\d+)s)");
    const std::regex selection(R"(ofs\[\d+\]: LID\[(\d+)\])");
    std::string line;
    PsdList* current = nullptr;
    std::smatch m;
    while (std::getline(lines, line)) {
        if (std::regex_search(line, m, header)) {
            current = &lists[std::stoi(m[1])];
            current->kind = m[2];
        } else if (!current) {
            continue;
        } else if (std::regex_search(line, m, links)) {
            current->prev = std::stoi(m[1]);
            current->next = std::stoi(m[2]);
        } else if (std::regex_search(line, m, waitLoop)) {
            current->wait = m[1];
            current->loop = m[2];
        } else if (std::regex_search(line, m, playWait)) {
            current->wait = m[1];
        } else if (std::regex_search(line, m, selection)) {
            current->selections.push_back(std::stoi(m[1]));
        }
    }
    return lists;
}

}  // namespace vcdalbum::components::burner::testing
