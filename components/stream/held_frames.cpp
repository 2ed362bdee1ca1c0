#include "held_frames.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "vbv_model.h"

namespace vcdalbum::components::stream {
namespace {

constexpr uint8_t kPictureStartCode = 0x00;
constexpr uint8_t kFirstSliceCode = 0x01;
constexpr uint8_t kGroupStartCode = 0xB8;
constexpr uint8_t kSequenceStartCode = 0xB3;
constexpr int kPredicted = 2;
constexpr int kMaxVbvDelay = 0xFFFE;  // 0xFFFF says "no delay given"
// The longest run of coded pictures kept for one held frame; a frame that
// the encoder keeps refining for longer is simply coded every time.
constexpr size_t kMaxKept = 64;

size_t FindStartCode(std::span<const uint8_t> b, uint8_t code, size_t end) {
    end = std::min(end, b.size());
    for (size_t i = 0; i + 3 < end; ++i)
        if (StartCodeAt(b, i) && b[i + 3] == code) return i;
    return kNoStartCode;
}

uint32_t GetBits(std::span<const uint8_t> b, size_t bit, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++bit) value = (value << 1) | ((b[bit / 8] >> (7 - bit % 8)) & 1u);
    return value;
}

void PutBits(std::span<uint8_t> b, size_t bit, int count, uint32_t value) {
    for (int i = count - 1; i >= 0; --i, ++bit) {
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit % 8));
        if ((value >> i) & 1u) b[bit / 8] |= mask;
        else b[bit / 8] &= static_cast<uint8_t>(~mask);
    }
}

class BitWriter {
public:
    void Put(int count, uint32_t value) {
        for (int i = count - 1; i >= 0; --i) {
            if (used_ == 0) bytes_.push_back(0);
            if ((value >> i) & 1u) bytes_.back() |= static_cast<uint8_t>(0x80u >> used_);
            used_ = (used_ + 1) % 8;
        }
    }
    // Zero bits up to the next byte, then a start code.
    void StartCode(uint8_t code) {
        used_ = 0;
        bytes_.insert(bytes_.end(), {0, 0, 1, code});
    }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
    int used_ = 0;  // bits used in the last byte
};

// macroblock_address_increment codes for 1..33, and the escape that adds 33.
struct Vlc {
    uint8_t code, length;
};
constexpr Vlc kAddressIncrement[34] = {
    {0, 0},     {0x1, 1},   {0x3, 3},   {0x2, 3},   {0x3, 4},   {0x2, 4},   {0x3, 5},   {0x2, 5},   {0x7, 7},
    {0x6, 7},   {0xb, 8},   {0xa, 8},   {0x9, 8},   {0x8, 8},   {0x7, 8},   {0x6, 8},   {0x17, 10}, {0x16, 10},
    {0x15, 10}, {0x14, 10}, {0x13, 10}, {0x12, 10}, {0x23, 11}, {0x22, 11}, {0x21, 11}, {0x20, 11}, {0x1f, 11},
    {0x1e, 11}, {0x1d, 11}, {0x1c, 11}, {0x1b, 11}, {0x1a, 11}, {0x19, 11}, {0x18, 11}};
constexpr Vlc kAddressEscape{0x8, 11};

void PutAddressIncrement(BitWriter& w, int increment) {
    for (; increment > 33; increment -= 33) w.Put(kAddressEscape.length, kAddressEscape.code);
    w.Put(kAddressIncrement[increment].length, kAddressIncrement[increment].code);
}

// A P-picture macroblock "motion-compensated, not coded" (type code 001)
// whose forward vector repeats the prediction, 0 after skipped macroblocks
// and at the start of a slice.
void PutZeroVectorMacroblock(BitWriter& w) {
    w.Put(3, 0x1);  // macroblock_type
    w.Put(1, 0x1);  // motion_horizontal_forward_code 0
    w.Put(1, 0x1);  // motion_vertical_forward_code 0
}

}  // namespace

size_t PictureStartOffset(std::span<const uint8_t> coded) {
    return FindStartCode(coded, kPictureStartCode, coded.size());
}

int PictureCodingType(std::span<const uint8_t> coded, size_t pictureStart) {
    if (pictureStart + 6 > coded.size()) return 0;
    return static_cast<int>(GetBits(coded, pictureStart * 8 + 42, 3));
}

void SetTemporalReference(std::span<uint8_t> coded, size_t pictureStart, int64_t reference) {
    if (pictureStart + 6 <= coded.size()) PutBits(coded, pictureStart * 8 + 32, 10, static_cast<uint32_t>(reference & 0x3FF));
}

void SetVbvDelay(std::span<uint8_t> coded, size_t pictureStart, int vbvDelay) {
    if (pictureStart + 8 <= coded.size()) PutBits(coded, pictureStart * 8 + 45, 16, static_cast<uint32_t>(vbvDelay));
}

bool SetGroupTimeCode(std::span<uint8_t> coded, int64_t frame, int framesPerSecond) {
    const size_t at = FindStartCode(coded, kGroupStartCode, PictureStartOffset(coded));
    if (at == kNoStartCode || at + 8 > coded.size() || framesPerSecond <= 0) return false;
    const int64_t fps = framesPerSecond;
    const size_t bit = at * 8 + 32;  // drop_frame_flag, kept as it is
    PutBits(coded, bit + 1, 5, static_cast<uint32_t>(frame / (fps * 3600) % 24));
    PutBits(coded, bit + 6, 6, static_cast<uint32_t>(frame / (fps * 60) % 60));
    PutBits(coded, bit + 13, 6, static_cast<uint32_t>(frame / fps % 60));
    PutBits(coded, bit + 19, 6, static_cast<uint32_t>(frame % fps));
    return true;
}

bool SetSequenceBitRate(std::span<uint8_t> coded, int64_t bitRate) {
    const size_t at = FindStartCode(coded, kSequenceStartCode, PictureStartOffset(coded));
    if (at == kNoStartCode || at + 12 > coded.size() || bitRate <= 0) return false;
    // After the sizes (12 + 12 bits), the aspect and rate codes (4 + 4), in
    // units of 400 bit/s rounded up.
    PutBits(coded, at * 8 + 64, 18, static_cast<uint32_t>(std::min<int64_t>((bitRate + 399) / 400, 0x3FFFF)));
    return true;
}

int VbvDelayFor(double contentBits, int64_t bitsToStartCodeEnd, double bitRate) {
    const double ticks = (contentBits - static_cast<double>(bitsToStartCodeEnd)) * 90000.0 / bitRate;
    return static_cast<int>(std::clamp(ticks, 0.0, static_cast<double>(kMaxVbvDelay)));
}

std::vector<uint8_t> SkippedPicture(int mbWidth, int mbHeight) {
    BitWriter w;
    w.StartCode(kPictureStartCode);
    w.Put(10, 0);           // temporal_reference
    w.Put(3, kPredicted);   // picture_coding_type
    w.Put(16, 0);           // vbv_delay
    w.Put(1, 0);            // full_pel_forward_vector
    w.Put(3, 1);            // forward_f_code: vectors need no residual bits
    w.Put(1, 0);            // extra_bit_picture
    w.StartCode(kFirstSliceCode);
    w.Put(5, 1);  // quantiser_scale: no coefficient uses it
    w.Put(1, 0);  // extra_bit_slice
    // A slice may neither begin nor end with a skipped macroblock.
    const int macroblocks = mbWidth * mbHeight;
    PutAddressIncrement(w, 1);
    PutZeroVectorMacroblock(w);
    if (macroblocks > 1) {
        PutAddressIncrement(w, macroblocks - 1);
        PutZeroVectorMacroblock(w);
    }
    return w.Take();
}

size_t CodedSize(std::span<const uint8_t> coded) {
    size_t size = coded.size();
    while (size > 0 && coded[size - 1] == 0) --size;
    return size;
}

bool RepeatDetector::Repeats(const AVFrame& frame) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (desc == nullptr || (desc->flags & AV_PIX_FMT_FLAG_PLANAR) == 0 || desc->nb_components != 3) {
        format_ = -1;  // nothing this class can compare: never a repeat
        return false;
    }
    const bool sameShape = frame.format == format_ && frame.width == width_ && frame.height == height_;
    size_t size = 0;
    for (int p = 0; p < 3; ++p) {
        const int w = p == 0 ? frame.width : AV_CEIL_RSHIFT(frame.width, desc->log2_chroma_w);
        const int h = p == 0 ? frame.height : AV_CEIL_RSHIFT(frame.height, desc->log2_chroma_h);
        size += static_cast<size_t>(w) * static_cast<size_t>(h);
    }
    if (!sameShape) pixels_.assign(size, 0);
    bool same = sameShape;
    uint8_t* out = pixels_.data();
    for (int p = 0; p < 3; ++p) {
        const int w = p == 0 ? frame.width : AV_CEIL_RSHIFT(frame.width, desc->log2_chroma_w);
        const int h = p == 0 ? frame.height : AV_CEIL_RSHIFT(frame.height, desc->log2_chroma_h);
        for (int y = 0; y < h; ++y, out += w) {
            const uint8_t* row = frame.data[p] + static_cast<ptrdiff_t>(y) * frame.linesize[p];
            if (same && std::memcmp(out, row, static_cast<size_t>(w)) == 0) continue;
            same = false;
            std::memcpy(out, row, static_cast<size_t>(w));
        }
    }
    format_ = frame.format;
    width_ = frame.width;
    height_ = frame.height;
    return same;
}

HeldFrames::Action HeldFrames::Next(const AVFrame& frame, bool groupDue, bool bufferFull, const KeptFit& keptFit,
                                    const MakeRun& makeRun, bool groupWelcome) {
    return Decide(detector_.Repeats(frame), groupDue, groupWelcome, bufferFull, keptFit, makeRun);
}

void HeldFrames::Forget() {
    settled_ = recording_ = keptComplete_ = writingKept_ = runAsked_ = runKept_ = runRenew_ = false;
    kept_.clear();
    nextKept_ = 0;
}

HeldFrames::Action HeldFrames::Decide(bool repeats, bool groupDue, bool groupWelcome, bool bufferFull,
                                      const KeptFit& keptFit, const MakeRun& makeRun) {
    if (!repeats) {
        // If the kept pictures were being written again, the decoder's
        // reference is part-way along them while the encoder's is at their
        // end, or it is the still's own run: only an I-picture brings the
        // two together again.
        if (writingKept_ || runKept_) referenceDiffers_ = true;
        Forget();
        return ToEncoder(referenceDiffers_ || groupDue);
    }
    if (writingKept_ && !groupDue) return Action::WriteKept;
    writingKept_ = false;
    if (makeRun && !runAsked_ && !referenceDiffers_) {
        // The run's I-picture is as fine as the buffer's content allows:
        // until the buffer is full, the still as first coded is shown again.
        if (!bufferFull) {
            if (groupDue) return ToEncoder(true);
            encoderBehind_ = true;
            return Action::Skipped;
        }
        runAsked_ = true;
        if (KeepRun(makeRun(true, runRenew_))) return Action::WriteKept;
    }
    // Skipped pictures keep the encoder's model in step only while the
    // buffer is full; after kept pictures they bring it back in step, as
    // soon as they find it full.
    if (settled_ && !referenceDiffers_ && (bufferFull || encoderModelAhead_)) {
        if (runRenew_ && (groupDue || (groupWelcome && bufferFull))) {
            bool renew = false;
            runRenew_ = false;
            if (KeepRun(makeRun(false, renew))) return Action::WriteKept;
        }
        const bool writeAgain = (groupDue || groupWelcome) && keptComplete_ && keptFit(kept_);
        if (!groupDue && !writeAgain) {
            if (bufferFull) encoderModelAhead_ = false;
            return Action::Skipped;
        }
        if (writeAgain) {
            // The encoder's model stays where its last picture left it,
            // which after its own refining pictures is short of the top: it
            // starts again from the buffer as it is at its next picture.
            writingKept_ = encoderModelAhead_ = encoderBehind_ = true;
            nextKept_ = 0;
            return Action::WriteKept;
        }
    }
    return ToEncoder(referenceDiffers_ || runKept_ || groupDue);
}

HeldFrames::Action HeldFrames::ToEncoder(bool intra) {
    if (!encoderBehind_) return intra ? Action::EncodeIntra : Action::Encode;
    encoderBehind_ = false;
    restartEncoder_ = true;
    return Action::EncodeIntra;
}

bool HeldFrames::KeepRun(std::vector<CodedPicture> run) {
    if (run.empty()) return false;
    kept_ = std::move(run);
    recording_ = false;
    keptComplete_ = settled_ = runKept_ = encoderBehind_ = true;
    writingKept_ = encoderModelAhead_ = true;
    nextKept_ = 0;
    return true;
}

void HeldFrames::Coded(std::span<const uint8_t> bytes, size_t pictureStart, bool intra) {
    if (intra) {
        referenceDiffers_ = runKept_ = false;
        kept_.clear();
        recording_ = true;
        keptComplete_ = false;
    }
    const bool settles = !intra && static_cast<int64_t>(CodedSize(bytes)) * 8 <= settledBits_;
    if (recording_) {
        if (kept_.size() == kMaxKept) {
            recording_ = false;
            kept_.clear();
        } else {
            kept_.push_back(CodedPicture{std::vector<uint8_t>(bytes.begin(), bytes.end()), pictureStart, intra});
            if (settles) {
                recording_ = false;
                keptComplete_ = true;
            }
        }
    }
    settled_ = settles;
}

const CodedPicture& HeldFrames::KeptPicture() {
    const CodedPicture& picture = kept_[nextKept_++];
    if (nextKept_ == kept_.size()) writingKept_ = false;
    return picture;
}

}  // namespace vcdalbum::components::stream
