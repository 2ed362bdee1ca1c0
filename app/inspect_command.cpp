// vcdalbum inspect DISC.cue [--json]: reads a Video CD image back with
// libvcdinfo and prints its tracks and its playback-control lists, one list
// per line, or the whole as JSON.
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "command.h"
#include "readback/disc_reader.h"
#include "console/errors.h"

namespace vcdalbum::cli {
namespace {

using host::PbcList;
using host::PlayItem;

// "track:N", "entry:N" or "segment:N" for a play item; "-" for none.
std::string ItemText(const PlayItem& item) {
    const std::string n = std::to_string(item.number);
    switch (item.kind) {
        case PlayItem::Kind::Track: return "track:" + n;
        case PlayItem::Kind::Entry: return "entry:" + n;
        case PlayItem::Kind::Segment: return "segment:" + n;
        case PlayItem::Kind::List: return "list:" + n;
        case PlayItem::Kind::Other: break;
    }
    return "?" + std::to_string(item.code);
}

// The list a link leads to; "-" when it is disabled, "?" when it leads nowhere.
std::string LinkText(int link) {
    if (link > 0) return std::to_string(link);
    return link == host::kLinkDisabled ? "-" : "?";
}

std::string ListLine(const PbcList& list) {
    std::ostringstream line;
    line << "list " << list.lid;
    switch (list.kind) {
        case PbcList::Kind::Unreadable: line << " kind=unreadable"; return line.str();
        case PbcList::Kind::Other: line << " kind=other"; return line.str();
        case PbcList::Kind::Play:
        case PbcList::Kind::Selection: break;
    }
    const bool play = list.kind == PbcList::Kind::Play;
    std::string items, selections;
    for (const PlayItem& item : list.items) items += (items.empty() ? "" : ",") + ItemText(item);
    for (int s : list.selections) selections += (selections.empty() ? "" : ",") + (s > 0 ? std::to_string(s) : "-");
    line << " kind=" << (play ? "play" : "selection") << " item=" << (items.empty() ? "-" : items)
         << " selections=" << (selections.empty() ? "-" : selections) << " prev=" << LinkText(list.prev)
         << " next=" << LinkText(list.next) << " return=" << LinkText(list.ret) << " wait=" << list.wait;
    if (play)
        line << " timeout=- loop=-";
    else
        line << " timeout=" << LinkText(list.timeout) << " loop=" << list.loop;
    return line.str();
}

int Inspect(const std::string& cueFile, bool json) {
    host::DiscInfo disc;
    try {
        disc = host::ReadDisc(cueFile);
    } catch (const host::InputError& e) {
        PrintError(e.what());
        return kExitBadInput;
    }
    if (json) {
        std::cout << host::JsonText(host::DiscJson(disc), 2) << '\n';
        return kExitOk;
    }
    std::cout << "format: " << (disc.format.empty() ? "-" : disc.format) << '\n';
    std::cout << "volume: " << (disc.volume.empty() ? "-" : disc.volume) << '\n';
    std::cout << "album: " << (disc.album.empty() ? "-" : disc.album) << '\n';
    std::cout << "tracks: " << disc.tracks.size() << '\n';
    for (const host::DiscTrack& t : disc.tracks)
        std::cout << "track " << t.number << " lba=" << t.lba << " sectors=" << t.sectors << '\n';
    std::cout << "entries: " << disc.entries.size() << '\n';
    std::cout << "segments: " << disc.segments << '\n';
    std::cout << "lists: " << disc.lists.size() << '\n';
    for (const PbcList& list : disc.lists) std::cout << ListLine(list) << '\n';
    return kExitOk;
}

const bool inspectRegistered = RegisterCommand("inspect", [](CLI::App& app) -> RunFn {
    auto* sub = app.add_subcommand("inspect", "Print the tracks and playback-control lists of a Video CD image");
    auto cue = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    sub->add_option("DISC", *cue, "the image's CUE file")->required();
    sub->add_flag("--json", *json, "Print the tracks and lists as JSON");
    return [cue, json] { return Inspect(*cue, *json); };
});

}  // namespace
}  // namespace vcdalbum::cli
