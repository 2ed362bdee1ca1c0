// `vcdalbum encode IN.ppm OUT.jpg`: a binary PPM through the library's own
// JPEG encoder.
#include <memory>
#include <string>
#include <vector>

#include <vcdalbum/codec.h>

#include "platform/atomic_file.h"
#include "command.h"
#include "ppm/ppm.h"

namespace vcdalbum::cli {
namespace {

int Encode(const std::string& input, const std::string& output) {
    Image image{};
    std::string error;
    if (!ReadPpm(input, image, error)) {
        PrintError(error);
        return kExitBadInput;
    }
    std::vector<uint8_t> jpeg;
    const CodecResult result = EncodeJpeg(image, jpeg);
    ReleaseImage(image);
    if (!result.ok()) {
        PrintError(input + ": " + result.message);
        return kExitFailed;
    }
    if (!platform::WriteFileAtomically(output, jpeg.data(), jpeg.size(), &error)) {
        PrintError(error);
        return kExitFailed;
    }
    return kExitOk;
}

const bool encodeRegistered = RegisterCommand("encode", [](CLI::App& app) -> RunFn {
    auto* sub = app.add_subcommand("encode", "Encode a binary PPM (P6, maxval 255) as a baseline JPEG file");
    auto input = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    sub->add_option("IN", *input, "PPM file to read")->required();
    sub->add_option("OUT", *output, "JPEG file to write")->required();
    return [input, output] { return Encode(*input, *output); };
});

}  // namespace
}  // namespace vcdalbum::cli
