// vcdalbum build PROJECT.json: from a project file to a disc or disc image.
#include <iostream>
#include <memory>

#include "command.h"
#include "drawing_command.h"
#include "host/menu_page.h"
#include "host/disc_build.h"
#include "host/errors.h"
#include "host/project.h"
#include "host/work_pool.h"

namespace vcdalbum::cli {
namespace {

struct BuildArgs {
    std::string project;
    host::BuildOptions options;
    bool quiet = false, verbose = false;
};

int RunBuildDrawing(const BuildArgs& args) {
    using namespace host;
    const Verbosity verbosity = args.quiet ? Verbosity::Quiet : args.verbose ? Verbosity::Verbose : Verbosity::Normal;
    const Project project = LoadProject(args.project);
    Progress progress = Progress::ForStderr(verbosity);
    const BuildResult result = BuildDisc(project, args.options, progress);
    if (args.options.dryRun) return kExitOk;
    if (!args.quiet) {
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

const bool registered = RegisterCommand("build", [](CLI::App& app) -> RunFn {
    auto args = std::make_shared<BuildArgs>();
    auto* sub = app.add_subcommand("build", "Build a Video CD from a project file");
    sub->add_option("PROJECT", args->project, "Project file (JSON)")->required();
    sub->add_option("--out", args->options.out, "Folder for the disc image (drive 0)")->capture_default_str();
    sub->add_option("--drive", args->options.drive, "0: disc image; 1..N: a recorder (see `vcdalbum drives`)")
        ->check(CLI::Range(0, 99))
        ->capture_default_str();
    sub->add_option("--speed", args->options.speed, "Write speed")->check(CLI::Range(1, 100))->capture_default_str();
    sub->add_option("--disc", args->options.discMinutes, "Disc size in minutes")
        ->check(CLI::IsMember({74, 80}))
        ->capture_default_str();
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
