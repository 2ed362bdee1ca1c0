// Video clips through FFmpeg: what a clip holds (its length, which way is
// up, whether it has sound) and its pictures at the times a disc shows them.
#pragma once

#include <string>

#include "picture_input.h"

namespace vcdalbum::components::picture_input {

struct ClipFacts {
    double seconds = 0;   // the video stream's length
    int orientation = 1;  // EXIF-style, from the stream's display matrix
    bool sound = false;   // it has an audio stream
    int width = 0, height = 0;  // as stored, before turning upright
};

// Reads a clip's pictures forward in time.
class ClipReader {
public:
    // Opens the clip and decodes its first picture, so that a file FFmpeg
    // cannot decode is found here. On failure `problem` says why in plain
    // words ("holds no video", "cannot be decoded").
    Problem Open(const std::string& path);
    const ClipFacts& facts() const { return facts_; }

    // The picture on screen `seconds` after the clip's start: the last one
    // whose time is not after it (the first picture before that one). Times
    // must not go backwards. Past the end, or when the rest cannot be
    // decoded, the last picture stays. Null only before a successful Open.
    const AVFrame* At(double seconds);

private:
    bool DecodeNext();  // into next_; false at the end

    InputPtr input_;
    CodecContextPtr decoder_;
    int stream_ = -1;
    double timeBase_ = 0, startTime_ = 0;
    ClipFacts facts_;
    FramePtr current_{av_frame_alloc()}, next_{av_frame_alloc()};
    PacketPtr packet_{av_packet_alloc()};
    bool haveNext_ = false, ended_ = false, flushing_ = false;
};

// A clip's facts, after decoding its first picture; the problem when it has
// none to give.
Problem CheckClip(const std::string& path, ClipFacts& facts);

// The clip's recording date as "YYYY-MM-DDTHH:MM:SS" from its creation_time
// tag, which phones write; empty when it has none.
std::string ClipTakenDate(const std::string& path);

// Whether a file's extension names a video clip (mp4, mov, m4v, 3gp, mkv, avi).
bool IsClipFileName(const std::string& path);

}  // namespace vcdalbum::components::picture_input
