// Turning a Video CD track (an MPEG-1 program stream) into a file that web
// browsers play: WebM with VP8 video and Opus audio, at the track's own size
// and with its pixel shape, so that the picture keeps its 4:3 display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace vcdalbum::host {

// Fills the buffer with up to `size` bytes of the stream; 0 at its end. It
// may throw; the exception reaches the caller of TranscodeToWebm.
using StreamSource = std::function<size_t(uint8_t* out, size_t size)>;

struct TranscodedTrack {
    int width = 0, height = 0;
    int aspectNum = 1, aspectDen = 1;  // sample (pixel) aspect ratio
    double seconds = 0;                // of video written
    bool audio = false;
};

// Reads the whole stream from `source` and writes `out`, under a temporary
// name first, so that a failure leaves nothing at `out`. `name` names the
// track in messages: a stream that holds no readable MPEG video gives an
// InputError, an encoder failure a RunError.
TranscodedTrack TranscodeToWebm(const StreamSource& source, const std::filesystem::path& out, const std::string& name);

}  // namespace vcdalbum::host
