// Held pictures without the encoder.
//
// A still shown for seconds is one picture repeated; the MPEG-1 encoder
// nevertheless transforms and quantises every macroblock of every repeat,
// which makes a held picture cost as much as a moving one. Once the encoder
// has refined a repeated picture until it finds nothing left to code, every
// further repeat is a P-picture whose macroblocks are all skipped: the same
// few bytes each time, written here without the encoder. Each group of
// pictures still starts with an I-picture, so that players can seek; the
// first such I-picture of a held picture, and the P-pictures that refine
// it, are kept as coded and written again at the following groups. Once the
// buffer is full, a run coded for the still alone (still_chain.h), sharper
// than the encoder's, takes the place of those kept pictures.
//
// Only frames identical to the frame before them take this path, so moving
// frames always go through the encoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "ffmpeg_util.h"

namespace vcdalbum::components::stream {

// --- The few header fields that change from one copy of a picture to the
// next: found and rewritten in coded bytes.

inline constexpr size_t kNoStartCode = SIZE_MAX;

// Offset of the picture start code (00 00 01 00) in a coded picture that may
// carry sequence and group headers in front, or kNoStartCode.
size_t PictureStartOffset(std::span<const uint8_t> coded);
// 1 (I), 2 (P) or 3 (B) from the picture header at `pictureStart`.
int PictureCodingType(std::span<const uint8_t> coded, size_t pictureStart);
void SetTemporalReference(std::span<uint8_t> coded, size_t pictureStart, int64_t reference);
void SetVbvDelay(std::span<uint8_t> coded, size_t pictureStart, int vbvDelay);
// Rewrites the time code of a group header in `coded`, if there is one, to
// the frame number `frame` at `framesPerSecond` (rounded to whole frames,
// without dropped frame numbers). Returns false when there is none.
bool SetGroupTimeCode(std::span<uint8_t> coded, int64_t frame, int framesPerSecond);

// Rewrites the bit_rate field of a sequence header in front of the picture
// in `coded`, if there is one, to `bitRate` (bit/s). Returns false when there
// is none.
bool SetSequenceBitRate(std::span<uint8_t> coded, int64_t bitRate);

// The vbv_delay of a picture whose start code ends `bitsToStartCodeEnd` bits
// into its coded bytes, when `contentBits` are in the buffer just before it
// is taken out: the time the bits after the start code take to arrive, in
// 1/90000 s.
int VbvDelayFor(double contentBits, int64_t bitsToStartCodeEnd, double bitRate);

// A P-picture of `mbWidth` x `mbHeight` macroblocks that repeats its
// reference picture: one slice whose first and last macroblocks are
// motion-compensated with a zero vector and no coefficients, every
// macroblock between them skipped. Temporal reference and vbv_delay are 0.
std::vector<uint8_t> SkippedPicture(int mbWidth, int mbHeight);

// Bytes of a coded picture without the zero stuffing after its last slice.
size_t CodedSize(std::span<const uint8_t> coded);

// --- Whether a frame repeats the frame before it.
class RepeatDetector {
public:
    // True when `frame` has exactly the pixels of the frame given before it.
    // Remembers `frame` for the next call.
    bool Repeats(const AVFrame& frame);

private:
    int width_ = 0, height_ = 0, format_ = -1;
    std::vector<uint8_t> pixels_;  // the planes one after another, unpadded
};

// --- What to do with each frame of the video, and the coded pictures kept
// for writing again.
struct CodedPicture {
    std::vector<uint8_t> bytes;  // as the encoder made them, its stuffing included
    size_t pictureStart = 0;     // offset of the picture start code
    bool intra = false;
};

class HeldFrames {
public:
    // `settledBits`: a P-picture that the encoder codes in at most this many
    // bits (stuffing aside) leaves nothing of its frame to refine.
    explicit HeldFrames(int64_t settledBits) : settledBits_(settledBits) {}
    int64_t settledBits() const { return settledBits_; }

    using KeptFit = std::function<bool(const std::vector<CodedPicture>&)>;
    // The still's own run for the held frame, from the next frame on; empty
    // when there is none that keeps the buffer. `first`: the hold's first
    // run, which may be made for a short group so that the later ones fill
    // whole groups up to the hold's end; `renew` is then set, and a new run
    // starts the next group where it is welcome.
    using MakeRun = std::function<std::vector<CodedPicture>(bool first, bool& renew)>;

    enum class Action {
        Encode,       // the encoder codes the frame
        EncodeIntra,  // the encoder codes the frame as an I-picture
        Skipped,      // write SkippedPicture()
        WriteKept,    // write KeptPicture()
    };
    // Decides for the next frame. `groupDue`: the frame must start a group
    // of pictures. `bufferFull`: the rate buffer is at its top, so that the
    // encoder's own model of it, which sees no frame written without the
    // encoder, is at its top too and stays in step. `keptFit` tells whether
    // the kept pictures, written from the next frame on, keep the buffer.
    // `makeRun` is asked once per held frame, the first time the buffer is
    // full, and skipped pictures wait for that; a run it makes becomes the
    // kept pictures. `groupWelcome`: a group may start here, early, if the
    // kept pictures can be written again or a short run has ended.
    Action Next(const AVFrame& frame, bool groupDue, bool bufferFull, const KeptFit& keptFit,
                const MakeRun& makeRun = nullptr, bool groupWelcome = false);
    // After Action::Encode or EncodeIntra: the encoder's picture for the frame.
    void Coded(std::span<const uint8_t> bytes, size_t pictureStart, bool intra);
    // After Action::WriteKept: the kept picture to write now.
    const CodedPicture& KeptPicture();
    // True once after an Action::EncodeIntra that needs a new encoder: one
    // whose model of the rate buffer starts from the buffer as it is.
    // Skipped pictures written while the buffer was not full, and runs,
    // which the encoder never saw, leave its own model behind.
    bool TakeEncoderRestart() {
        const bool restart = restartEncoder_;
        restartEncoder_ = false;
        return restart;
    }

private:
    Action Decide(bool repeats, bool groupDue, bool groupWelcome, bool bufferFull, const KeptFit& keptFit,
                  const MakeRun& makeRun);
    void Forget();
    Action ToEncoder(bool intra);
    // Makes `run` the kept pictures, to be written from this frame on.
    bool KeepRun(std::vector<CodedPicture> run);

    RepeatDetector detector_;
    int64_t settledBits_;
    bool settled_ = false;           // the encoder finds nothing left to refine in its reference
    bool recording_ = false;         // kept_ grows with each coded picture of the held frame
    bool keptComplete_ = false;      // kept_ runs from an I-picture to a settled P-picture
    bool writingKept_ = false;       // kept_ is being written again
    bool referenceDiffers_ = false;  // the decoder's reference is not the encoder's
    bool runAsked_ = false;          // makeRun was asked for this held frame
    // The kept pictures are a run of the still's own: the decoder's
    // reference after them is not the encoder's, while skipped pictures and
    // the run written again still show the same picture.
    bool runKept_ = false;
    bool runRenew_ = false;          // the kept run is short: a new one follows it
    bool encoderBehind_ = false;     // the encoder's model of the buffer is not the buffer's
    bool restartEncoder_ = false;
    // Kept pictures were written since the buffer was last full: the
    // encoder's model of it, which did not see them, believes it fuller than
    // it is until it is full again.
    bool encoderModelAhead_ = false;
    std::vector<CodedPicture> kept_;
    size_t nextKept_ = 0;
};

}  // namespace vcdalbum::components::stream
