#include "mpeg_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <vector>

namespace vcdalbum::components::burner {
namespace {

// Offset of the 2324 payload bytes inside a raw Mode 2 Form 2 sector:
// 12 sync, 4 header and 8 subheader bytes come first.
constexpr size_t kPayloadOffset = 24;

uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// An MPEG-1 pack header: start code 0x000001BA, then '0010' in the top bits.
// MPEG-2 program streams have '01' there and are not Video CD material.
bool IsMpeg1Pack(const unsigned char* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == 0xBA && (p[4] & 0xF0) == 0x20;
}

bool IsMpeg2Pack(const unsigned char* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == 0xBA && (p[4] & 0xC0) == 0x40;
}

// Finds the "data" chunk of a RIFF/CDXA file: its offset and size.
bool FindDataChunk(std::ifstream& in, uint64_t fileSize, uint64_t& offset, uint64_t& size) {
    uint64_t pos = 12;
    while (pos + 8 <= fileSize) {
        unsigned char header[8];
        in.seekg(static_cast<std::streamoff>(pos));
        if (!in.read(reinterpret_cast<char*>(header), 8)) return false;
        const uint64_t chunkSize = Le32(header + 4);
        if (std::memcmp(header, "data", 4) == 0) {
            offset = pos + 8;
            size = std::min(chunkSize, fileSize - offset);
            return true;
        }
        pos += 8 + chunkSize + (chunkSize & 1);
    }
    return false;
}

// Players find the sequence header in the first video packet; a stream
// whose first megabyte has none is not looked at further.
constexpr size_t kHeaderSearchBytes = 1 << 20;

std::optional<VideoFormat> FindSequenceHeader(const std::vector<unsigned char>& bytes) {
    for (size_t i = 0; i + 8 <= bytes.size(); ++i) {
        if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1 || bytes[i + 3] != 0xB3) continue;
        const unsigned char* p = bytes.data() + i + 4;
        VideoFormat f;
        f.width = p[0] << 4 | p[1] >> 4;
        f.height = (p[1] & 0x0F) << 8 | p[2];
        f.aspectCode = p[3] >> 4;
        f.rateCode = p[3] & 0x0F;
        return f;
    }
    return std::nullopt;
}

}  // namespace

std::optional<VideoFormat> ReadVideoFormat(const std::filesystem::path& file) {
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(file, ec);
    std::ifstream in(file, std::ios::binary);
    if (ec || !in) return std::nullopt;
    std::vector<unsigned char> bytes;
    const StreamProbe probe = ProbeStream(file);
    if (!probe.ok) return std::nullopt;
    if (probe.isDat) {
        // Only the sectors' payloads, joined, so that a header split over two
        // sectors is still found.
        uint64_t offset = 0, dataSize = 0;
        if (!FindDataChunk(in, size, offset, dataSize)) return std::nullopt;
        std::vector<unsigned char> sector(kRawSectorBytes);
        in.seekg(static_cast<std::streamoff>(offset));
        for (uint64_t n = dataSize / kRawSectorBytes; n > 0 && bytes.size() < kHeaderSearchBytes; --n) {
            if (!in.read(reinterpret_cast<char*>(sector.data()), static_cast<std::streamsize>(sector.size()))) break;
            bytes.insert(bytes.end(), sector.begin() + kPayloadOffset, sector.begin() + kPayloadOffset + kTrackSectorBytes);
        }
    } else {
        bytes.resize(static_cast<size_t>(std::min<uint64_t>(size, kHeaderSearchBytes)));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<size_t>(in.gcount()));
    }
    return FindSequenceHeader(bytes);
}

StreamProbe ProbeStream(const std::filesystem::path& file) {
    StreamProbe probe;
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(file, ec);
    std::ifstream in(file, std::ios::binary);
    if (ec || !in) {
        probe.error = "cannot be read";
        return probe;
    }
    std::array<unsigned char, 12> head{};
    if (size < head.size() || !in.read(reinterpret_cast<char*>(head.data()), head.size())) {
        probe.error = "is too short to be an MPEG stream";
        return probe;
    }
    if (std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "CDXA", 4) == 0) {
        uint64_t offset = 0, dataSize = 0;
        if (!FindDataChunk(in, size, offset, dataSize) || dataSize < kRawSectorBytes) {
            probe.error = "is a RIFF/CDXA file without sectors";
            return probe;
        }
        std::array<unsigned char, kPayloadOffset + 5> sector{};
        in.seekg(static_cast<std::streamoff>(offset));
        if (!in.read(reinterpret_cast<char*>(sector.data()), sector.size()) ||
            !IsMpeg1Pack(sector.data() + kPayloadOffset)) {
            probe.error = "is a RIFF/CDXA file that does not hold an MPEG-1 program stream";
            return probe;
        }
        probe.ok = true;
        probe.isDat = true;
        probe.sectors = dataSize / kRawSectorBytes;
        return probe;
    }
    if (IsMpeg2Pack(head.data())) {
        probe.error = "is an MPEG-2 program stream; a Video CD needs MPEG-1";
        return probe;
    }
    if (!IsMpeg1Pack(head.data())) {
        probe.error = "is not an MPEG-1 program stream";
        return probe;
    }
    probe.ok = true;
    probe.sectors = (size + kTrackSectorBytes - 1) / kTrackSectorBytes;
    return probe;
}

bool UnwrapDat(const std::filesystem::path& datFile, const std::filesystem::path& mpegOut, std::string& error) {
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(datFile, ec);
    std::ifstream in(datFile, std::ios::binary);
    uint64_t offset = 0, dataSize = 0;
    if (ec || !in || !FindDataChunk(in, size, offset, dataSize)) {
        error = "cannot be read as a RIFF/CDXA file";
        return false;
    }
    std::ofstream out(mpegOut, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot write " + mpegOut.string();
        return false;
    }
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<char> sector(kRawSectorBytes);
    for (uint64_t n = dataSize / kRawSectorBytes; n > 0; --n) {
        if (!in.read(sector.data(), static_cast<std::streamsize>(sector.size()))) {
            error = "ends inside a sector";
            return false;
        }
        const char* payload = sector.data() + kPayloadOffset;
        const bool empty = std::all_of(payload, payload + kTrackSectorBytes, [](char c) { return c == 0; });
        if (!empty) out.write(payload, static_cast<std::streamsize>(kTrackSectorBytes));
    }
    out.close();
    if (!out) {
        error = "cannot write " + mpegOut.string();
        return false;
    }
    return true;
}

}  // namespace vcdalbum::components::burner
