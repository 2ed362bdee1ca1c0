#include "image_builder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "component_messages.h"
#include "disc_layout.h"
#include "mpeg_file.h"
#include "process.h"
#include "results.h"
#include "standard_check.h"

namespace vcdalbum::components::burner {
namespace {

void EmptyDirectory(const std::filesystem::path& dir) {
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(dir, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
        std::filesystem::remove_all(it->path(), ec);
}

bool MakeWorkDirectory(Project& project) {
    if (!project.workDir.empty() && std::filesystem::is_directory(project.workDir)) return true;
    std::string pattern = (TemporaryDirectory() / "qelburner-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        Complain("cannot make a work directory in " + TemporaryDirectory().string());
        return false;
    }
    project.workDir = pattern;
    return true;
}

// The warning vcdxbuild gives for a disc whose first sequence item no
// playback-control node plays. Hosts lead every disc with a fixed clip that
// is there for the players, not for the menus, so on such a disc it is
// always given and tells a person nothing.
std::string UnreachableLeadWarning(const Project& project) {
    if (project.sequences.empty()) return {};
    return "++ WARN: sequence '" + SequenceXmlId(project, 0) + "' is not reachable by PBC";
}

// Passes vcdxbuild's own lines on: everything it said when it failed, its
// warnings in verbose runs, nothing otherwise.
void PassOnToolOutput(const Project& project, const std::string& output, bool failed) {
    if (!failed && !VerboseRun()) return;
    const std::string expected = UnreachableLeadWarning(project);
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line == expected) continue;
        if (failed || line.find("WARN") != std::string::npos || line.find("ERROR") != std::string::npos)
            Complain("vcdxbuild: " + line);
    }
}

}  // namespace

com::HRESULT BuildImage(Project& project) {
    project.built = false;
    std::optional<std::string> problem = CheckProject(project);
    if (!problem) problem = CheckOneStandard(project);
    if (problem) {
        Complain("cannot build: " + *problem);
        if (!project.workDir.empty()) EmptyDirectory(project.workDir);
        return QEL_E_INVALID_PROJECT;
    }
    if (!MakeWorkDirectory(project)) return QEL_E_IMAGE_BUILD;
    // Whatever an earlier build left is stale now.
    EmptyDirectory(project.workDir);

    auto fail = [&](const std::string& message) {
        if (!message.empty()) Complain(message);
        EmptyDirectory(project.workDir);
        return QEL_E_IMAGE_BUILD;
    };

    std::map<size_t, std::filesystem::path> unwrapped;
    for (size_t i = 0; i < project.sequences.size(); ++i) {
        const SequenceItem& item = project.sequences[i];
        if (!ProbeStream(item.file).isDat) continue;
        const std::filesystem::path out = project.workDir / ("track" + std::to_string(i + 1) + ".mpg");
        std::string error;
        if (!UnwrapDat(item.file, out, error))
            return fail("cannot build: sequence item '" + item.itemId + "': file '" + item.file + "' " + error);
        unwrapped[i] = out;
    }

    {
        std::ofstream xml(project.Description(), std::ios::trunc);
        xml << DescribeDisc(project, unwrapped);
        xml.close();
        if (!xml) return fail("cannot write " + project.Description().string());
    }

    const std::vector<std::string> command = {"vcdxbuild", "-c", project.ImageCue().string(), "-b",
                                              project.ImageBin().string(), project.Description().string()};
    const ProgramResult run = RunProgram(command, ProgramOutput::Capture, project.workDir.string());
    if (!run.started) return fail("cannot build the image: vcdxbuild (vcdimager) could not be run");
    PassOnToolOutput(project, run.output, run.exitCode != 0);
    if (run.exitCode != 0)
        return fail("vcdxbuild failed with exit code " + std::to_string(run.exitCode) + " building project '" +
                    project.name + "'");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(project.ImageBin(), ec) ||
        !std::filesystem::is_regular_file(project.ImageCue(), ec))
        return fail("vcdxbuild reported success but left no image for project '" + project.name + "'");
    project.built = true;
    return com::S_OK;
}

}  // namespace vcdalbum::components::burner
