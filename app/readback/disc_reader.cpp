#include "readback/disc_reader.h"

#include <cdio/bytesex.h>
#include <cdio/cdio.h>
#include <libvcd/inf.h>
#include <libvcd/info.h>
#include <libvcd/logging.h>
#include <cdio/logging.h>
// After info.h, which defines what this one needs.
#include <libvcd/files_private.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include <nlohmann/json.hpp>

#include "build/cue_sheet.h"
#include "console/errors.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

// A Video CD plays 75 sectors a second.
constexpr double kSectorsPerSecond = 75.0;

struct VcdInfo {
    vcdinfo_obj_t* obj = nullptr;
    // libvcdinfo may keep pointing at the name it was opened with.
    std::vector<char> name;
    ~VcdInfo() {
        if (obj) vcdinfo_close(obj);
    }
};

PlayItem ItemOf(uint16_t code) {
    PlayItem item;
    item.code = code;
    vcdinfo_itemid_t id{};
    vcdinfo_classify_itemid(code, &id);
    item.number = id.num;
    switch (id.type) {
        case VCDINFO_ITEM_TYPE_TRACK: item.kind = PlayItem::Kind::Track; break;
        case VCDINFO_ITEM_TYPE_ENTRY: item.kind = PlayItem::Kind::Entry; break;
        case VCDINFO_ITEM_TYPE_SEGMENT: item.kind = PlayItem::Kind::Segment; break;
        case VCDINFO_ITEM_TYPE_LID: item.kind = PlayItem::Kind::List; break;
        default: item.kind = PlayItem::Kind::Other; break;
    }
    return item;
}

int LinkOf(vcdinfo_obj_t* obj, uint16_t offset) {
    if (offset == PSD_OFS_DISABLED || offset == VCDINFO_INVALID_OFFSET) return kLinkDisabled;
    if (offset == PSD_OFS_MULTI_DEF || offset == PSD_OFS_MULTI_DEF_NO_NUM) return kLinkMultiDefault;
    const vcdinfo_offset_t* target = vcdinfo_get_offset_t(obj, offset);
    return target ? static_cast<int>(target->lid) : kLinkUnreadable;
}

PbcList ReadList(vcdinfo_obj_t* obj, lid_t lid) {
    PbcList list;
    list.lid = lid;
    PsdListDescriptor_t pxd{};
    if (!vcdinfo_lid_get_pxd(obj, &pxd, lid)) {
        list.kind = PbcList::Kind::Unreadable;
        return list;
    }
    if (pxd.descriptor_type == PSD_TYPE_PLAY_LIST && pxd.pld) {
        const PsdPlayListDescriptor_t* pld = pxd.pld;
        list.kind = PbcList::Kind::Play;
        for (int i = 0; i < vcdinf_pld_get_noi(pld); ++i)
            list.items.push_back(ItemOf(vcdinf_pld_get_play_item(pld, static_cast<unsigned>(i))));
        list.prev = LinkOf(obj, vcdinf_pld_get_prev_offset(pld));
        list.next = LinkOf(obj, vcdinf_pld_get_next_offset(pld));
        list.ret = LinkOf(obj, vcdinf_pld_get_return_offset(pld));
        list.wait = vcdinf_get_wait_time(pld);
        list.playTime = vcdinf_get_play_time(pld) / 15.0;
        return list;
    }
    if ((pxd.descriptor_type == PSD_TYPE_SELECTION_LIST || pxd.descriptor_type == PSD_TYPE_EXT_SELECTION_LIST) &&
        pxd.psd) {
        const PsdSelectionListDescriptor_t* psd = pxd.psd;
        list.kind = PbcList::Kind::Selection;
        if (const uint16_t item = vcdinf_psd_get_itemid(psd)) list.items.push_back(ItemOf(item));
        list.bsn = vcdinf_get_bsn(psd);
        for (unsigned i = 0; i < vcdinf_get_num_selections(psd); ++i) {
            const lid_t target = vcdinfo_selection_get_lid(obj, lid, list.bsn + i);
            list.selections.push_back(target == VCDINFO_INVALID_LID ? kLinkUnreadable : static_cast<int>(target));
        }
        list.prev = LinkOf(obj, vcdinf_psd_get_prev_offset(psd));
        list.next = LinkOf(obj, vcdinf_psd_get_next_offset(psd));
        list.ret = LinkOf(obj, vcdinf_psd_get_return_offset(psd));
        list.defaultLink = LinkOf(obj, vcdinf_psd_get_default_offset(psd));
        list.timeout = LinkOf(obj, uint16_from_be(psd->timeout_ofs));
        list.wait = vcdinf_get_timeout_time(psd);
        list.loop = vcdinf_get_loop_count(psd);
        list.jumpDelayed = vcdinf_has_jump_delay(psd);
        return list;
    }
    list.kind = PbcList::Kind::Other;
    return list;
}

// A Mode 2 Form 2 sector read raw: 8 bytes of subheader, 2324 of data.
constexpr size_t kSubheader = 8;

// Whether the sector carries video, audio or data, by its subheader's
// submode (the same byte twice); margin sectors carry none of them. A sector
// that cannot be read counts as data, so that reading the track later fails
// with a clear message instead of a cut image passing for a short track.
bool CarriesData(CdIo_t* cdio, lsn_t lsn) {
    uint8_t sector[M2RAW_SECTOR_SIZE];
    if (cdio_read_mode2_sectors(cdio, sector, lsn, true, 1) != DRIVER_OP_SUCCESS) return true;
    constexpr uint8_t kVideo = 0x02, kAudio = 0x04, kData = 0x08;
    return (sector[2] & (kVideo | kAudio | kData)) != 0;
}

// Finds the stream inside the track's margins, which are at most a few
// hundred sectors at either end, so that the track need not be read whole.
void FindStream(CdIo_t* cdio, DiscTrack& track) {
    const lsn_t start = static_cast<lsn_t>(track.lba) - CDIO_PREGAP_SECTORS;
    uint32_t first = 0, end = track.sectors;
    while (first < end && !CarriesData(cdio, start + static_cast<lsn_t>(first))) ++first;
    while (end > first && !CarriesData(cdio, start + static_cast<lsn_t>(end - 1))) --end;
    track.firstData = first;
    track.dataSectors = end - first;
}

// libvcdinfo and libcdio print their warnings on standard output, where
// they would break `inspect --json`; what they warn of is checked here and
// told in this tool's own words.
// Set once: readers open images on several threads at a time.
void DropMessage(vcd_log_level_t, const char*) {}
void DropCdioMessage(cdio_log_level_t, const char*) {}
void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        vcd_log_set_handler(&DropMessage);
        cdio_log_set_handler(&DropCdioMessage);
    });
}

// A cut image still opens (libcdio takes the last track's length from the
// file), but the disc's file system says how many sectors each track holds:
// every one of them must be in the file.
void CheckTracksHeld(const fs::path& cue, const fs::path& bin, const std::vector<DiscTrack>& tracks) {
    std::error_code ec;
    const uintmax_t bytes = fs::file_size(bin, ec);
    if (ec) throw InputError(cue.string() + ": its image file " + bin.string() + " cannot be read");
    const uint64_t held = bytes / CDIO_CD_FRAMESIZE_RAW;
    for (const DiscTrack& t : tracks) {
        const uint64_t end = static_cast<uint64_t>(t.lba) - CDIO_PREGAP_SECTORS + t.sectors;
        if (t.lba < CDIO_PREGAP_SECTORS || end > held)
            throw InputError(cue.string() + ": track " + std::to_string(t.number) + " cannot be read: it ends at sector " +
                             std::to_string(end) + ", but " + bin.filename().string() + " holds " +
                             std::to_string(held) + " sectors (the image is cut short)");
    }
}

// libvcdinfo answers null for a field it cannot read.
std::string Text(const char* text) { return text ? text : ""; }

nlohmann::json LinkJson(int link) {
    if (link > 0) return link;
    if (link == kLinkMultiDefault) return "multi-default";
    if (link == kLinkUnreadable) return "unreadable";
    return nullptr;
}

const char* ItemKindName(PlayItem::Kind kind) {
    switch (kind) {
        case PlayItem::Kind::Track: return "track";
        case PlayItem::Kind::Entry: return "entry";
        case PlayItem::Kind::Segment: return "segment";
        case PlayItem::Kind::List: return "list";
        case PlayItem::Kind::Other: break;
    }
    return "other";
}

const char* ListKindName(PbcList::Kind kind) {
    switch (kind) {
        case PbcList::Kind::Play: return "play";
        case PbcList::Kind::Selection: return "selection";
        case PbcList::Kind::Unreadable: return "unreadable";
        case PbcList::Kind::Other: break;
    }
    return "other";
}

}  // namespace

DiscInfo ReadDisc(const fs::path& cue) {
    QuietLibraries();
    const OpenableCue openable(cue);
    VcdInfo image;
    const std::string name = openable.path().string();
    image.name.assign(name.begin(), name.end());
    image.name.push_back('\0');
    char* source = image.name.data();
    if (vcdinfo_open(&image.obj, &source, DRIVER_BINCUE, nullptr) != VCDINFO_OPEN_VCD || !image.obj) {
        image.obj = nullptr;
        throw InputError(cue.string() + " is not a readable Video CD image");
    }
    vcdinfo_obj_t* obj = image.obj;
    DiscInfo disc;
    disc.format = Text(vcdinfo_get_format_version_str(obj));
    disc.volume = Text(vcdinfo_get_volume_id(obj));
    disc.album = Text(vcdinfo_get_album_id(obj));
    const unsigned tracks = vcdinfo_get_num_tracks(obj);
    for (unsigned t = 1; t <= tracks; ++t) {
        DiscTrack track;
        track.number = t;
        track.lba = static_cast<uint32_t>(vcdinfo_get_track_lba(obj, static_cast<track_t>(t)));
        track.sectors = vcdinfo_get_track_sect_count(obj, static_cast<track_t>(t));
        if (CdIo_t* cdio = vcdinfo_get_cd_image(obj)) FindStream(cdio, track);
        track.seconds = std::round(track.dataSectors / kSectorsPerSecond * 100) / 100;
        disc.tracks.push_back(track);
    }
    CheckTracksHeld(cue, openable.bin(), disc.tracks);
    for (unsigned e = 0; e < vcdinfo_get_num_entries(obj); ++e) {
        DiscEntry entry;
        entry.number = e;
        entry.track = vcdinfo_get_track(obj, e);
        if (entry.track >= 1 && entry.track <= disc.tracks.size()) {
            const DiscTrack& t = disc.tracks[entry.track - 1];
            const double sectors = static_cast<double>(vcdinfo_get_entry_lba(obj, e)) - t.lba - t.firstData;
            entry.seconds = std::max(0.0, std::round(sectors / kSectorsPerSecond * 100) / 100);
        }
        disc.entries.push_back(entry);
    }
    disc.segments = vcdinfo_get_num_segments(obj);

    // The PSD must be read before the list of offsets is walked.
    disc.hasPlaybackControl = vcdinfo_read_psd(obj);
    const unsigned lists = disc.hasPlaybackControl ? vcdinfo_get_num_LIDs(obj) : 0;
    if (lists > 0) {
        vcdinfo_visit_lot(obj, false);
        for (unsigned lid = 1; lid <= lists; ++lid) disc.lists.push_back(ReadList(obj, static_cast<lid_t>(lid)));
    }
    disc.hasPlaybackControl = !disc.lists.empty();
    return disc;
}

nlohmann::json DiscJson(const DiscInfo& disc) {
    nlohmann::json tracks = nlohmann::json::array();
    for (const DiscTrack& t : disc.tracks)
        tracks.push_back({{"track", t.number}, {"lba", t.lba}, {"sectors", t.sectors}, {"seconds", t.seconds}});
    nlohmann::json entries = nlohmann::json::array();
    for (const DiscEntry& e : disc.entries)
        entries.push_back({{"entry", e.number}, {"track", e.track}, {"seconds", e.seconds}});
    nlohmann::json lists = nlohmann::json::array();
    for (const PbcList& l : disc.lists) {
        nlohmann::json items = nlohmann::json::array();
        for (const PlayItem& i : l.items) items.push_back({{"kind", ItemKindName(i.kind)}, {"number", i.number}});
        nlohmann::json list = {{"lid", l.lid},     {"kind", ListKindName(l.kind)}, {"items", items},
                               {"prev", LinkJson(l.prev)}, {"next", LinkJson(l.next)}, {"return", LinkJson(l.ret)},
                               {"wait", l.wait}};
        if (l.kind == PbcList::Kind::Selection) {
            nlohmann::json selections = nlohmann::json::array();
            for (int s : l.selections) selections.push_back(LinkJson(s));
            list["bsn"] = l.bsn;
            list["selections"] = selections;
            list["timeout"] = LinkJson(l.timeout);
            list["default"] = LinkJson(l.defaultLink);
            list["loop"] = l.loop;
            list["jump_delayed"] = l.jumpDelayed;
        } else if (l.kind == PbcList::Kind::Play) {
            list["playtime"] = l.playTime;
        }
        lists.push_back(list);
    }
    return {{"format", disc.format},
            {"volume", disc.volume},
            {"album", disc.album},
            {"entries", entries},
            {"segments", disc.segments},
            {"tracks", tracks},
            {"lists", lists}};
}

std::string JsonText(const nlohmann::json& document, int indent) {
    return document.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

struct TrackReader::Image {
    CdIo_t* cdio = nullptr;
    ~Image() {
        if (cdio) cdio_destroy(cdio);
    }
};

TrackReader::TrackReader(const fs::path& cue, const DiscTrack& track)
    : image_(std::make_unique<Image>()), cue_(cue), track_(track), sector_(M2RAW_SECTOR_SIZE) {
    // libcdio sets up its driver table on first use, without a lock.
    static std::mutex opening;
    std::lock_guard<std::mutex> lock(opening);
    QuietLibraries();
    openable_ = std::make_unique<OpenableCue>(cue);
    image_->cdio = cdio_open_bincue(openable_->path().string().c_str());
    if (!image_->cdio) throw InputError(cue.string() + " is not a readable disc image");
}

TrackReader::~TrackReader() = default;

size_t TrackReader::Read(uint8_t* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        if (sectorPos_ == sectorEnd_) {
            if (nextSector_ >= track_.dataSectors) break;
            const lsn_t lsn = static_cast<lsn_t>(track_.lba) - CDIO_PREGAP_SECTORS +
                              static_cast<lsn_t>(track_.firstData + nextSector_);
            if (cdio_read_mode2_sectors(image_->cdio, sector_.data(), lsn, true, 1) != DRIVER_OP_SUCCESS)
                throw InputError(cue_.string() + ": track " + std::to_string(track_.number) + " cannot be read at sector " +
                               std::to_string(lsn) + " (is the .bin file complete?)");
            ++nextSector_;
            sectorPos_ = kSubheader;
            sectorEnd_ = kSubheader + M2F2_SECTOR_SIZE;
        }
        const size_t n = std::min(size - done, sectorEnd_ - sectorPos_);
        std::memcpy(out + done, sector_.data() + sectorPos_, n);
        sectorPos_ += n;
        done += n;
    }
    return done;
}

}  // namespace vcdalbum::host
