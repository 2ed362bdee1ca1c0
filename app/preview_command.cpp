// vcdalbum preview DISC.cue [--out DIR] [--open]: a folder with a web page
// that plays the image's playback control like a player with a remote
// control (readback/preview_page_writer.h).
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <string>

#include "command.h"
#include "console/errors.h"
#include "readback/preview_page_writer.h"

extern char** environ;

namespace vcdalbum::cli {
namespace {
namespace fs = std::filesystem;

struct PreviewArgs {
    std::string cue;
    std::string out;
    bool open = false;
    bool quiet = false;
};

void OpenInBrowser(const fs::path& page) {
    std::string program = "xdg-open", target = page.string();
    char* argv[] = {program.data(), target.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
        PrintWarning("cannot start xdg-open; open " + page.string() + " in a web browser");
        return;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        PrintWarning("xdg-open could not open " + page.string() + "; open it in a web browser");
}

int Preview(const PreviewArgs& args) {
    const auto start = std::chrono::steady_clock::now();
    const fs::path cue = fs::absolute(args.cue).lexically_normal();
    const fs::path out =
        args.out.empty() ? cue.parent_path() / (cue.stem().string() + " preview") : fs::absolute(args.out).lexically_normal();
    const host::PreviewPage written = host::WritePreviewPage(cue, out, args.quiet);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!args.quiet) {
        std::cout << "Preview written in " << std::fixed << std::setprecision(1) << seconds << " s"
                  << (written.hasPlaybackControl ? "" : " (the image has no playback control: a plain track list)")
                  << ":\n  " << written.page.string() << "\n";
        if (!args.open) std::cout << "Open it:   xdg-open \"" << written.page.string() << "\"\n";
    }
    if (args.open) OpenInBrowser(written.page);
    return kExitOk;
}

int RunPreview(const PreviewArgs& args) {
    try {
        return Preview(args);
    } catch (const host::InputError& e) {
        PrintError(e.what());
        return kExitBadInput;
    } catch (const host::RunError& e) {
        PrintError(e.what());
        return kExitFailed;
    }
}

const bool previewRegistered = RegisterCommand("preview", [](CLI::App& app) -> RunFn {
    auto args = std::make_shared<PreviewArgs>();
    auto* sub = app.add_subcommand("preview", "Write a web page that plays a Video CD image's menus like a player");
    sub->add_option("DISC", args->cue, "the image's CUE file")->required();
    sub->add_option("--out", args->out, "Folder for the page (default: \"<image> preview\" beside the image)");
    sub->add_flag("--open", args->open, "Open the page in the web browser");
    sub->add_flag("-q,--quiet", args->quiet, "Only errors");
    return [args] { return RunPreview(*args); };
});

}  // namespace
}  // namespace vcdalbum::cli
