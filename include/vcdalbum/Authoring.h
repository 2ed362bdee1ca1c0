// Authoring: the high-level entry. Collect menu pages and photo albums,
// each encoded at once into an MPEG stream, then lay them out as a Video CD
// with playback control and burn it.
#pragma once

#include <string>
#include <vector>

#include "vcdalbum/AlbumRequest.h"
#include "vcdalbum/Image.h"
#include "vcdalbum/StreamInfo.h"
#include "vcdalbum/export.h"

// The television standard of a disc's streams (Authoring::SetVideoStandard).
enum VcdVideoStandard : int {
    VCD_VIDEO_NTSC = 0,  // 352x240 at 30000/1001 frames/s: the default
    VCD_VIDEO_PAL = 1,   // 352x288 at 25 frames/s
};

class VCDALBUM_API Authoring {
public:
    Authoring();
    explicit Authoring(char* name);  // burner name; longer names keep their first 255 characters
    Authoring(const Authoring& other);
    Authoring& operator=(const Authoring& other);
    ~Authoring();

    void SetVCDMode(int mode);
    // Number of albums menu `menu` (0..255) offers. Returns non-zero and stores
    // nothing for a menu index outside the table.
    int SetAlbumNoPerMenu(int menu, int count);
    void SetProgressCallBack(void* callback);
    // The standard of the menu pages and albums appended from now on and of
    // the disc's fixed first item: VCD_VIDEO_NTSC (the default) or
    // VCD_VIDEO_PAL. Returns non-zero and changes nothing for another value.
    // Choose it before the first page or album: the burner refuses a disc
    // whose streams mix standards. Prepared pictures and menu pages are taken
    // as finished frames at the standard's size (352x288 for PAL); pictures
    // of other sizes are fitted. Copies of the object take the choice over.
    int SetVideoStandard(int standard);
    int GetVideoStandard() const;

    int AppendMenuPage(unsigned short menuNo, char** pictures, char** extraFiles);
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
    // Burns the appended menus and albums to `drive`. Returns 0, or 1
    // (VRX_FAIL) when the albums-per-menu table asks for more albums than
    // were appended: then nothing is burnt and no exception is thrown.
    int StartBurning(int drive, int speed, int, int);

    int GetTransitionEffect(char* first, char* second, unsigned short effect, char** frameNames);
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
