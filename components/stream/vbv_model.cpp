#include "vbv_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

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

std::vector<uint8_t> ExtractVideoElementaryStream(std::span<const uint8_t> b, std::string& error) {
    if (StartCodeAt(b, 0) && b[3] == kSequenceHeader) return std::vector<uint8_t>(b.begin(), b.end());
    std::vector<uint8_t> es;
    size_t i = 0;
    bool sawPack = false;
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
            sawPack = true;
            if (i + 5 > b.size()) break;
            if ((b[i + 4] & 0xC0) == 0x40) {  // MPEG-2 pack header with its stuffing
                if (i + 14 > b.size()) break;
                i += 14 + (b[i + 13] & 0x07);
            } else {
                i += 12;
            }
            continue;
        }
        if (id < 0xBB) {  // not a packet: a stray start code
            ++i;
            continue;
        }
        if (i + 6 > b.size()) break;
        const size_t end = i + 6 + ((static_cast<size_t>(b[i + 4]) << 8) | b[i + 5]);
        if (end > b.size()) {
            error = "a packet runs past the end of the file";
            return {};
        }
        if (id == kVideoStream) {
            size_t payload;
            if ((b[i + 6] & 0xC0) == 0x80) {  // MPEG-2 PES header
                payload = i + 9 + (i + 8 < end ? b[i + 8] : 0);
            } else {
                payload = Mpeg1PayloadStart(b, i, end);
            }
            if (payload == 0 || payload > end) {
                error = "a video packet has a malformed header";
                return {};
            }
            es.insert(es.end(), b.begin() + static_cast<std::ptrdiff_t>(payload), b.begin() + static_cast<std::ptrdiff_t>(end));
        }
        i = end;
    }
    if (!sawPack) error = "neither a program stream nor a video elementary stream";
    else if (es.empty()) error = "the stream has no video";
    return es;
}

VbvReport CheckVbv(std::span<const uint8_t> bytes) {
    VbvReport report;
    std::vector<uint8_t> es = ExtractVideoElementaryStream(bytes, report.error);
    if (!report.error.empty()) return report;

    // Picture sizes in bits: each picture owns the sequence and group headers
    // in front of it, up to the headers or start code of the next picture.
    std::vector<int64_t> sizes;
    size_t pictureStart = 0;      // where the current picture's bytes begin
    size_t pendingHeaders = 0;    // start of headers seen since its slices
    bool inPicture = false, havePending = false, haveSequence = false;
    int vbvDelay = -1;
    size_t firstPictureCodeEnd = 0;
    for (size_t i = 0; i + 3 < es.size(); ++i) {
        if (!StartCodeAt(es, i)) continue;
        const uint8_t code = es[i + 3];
        if (code == kSequenceHeader && !haveSequence) {
            if (i + 12 > es.size()) break;
            const uint8_t* h = &es[i + 4];
            report.params.frameRate = PictureRate(h[3] & 0x0F);
            const int64_t rate = (static_cast<int64_t>(h[4]) << 10) | (h[5] << 2) | (h[6] >> 6);
            const int64_t vbv = ((h[6] & 0x1F) << 5) | (h[7] >> 3);
            report.params.bitRate = static_cast<double>(rate) * 400;
            report.params.bufferBits = static_cast<double>(vbv) * 16 * 1024;
            haveSequence = true;
        }
        if (code == kSequenceHeader || code == kGroupStart) {
            if (!havePending) pendingHeaders = i;
            havePending = true;
        } else if (code == kPictureStart) {
            const size_t begin = havePending ? pendingHeaders : i;
            if (inPicture) sizes.push_back(static_cast<int64_t>(begin - pictureStart) * 8);
            else if (i + 8 <= es.size()) {
                vbvDelay = ((es[i + 5] & 0x07) << 13) | (es[i + 6] << 5) | (es[i + 7] >> 3);
                firstPictureCodeEnd = i + 4;
            }
            pictureStart = begin;
            inPicture = true;
            havePending = false;
        } else if (code == kSequenceEnd) {
            if (inPicture) sizes.push_back(static_cast<int64_t>(i + 4 - pictureStart) * 8);
            inPicture = false;
            havePending = false;
        } else if (code != kUserData && code != kExtension) {
            havePending = false;  // slices: headers seen before belong to nothing
        }
    }
    if (inPicture) sizes.push_back(static_cast<int64_t>(es.size() - pictureStart) * 8);
    if (!haveSequence || report.params.bitRate <= 0 || report.params.bufferBits <= 0 || report.params.frameRate <= 0) {
        report.error = "no usable sequence header";
        return report;
    }
    if (sizes.empty()) {
        report.error = "no pictures";
        return report;
    }

    // The first picture is taken out vbv_delay after its start code arrived;
    // 0xFFFF means the stream gives no delay, and then a full buffer is assumed.
    const VbvParams& p = report.params;
    const double totalBits = static_cast<double>(es.size()) * 8;
    report.firstVbvDelaySeconds = vbvDelay >= 0 && vbvDelay != 0xFFFF ? vbvDelay / kVbvDelayClock : -1;
    const double startCodeArrives = static_cast<double>(firstPictureCodeEnd) * 8 / p.bitRate;
    const double firstTime = report.firstVbvDelaySeconds >= 0 ? startCodeArrives + report.firstVbvDelaySeconds
                                                               : p.bufferBits / p.bitRate;
    const double arrived = std::min(totalBits, firstTime * p.bitRate);
    VbvModel model(p, arrived, firstTime);
    model.SetRemainingBits(totalBits - arrived);
    for (int64_t bits : sizes) model.TakePicture(bits);
    report.pictures = model.Pictures();
    report.lowestBits = model.LowestAfterRemoval();
    report.violations = model.Violations();
    return report;
}

VbvReport CheckVbvFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        VbvReport report;
        report.error = "cannot read '" + path + "'";
        return report;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    VbvReport report = CheckVbv(bytes);
    if (!report.error.empty()) report.error = "'" + path + "': " + report.error;
    return report;
}

}  // namespace vcdalbum::components::stream
