// vcdalbum frame --effect N --frame K FIRST SECOND OUT: one transition frame.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include <vcdalbum/codec.h>
#include <vcdalbum/transitions.h>

#include "command.h"
#include "ppm/ppm.h"

namespace vcdalbum::cli {
namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        const char c = text[text.size() - suffix.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != suffix[i]) return false;
    }
    return true;
}

// Reads a JPEG or binary PPM picture, told apart by their first bytes.
bool LoadPicture(const std::string& path, Image& image, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open for reading";
        return false;
    }
    unsigned char magic[2] = {};
    in.read(reinterpret_cast<char*>(magic), 2);
    in.close();
    if (magic[0] == 'P' && magic[1] == '6') return ReadPpm(path, image, error);
    if (magic[0] != 0xFF || magic[1] != 0xD8) {
        error = path + ": neither a JPEG nor a binary PPM (P6) file";
        return false;
    }
    const CodecResult decoded = DecodeJpegFile(path, image);
    if (!decoded.ok()) {
        error = path + ": " + decoded.message;
        return false;
    }
    if (!decoded.message.empty()) PrintWarning(path + ": " + decoded.message);
    return true;
}

struct FrameOptions {
    int effect = -1;
    int frame = 0;
    std::string first, second, out;
};

int RenderFrameCommand(const FrameOptions& o) {
    const int last = o.effect >= 0 ? TransitionLastFrame(static_cast<unsigned>(o.effect)) : -1;
    if (last < 0) {
        PrintError("effect " + std::to_string(o.effect) + " does not exist: effects are numbered 0 to " +
                   std::to_string(TransitionEffectCount - 1) + " (see `vcdalbum effects`)");
        return kExitBadInput;
    }
    if (o.frame < 0 || o.frame > last) {
        PrintError("effect " + std::to_string(o.effect) + " (" + TransitionEffectName(o.effect) +
                   ") draws frames 0 to " + std::to_string(last) + ", not " + std::to_string(o.frame));
        return kExitBadInput;
    }
    const bool toPpm = EndsWith(o.out, ".ppm");
    if (!toPpm && !EndsWith(o.out, ".jpg") && !EndsWith(o.out, ".jpeg")) {
        PrintError(o.out + ": the output must end in .ppm or .jpg");
        return kExitBadInput;
    }

    Image first{}, second{};
    auto release = [](Image* image) { ReleaseImage(*image); };
    std::unique_ptr<Image, decltype(release)> holdFirst(&first, release), holdSecond(&second, release);
    std::string error;
    if (!LoadPicture(o.first, first, error) || !LoadPicture(o.second, second, error)) {
        PrintError(error);
        return kExitBadInput;
    }

    if (!toPpm) {
        const TransitionResult saved = RenderTransitionToFile(first, second, o.out, o.effect, o.frame);
        if (!saved.ok()) {
            PrintError(saved.message);
            return saved.code == kTransitionBadPicture ? kExitBadInput : kExitFailed;
        }
        return kExitOk;
    }
    Image result{};
    const TransitionResult rendered = RenderTransition(first, second, o.effect, o.frame, result);
    std::unique_ptr<Image, decltype(release)> holdResult(&result, release);
    if (!rendered.ok()) {
        PrintError(rendered.message);
        return rendered.code == kTransitionBadPicture ? kExitBadInput : kExitFailed;
    }
    if (!WritePpm(o.out, result, error)) {
        PrintError(error);
        return kExitFailed;
    }
    return kExitOk;
}

const bool frameRegistered = RegisterCommand("frame", [](CLI::App& app) -> RunFn {
    auto* sub = app.add_subcommand("frame", "Render one transition frame between two pictures");
    auto options = std::make_shared<FrameOptions>();
    sub->add_option("--effect", options->effect, "Effect number, 0 to 37")->required();
    sub->add_option("--frame", options->frame, "Frame number; the library renders 1 to 30")->required();
    sub->add_option("FIRST", options->first, "Picture the transition leaves (JPEG or binary PPM)")->required();
    sub->add_option("SECOND", options->second, "Picture the transition arrives at (JPEG or binary PPM)")->required();
    sub->add_option("OUT", options->out, "Output: .ppm for the exact pixels, .jpg for the saved frame")->required();
    return [options] { return RenderFrameCommand(*options); };
});

}  // namespace
}  // namespace vcdalbum::cli
