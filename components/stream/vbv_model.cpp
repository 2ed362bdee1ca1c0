#include "vbv_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>

namespace vcdalbum::components::stream {
namespace {

constexpr uint8_t kPictureStart = 0x00;
constexpr uint8_t kUserData = 0xB2;
constexpr uint8_t kSequenceHeader = 0xB3;
constexpr uint8_t kExtension = 0xB5;
constexpr uint8_t kSequenceEnd = 0xB7;
constexpr uint8_t kGroupStart = 0xB8;
constexpr uint8_t kProgramEnd = 0xB9;
constexpr uint8_t kPackStart = 0xBA;
constexpr uint8_t kVideoStream = 0xE0;
constexpr double kVbvDelayClock = 90000.0;

// Payload offset of an MPEG-1 packet whose header starts at `i` (after the
// 6 bytes of start code and length), or 0 when it is malformed.
size_t Mpeg1PayloadStart(std::span<const uint8_t> b, size_t i, size_t end) {
    size_t p = i + 6;
    for (int n = 0; p < end && b[p] == 0xFF && n < 16; ++n) ++p;  // stuffing
    if (p < end && (b[p] & 0xC0) == 0x40) p += 2;                 // STD buffer size
    if (p >= end) return 0;
    if ((b[p] & 0xF0) == 0x20) return p + 5;  // PTS
    if ((b[p] & 0xF0) == 0x30) return p + 10;  // PTS and DTS
    if (b[p] == 0x0F) return p + 1;
    return 0;
}

double PictureRate(int code) {
    static const double rates[] = {0, 24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 50, 60000.0 / 1001, 60};
    return code >= 1 && code <= 8 ? rates[code] : 0;
}

}  // namespace

bool StartCodeAt(std::span<const uint8_t> b, size_t i) {
    return i + 3 < b.size() && b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1;
}

VbvModel::VbvModel(const VbvParams& params, double contentBeforeFirst, double firstSeconds)
    : params_(params), firstTime_(firstSeconds), content_(contentBeforeFirst), lowest_(params.bufferBits) {}

bool VbvModel::TakePicture(int64_t bits) {
    // vbv_delay counts in 1/90000 s, so a stream can only place a picture to
    // within this many bits; smaller differences are rounding, not faults.
    const double tolerance = params_.bitRate / kVbvDelayClock;
    const double when = firstTime_ + static_cast<double>(pictures_) / params_.frameRate;
    if (content_ > params_.bufferBits + tolerance)
        violations_.push_back({VbvViolation::Kind::Overflow, pictures_, when, content_ - params_.bufferBits});
    const bool fits = static_cast<double>(bits) <= content_ + tolerance;
    if (!fits) violations_.push_back({VbvViolation::Kind::Underflow, pictures_, when, bits - content_});
    content_ -= static_cast<double>(bits);
    // Once the stream has no more data, the last pictures empty the buffer
    // as they should; only a buffer that is still being filled can run low.
    if (remaining_ != 0) lowest_ = std::min(lowest_, content_);
    double arriving = params_.bitRate / params_.frameRate;
    if (remaining_ >= 0) {
        arriving = std::min(arriving, remaining_);
        remaining_ -= arriving;
    }
    content_ += arriving;
    ++pictures_;
    return fits;
}

int64_t VbvModel::StuffingBytes(int64_t bits) const {
    const double excess = content_ - static_cast<double>(bits) + params_.bitRate / params_.frameRate - params_.bufferBits;
    return excess > 0 ? static_cast<int64_t>(std::ceil(excess / 8)) : 0;
}

int VbvReport::Count(VbvViolation::Kind kind) const {
    return static_cast<int>(std::count_if(violations.begin(), violations.end(),
                                          [kind](const VbvViolation& v) { return v.kind == kind; }));
}

std::string VbvReport::Describe(size_t maxViolations) const {
    std::string out;
    char line[200];
    if (!error.empty()) return "cannot check the rate buffer: " + error + "\n";
    for (size_t i = 0; i < violations.size() && i < maxViolations; ++i) {
        const VbvViolation& v = violations[i];
        std::snprintf(line, sizeof line, "%s at picture %lld (%.3f s): %.0f bits %s\n",
                      v.kind == VbvViolation::Kind::Underflow ? "underflow" : "overflow",
                      static_cast<long long>(v.picture), v.seconds, v.bits,
                      v.kind == VbvViolation::Kind::Underflow ? "missing" : "too many");
        out += line;
    }
    if (violations.size() > maxViolations) out += "...\n";
    std::snprintf(line, sizeof line,
                  "%lld pictures, %.0f bit/s, buffer %.0f bits, first vbv_delay %.4f s, lowest %.0f bits (%.1f %%), "
                  "%d underflows, %d overflows\n",
                  static_cast<long long>(pictures), params.bitRate, params.bufferBits, firstVbvDelaySeconds, lowestBits,
                  params.bufferBits > 0 ? 100.0 * lowestBits / params.bufferBits : 0.0,
                  Count(VbvViolation::Kind::Underflow), Count(VbvViolation::Kind::Overflow));
    return out + line;
}

namespace {

// A program stream in, its video payload out, in pieces of any size: a
// stream is checked as it is read, never held whole (an album of a few
// hundred pictures makes a stream of hundreds of megabytes).
class Demuxer {
public:
    explicit Demuxer(std::function<void(std::span<const uint8_t>)> video) : video_(std::move(video)) {}

    // Takes the next bytes of the file; `end`: there are no more.
    void Feed(std::span<const uint8_t> data, bool end) {
        if (!malformed_.empty()) return;
        buf_.insert(buf_.end(), data.begin(), data.end());
        const std::span<const uint8_t> b(buf_);
        if (!decided_) {
            if (b.size() < 4 && !end) return;
            decided_ = true;
            elementary_ = StartCodeAt(b, 0) && b[3] == kSequenceHeader;
        }
        if (elementary_) {
            Emit(b);
            buf_.clear();
            return;
        }
        size_t i = 0;
        while (i + 4 <= b.size()) {
            if (!StartCodeAt(b, i)) {
                ++i;  // zero padding, or lost sync: look for the next start code
                continue;
            }
            const uint8_t id = b[i + 3];
            if (id == kProgramEnd) {
                i += 4;
                continue;
            }
            if (id == kPackStart) {
                sawPack_ = true;
                if (i + 5 > b.size()) break;
                size_t length = 12;
                if ((b[i + 4] & 0xC0) == 0x40) {  // MPEG-2 pack header with its stuffing
                    if (i + 14 > b.size()) break;
                    length = 14 + (b[i + 13] & 0x07);
                }
                if (i + length > b.size()) break;  // the rest comes with the next piece
                i += length;
                continue;
            }
            if (id < 0xBB) {  // not a packet: a stray start code
                ++i;
                continue;
            }
            if (i + 6 > b.size()) break;
            const size_t packetEnd = i + 6 + ((static_cast<size_t>(b[i + 4]) << 8) | b[i + 5]);
            if (packetEnd > b.size()) {
                if (end) malformed_ = "a packet runs past the end of the file";
                break;
            }
            if (id == kVideoStream) {
                size_t payload;
                if ((b[i + 6] & 0xC0) == 0x80) {  // MPEG-2 PES header
                    payload = i + 9 + (i + 8 < packetEnd ? b[i + 8] : 0);
                } else {
                    payload = Mpeg1PayloadStart(b, i, packetEnd);
                }
                if (payload == 0 || payload > packetEnd) {
                    malformed_ = "a video packet has a malformed header";
                    return;
                }
                Emit(b.subspan(payload, packetEnd - payload));
            }
            i = packetEnd;
        }
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(std::min(i, buf_.size())));
    }

    // After the last piece: why the file holds no video, or nothing.
    std::string Error() const {
        if (!malformed_.empty()) return malformed_;
        if (elementary_) return std::string();
        if (!sawPack_) return "neither a program stream nor a video elementary stream";
        if (videoBytes_ == 0) return "the stream has no video";
        return std::string();
    }
    bool Malformed() const { return !malformed_.empty(); }

private:
    void Emit(std::span<const uint8_t> bytes) {
        videoBytes_ += bytes.size();
        if (!bytes.empty()) video_(bytes);
    }

    std::function<void(std::span<const uint8_t>)> video_;
    std::vector<uint8_t> buf_;  // the bytes of a unit not yet complete
    bool decided_ = false, elementary_ = false, sawPack_ = false;
    uint64_t videoBytes_ = 0;
    std::string malformed_;
};

// Picture sizes in bits of a video elementary stream fed in pieces: each
// picture owns the sequence and group headers in front of it, up to the
// headers or start code of the next picture.
class PictureSizes {
public:
    void Feed(std::span<const uint8_t> data) {
        buf_.insert(buf_.end(), data.begin(), data.end());
        // A start code's fields reach 12 bytes on: scan only where they are all here.
        Scan(buf_.size() >= kLookAhead ? buf_.size() - kLookAhead + 1 : 0);
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(pos_));
        base_ += pos_;
        pos_ = 0;
    }

    void Finish() {
        Scan(buf_.size() >= 3 ? buf_.size() - 3 : 0);
        const uint64_t total = base_ + buf_.size();
        if (inPicture_) sizes.push_back(static_cast<int64_t>(total - pictureStart_) * 8);
        totalBytes = total;
    }

    std::vector<int64_t> sizes;
    VbvParams params;
    bool haveSequence = false;
    int vbvDelay = -1;
    uint64_t firstPictureCodeEnd = 0, totalBytes = 0;

private:
    static constexpr size_t kLookAhead = 12;

    // Looks for start codes at buf_[pos_ .. until).
    void Scan(size_t until) {
        const std::span<const uint8_t> es(buf_);
        for (; pos_ < until; ++pos_) {
            const size_t i = pos_;
            if (!StartCodeAt(es, i)) continue;
            const uint64_t at = base_ + i;
            const uint8_t code = es[i + 3];
            if (code == kSequenceHeader && !haveSequence) {
                if (i + 12 > es.size()) {
                    pos_ = until;
                    break;
                }
                const uint8_t* h = &es[i + 4];
                params.frameRate = PictureRate(h[3] & 0x0F);
                const int64_t rate = (static_cast<int64_t>(h[4]) << 10) | (h[5] << 2) | (h[6] >> 6);
                const int64_t vbv = ((h[6] & 0x1F) << 5) | (h[7] >> 3);
                params.bitRate = static_cast<double>(rate) * 400;
                params.bufferBits = static_cast<double>(vbv) * 16 * 1024;
                haveSequence = true;
            }
            if (code == kSequenceHeader || code == kGroupStart) {
                if (!havePending_) pendingHeaders_ = at;
                havePending_ = true;
            } else if (code == kPictureStart) {
                const uint64_t begin = havePending_ ? pendingHeaders_ : at;
                if (inPicture_) {
                    sizes.push_back(static_cast<int64_t>(begin - pictureStart_) * 8);
                } else if (i + 8 <= es.size()) {
                    vbvDelay = ((es[i + 5] & 0x07) << 13) | (es[i + 6] << 5) | (es[i + 7] >> 3);
                    firstPictureCodeEnd = at + 4;
                }
                pictureStart_ = begin;
                inPicture_ = true;
                havePending_ = false;
            } else if (code == kSequenceEnd) {
                if (inPicture_) sizes.push_back(static_cast<int64_t>(at + 4 - pictureStart_) * 8);
                inPicture_ = false;
                havePending_ = false;
            } else if (code != kUserData && code != kExtension) {
                havePending_ = false;  // slices: headers seen before belong to nothing
            }
        }
    }

    std::vector<uint8_t> buf_;
    uint64_t base_ = 0;  // the stream offset of buf_[0]
    size_t pos_ = 0;     // where the scan goes on
    uint64_t pictureStart_ = 0, pendingHeaders_ = 0;
    bool inPicture_ = false, havePending_ = false;
};

// Runs the model over the stream that `read` gives piece by piece (0 at
// its end).
VbvReport CheckPieces(const std::function<size_t(uint8_t*, size_t)>& read) {
    VbvReport report;
    PictureSizes scan;
    Demuxer demuxer([&](std::span<const uint8_t> video) { scan.Feed(video); });
    std::vector<uint8_t> piece(1 << 20);
    for (;;) {
        const size_t n = read(piece.data(), piece.size());
        demuxer.Feed(std::span<const uint8_t>(piece.data(), n), n == 0);
        if (n == 0 || demuxer.Malformed()) break;
    }
    report.error = demuxer.Error();
    if (!report.error.empty()) return report;
    scan.Finish();
    report.params = scan.params;
    if (!scan.haveSequence || report.params.bitRate <= 0 || report.params.bufferBits <= 0 ||
        report.params.frameRate <= 0) {
        report.error = "no usable sequence header";
        return report;
    }
    if (scan.sizes.empty()) {
        report.error = "no pictures";
        return report;
    }

    // The first picture is taken out vbv_delay after its start code arrived;
    // 0xFFFF means the stream gives no delay, and then a full buffer is assumed.
    const VbvParams& p = report.params;
    const double totalBits = static_cast<double>(scan.totalBytes) * 8;
    report.firstVbvDelaySeconds =
        scan.vbvDelay >= 0 && scan.vbvDelay != 0xFFFF ? scan.vbvDelay / kVbvDelayClock : -1;
    const double startCodeArrives = static_cast<double>(scan.firstPictureCodeEnd) * 8 / p.bitRate;
    const double firstTime = report.firstVbvDelaySeconds >= 0 ? startCodeArrives + report.firstVbvDelaySeconds
                                                               : p.bufferBits / p.bitRate;
    const double arrived = std::min(totalBits, firstTime * p.bitRate);
    VbvModel model(p, arrived, firstTime);
    model.SetRemainingBits(totalBits - arrived);
    for (int64_t bits : scan.sizes) model.TakePicture(bits);
    report.pictures = model.Pictures();
    report.lowestBits = model.LowestAfterRemoval();
    report.violations = model.Violations();
    return report;
}

}  // namespace

std::vector<uint8_t> ExtractVideoElementaryStream(std::span<const uint8_t> b, std::string& error) {
    std::vector<uint8_t> es;
    Demuxer demuxer([&](std::span<const uint8_t> video) { es.insert(es.end(), video.begin(), video.end()); });
    demuxer.Feed(b, true);
    error = demuxer.Error();
    if (demuxer.Malformed()) es.clear();
    return es;
}

VbvReport CheckVbv(std::span<const uint8_t> bytes) {
    size_t at = 0;
    return CheckPieces([&](uint8_t* out, size_t size) {
        const size_t n = std::min(size, bytes.size() - at);
        std::memcpy(out, bytes.data() + at, n);
        at += n;
        return n;
    });
}

VbvReport CheckVbvFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        VbvReport report;
        report.error = "cannot read '" + path + "'";
        return report;
    }
    VbvReport report = CheckPieces([&](uint8_t* out, size_t size) -> size_t {
        in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size));
        return static_cast<size_t>(in.gcount());
    });
    if (!report.error.empty()) report.error = "'" + path + "': " + report.error;
    return report;
}

}  // namespace vcdalbum::components::stream
