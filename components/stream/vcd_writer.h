// The VCD 2.0 program stream writer, NTSC or PAL: MPEG-1 video and Layer II
// audio encoders and FFmpeg's "vcd" muxer, set up with the values a VCD
// player expects.
#pragma once

#include <cstdint>
#include <string>

#include "ffmpeg_util.h"
#include "held_frames.h"
#include "contract/stream_rules.h"
#include "contract/video_standard.h"
#include "vbv_model.h"

namespace vcdalbum::components::stream {

using contract::kAudioBitRate;
using contract::kAudioSampleRate;
using contract::kMuxMaxDelay;
using contract::kMuxPreload;
using contract::kMuxRate;
using contract::kPacketSize;
using contract::kVbvBufferBits;
using contract::kVideoBitRate;

// MPEG-1's coarsest quantiser scale: the fewest bits a picture can take.
constexpr int kCoarsestQuantiser = 31;

class VcdWriter {
public:
    explicit VcdWriter(const video::VideoStandard& standard = video::kNtsc) : standard_(standard) {}
    VcdWriter(const VcdWriter&) = delete;
    VcdWriter& operator=(const VcdWriter&) = delete;
    ~VcdWriter();

    // Sets up both encoders and the muxer writing to `path`. Returns an empty
    // string on success, else the reason.
    std::string Open(const std::string& path);

    // Writes the next video frame (YUV 4:2:0 of the standard's size); frames are numbered
    // from 0 in the order they are given. `keyFrame` makes it an I-frame
    // that starts a new group of pictures. A frame that repeats the one
    // before it is written without the encoder once the encoder has nothing
    // left to refine in it (held_frames.h). `repeatsAfter`: how many frames
    // after this one the caller will give with the same pixels; pictures
    // coded before are written again only where the rate buffer refills
    // within them, because the encoder's own model of the buffer does not
    // see them and must not believe it fuller than it is when new pictures
    // come.
    std::string WriteVideo(const AVFrame& frame, bool keyFrame = false, int64_t repeatsAfter = 0);
    // Encodes one audio frame of AudioFrameSamples() interleaved stereo s16 samples.
    std::string WriteAudio(const int16_t* samples);
    // Flushes both encoders and writes the trailer.
    std::string Finish();

    int AudioFrameSamples() const { return audio_ ? audio_->frame_size : 1152; }
    int64_t videoFrames() const { return videoFrames_; }
    // Number of the last I-frame written. The encoder makes frame
    // lastKeyFrame() + the standard's gopSize an I-frame by itself.
    int64_t lastKeyFrame() const { return lastKeyFrame_; }
    int64_t audioSamples() const { return audioSamples_; }
    // Video frames that went through the encoder; the others were written
    // from pictures coded before.
    int64_t encodedVideoFrames() const { return encodedVideoFrames_; }

    // Fullness of the decoder's rate buffer after the last video frame, as a
    // share 0..1 of its size, from the coded frame sizes.
    double vbvFullness() const { return vbv_.Fullness(); }
    // Bits in that buffer when the next frame is taken out, before it.
    double vbvContentBits() const { return vbv_.ContentBeforeNext(); }

private:
    // The parts of Open, in order; each returns an empty string or the reason.
    std::string OpenVideo();
    std::string OpenAudio();
    std::string AddStreams();
    std::string WriteHeader(const std::string& path);
    // (Re)opens the video encoder, its model of the rate buffer starting
    // with `bufferContentBits` in it.
    std::string OpenVideoEncoder(int64_t bufferContentBits);
    std::string Drain(AVCodecContext* encoder, AVStream* stream);
    std::string EncodeVideo(const AVFrame& frame, bool intra);
    // Writes a coded picture as the next frame, its header fields set for
    // where it stands in the stream.
    std::string WriteCoded(std::span<const uint8_t> picture, size_t pictureStart, bool intra);
    // Whether `pictures`, written from the next frame on, keep the rate
    // buffer, and leave it full again within `frames` frames.
    bool KeptFit(const std::vector<CodedPicture>& pictures, int64_t frames) const;
    // Hands the picture in packet_ (pts: its frame number) to the muxer,
    // with the temporal reference and time code of its place in the stream
    // and the stuffing the rate buffer needs. `pictureStart` is the offset
    // of its picture start code.
    std::string MuxVideoPacket(size_t pictureStart, bool intra);

    const video::VideoStandard& standard_;
    AVFormatContext* output_ = nullptr;
    CodecContextPtr video_;
    CodecContextPtr audio_;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    FramePtr audioFrame_;
    PacketPtr packet_;
    int64_t videoFrames_ = 0;
    int64_t lastKeyFrame_ = 0;
    int64_t audioSamples_ = 0;
    int64_t encodedVideoFrames_ = 0;
    int framesPerSecond_ = 30;  // for group time codes
    HeldFrames held_{0};
    std::vector<uint8_t> skippedPicture_;
    // Starts as full as the encoder's own model (rc_initial_buffer_occupancy).
    VbvModel vbv_{VbvParams{static_cast<double>(kVideoBitRate), kVbvBufferBits, standard_.fps()}, kVbvBufferBits * 0.75};
    bool headerWritten_ = false;
};

}  // namespace vcdalbum::components::stream
