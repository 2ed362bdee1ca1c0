// vcdalbum build PROJECT.json|FOLDER: from a project file, or straight from a
// folder of pictures, to a disc or disc image; or, with --write-project, to
// the project file that describes that disc.
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "command.h"
#include "drawing_command.h"
#include "project/folder_project.h"
#include "picture/menu_page.h"
#include "build/disc_build.h"
#include "picture/clip_frames.h"
#include "build/disc_split.h"
#include "console/errors.h"
#include "project/project.h"
#include "console/work_pool.h"
#include "platform/atomic_file.h"

namespace vcdalbum::cli {
namespace {

struct BuildArgs {
    std::string project;  // a project file or a folder of pictures
    std::string writeProject;
    std::string captions;  // for a folder's albums: "name", "date" or "none"
    int discs = 0;         // at most this many discs; 0: as many as the collection needs
    host::BuildOptions options;
    bool quiet = false, verbose = false;
};

int RunBuildDrawing(const BuildArgs& args) {
    using namespace host;
    const Verbosity verbosity = args.quiet ? Verbosity::Quiet : args.verbose ? Verbosity::Verbose : Verbosity::Normal;
    namespace fs = std::filesystem;
    std::error_code ec;
    Project project;
    if (fs::is_directory(args.project, ec)) {
        FolderDisc disc = ScanFolder(args.project, args.options.jobs);
        const CaptionSource captions = args.captions == "name"   ? CaptionSource::Name
                                       : args.captions == "date" ? CaptionSource::Date
                                                                 : CaptionSource::None;
        for (Album& album : disc.project.albums) album.captions = captions;
        if (!args.quiet) PrintFolderPlan(std::cout, disc);
        project = std::move(disc.project);
    } else {
        if (!args.captions.empty())
            throw InputError(args.project + ": --captions is for a folder; a project file says \"captions\" itself");
        project = LoadProject(args.project);
    }
    if (args.options.video != nullptr) project.video = args.options.video;
    // The plan counts each clip's length, so the clips are opened first.
    MeasureClips(project, args.options.jobs ? args.options.jobs : DefaultJobs());
    // Divided before any picture is read, so that a refusal costs nothing.
    const DiscSplit split = SplitIntoDiscs(project, args.options.seed, args.options.discMinutes, args.discs);
    const size_t count = split.discs.size();
    if (!args.quiet) PrintDiscSplit(std::cout, split);
    // A recorder takes one blank disc at a time, and nobody stands by to
    // change it halfway through.
    if (count > 1 && args.options.drive != 0 && args.writeProject.empty() && !args.options.dryRun)
        throw InputError(args.project + ": the collection needs " + std::to_string(count) +
                         " discs; build their images with --drive 0 and write them one at a time");
    if (!args.writeProject.empty()) {
        // Never over a file a person may have edited, and none written when
        // one of them is in the way.
        const fs::path file = fs::absolute(args.writeProject).lexically_normal();
        for (size_t d = 0; d < count; ++d) {
            const fs::path each = DiscProjectFile(file, d + 1, count);
            if (fs::exists(fs::symlink_status(each, ec)))
                throw InputError(each.string() + ": already exists; choose another name or remove it first");
        }
        for (size_t d = 0; d < count; ++d) {
            const fs::path each = DiscProjectFile(file, d + 1, count);
            const std::string text = ProjectJson(split.discs[d], each);
            std::string error;
            if (!platform::WriteFileAtomically(each.string(), text.data(), text.size(), &error))
                throw InputError(each.string() + ": " + error);
            if (!args.quiet) std::cout << "Project written: " << each.string() << "\n";
        }
        return kExitOk;
    }
    Progress progress = Progress::ForStderr(verbosity);
    // A bad picture on the last disc stops the build before the first is made.
    if (count > 1 && !args.options.dryRun) CheckInputs(project, args.options, progress);
    // The discs are one set: when one fails, the images made before it go too.
    std::vector<fs::path> made;
    for (size_t d = 0; d < count; ++d) {
        BuildResult result;
        try {
            result = BuildDisc(split.discs[d], args.options, progress);
        } catch (...) {
            for (const fs::path& file : made) fs::remove(file, ec);
            throw;
        }
        if (!result.cue.empty() && !args.options.dryRun) made.insert(made.end(), {result.cue, result.bin});
        if (args.options.dryRun || args.quiet) continue;
        if (args.options.drive == 0)
            std::cout << "Disc image: " << result.cue.string() << " (with " << result.bin.filename().string()
                      << ")\n"
                      << "Try its menus in a web browser: vcdalbum preview \"" << result.cue.string() << "\" --open\n";
        else
            std::cout << "Disc written in drive " << args.options.drive << "\n";
        if (!result.work.empty()) std::cout << "Work folder kept: " << result.work.string() << "\n";
    }
    return kExitOk;
}

const bool buildRegistered = RegisterCommand("build", [](CLI::App& app) -> RunFn {
    auto args = std::make_shared<BuildArgs>();
    auto* sub = app.add_subcommand("build", "Build a Video CD from a project file or a folder of pictures");
    sub->add_option("PROJECT", args->project,
                    "Project file (JSON), or a folder whose subfolders of pictures become the albums")
        ->required();
    sub->add_option("--write-project", args->writeProject,
                    "Write the disc as a project file to edit (paths inside its folder relative, others absolute) "
                    "and stop");
    sub->add_option("--captions", args->captions,
                    "For a folder: caption each picture with its file name or the day it was taken")
        ->check(CLI::IsMember({"name", "date", "none"}));
    sub->add_option("--out", args->options.out, "Folder for the disc image (drive 0)")->capture_default_str();
    sub->add_option("--drive", args->options.drive, "0: disc image; 1..N: a recorder (see `vcdalbum drives`)")
        ->check(CLI::Range(0, 99))
        ->capture_default_str();
    sub->add_option("--speed", args->options.speed, "Write speed")->check(CLI::Range(1, 100))->capture_default_str();
    sub->add_option("--disc", args->options.discMinutes, "Disc size in minutes")
        ->check(CLI::IsMember({74, 80}))
        ->capture_default_str();
    sub->add_option("--discs", args->discs,
                    "At most this many discs; a collection longer than one disc is otherwise divided among as many "
                    "as it needs, each with its own menus")
        ->check(CLI::Range(1, 99));
    sub->add_option("--seed", args->options.seed, "Seed for random transitions and effects")->capture_default_str();
    args->options.jobs = host::DefaultJobs();
    sub->add_option("-j,--jobs", args->options.jobs, "Threads for pictures, transitions and streams (default: one per core)")
        ->check(CLI::Range(1u, 256u))
        ->capture_default_str();
    sub->add_option_function<std::string>(
           "--video",
           [args](const std::string& name) {
               args->options.video = host::VideoStandardNamed(name);
           },
           "Television standard: ntsc (352x240, 29.97 frames/s) or pal (352x288, 25 frames/s); overrides the project's \"video\"")
        ->check(CLI::IsMember({"ntsc", "pal"}, CLI::ignore_case));
    sub->add_flag("--dry-run", args->options.dryRun, "Print the plan and stop");
    sub->add_flag("--keep-work", args->options.keepWork, "Keep the work folder");
    auto* quiet = sub->add_flag("-q,--quiet", args->quiet, "Only errors");
    sub->add_flag("-v,--verbose", args->verbose, "Say what is done")->excludes(quiet);
    return [args] { return RunDrawingCommand([&] { return RunBuildDrawing(*args); }); };
});

}  // namespace
}  // namespace vcdalbum::cli
