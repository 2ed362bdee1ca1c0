// The pieces of one album's encoding that AppendAlbum runs in a row and
// AppendAlbums shares out over threads.
#pragma once

#include <string>
#include <vector>

#include "contract/video_standard.h"
#include "vcdalbum/AlbumRequest.h"
#include "vcdalbum/StreamInfo.h"

namespace vcdalbum::authoring {

// The request as the album is made from it: seconds per picture raised to
// the minimum, absent picture or transition lists taken as empty.
AlbumRequest Normalised(AlbumRequest request);

// Whether transition k has a picture after it to go to; the others are
// skipped without a trace.
bool HasFollowingPicture(const AlbumRequest& request, unsigned short k);

// Copies of the 30 names a frame sequence left in `names` when it was
// rendered and every frame file is present; an empty list otherwise, and the
// transition is then left out: the two pictures follow each other directly
// and no missing frame reaches the encoder.
std::vector<std::string> CompleteFrames(bool rendered, char* const* names);

// The progress AppendAlbum reports when `done` of `count` transitions are finished.
int TransitionPercent(unsigned done, unsigned count);

// Splices each transition's frames after its picture and encodes the album
// into "album<albumNo>.mpg" in the temporary directory, whose path it returns.
// `frames` holds one list per transition (empty for one left out). With a
// `motion` of pan-and-zoom, the encoder moves the pictures that have a source.
std::string EncodeAlbum(const AlbumRequest& request, std::vector<std::vector<std::string>>& frames,
                        ProgressCallBack encoderProgress, const video::VideoStandard& standard,
                        const AlbumMotion* motion = nullptr);

// The option6 a stream record carries: PAL's code, or for NTSC the host's
// own value, which the encoder has always accepted and left unread.
uint16_t StandardOption(uint16_t hostOption6, const video::VideoStandard& standard);

}  // namespace vcdalbum::authoring
