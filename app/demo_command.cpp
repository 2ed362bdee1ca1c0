// vcdalbum demo: a complete demo disc from pictures and music made on the spot.
#include <chrono>
#include <iostream>
#include <memory>

#include "command.h"
#include "drawing_command.h"
#include "picture/menu_page.h"
#include "picture/demo_content.h"
#include "build/disc_build.h"
#include "console/errors.h"
#include "console/work_pool.h"

namespace vcdalbum::cli {
namespace {

struct DemoArgs {
    std::string out = "vcdalbum-demo";
    bool quiet = false, verbose = false;
    bool keepWork = false;
    unsigned jobs = host::DefaultJobs();
};

int RunDemoDrawing(const DemoArgs& args) {
    using namespace host;
    namespace fs = std::filesystem;
    const auto start = std::chrono::steady_clock::now();
    const fs::path out = fs::absolute(args.out).lexically_normal();
    const Project project = MakeDemoProject(out / "project");
    BuildOptions options;
    options.out = out;
    options.keepWork = args.keepWork;
    options.jobs = args.jobs;
    Progress progress = Progress::ForStderr(args.quiet     ? Verbosity::Quiet
                                            : args.verbose ? Verbosity::Verbose
                                                           : Verbosity::Normal);
    const BuildResult result = BuildDisc(project, options, progress);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (args.quiet) return kExitOk;
    std::cout << "\nDemo disc built in " << static_cast<int>(seconds * 10) / 10.0 << " s: "
              << result.plan.menus.size() << " menus, " << result.plan.albums.size() << " albums.\n"
              << "  image:   " << result.cue.string() << "\n"
              << "           " << result.bin.string() << "\n"
              << "  project: " << project.file.string() << " (its pictures and music are beside it)\n\n"
              // xine (Debian's xine-ui) follows the disc's menus through
              // libxine's Video CD plugin; VLC 3 plays the tracks only.
              << "Play it:   xine \"vcd://" << result.cue.string() << "\"\n"
              << "           (a number key, then Enter on the keypad, chooses; keypad PgUp/PgDn are PREV/NEXT, F1 is RETURN)\n"
              << "Try its menus in a web browser: vcdalbum preview \"" << result.cue.string() << "\" --open\n"
              << "Burn it:   cdrdao write --device /dev/sr0 --eject \"" << result.cue.string() << "\"\n"
              << "       or: vcdalbum build \"" << project.file.string() << "\" --drive 1\n";
    return kExitOk;
}

const bool demoRegistered = RegisterCommand("demo", [](CLI::App& app) -> RunFn {
    auto args = std::make_shared<DemoArgs>();
    auto* sub = app.add_subcommand("demo", "Build the demo disc from pictures and music made on the spot");
    sub->add_option("--out", args->out, "Folder for the demo's project and disc image")->capture_default_str();
    sub->add_flag("--keep-work", args->keepWork, "Keep the work folder");
    sub->add_option("-j,--jobs", args->jobs, "Threads for pictures, transitions and streams (default: one per core)")
        ->check(CLI::Range(1u, 256u))
        ->capture_default_str();
    auto* quiet = sub->add_flag("-q,--quiet", args->quiet, "Only errors");
    sub->add_flag("-v,--verbose", args->verbose, "Say what is done")->excludes(quiet);
    return [args] { return RunDrawingCommand([&] { return RunDemoDrawing(*args); }); };
});

}  // namespace
}  // namespace vcdalbum::cli
