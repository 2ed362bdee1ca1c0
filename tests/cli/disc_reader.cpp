#include "cli/disc_reader.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "vbv_model.h"

namespace vcdalbum::clitest {
namespace fs = std::filesystem;

namespace {

std::string Attribute(const std::string& tag, const std::string& name) {
    std::smatch m;
    if (std::regex_search(tag, m, std::regex("\\b" + name + "=\"([^\"]*)\""))) return m[1];
    return "";
}

}  // namespace

Disc RipDisc(const fs::path& cue, const fs::path& folder) {
    Disc disc;
    const RunResult rip = RunProgram("vcdxrip", {"-c", fs::absolute(cue).string(), "-o", "rip.xml"}, {}, folder);
    EXPECT_EQ(rip.exitCode, 0) << rip.err;
    std::ifstream in(folder / "rip.xml");
    const std::string xml(std::istreambuf_iterator<char>(in), {});
    EXPECT_FALSE(xml.empty()) << "vcdxrip wrote no XML:\n" << rip.err;

    std::smatch m;
    if (std::regex_search(xml, m, std::regex("<videocd[^>]*>"))) {
        disc.discClass = Attribute(m[0], "class");
        disc.version = Attribute(m[0], "version");
    }

    // Sequence items and the entries inside them both name a track.
    std::map<std::string, int> trackOf;
    const std::regex item("<sequence-item\\s([^>]*)>([\\s\\S]*?)</sequence-item>");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), item); it != std::sregex_iterator(); ++it) {
        const int index = static_cast<int>(disc.tracks.size());
        disc.tracks.push_back(folder / Attribute((*it)[1], "src"));
        trackOf[Attribute((*it)[1], "id")] = index;
        const std::string body = (*it)[2];
        const std::regex entry("<(default-entry|entry)([^>]*)>");
        for (auto e = std::sregex_iterator(body.begin(), body.end(), entry); e != std::sregex_iterator(); ++e)
            trackOf[Attribute((*e)[2], "id")] = index;
    }

    // Lists in their order inside <pbc>, then their references resolved.
    const std::regex list("<(selection|playlist)\\b([^>]*)>([\\s\\S]*?)</\\1>");
    std::vector<std::string> bodies;
    std::map<std::string, int> nodeOf;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), list); it != std::sregex_iterator(); ++it) {
        DiscNode node;
        node.selectionList = (*it)[1] == "selection";
        node.id = Attribute((*it)[2], "id");
        nodeOf[node.id] = static_cast<int>(disc.nodes.size());
        disc.nodes.push_back(node);
        bodies.push_back((*it)[3]);
    }
    auto resolve = [&](const std::string& ref) {
        auto n = nodeOf.find(ref);
        return n == nodeOf.end() ? -1 : n->second;
    };
    const std::regex child("<(prev|next|return|timeout|select|play-item)\\b([^>]*)/?>");
    const std::regex text("<(wait|loop)\\b[^>]*>([^<]*)<");
    for (size_t i = 0; i < disc.nodes.size(); ++i) {
        DiscNode& node = disc.nodes[i];
        const std::string& body = bodies[i];
        for (auto c = std::sregex_iterator(body.begin(), body.end(), child); c != std::sregex_iterator(); ++c) {
            const std::string kind = (*c)[1], ref = Attribute((*c)[2], "ref");
            if (kind == "prev") node.prev = resolve(ref);
            else if (kind == "next") node.next = resolve(ref);
            else if (kind == "return") node.ret = resolve(ref);
            else if (kind == "timeout") node.timeout = resolve(ref);
            else if (kind == "select") node.selections.push_back(resolve(ref));
            else if (kind == "play-item") node.track = trackOf.count(ref) ? trackOf[ref] : -1;
        }
        for (auto t = std::sregex_iterator(body.begin(), body.end(), text); t != std::sregex_iterator(); ++t)
            ((*t)[1] == "wait" ? node.wait : node.loop) = (*t)[2];
    }
    // Every track the encoder wrote keeps the player's rate buffer.
    for (const fs::path& track : disc.tracks) {
        const vcdalbum::components::stream::VbvReport report = vcdalbum::components::stream::CheckVbvFile(track.string());
        EXPECT_TRUE(report.ok()) << track << ": " << report.Describe();
    }
    return disc;
}

double ProbedSeconds(const fs::path& track) {
    const RunResult probe =
        RunProgram("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", track.string()});
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
    return std::atof(probe.out.c_str());
}

}  // namespace vcdalbum::clitest
