// A folder with a web page that plays a disc image's playback control like
// a player with a remote control, read back from the image itself. Its
// tracks are transcoded for the browser; the page, its script and the
// disc's lists are in index.html, the lists alone also in disc.json.
#pragma once

#include <filesystem>

namespace vcdalbum::host {

struct PreviewPage {
    std::filesystem::path page;  // the finished index.html
    bool hasPlaybackControl = false;
};

// Reads the image `cue` and writes its preview into `out` (made when
// missing), announcing the work and each track on standard error unless
// `quiet`. The page is written last, and an older one is removed first, so
// that a folder holds an index.html only when it is a finished preview of
// this image. A bad image gives an InputError, a failed transcode or write
// a RunError.
PreviewPage WritePreviewPage(const std::filesystem::path& cue, const std::filesystem::path& out, bool quiet);

}  // namespace vcdalbum::host
