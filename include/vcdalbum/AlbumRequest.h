// One album for Authoring::AppendAlbums: the arguments of one AppendAlbum
// call, and where that album's progress goes.
#pragma once

#include <cstdint>

// Progress of one album of a batch: `context` is the request's own, `percent`
// runs as AppendAlbum reports it (its transitions up to 100, then the
// encoder's 0..100).
typedef void (*AlbumProgressCallBack)(void* context, int percent);

// AppendAlbum and AppendAlbums show an album's pictures for at least this
// many seconds each: a smaller option5 is raised to it.
inline constexpr unsigned short kAlbumMinimumSecondsPerPicture = 3;

struct AlbumRequest {
    unsigned short albumNo = 0;  // names the stream file "album<albumNo>.mpg"
    unsigned short pictureCount = 0;
    char** pictures = nullptr;   // pictureCount names
    unsigned short extraCount = 0;
    char** extraFiles = nullptr;  // extraCount music names
    unsigned short option4 = 0, option5 = 0, option6 = 0;
    unsigned short transitionCount = 0;
    unsigned short* transitionPositions = nullptr;  // transitionCount entries each
    unsigned short* transitionEffects = nullptr;
    AlbumProgressCallBack progress = nullptr;  // may be null: no progress
    void* progressContext = nullptr;
};

// Pan-and-zoom for one album of Authoring::AppendMovingAlbums.
enum AlbumMotionKind : int {
    kAlbumMotionNone = 0,    // every picture held still, as AppendAlbums does
    kAlbumMotionPanZoom = 1, // every picture with a source moves slowly across its frame
};

struct AlbumMotion {
    int kind = kAlbumMotionNone;
    // Picks each picture's zoom and pan: the same seed gives the same motion.
    uint32_t seed = 0;
    // The request's pictureCount sources, in the order of its pictures (null:
    // all held still; a null entry: that picture held still). A source is
    // the full-size picture the frames are sampled from: upright, in square
    // pixels, a baseline JPEG file, since both the library's codec (for the
    // transitions' end pictures) and the encoder read it. The request's own
    // pictures stay what the transitions are drawn from when a source cannot
    // be read by the library.
    char** sources = nullptr;
};
