// Authoring: the high-level entry. Collect menu pages and photo albums,
// each encoded at once into an MPEG stream, then lay them out as a Video CD
// with playback control and burn it.
//
// A host makes one object per disc, chooses the standard, tells it how many
// albums each menu offers, appends the menu pages and then the albums in the
// order the menus offer them, and calls StartBurning. Streams and transition
// frames are written under $TEMP (else $TMPDIR, else the system's temporary
// directory). Names are char* for the sake of old hosts; none is kept past
// the call that takes it.
#pragma once

#include <string>
#include <vector>

#include "vcdalbum/AlbumRequest.h"
#include "vcdalbum/Image.h"
#include "vcdalbum/ProgressCallBack.h"
#include "vcdalbum/export.h"

// The television standard of a disc's streams (Authoring::SetVideoStandard).
enum VcdVideoStandard : int {
    VCD_VIDEO_NTSC = 0,  // 352x240 at 30000/1001 frames/s: the default
    VCD_VIDEO_PAL = 1,   // 352x288 at 25 frames/s
};

class VCDALBUM_API Authoring {
public:
    // An empty disc. `name` is the burner name the disc project is made
    // under (null: the default name); longer names keep their first 255
    // characters.
    Authoring();
    explicit Authoring(char* name);
    // Copies take everything collected so far: the streams' names, the menu
    // table, the frame names (copied, each object frees its own), the
    // standard and the progress function.
    Authoring(const Authoring& other);
    Authoring& operator=(const Authoring& other);
    // Frees the frame names this object holds; the stream files stay.
    ~Authoring();

    // Kept for old hosts: the mode is stored and copied, and changes nothing.
    void SetVCDMode(int mode);
    // Number of albums menu `menu` (0..255) offers. Returns non-zero and stores
    // nothing for a menu index outside the table.
    int SetAlbumNoPerMenu(int menu, int count);
    // `callback` is a ProgressCallBack (null: none), called on the caller's
    // thread by AppendAlbum: first the album's transitions up to 100, then
    // its encoding from 0 to 100.
    void SetProgressCallBack(void* callback);
    // The standard of the menu pages and albums appended from now on and of
    // the disc's fixed first item: VCD_VIDEO_NTSC (the default) or
    // VCD_VIDEO_PAL. Returns non-zero and changes nothing for another value.
    // Choose it before the first page or album: the burner refuses a disc
    // whose streams mix standards. Prepared pictures and menu pages are taken
    // as finished frames at the standard's size (352x288 for PAL); pictures
    // of other sizes are fitted. Copies of the object take the choice over.
    int SetVideoStandard(int standard);
    // The standard chosen: VCD_VIDEO_NTSC or VCD_VIDEO_PAL.
    int GetVideoStandard() const;

    // Encodes menu page `menuNo` (its stream is "menu<menuNo>.mpg"):
    // `pictures` is a null-terminated list whose first picture is the page;
    // `extraFiles` a null-terminated list whose first entry, if any, is the
    // page's music (null: silence). The stream loops on a player, so it is
    // the encoder's minimum length. Returns 0; a page the encoder cannot make
    // leaves no stream behind, and the encoder says why on standard error.
    int AppendMenuPage(unsigned short menuNo, char** pictures, char** extraFiles);
    // Makes album `albumNo` into the stream "album<albumNo>.mpg": its
    // `pictureCount` pictures, each held option5 seconds (at least
    // kAlbumMinimumSecondsPerPicture), with its `extraCount` music files
    // looped under it. Transition k runs between picture
    // transitionPositions[k] and the next one with effect
    // transitionEffects[k] (see transitions.h); a position without a picture
    // after it is skipped. option4 is handed to the encoder as it is;
    // option6 is the encoder's standard code, overridden by the standard
    // chosen with SetVideoStandard. `unused` is not read. Returns 0; an
    // album the encoder cannot make leaves no stream behind.
    int AppendAlbum(unsigned short unused, unsigned short albumNo, unsigned short pictureCount, char** pictures,
                    unsigned short extraCount, char** extraFiles, unsigned short option4, unsigned short option5,
                    unsigned short option6, unsigned short transitionCount, unsigned short* transitionPositions,
                    unsigned short* transitionEffects);
    // The same stream files and the same object afterwards as `count`
    // AppendAlbum calls with these requests, in this order; only the work
    // is shared out. The albums' transitions and streams are made on up to
    // `jobs` threads (1 or less: all on the caller's thread), and the call
    // returns when every album is done. Each album's progress goes to its
    // request's callback, never to the object's; those calls come from the
    // working threads, one at a time. Transition frames are numbered in the
    // order of the requests, as the sequential calls would number them.
    // Returns 0.
    int AppendAlbums(const AlbumRequest* albums, unsigned short count, int jobs);
    // AppendAlbums with pan-and-zoom: `motions` holds one entry per album
    // (null: none moves). A moving picture is not held still: its frames
    // are sampled from its source along a path of a slow zoom and a pan that
    // the album's seed picks, and each transition is drawn from the last
    // frame of the picture before it and the first frame of the picture
    // after it, so the motion joins the transition without a jump. Returns 0.
    int AppendMovingAlbums(const AlbumRequest* albums, const AlbumMotion* motions, unsigned short count, int jobs);
    // Lays the pages and albums out as a Video CD with playback control (each
    // menu a selection list of its albums and, but for the last, the next
    // menu; each album a play list going on to the next album of its menu,
    // the last back to the menu) and burns it on recorder `drive` at
    // `speed`; drive 0 writes a BIN/CUE image instead. The last two
    // arguments are not read. Returns 0, or 1 (VRX_FAIL) when the
    // albums-per-menu table asks for more albums than were appended: then
    // nothing is burnt and no exception is thrown. Otherwise the burner
    // component reports its own failures through its messages.
    int StartBurning(int drive, int speed, int, int);

    // Renders the TransitionFrames frames of `effect` from picture file
    // `first` to picture file `second` (fitted to its size) as JPEG files,
    // and puts their malloc'ed names in frameNames[0 .. TransitionFrames-1].
    // Returns 0, or non-zero with every entry null when no usable frames
    // were made. Names left in this object's own frame table by an earlier
    // call are freed first.
    int GetTransitionEffect(char* first, char* second, unsigned short effect, char** frameNames);
    // Renders frame `frame` (1 .. TransitionFrames) of `effect` between two
    // pictures of the same size into the JPEG file `path`.
    void DoTransitionEffect(Image* first, Image* second, char* path, unsigned short effect, int frame);

    static constexpr int kMenuTableSize = 256;
    static constexpr int kFrameSlots = 360;
    static constexpr int kBurnerNameMax = 255;

private:
    friend struct AuthoringTestAccess;  // unit tests inspect the collected state

    int menuCount = 0;
    int albumCount = 0;
    int albumNoPerMenu[kMenuTableSize] = {};
    std::vector<std::string> menuFiles;
    std::vector<std::string> albumFiles;
    char burnerName[kBurnerNameMax + 1] = {};
    char* frameFiles[kFrameSlots] = {};  // malloc'ed frame names, owned by this object
    int vcdMode = 1;
    ProgressCallBack progressCallBack = nullptr;
};
