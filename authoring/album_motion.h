// Pan-and-zoom in an album: the end pictures its transitions are drawn from,
// and the motion the stream encoder is told about.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/owned_image.h"
#include "vcdalbum/AlbumRequest.h"
#include "vcdalbum/StreamInfo.h"

namespace vcdalbum::authoring {

// Whether picture `index` of an album with `motion` (may be null) moves.
bool PictureMoves(const AlbumMotion* motion, const AlbumRequest& request, unsigned index);

// Picture `index`'s frame at path position `t` (0 first, 1 last), of
// width x height, sampled from its source with our codec; empty when the
// source cannot be read.
OwnedImage MovingFrame(const AlbumMotion& motion, unsigned index, double t, uint32_t width, uint32_t height);

// The stream encoder's motion for an album's entries: `entries` says, per
// entry, which of the request's pictures it is (-1: a transition frame).
// The record points into this object, which must outlive the call.
class StreamMotionRecord {
public:
    StreamMotionRecord(const AlbumMotion& motion, const AlbumRequest& request, const std::vector<int>& entries);
    const StreamMotion* get() const { return &record_; }

private:
    std::vector<char*> sources_;
    std::vector<uint32_t> seeds_;
    StreamMotion record_{};
};

}  // namespace vcdalbum::authoring
