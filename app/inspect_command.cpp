// vcdalbum inspect DISC.cue: reads a Video CD image back with libvcdinfo and
// prints its tracks and its playback-control lists, one list per line.
#include <cdio/bytesex.h>
#include <libvcd/info.h>
#include <libvcd/inf.h>
// After info.h, which defines what this one needs.
#include <libvcd/files_private.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "command.h"

namespace vcdalbum::cli {
namespace {

struct VcdImage {
    vcdinfo_obj_t* obj = nullptr;
    ~VcdImage() {
        if (obj) vcdinfo_close(obj);
    }
};

// "track:N", "entry:N" or "segment:N" for a play item number; "-" for none.
std::string ItemText(uint16_t itemNumber) {
    if (itemNumber == 0) return "-";
    vcdinfo_itemid_t item{};
    vcdinfo_classify_itemid(itemNumber, &item);
    switch (item.type) {
        case VCDINFO_ITEM_TYPE_TRACK: return "track:" + std::to_string(item.num);
        case VCDINFO_ITEM_TYPE_ENTRY: return "entry:" + std::to_string(item.num);
        case VCDINFO_ITEM_TYPE_SEGMENT: return "segment:" + std::to_string(item.num);
        case VCDINFO_ITEM_TYPE_LID: return "list:" + std::to_string(item.num);
        default: return "?" + std::to_string(itemNumber);
    }
}

// The list number a PSD offset leads to; "-" when the link is disabled.
std::string ListText(vcdinfo_obj_t* obj, uint16_t offset) {
    if (offset == PSD_OFS_DISABLED || offset == VCDINFO_INVALID_OFFSET) return "-";
    const vcdinfo_offset_t* target = vcdinfo_get_offset_t(obj, offset);
    return target ? std::to_string(target->lid) : "?";
}

std::string ListLine(vcdinfo_obj_t* obj, lid_t lid) {
    PsdListDescriptor_t pxd{};
    std::ostringstream line;
    line << "list " << lid;
    if (!vcdinfo_lid_get_pxd(obj, &pxd, lid)) {
        line << " kind=unreadable";
        return line.str();
    }
    if (pxd.descriptor_type == PSD_TYPE_PLAY_LIST && pxd.pld) {
        const PsdPlayListDescriptor_t* pld = pxd.pld;
        std::string items;
        for (int i = 0; i < vcdinf_pld_get_noi(pld); ++i)
            items += (items.empty() ? "" : ",") + ItemText(vcdinf_pld_get_play_item(pld, static_cast<unsigned>(i)));
        line << " kind=play item=" << (items.empty() ? "-" : items) << " selections=-"
             << " prev=" << ListText(obj, vcdinf_pld_get_prev_offset(pld))
             << " next=" << ListText(obj, vcdinf_pld_get_next_offset(pld))
             << " return=" << ListText(obj, vcdinf_pld_get_return_offset(pld))
             << " wait=" << vcdinf_get_wait_time(pld) << " timeout=- loop=-";
        return line.str();
    }
    if ((pxd.descriptor_type == PSD_TYPE_SELECTION_LIST || pxd.descriptor_type == PSD_TYPE_EXT_SELECTION_LIST) &&
        pxd.psd) {
        const PsdSelectionListDescriptor_t* psd = pxd.psd;
        const unsigned bsn = vcdinf_get_bsn(psd);
        std::string selections;
        for (unsigned i = 0; i < vcdinf_get_num_selections(psd); ++i) {
            const lid_t target = vcdinfo_selection_get_lid(obj, lid, bsn + i);
            selections += (selections.empty() ? "" : ",") +
                          (target == VCDINFO_INVALID_LID ? std::string("-") : std::to_string(target));
        }
        line << " kind=selection item=" << ItemText(vcdinf_psd_get_itemid(psd))
             << " selections=" << (selections.empty() ? "-" : selections)
             << " prev=" << ListText(obj, vcdinf_psd_get_prev_offset(psd))
             << " next=" << ListText(obj, vcdinf_psd_get_next_offset(psd))
             << " return=" << ListText(obj, vcdinf_psd_get_return_offset(psd))
             << " wait=" << vcdinf_get_timeout_time(psd)
             << " timeout=" << ListText(obj, uint16_from_be(psd->timeout_ofs))
             << " loop=" << vcdinf_get_loop_count(psd);
        return line.str();
    }
    line << " kind=other";
    return line.str();
}

// libvcdinfo answers null for a field it cannot read.
std::string Text(const char* text) { return text ? text : "-"; }

int Inspect(const std::string& cueFile) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(cueFile, ec)) {
        PrintError("no such disc image: " + cueFile);
        return kExitBadInput;
    }
    // The name outlives the image object, which may keep pointing at it.
    std::vector<char> name(cueFile.begin(), cueFile.end());
    name.push_back('\0');
    char* source = name.data();
    VcdImage image;
    const vcdinfo_open_return_t opened = vcdinfo_open(&image.obj, &source, DRIVER_BINCUE, nullptr);
    if (opened != VCDINFO_OPEN_VCD || !image.obj) {
        image.obj = nullptr;
        PrintError(cueFile + " is not a readable Video CD image");
        return kExitBadInput;
    }
    vcdinfo_obj_t* obj = image.obj;
    std::cout << "format: " << Text(vcdinfo_get_format_version_str(obj)) << '\n';
    std::cout << "volume: " << Text(vcdinfo_get_volume_id(obj)) << '\n';
    std::cout << "album: " << Text(vcdinfo_get_album_id(obj)) << '\n';
    const unsigned tracks = vcdinfo_get_num_tracks(obj);
    std::cout << "tracks: " << tracks << '\n';
    for (unsigned t = 1; t <= tracks; ++t)
        std::cout << "track " << t << " lba=" << vcdinfo_get_track_lba(obj, static_cast<track_t>(t))
                  << " sectors=" << vcdinfo_get_track_sect_count(obj, static_cast<track_t>(t)) << '\n';
    std::cout << "entries: " << vcdinfo_get_num_entries(obj) << '\n';
    std::cout << "segments: " << vcdinfo_get_num_segments(obj) << '\n';

    // The PSD must be read before the list of offsets is walked.
    const bool havePsd = vcdinfo_read_psd(obj);
    const unsigned lists = havePsd ? vcdinfo_get_num_LIDs(obj) : 0;
    std::cout << "lists: " << lists << '\n';
    if (lists > 0) {
        vcdinfo_visit_lot(obj, false);
        for (unsigned lid = 1; lid <= lists; ++lid) std::cout << ListLine(obj, static_cast<lid_t>(lid)) << '\n';
    }
    return kExitOk;
}

const bool registered = RegisterCommand("inspect", [](CLI::App& app) -> RunFn {
    auto* sub = app.add_subcommand("inspect", "Print the tracks and playback-control lists of a Video CD image");
    auto cue = std::make_shared<std::string>();
    sub->add_option("DISC", *cue, "the image's CUE file")->required();
    return [cue] { return Inspect(*cue); };
});

}  // namespace
}  // namespace vcdalbum::cli
