#include "disc_layout.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

#include "contract/component_interfaces.h"
#include "mpeg_file.h"
#include "platform/utf8.h"

namespace vcdalbum::components::burner {
namespace {

using vcdalbum::burner::kFileSectorBytes;

// Folder names the Video CD itself uses at the top of the disc.
const std::set<std::string> kReservedFolders = {"VCD", "MPEGAV", "SEGMENT", "EXT", "CDI", "CDDA", "SVCD", "MPEG2"};

struct FolderNode {
    std::map<std::string, FolderNode> folders;
    std::map<std::string, std::string> files;  // disc name -> source file
};

std::vector<std::string> SplitDiscPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

std::string IsoCharacters(const std::string& text, size_t limit) {
    // One character each: a Latin letter with marks as its plain letter, any
    // other character as one '_', however many bytes it takes in UTF-8.
    std::string out;
    for (const char32_t c : utf8::Decode(text)) {
        if (out.size() == limit) break;
        const auto base = static_cast<unsigned char>(utf8::LatinBase(c));
        out += std::isalnum(base) ? static_cast<char>(std::toupper(base)) : '_';
    }
    return out;
}

// Adds a folder (source empty) or a file to the tree.
bool AddToTree(FolderNode& root, const std::string& discPath, const std::string* source, std::string& error) {
    std::vector<std::string> parts = SplitDiscPath(discPath);
    if (parts.empty()) {
        error = "has an empty place on the disc";
        return false;
    }
    FolderNode* folder = &root;
    const size_t folderCount = source ? parts.size() - 1 : parts.size();
    for (size_t i = 0; i < folderCount; ++i) {
        const std::string name = DiscFolderName(parts[i]);
        if (i == 0 && kReservedFolders.count(name)) {
            error = "would go into the folder " + name + ", which the Video CD itself uses";
            return false;
        }
        if (folder->files.count(name)) {
            error = "needs a folder " + name + " where a file of that name already is";
            return false;
        }
        folder = &folder->folders[name];
    }
    if (!source) return true;
    const std::string name = DiscFileName(parts.back());
    if (folder->files.count(name) || folder->folders.count(name)) {
        error = "would be " + name + " on the disc, a name already taken";
        return false;
    }
    folder->files[name] = *source;
    return true;
}

bool BuildFileTree(const Project& project, FolderNode& root, std::string& error) {
    for (const std::string& dir : project.directories) {
        if (!AddToTree(root, dir, nullptr, error)) {
            error = "directory '" + dir + "' " + error;
            return false;
        }
    }
    for (const ExtraFile& file : project.files) {
        if (!AddToTree(root, file.discPath, &file.source, error)) {
            error = "file '" + file.source + "' " + error;
            return false;
        }
    }
    return true;
}

bool Readable(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    std::ifstream in(file, std::ios::binary);
    return static_cast<bool>(in);
}

uint64_t FileSize(const std::string& file) {
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(file, ec);
    return ec ? 0 : size;
}

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

std::optional<std::string> CheckNodes(const Project& project) {
    std::set<std::string> names;
    for (const PbcNode& node : project.nodes)
        if (!names.insert(node.name).second)
            return "node name " + Quoted(node.name) + " is used by more than one node";

    for (const PbcNode& node : project.nodes) {
        const std::string who = "node " + Quoted(node.name);
        auto checkLink = [&](const std::optional<std::string>& link, const char* what) -> std::optional<std::string> {
            if (link && !names.count(*link))
                return who + ": its " + what + " node " + Quoted(*link) + " does not exist";
            return std::nullopt;
        };
        for (auto [link, what] : {std::pair{&node.prev, "previous"}, std::pair{&node.next, "next"},
                                  std::pair{&node.ret, "return"}, std::pair{&node.timeoutTarget, "timeout"}})
            if (auto problem = checkLink(*link, what)) return problem;

        if (node.type == PBC_PLAY_LIST) {
            if (node.playItems.empty()) return who + " is a play list without any play item";
            for (const std::string& item : node.playItems)
                if (!project.HasItem(item)) return who + ": play item " + Quoted(item) + " is not an item of the project";
            continue;
        }
        if (node.item && !project.HasItem(*node.item))
            return who + ": its item " + Quoted(*node.item) + " is not an item of the project";
        if (node.selections.size() > kMaxSelections)
            return who + " has " + std::to_string(node.selections.size()) + " selections; a selection list holds at most " +
                   std::to_string(kMaxSelections);
        if (node.selectionBase < 1 || node.selectionBase + static_cast<int64_t>(node.selections.size()) > 100)
            return who + ": selection numbers from " + std::to_string(node.selectionBase) + " with " +
                   std::to_string(node.selections.size()) + " selections do not fit in 1..99";
        for (const std::string& selection : node.selections)
            if (!names.count(selection)) return who + ": selection " + Quoted(selection) + " does not exist";
    }
    return std::nullopt;
}

// XML text and attribute values.
std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

// Item, entry and node names may be anything ("0" is a typical entry ID), but
// they share one namespace of XML IDs, which must start with a letter. Each
// gets a kind prefix and its position, so distinct things never collide.
std::string XmlId(const char* prefix, size_t index, const std::string& name) {
    std::string id = prefix + std::to_string(index) + "-";
    for (unsigned char c : name) id += std::isalnum(c) && c < 0x80 ? static_cast<char>(c) : '_';
    return id;
}

std::string AbsolutePath(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    return (ec ? file : absolute).lexically_normal().string();
}

// Wait values the way vcdimager stores them: -1 waits for ever, 0..2000
// seconds otherwise (longer waits are clipped).
int WaitSeconds(int32_t value) { return value < 0 ? -1 : std::min(value, 2000); }

std::string AreaAttributes(const std::optional<_pbc_area_t>& area) {
    if (!area) return {};
    std::ostringstream out;
    out << " x1=\"" << int(area->x1) << "\" y1=\"" << int(area->y1) << "\" x2=\"" << int(area->x2) << "\" y2=\""
        << int(area->y2) << '"';
    return out.str();
}

void WriteFolder(std::ostringstream& xml, const FolderNode& folder, const std::string& indent) {
    for (const auto& [name, sub] : folder.folders) {
        xml << indent << "<folder><name>" << Escape(name) << "</name>\n";
        WriteFolder(xml, sub, indent + "  ");
        xml << indent << "</folder>\n";
    }
    for (const auto& [name, source] : folder.files)
        xml << indent << "<file src=\"" << Escape(AbsolutePath(source)) << "\"><name>" << Escape(name)
            << "</name></file>\n";
}

}  // namespace

std::string DiscFolderName(const std::string& name) {
    std::string out = IsoCharacters(name, 8);
    return out.empty() ? "_" : out;
}

std::string DiscFileName(const std::string& name) {
    const size_t dot = name.rfind('.');
    std::string base = IsoCharacters(name.substr(0, dot), 8);
    if (base.empty()) base = "_";
    if (dot == std::string::npos) return base;
    const std::string extension = IsoCharacters(name.substr(dot + 1), 3);
    return extension.empty() ? base : base + "." + extension;
}

uint64_t EstimateDiscSectors(const Project& project) {
    constexpr uint64_t kSegmentBlock = vcdalbum::burner::kSegmentBlockSectors;
    uint64_t sectors = vcdalbum::burner::kLeadInGapSectors + vcdalbum::burner::kFirstTrackBaseSectors + vcdalbum::burner::kTrailingGapSectors;
    for (const SegmentItem& segment : project.segments) {
        const uint64_t used = (FileSize(segment.file) + kTrackSectorBytes - 1) / kTrackSectorBytes;
        sectors += std::max<uint64_t>(1, (used + kSegmentBlock - 1) / kSegmentBlock) * kSegmentBlock;
    }
    for (const ExtraFile& file : project.files)
        sectors += 1 + (FileSize(file.source) + kFileSectorBytes - 1) / kFileSectorBytes;
    sectors += project.directories.size();
    for (const SequenceItem& item : project.sequences)
        sectors += static_cast<uint64_t>(vcdalbum::burner::TrackSectors(static_cast<int64_t>(item.sectors)));
    return sectors;
}

std::optional<std::string> CheckProject(const Project& project) {
    if (project.kind != contract::kProjectKindVcd20)
        return "project " + Quoted(project.name) + " is of kind " + std::to_string(project.kind) +
               ", not a Video CD 2.0 project";
    if (project.sequences.empty())
        return "project " + Quoted(project.name) + " has no sequence item; a Video CD needs at least one track";
    if (project.sequences.size() > static_cast<size_t>(vcdalbum::burner::kMaxSequenceItems))
        return "project " + Quoted(project.name) + " has " + std::to_string(project.sequences.size()) +
               " sequence items; a Video CD holds at most " + std::to_string(vcdalbum::burner::kMaxSequenceItems);

    for (const SequenceItem& item : project.sequences) {
        // The file may have changed or gone since it was added.
        const StreamProbe probe = ProbeStream(item.file);
        if (!probe.ok) return "sequence item " + Quoted(item.itemId) + ": file " + Quoted(item.file) + " " + probe.error;
    }
    for (const SegmentItem& item : project.segments) {
        const StreamProbe probe = ProbeStream(item.file);
        if (!probe.ok) return "segment item " + Quoted(item.itemId) + ": file " + Quoted(item.file) + " " + probe.error;
        if (probe.isDat)
            return "segment item " + Quoted(item.itemId) + ": file " + Quoted(item.file) +
                   " is a RIFF/CDXA track, not an MPEG still";
    }
    for (const ExtraFile& file : project.files)
        if (!Readable(file.source)) return "file " + Quoted(file.source) + " cannot be read";
    FolderNode root;
    std::string treeError;
    if (!BuildFileTree(project, root, treeError)) return treeError;

    if (auto problem = CheckNodes(project)) return problem;

    const uint64_t sectors = EstimateDiscSectors(project);
    if (sectors > kDiscSectors) {
        constexpr uint64_t kPerSecond = vcdalbum::burner::kSectorsPerSecond;
        const uint64_t seconds = (sectors + kPerSecond - 1) / kPerSecond;
        std::ostringstream text;
        text << "project " << Quoted(project.name) << " needs " << seconds / 60 << ":" << (seconds % 60 < 10 ? "0" : "")
             << seconds % 60 << " minutes of disc time; an 80-minute disc is too small";
        return text.str();
    }
    return std::nullopt;
}

std::string SequenceXmlId(const Project& project, size_t index) {
    return XmlId("sequence", index + 1, project.sequences[index].itemId);
}

std::string DescribeDisc(const Project& project, const std::map<size_t, std::filesystem::path>& streamFiles) {
    std::map<std::string, std::string> itemIds;  // item ID -> XML ID
    for (size_t i = 0; i < project.segments.size(); ++i)
        itemIds.emplace(project.segments[i].itemId, XmlId("segment", i + 1, project.segments[i].itemId));
    for (size_t i = 0; i < project.sequences.size(); ++i)
        itemIds.emplace(project.sequences[i].itemId, SequenceXmlId(project, i));

    // Playback starts at the first list, and a disc of menus starts at its
    // first menu: the first selection list goes first, the rest keep their order.
    std::vector<const PbcNode*> order;
    for (const PbcNode& node : project.nodes) order.push_back(&node);
    auto firstMenu = std::find_if(order.begin(), order.end(), [](const PbcNode* n) { return n->type == PBC_SELECTION_LIST; });
    if (firstMenu != order.end()) std::rotate(order.begin(), firstMenu, firstMenu + 1);
    std::map<std::string, std::string> nodeIds;
    for (size_t i = 0; i < project.nodes.size(); ++i)
        nodeIds.emplace(project.nodes[i].name, XmlId("node", i + 1, project.nodes[i].name));

    const std::string volume = IsoCharacters(project.name, 32);
    std::ostringstream xml;
    xml << "<?xml version=\"1.0\"?>\n"
           "<!DOCTYPE videocd PUBLIC \"-//GNU//DTD VideoCD//EN\" \"http://www.gnu.org/software/vcdimager/videocd.dtd\">\n"
           "<videocd xmlns=\"http://www.gnu.org/software/vcdimager/1.0/\" class=\"vcd\" version=\"2.0\">\n"
           // Room around every track, so that even short streams meet the
           // 4-second minimum of CD recorders.
           "  <option name=\"track front margin\" value=\"150\"/>\n"
           "  <option name=\"track rear margin\" value=\"150\"/>\n"
           "  <info>\n"
        << "    <album-id>" << Escape(IsoCharacters(project.name, 16)) << "</album-id>\n"
        << "    <volume-count>1</volume-count>\n    <volume-number>1</volume-number>\n"
           "    <restriction>0</restriction>\n  </info>\n"
           "  <pvd>\n"
        << "    <volume-id>" << Escape(volume.empty() ? "VIDEOCD" : volume) << "</volume-id>\n"
        << "    <system-id>CD-RTOS CD-BRIDGE</system-id>\n  </pvd>\n";

    FolderNode root;
    std::string ignored;
    BuildFileTree(project, root, ignored);
    if (!root.folders.empty() || !root.files.empty()) {
        xml << "  <filesystem>\n";
        WriteFolder(xml, root, "    ");
        xml << "  </filesystem>\n";
    }

    if (!project.segments.empty()) {
        xml << "  <segment-items>\n";
        for (const SegmentItem& item : project.segments)
            xml << "    <segment-item src=\"" << Escape(AbsolutePath(item.file)) << "\" id=\"" << itemIds[item.itemId]
                << "\"/>\n";
        xml << "  </segment-items>\n";
    }

    xml << "  <sequence-items>\n";
    for (size_t i = 0; i < project.sequences.size(); ++i) {
        const SequenceItem& item = project.sequences[i];
        auto replaced = streamFiles.find(i);
        const std::filesystem::path source = replaced != streamFiles.end() ? replaced->second : std::filesystem::path(item.file);
        xml << "    <sequence-item src=\"" << Escape(AbsolutePath(source)) << "\" id=\"" << itemIds[item.itemId] << "\">";
        if (!item.entryId.empty()) xml << "<default-entry id=\"" << XmlId("entry", i + 1, item.entryId) << "\"/>";
        xml << "</sequence-item>\n";
    }
    xml << "  </sequence-items>\n";

    if (!order.empty()) {
        xml << "  <pbc>\n";
        auto link = [&](const char* element, const std::optional<std::string>& target,
                        const std::optional<_pbc_area_t>& area = std::nullopt) {
            if (target)
                xml << "      <" << element << " ref=\"" << nodeIds[*target] << '"' << AreaAttributes(area) << "/>\n";
        };
        for (const PbcNode* node : order) {
            const char* element = node->type == PBC_PLAY_LIST ? "playlist" : "selection";
            xml << "    <" << element << " id=\"" << nodeIds[node->name] << "\">\n";
            if (node->type == PBC_PLAY_LIST) {
                link("prev", node->prev);
                link("next", node->next);
                link("return", node->ret);
                xml << "      <wait>" << WaitSeconds(node->waitTime) << "</wait>\n";
                for (const std::string& item : node->playItems)
                    xml << "      <play-item ref=\"" << itemIds[item] << "\"/>\n";
            } else {
                if (node->selectionBase != 1) xml << "      <bsn>" << node->selectionBase << "</bsn>\n";
                link("prev", node->prev, node->prevArea);
                link("next", node->next, node->nextArea);
                link("return", node->ret, node->returnArea);
                link("timeout", node->timeoutTarget);
                xml << "      <wait>" << WaitSeconds(node->timeoutTime) << "</wait>\n";
                // A loop count of 0 repeats the item for ever; the field has 7 bits.
                xml << "      <loop jump-timing=\"immediate\">" << std::clamp(node->loopCount, 0, 127) << "</loop>\n";
                if (node->item) xml << "      <play-item ref=\"" << itemIds[*node->item] << "\"/>\n";
                for (size_t s = 0; s < node->selections.size(); ++s) {
                    const std::optional<_pbc_area_t> area = s < node->areas.size() ? node->areas[s] : std::nullopt;
                    xml << "      <select ref=\"" << nodeIds[node->selections[s]] << '"' << AreaAttributes(area) << "/>\n";
                }
            }
            xml << "    </" << element << ">\n";
        }
        xml << "  </pbc>\n";
    }
    xml << "</videocd>\n";
    return xml.str();
}

}  // namespace vcdalbum::components::burner
