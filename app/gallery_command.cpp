// vcdalbum gallery: an HTML page with all transition effects.
#include <cstdlib>
#include <iostream>
#include <memory>

#include "platform/atomic_file.h"
#include "command.h"
#include "drawing_command.h"
#include "picture/menu_page.h"
#include "console/errors.h"
#include "readback/gallery.h"
#include "build/work_folder.h"

namespace vcdalbum::cli {
namespace {

struct GalleryArgs {
    std::string out = "vcdalbum-gallery";
    bool quiet = false;
};

int RunGalleryDrawing(const GalleryArgs& args) {
    using namespace host;
    namespace fs = std::filesystem;
    const fs::path out = fs::absolute(args.out).lexically_normal();
    std::error_code ec;
    fs::create_directories(out, ec);
    if (!fs::is_directory(out, ec)) throw InputError(out.string() + ": output folder cannot be made");
    Progress progress = Progress::ForStderr(args.quiet ? Verbosity::Quiet : Verbosity::Normal);
    progress.SetPhases({"rendering effects"});
    std::vector<EffectFrames> effects;
    {
        const WorkFolder work("vcdalbum-gallery-", false);
        effects = RenderAllEffects(work.path(), progress);
    }
    progress.Done(0, std::to_string(effects.size()) + " effects");
    const std::string html = GalleryHtml(effects);
    const fs::path page = out / "effects.html";
    std::string error;
    if (!platform::WriteFileAtomically(page.string(), html.data(), html.size(), &error))
        throw InputError(page.string() + ": " + error);
    if (!args.quiet) std::cout << "Gallery: " << page.string() << " (open it in a browser)\n";
    return kExitOk;
}

const bool galleryRegistered = RegisterCommand("gallery", [](CLI::App& app) -> RunFn {
    auto args = std::make_shared<GalleryArgs>();
    auto* sub = app.add_subcommand("gallery", "Write an HTML page showing all transition effects");
    sub->add_option("--out", args->out, "Folder for effects.html")->capture_default_str();
    sub->add_flag("-q,--quiet", args->quiet, "Only errors");
    return [args] { return RunDrawingCommand([&] { return RunGalleryDrawing(*args); }); };
});

}  // namespace
}  // namespace vcdalbum::cli
