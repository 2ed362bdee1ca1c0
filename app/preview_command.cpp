// vcdalbum preview DISC.cue [--out DIR] [--open]: a folder with a web page
// that plays the image's playback control like a player with a remote
// control, read back from the image itself. Its tracks are transcoded for
// the browser; the page, its script and the disc's lists are in index.html.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

extern "C" {
#include <libavutil/log.h>
}

#include "command.h"
#include "readback/disc_reader.h"
#include "console/errors.h"
#include "readback/transcode.h"
#include "console/work_pool.h"
#include "platform/atomic_file.h"

extern char** environ;

namespace vcdalbum::cli {
namespace {
namespace fs = std::filesystem;

#include "preview_page.inc"  // kPreviewPage, kPreviewStyle, kPreviewScript

struct PreviewArgs {
    std::string cue;
    std::string out;
    bool open = false;
    bool quiet = false;
};

std::string TrackFile(unsigned number) {
    std::ostringstream name;
    name << "track" << std::setw(2) << std::setfill('0') << number << ".webm";
    return name.str();
}

// Transcodes every track, several at a time. Returns the page's notes on
// each track's file, in track order.
nlohmann::json TranscodeTracks(const fs::path& cue, const host::DiscInfo& disc, const fs::path& out, bool quiet) {
    const size_t count = disc.tracks.size();
    std::vector<nlohmann::json> media(count);
    std::mutex printing;
    host::ForEachOnThreads(count, host::DefaultJobs(), [&](size_t i) {
        const host::DiscTrack& track = disc.tracks[i];
        host::TrackReader reader(cue, track);
        const std::string file = TrackFile(track.number);
        const host::TranscodedTrack t = host::TranscodeToWebm(
            [&reader](uint8_t* buf, size_t size) { return reader.Read(buf, size); }, out / file,
            cue.filename().string() + ", track " + std::to_string(track.number));
        media[i] = {{"track", track.number}, {"file", file},          {"width", t.width},
                    {"height", t.height},    {"aspect", {t.aspectNum, t.aspectDen}},
                    {"seconds", t.seconds},  {"audio", t.audio}};
        if (!quiet) {
            std::lock_guard<std::mutex> lock(printing);
            std::cerr << "  track " << track.number << " of " << count << ": " << file << " (" << std::fixed
                      << std::setprecision(1) << t.seconds << " s)\n";
        }
    });
    return nlohmann::json(media);
}

// The page with its style, script and data put in place. The data sit in a
// script element, so "</" inside any text must not end it early.
std::string PageHtml(const nlohmann::json& data) {
    std::string json = host::JsonText(data);
    for (size_t at = 0; (at = json.find("</", at)) != std::string::npos; at += 3) json.replace(at, 2, "<\\/");
    std::string page(kPreviewPage);
    auto put = [&page](std::string_view marker, std::string_view text) {
        const size_t at = page.find(marker);
        if (at == std::string::npos) throw host::RunError("the preview page has no place for " + std::string(marker));
        page.replace(at, marker.size(), text);
    };
    put("/*STYLE*/", kPreviewStyle);
    put("/*DISC*/", json);
    put("/*SCRIPT*/", kPreviewScript);
    return page;
}

void WriteFile(const fs::path& file, const std::string& text) {
    std::string error;
    if (!platform::WriteFileAtomically(file.string(), text.data(), text.size(), &error)) throw host::RunError(error);
}

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
    // The page is written last: until then, an older page must not pass for
    // a finished preview of this image, even one refused before any work.
    const fs::path page = out / "index.html";
    std::error_code ec;
    fs::remove(page, ec);
    const host::DiscInfo disc = host::ReadDisc(cue);
    fs::create_directories(out, ec);
    if (!fs::is_directory(out, ec)) throw host::InputError("cannot make the preview folder " + out.string());
    if (!args.quiet)
        std::cerr << "Transcoding " << disc.tracks.size() << " tracks of " << cue.filename().string() << "\n";
    // FFmpeg's encoders introduce themselves at length; errors still show.
    av_log_set_level(AV_LOG_ERROR);
    nlohmann::json data = host::DiscJson(disc);
    data["media"] = TranscodeTracks(cue, disc, out, args.quiet);
    data["image"] = cue.filename().string();
    WriteFile(out / "disc.json", host::JsonText(host::DiscJson(disc), 2) + "\n");
    WriteFile(page, PageHtml(data));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!args.quiet) {
        std::cout << "Preview written in " << std::fixed << std::setprecision(1) << seconds << " s"
                  << (disc.hasPlaybackControl ? "" : " (the image has no playback control: a plain track list)")
                  << ":\n  " << page.string() << "\n";
        if (!args.open) std::cout << "Open it:   xdg-open \"" << page.string() << "\"\n";
    }
    if (args.open) OpenInBrowser(page);
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
