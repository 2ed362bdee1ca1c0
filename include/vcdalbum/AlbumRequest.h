// One album for Authoring::AppendAlbums: the arguments of one AppendAlbum
// call, and where that album's progress goes.
#pragma once

// Progress of one album of a batch: `context` is the request's own, `percent`
// runs as AppendAlbum reports it (its transitions up to 100, then the
// encoder's 0..100).
typedef void (*AlbumProgressCallBack)(void* context, int percent);

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
