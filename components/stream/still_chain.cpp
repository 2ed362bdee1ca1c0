#include "still_chain.h"

#include <algorithm>
#include <map>

#include "vcd_writer.h"

namespace vcdalbum::components::stream {
namespace {

constexpr int kFinestQuantiser = 1;
// Well beyond the few dozen pictures one run codes, so that the encoder
// never starts a group by itself.
constexpr int kGroupSize = 600;
// The last frames of a run show its finished picture: a hold that ends
// part-way into a run, or on its last frame, ends still.
constexpr int64_t kStillEnd = 6;

// An MPEG-1 encoder at the quantiser each frame asks for, writing the same
// sequence header as the stream's own encoder.
CodecContextPtr OpenFixedQuantiserEncoder(const video::VideoStandard& standard) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
    if (codec == nullptr) return nullptr;
    CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder) return nullptr;
    AVCodecContext* c = encoder.get();
    SetStreamPicture(c, standard);
    c->gop_size = kGroupSize;
    c->max_b_frames = 0;
    c->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_LOW_DELAY;
    c->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    c->global_quality = FF_QP2LAMBDA * kCoarsestQuantiser;
    // The encoder's own floor is 2; the finest step is the run's to choose.
    c->qmin = kFinestQuantiser;
    // At the finest quantiser a few coefficients of an I-picture exceed
    // MPEG-1's level range and are clipped, with a warning each time; the
    // refining P-pictures after it mend them, so the warnings say nothing.
    c->log_level_offset = AV_LOG_VERBOSE - AV_LOG_WARNING;
    // The bit rate alone, so that no buffer model of the encoder's own
    // coarsens or stuffs the pictures, whose sizes are chosen here. From it
    // the sequence header gets the VCD's 40 KiB buffer; its rate field, which
    // says "variable" without a maximum rate, is set after coding.
    c->bit_rate = kVideoBitRate;
    if (avcodec_open2(c, codec, nullptr) < 0) return nullptr;
    return encoder;
}

class FixedQuantiserCoder {
public:
    explicit FixedQuantiserCoder(const video::VideoStandard& standard)
        : encoder_(OpenFixedQuantiserEncoder(standard)), packet_(av_packet_alloc()) {}
    bool ok() const { return encoder_ && packet_; }

    // Codes `frame` at `quantiser`; an I-picture also makes it the
    // encoder's reference alone, whatever was coded before. Empty on failure.
    std::vector<uint8_t> Code(const AVFrame& frame, int quantiser, bool intra) {
        FramePtr ref(av_frame_clone(&frame));
        if (!ref) return {};
        ref->pict_type = intra ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        ref->quality = FF_QP2LAMBDA * quantiser;
        ref->pts = pts_++;
        if (avcodec_send_frame(encoder_.get(), ref.get()) < 0 || avcodec_receive_packet(encoder_.get(), packet_.get()) < 0)
            return {};
        std::vector<uint8_t> bytes(packet_->data, packet_->data + packet_->size);
        av_packet_unref(packet_.get());
        SetSequenceBitRate(bytes, kVideoBitRate);
        return bytes;
    }

private:
    CodecContextPtr encoder_;
    PacketPtr packet_;
    int64_t pts_ = 0;
};

int64_t Bits(const std::vector<uint8_t>& bytes) { return static_cast<int64_t>(bytes.size()) * 8; }

void Take(VbvModel& buffer, int64_t bits) { buffer.TakePicture(bits + buffer.StuffingBytes(bits) * 8); }

// Whether skipped pictures bring `buffer` to its top within `frames` frames.
bool RefillsWithin(VbvModel buffer, int64_t skippedBits, int64_t frames) {
    for (; !buffer.AtTop(); --frames) {
        if (frames <= 0) return false;
        Take(buffer, skippedBits);
    }
    return true;
}

// The next, finer quantiser of the refining P-pictures: steps small enough
// that each picture adds a share of the detail the buffer can take.
int Finer(int quantiser) { return std::max(kFinestQuantiser, quantiser / 2); }

}  // namespace

std::vector<CodedPicture> MakeStillRun(const AVFrame& still, const video::VideoStandard& standard,
                                       const StillBudget& budget, int64_t& codedPictures) {
    codedPictures = 0;
    FixedQuantiserCoder coder(standard);
    if (!coder.ok()) return {};
    const int64_t skippedBits = static_cast<int64_t>(budget.skipped.size()) * 8;
    VbvModel buffer = budget.buffer;

    // The I-picture: the finest quantiser whose picture the buffer takes
    // and can refill after in time. Its size falls as the quantiser grows.
    std::map<int, std::vector<uint8_t>> intra;
    int lastCoded = 0;
    const auto fits = [&](int q) {
        std::vector<uint8_t>& bytes = intra[q];
        if (bytes.empty()) {
            bytes = coder.Code(still, q, true);
            lastCoded = q;
        }
        if (bytes.empty() || static_cast<double>(Bits(bytes)) * budget.margin > buffer.ContentBeforeNext()) return false;
        VbvModel after = buffer;
        Take(after, Bits(bytes));
        return RefillsWithin(after, skippedBits, budget.frames - 1);
    };
    // A still's I-picture nearly always fits at one of the two finest
    // quantisers, so they are tried first, each one encoding.
    int fine = kFinestQuantiser - 1, coarse = kCoarsestQuantiser;  // coarse fits, fine does not
    if (fits(kFinestQuantiser)) coarse = kFinestQuantiser;
    else if (fits(kFinestQuantiser + 1)) coarse = kFinestQuantiser + 1;
    else if (!fits(kCoarsestQuantiser)) return {};
    else fine = kFinestQuantiser + 1;
    while (coarse - fine > 1) {
        const int mid = (fine + coarse) / 2;
        if (fits(mid)) coarse = mid;
        else fine = mid;
    }
    // The encoder's reference must be the I-picture that is sent.
    if (lastCoded != coarse && coder.Code(still, coarse, true).empty()) return {};
    std::vector<CodedPicture> run;
    const auto append = [&](std::vector<uint8_t> bytes, bool isIntra) {
        const size_t start = PictureStartOffset(bytes);
        run.push_back(CodedPicture{std::move(bytes), start == kNoStartCode ? 0 : start, isIntra});
    };
    Take(buffer, Bits(intra[coarse]));
    append(std::move(intra[coarse]), true);
    codedPictures = 1;

    // The refining P-pictures. A P-picture once coded is the encoder's
    // reference, so one that the buffer cannot take in time ends the run
    // before it.
    int64_t lastBits = 0;  // of the last P-picture at the finest quantiser, 0 before it
    for (int q = coarse; static_cast<int64_t>(run.size()) < budget.frames;) {
        q = Finer(q);
        std::vector<uint8_t> bytes = coder.Code(still, q, false);
        if (bytes.empty()) break;
        const int64_t bits = Bits(bytes);
        VbvModel after = buffer;
        int64_t waits = 0;
        while (static_cast<double>(bits) * budget.margin > after.ContentBeforeNext() && !after.AtTop()) {
            Take(after, skippedBits);
            ++waits;
        }
        if (static_cast<double>(bits) * budget.margin > after.ContentBeforeNext()) break;
        Take(after, bits);
        const int64_t used = static_cast<int64_t>(run.size()) + waits + 1;
        if (used > std::max<int64_t>(1, budget.frames - kStillEnd) || !RefillsWithin(after, skippedBits, budget.frames - used)) break;
        for (int64_t i = 0; i < waits; ++i) append(std::vector<uint8_t>(budget.skipped.begin(), budget.skipped.end()), false);
        append(std::move(bytes), false);
        ++codedPictures;
        buffer = after;
        if (q == kFinestQuantiser && (bits <= budget.settledBits || (lastBits > 0 && bits * 10 >= lastBits * 9))) break;
        lastBits = q == kFinestQuantiser ? bits : 0;
    }
    return run;
}

}  // namespace vcdalbum::components::stream
