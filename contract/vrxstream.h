// vrxstream: the stream encoder component. One call turns a list of pictures
// (and optional background music) into a VCD 2.0 MPEG-1 program stream, NTSC
// unless the record asks for PAL (option6).
//
// What the StreamInfo fields mean to this component
//   pictureFiles / pictureCount
//       The pictures in display order. pictureFiles is read up to pictureCount
//       entries or its first null entry, whichever comes first. No pictures at
//       all gives a black stream of the minimum length (used for the disc's
//       fixed first item).
//       A picture of exactly the frame's size (352x240 NTSC, 352x288 PAL) is
//       a finished frame in VCD pixels and is taken as it is. Any other
//       picture FFmpeg can read is fitted into the frame with its aspect
//       ratio kept for the frame's pixels (10:11 NTSC, 12:11 PAL), with
//       black borders, after its EXIF orientation is applied.
//   pictureTimes
//       Seconds each picture stays on screen, used when option5 is 0 (menu
//       pages). A missing array or a value that is not a positive finite
//       number counts as 0.5 s. Every picture is shown for at least one frame.
//   option5
//       0: every picture is shown for its pictureTimes value.
//       1 or more: album mode. Every picture is shown for option5 seconds,
//       except that a run of 30 consecutive entries named <n>-1.jpg ...
//       <n>-30.jpg in one directory is a transition, one frame per entry
//       (1/30 s NTSC, 1/25 s PAL); pictureTimes is then not read.
//   option6
//       The television standard. 625 (the PAL line count): VCD 2.0 PAL,
//       352x288 at 25 frames/s, pixels 12:11 (aspect code 8), groups of 15
//       pictures. 0 or unset, and every other value: VCD 2.0 NTSC, 352x240 at
//       30000/1001 frames/s, pixels 10:11 (aspect code 12), groups of 18.
//       Rate, rate buffer, audio and multiplex are the same for both.
//   extraFiles / extraCount
//       Background music in any format FFmpeg reads, read up to extraCount
//       entries or the first null entry; a null array means no music. The
//       files play in order, loop when shorter than the video, are cut at its
//       end and fade out over the last second. A file that cannot be read is
//       skipped with a warning; with no readable file the audio is silent.
//   callBack
//       When set, receives the encoding progress as rising percentages from
//       0; 100 comes only once the finished file is in place.
//   option1 ... option4, sourceCount
//       Accepted and not used.
//
// The stream is written to a temporary file next to outputFile and renamed to
// outputFile at the end, so a failed call leaves no file at outputFile (an
// older file there stays as it was). Every stream lasts at least 3.2 s
// (96 frames NTSC, 80 PAL).
// Frames too finely detailed for the VCD rate (random-pixel dissolves) are
// softened as much as the decoder's rate buffer needs, never more.
#pragma once

#include "vcdalbum/StreamInfo.h"

enum VrxStreamResult : int {
    kVrxStreamOk = 0,
    kVrxStreamBadArguments = 1,    // null record or null/empty outputFile
    kVrxStreamBadPicture = 2,      // a picture could not be read or decoded
    kVrxStreamEncoderFailure = 3,  // FFmpeg could not set up or run an encoder or the muxer
    kVrxStreamWriteFailure = 4,    // the output file could not be written or renamed
};

// Encodes the stream described by `info`. Returns a VrxStreamResult; every
// failure also writes one message naming the output and the cause to stderr.
extern "C" int StreamEncode(StreamInfo* info);

// The same, with pan-and-zoom: in album mode (option5 1 or more), an entry
// held for option5 seconds whose `motion` source is set moves across that
// source instead of showing its own picture still. Its frames are sampled
// from the source afresh, each along the path its seed picks (see
// motion/pan_zoom.h), its first frame at the path's start and its last at
// the path's end, so that transitions drawn from those two frames join the
// motion without a jump. The entry's own picture is then not read. Entries
// of transition runs, menu pages (option5 0) and entries without a source
// are shown as StreamEncode shows them; a null `motion` is StreamEncode.
// A source that cannot be read fails the call with kVrxStreamBadPicture.
extern "C" int StreamEncodeMoving(StreamInfo* info, const StreamMotion* motion);
