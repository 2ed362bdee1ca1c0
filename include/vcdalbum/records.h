// Records exchanged between a host, VRX_Burner and the burner component.
// Their layouts are fixed: the 32-bit sizes and offsets are checked below.
// On 64-bit platforms the field order stays and pointer fields widen.
#pragma once

#include <cstdint>

// Result of every VRX_Burner operation.
enum E_VRX : int32_t {
    VRX_OK = 0,
    VRX_FAIL = 1,
    VRX_ERR_PROJECT_OBJECT = 2,
    VRX_ERR_RECORDER_OBJECT = 3,
    VRX_ERR_ENCODER_OBJECT = 4,
    VRX_ERR_ERASER_OBJECT = 5,
    VRX_ERR_AUX_OBJECT = 6,
    VRX_ERR_DRIVE_OBJECT = 7,
    VRX_ERR_CHOOSER_OBJECT = 8,
    VRX_ERR_NEW_PROJECT = 9,
    VRX_ERR_RECORDER_SETUP = 10,
    VRX_ERR_NOT_SELECTION_LIST = 11,
    VRX_ERR_NOT_PLAY_LIST = 12,
};

#pragma pack(push, 1)

// I/O description handed to the recorder by VRX_Burner::burn.
// `source` and `target` carry a project handle, a drive number or a pointer.
struct IOInfo {
    uint16_t sourceKind;
    uintptr_t source;
    uint16_t sourceStart;
    uint16_t sourceSectorSize;
    uint16_t targetKind;
    uintptr_t target;
    uint16_t targetStart;
    uint16_t targetSectorSize;
    uint16_t formatCode;
    float speed;
    uint32_t writeFlags;
};

// Report settings handed to the recorder.
struct ReportInfo {
    uint16_t reportKind;
    unsigned char hostBytes[6];
    const unsigned char* reportText;
    uint32_t reportFlag;
    uint32_t hostWord;
};

// File-system settings; the wrapper copies the record and reads none of it.
struct FSInfo {
    unsigned char bytes[344];
};

// Drive description filled by the burner component (44 bytes, packed):
//   offset  0  vendor[9]          SCSI INQUIRY vendor, zero-terminated
//   offset  9  model[17]          product identification, zero-terminated
//   offset 26  revision[5]        firmware revision, zero-terminated
//   offset 31  driveNumber        the number the drive was asked by (0 = image recorder)
//   offset 32  capabilities       QEL_DRIVE_* bits
//   offset 36  maxReadSpeed       speeds in multiples of 1x (176.4 kB/s)
//   offset 38  maxWriteSpeed      0 when the drive cannot write
//   offset 40  currentWriteSpeed
//   offset 42  bufferSizeKiB      the drive's write buffer, 0 when unknown
// Texts the drive reports are cut to fit; unused bytes are zero.
struct _QelDriveInfo {
    char vendor[9];
    char model[17];
    char revision[5];
    uint8_t driveNumber;
    uint32_t capabilities;
    uint16_t maxReadSpeed;
    uint16_t maxWriteSpeed;
    uint16_t currentWriteSpeed;
    uint16_t bufferSizeKiB;
};

enum : uint32_t {
    QEL_DRIVE_CAN_READ_CD = 0x0001,
    QEL_DRIVE_CAN_WRITE_CD_R = 0x0002,
    QEL_DRIVE_CAN_WRITE_CD_RW = 0x0004,
    QEL_DRIVE_CAN_EJECT = 0x0008,
    QEL_DRIVE_CAN_CLOSE_TRAY = 0x0010,
    QEL_DRIVE_CAN_LOCK = 0x0020,
    QEL_DRIVE_CAN_SELECT_SPEED = 0x0040,
    QEL_DRIVE_IS_IMAGE_RECORDER = 0x0080,  // drive 0: writes BIN/CUE files
};

// Disc description filled by the burner component (18 bytes, packed):
//   offset  0  discType           QEL_DISC_*
//   offset  1  status             QEL_STATUS_*
//   offset  2  erasable           1 for a rewritable disc
//   offset  3  sessions           closed or open sessions on the disc
//   offset  4  capacitySectors    whole disc in 2352-byte sectors (80 min = 360,000)
//   offset  8  usedSectors        written so far, the 2-second lead gap included
//   offset 12  freeSectors        still writable; 0 on a complete disc
//   offset 16  tracks             tracks on the disc
// With no disc (or an open tray) only status is set, to QEL_STATUS_NO_DISC.
struct _QelDiscInfo {
    uint8_t discType;
    uint8_t status;
    uint8_t erasable;
    uint8_t sessions;
    uint32_t capacitySectors;
    uint32_t usedSectors;
    uint32_t freeSectors;
    uint16_t tracks;
};

enum : uint8_t {
    QEL_DISC_NONE = 0,
    QEL_DISC_CD_ROM = 1,
    QEL_DISC_CD_R = 2,
    QEL_DISC_CD_RW = 3,
    QEL_DISC_OTHER = 4,
};

enum : uint8_t {
    QEL_STATUS_BLANK = 0,
    QEL_STATUS_APPENDABLE = 1,
    QEL_STATUS_COMPLETE = 2,
    QEL_STATUS_NO_DISC = 3,
    QEL_STATUS_UNKNOWN = 4,
};

#pragma pack(pop)

// A selection area on a menu picture; coordinates 0..255 across the frame.
struct _pbc_area_t {
    uint8_t x1, y1, x2, y2;
};

struct PbcList;

// One cell of a PbcList.
struct PbcListNode {
    PbcList* list;
    PbcListNode* next;
    void* data;
};

// The wrapper's singly linked list, walked by the burner component.
struct PbcList {
    PbcListNode* head;
    PbcListNode* tail;
    int32_t count;
    int32_t kind;
};

enum : int32_t {
    PBC_PLAY_LIST = 1,
    PBC_SELECTION_LIST = 2,
};

// A playback-control node: a play list or a selection list.
struct _pbc_t {
    int32_t type;               // PBC_PLAY_LIST or PBC_SELECTION_LIST
    char* id;
    uintptr_t unused8;
    uintptr_t unused12;
    char* prevId;
    char* nextId;
    char* returnId;
    uintptr_t unused28;
    int32_t waitTime;           // play list
    uintptr_t unused36;
    PbcList* playItems;         // play list: item IDs
    uintptr_t unused44;
    _pbc_area_t* prevArea;      // selection list
    _pbc_area_t* nextArea;
    _pbc_area_t* returnArea;
    uintptr_t unused60;
    PbcList* areas;             // _pbc_area_t pointers
    int32_t selectionBase;
    uintptr_t unused72;
    char* timeoutId;
    int32_t timeoutTime;
    int32_t loopCount;
    uintptr_t unused88;
    char* itemId;
    PbcList* selections;        // node names
    uintptr_t unused100[5];
};

#if defined(__i386__) || defined(_M_IX86)
#include <cstddef>
static_assert(sizeof(IOInfo) == 30 && offsetof(IOInfo, speed) == 22 && offsetof(IOInfo, writeFlags) == 26, "IOInfo layout");
static_assert(offsetof(IOInfo, target) == 12 && offsetof(IOInfo, formatCode) == 20, "IOInfo layout");
static_assert(sizeof(ReportInfo) == 20 && offsetof(ReportInfo, reportText) == 8 && offsetof(ReportInfo, reportFlag) == 12, "ReportInfo layout");
static_assert(sizeof(FSInfo) == 344, "FSInfo size");
static_assert(sizeof(_QelDriveInfo) == 44 && offsetof(_QelDriveInfo, capabilities) == 32, "_QelDriveInfo layout");
static_assert(offsetof(_QelDriveInfo, driveNumber) == 31 && offsetof(_QelDriveInfo, bufferSizeKiB) == 42, "_QelDriveInfo layout");
static_assert(sizeof(_QelDiscInfo) == 18 && offsetof(_QelDiscInfo, tracks) == 16, "_QelDiscInfo layout");
static_assert(offsetof(_QelDiscInfo, capacitySectors) == 4 && offsetof(_QelDiscInfo, freeSectors) == 12, "_QelDiscInfo layout");
static_assert(sizeof(PbcList) == 16 && offsetof(PbcList, count) == 8, "PbcList layout");
static_assert(sizeof(PbcListNode) == 12 && offsetof(PbcListNode, data) == 8, "PbcListNode layout");
static_assert(sizeof(_pbc_t) == 120, "_pbc_t is 120 bytes");
static_assert(offsetof(_pbc_t, prevId) == 16 && offsetof(_pbc_t, waitTime) == 32 && offsetof(_pbc_t, playItems) == 40, "_pbc_t layout");
static_assert(offsetof(_pbc_t, prevArea) == 48 && offsetof(_pbc_t, areas) == 64 && offsetof(_pbc_t, selectionBase) == 68, "_pbc_t layout");
static_assert(offsetof(_pbc_t, timeoutId) == 76 && offsetof(_pbc_t, timeoutTime) == 80 && offsetof(_pbc_t, loopCount) == 84, "_pbc_t layout");
static_assert(offsetof(_pbc_t, itemId) == 92 && offsetof(_pbc_t, selections) == 96, "_pbc_t layout");
#endif
