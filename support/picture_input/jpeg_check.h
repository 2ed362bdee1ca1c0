// A look at a JPEG file's markers before a decoder tries it. FFmpeg meets
// the JPEG kinds it cannot show with a bare error code ("Operation not
// permitted" for arithmetic coding), decodes CMYK with wrong colours, and
// fills a file cut short with grey; the markers say which case it is, in
// words a person can act on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace vcdalbum::components::picture_input {

struct JpegCheck {
    enum class Verdict {
        kUsable,        // a JPEG whose markers hold together
        kNotJpeg,       // does not start like a JPEG: for the decoder to judge
        kUnsupported,   // arithmetic coding, hierarchical coding, CMYK
        kCutShort,      // the file ends before its end-of-image marker
    };
    Verdict verdict = Verdict::kUsable;
    std::string text;  // the phrase for the person, without the file's name
};

// A file opened with fopen, closed when it goes out of scope.
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Start-of-frame markers: 0xC0..0xCF except DHT (C4), JPG (C8) and DAC (CC).
inline bool IsFrameMarker(int code) { return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC; }

// Reads `path` (which exists) from start to end.
JpegCheck CheckJpegFile(const std::string& path);

}  // namespace vcdalbum::components::picture_input
