#include "readback/preview_page_writer.h"

#include <iomanip>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

extern "C" {
#include <libavutil/log.h>
}

#include "console/errors.h"
#include "console/work_pool.h"
#include "platform/atomic_file.h"
#include "readback/disc_reader.h"
#include "readback/transcode.h"

namespace vcdalbum::host {
namespace {
namespace fs = std::filesystem;

#include "preview_page.inc"  // kPreviewPage, kPreviewStyle, kPreviewScript

std::string TrackFile(unsigned number) {
    std::ostringstream name;
    name << "track" << std::setw(2) << std::setfill('0') << number << ".webm";
    return name.str();
}

// Transcodes every track, several at a time. Returns the page's notes on
// each track's file, in track order.
nlohmann::json TranscodeTracks(const fs::path& cue, const DiscInfo& disc, const fs::path& out, bool quiet) {
    const size_t count = disc.tracks.size();
    std::vector<nlohmann::json> media(count);
    std::mutex printing;
    ForEachOnThreads(count, DefaultJobs(), [&](size_t i) {
        const DiscTrack& track = disc.tracks[i];
        TrackReader reader(cue, track);
        const std::string file = TrackFile(track.number);
        const TranscodedTrack t = TranscodeToWebm(
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
    std::string json = JsonText(data);
    for (size_t at = 0; (at = json.find("</", at)) != std::string::npos; at += 3) json.replace(at, 2, "<\\/");
    std::string page(kPreviewPage);
    auto put = [&page](std::string_view marker, std::string_view text) {
        const size_t at = page.find(marker);
        if (at == std::string::npos) throw RunError("the preview page has no place for " + std::string(marker));
        page.replace(at, marker.size(), text);
    };
    put("/*STYLE*/", kPreviewStyle);
    put("/*DISC*/", json);
    put("/*SCRIPT*/", kPreviewScript);
    return page;
}

void WriteFile(const fs::path& file, const std::string& text) {
    std::string error;
    if (!platform::WriteFileAtomically(file.string(), text.data(), text.size(), &error)) throw RunError(error);
}

}  // namespace

PreviewPage WritePreviewPage(const fs::path& cue, const fs::path& out, bool quiet) {
    // The page is written last: until then, an older page must not pass for
    // a finished preview of this image, even one refused before any work.
    const fs::path page = out / "index.html";
    std::error_code ec;
    fs::remove(page, ec);
    const DiscInfo disc = ReadDisc(cue);
    fs::create_directories(out, ec);
    if (!fs::is_directory(out, ec)) throw InputError("cannot make the preview folder " + out.string());
    if (!quiet) std::cerr << "Transcoding " << disc.tracks.size() << " tracks of " << cue.filename().string() << "\n";
    // FFmpeg's encoders introduce themselves at length; errors still show.
    av_log_set_level(AV_LOG_ERROR);
    nlohmann::json data = DiscJson(disc);
    data["media"] = TranscodeTracks(cue, disc, out, quiet);
    data["image"] = cue.filename().string();
    WriteFile(out / "disc.json", JsonText(DiscJson(disc), 2) + "\n");
    WriteFile(page, PageHtml(data));
    return {page, disc.hasPlaybackControl};
}

}  // namespace vcdalbum::host
