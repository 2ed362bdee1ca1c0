// vcdalbum decode IN.jpg OUT.ppm: decodes with the library's own decoder and
// writes a binary PPM.
#include <memory>
#include <string>

#include <vcdalbum/codec.h>

#include "command.h"
#include "ppm/ppm.h"

namespace vcdalbum::cli {
namespace {

int Decode(const std::string& in, const std::string& out) {
    Image image{};
    const CodecResult result = DecodeJpegFile(in, image);
    if (!result.ok()) {
        PrintError(result.message);
        return result.code == kCodecOutOfMemory ? kExitFailed : kExitBadInput;
    }
    if (result.code == kCodecMissingEndOfImage) PrintWarning(in + ": the data does not end with an end-of-image marker");
    std::string error;
    const bool written = WritePpm(out, image, error);
    ReleaseImage(image);
    if (!written) {
        PrintError(error);
        return kExitFailed;
    }
    return kExitOk;
}

const bool decodeRegistered = RegisterCommand("decode", [](CLI::App& app) -> RunFn {
    auto* sub = app.add_subcommand("decode", "Decode a JPEG file to a binary PPM (P6)");
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    sub->add_option("IN", *in, "JPEG file to decode")->required();
    sub->add_option("OUT", *out, "PPM file to write")->required();
    return [in, out] { return Decode(*in, *out); };
});

}  // namespace
}  // namespace vcdalbum::cli
