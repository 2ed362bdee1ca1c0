// The record handed to the stream encoder component (StreamEncode).
// Its layout is shared with the encoder library: packed, little-endian,
// 562 bytes on a 32-bit platform. Pointer fields take the native width elsewhere.
#pragma once

#include <cstdint>

#include "vcdalbum/ProgressCallBack.h"

#pragma pack(push, 1)
struct StreamInfo {
    char** pictureFiles;        // null-terminated array of picture paths
    int32_t pictureCount;
    float* pictureTimes;        // pictureCount display times in seconds
    unsigned char reserved1[256];
    char** extraFiles;          // null-terminated array (music)
    int32_t extraCount;
    unsigned char reserved2[256];
    char* outputFile;
    int32_t option1;
    int32_t option2;
    int32_t option3;
    int32_t option4;
    ProgressCallBack callBack;  // may be null
    uint16_t option5;
    uint16_t option6;
    uint16_t sourceCount;
};
#pragma pack(pop)

// Pan-and-zoom for a stream, beside its StreamInfo (StreamEncodeMoving):
// one entry per entry of StreamInfo::pictureFiles, in the same positions.
struct StreamMotion {
    // The picture each entry moves across: upright, in square pixels, any
    // size; a null array or entry holds that entry still, as StreamEncode does.
    char** sourceFiles;
    // Each moving entry's path seed; a null array means seed 0 for all.
    uint32_t* seeds;
};

#if defined(__i386__) || defined(_M_IX86)
#include <cstddef>
static_assert(sizeof(StreamInfo) == 562, "StreamInfo is 562 bytes");
static_assert(offsetof(StreamInfo, extraFiles) == 268, "StreamInfo.extraFiles");
static_assert(offsetof(StreamInfo, outputFile) == 532, "StreamInfo.outputFile");
static_assert(offsetof(StreamInfo, callBack) == 552, "StreamInfo.callBack");
static_assert(offsetof(StreamInfo, option5) == 556, "StreamInfo.option5");
static_assert(offsetof(StreamInfo, sourceCount) == 560, "StreamInfo.sourceCount");
#endif
