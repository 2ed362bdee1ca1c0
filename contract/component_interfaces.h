// The burner component's seven interfaces, as VRX_Burner calls them.
// Method positions are part of the contract: slots the wrapper never calls
// are kept as reserved methods that answer E_NOTIMPL unless a component
// gives them a meaning.
#pragma once

#include <cstdint>

#include "platform/com.h"
#include "contract/component_codes.h"
#include "vcdalbum/records.h"

namespace vcdalbum::burner {

using com::GUID;
using com::HRESULT;
using com::IUnknown;

#define VCD_RESERVED_SLOT(n) \
    virtual HRESULT VCD_STDCALL Reserved##n() { return com::E_NOTIMPL; }

// Four words filled by IDriveChooser::ChooseDrive; word 1 is the drive number.
struct DriveSelection {
    uint32_t word0;
    int32_t driveNumber;
    uint32_t word2;
    uint32_t word3;
};
static_assert(sizeof(DriveSelection) == 16, "drive selection is four words");

struct IBurnProject : IUnknown {
    virtual HRESULT VCD_STDCALL NewProject(uint32_t* handle, uint8_t kind) = 0;                      // 3
    virtual HRESULT VCD_STDCALL CloseProject(uint32_t handle) = 0;                                   // 4
    virtual HRESULT VCD_STDCALL AddSegment(uint32_t handle, const char* itemId, const char* mpegFile) = 0;  // 5
    virtual HRESULT VCD_STDCALL AddSequence(uint32_t handle, const char* itemId, const char* file,
                                            const char* entryId, unsigned long* size, unsigned long* isDat) = 0;  // 6
    VCD_RESERVED_SLOT(7)
    VCD_RESERVED_SLOT(8)
    VCD_RESERVED_SLOT(9)
    virtual HRESULT VCD_STDCALL AddDirectory(uint32_t handle, const char* directory) = 0;            // 10
    virtual HRESULT VCD_STDCALL AddFileEntry(uint32_t handle, const char* file, const char* location,
                                             uint32_t flags) = 0;                                    // 11
    virtual HRESULT VCD_STDCALL AddPbcNode(uint32_t handle, _pbc_t* node) = 0;                       // 12
    VCD_RESERVED_SLOT(13)
    VCD_RESERVED_SLOT(14)
    VCD_RESERVED_SLOT(15)
    VCD_RESERVED_SLOT(16)
    VCD_RESERVED_SLOT(17)
    VCD_RESERVED_SLOT(18)
    VCD_RESERVED_SLOT(19)
    virtual HRESULT VCD_STDCALL BuildProject(uint32_t handle) = 0;                                   // 20
    VCD_RESERVED_SLOT(21)
    VCD_RESERVED_SLOT(22)
    VCD_RESERVED_SLOT(23)
    virtual HRESULT VCD_STDCALL SetProjectName(uint32_t handle, const unsigned char* name) = 0;       // 24

protected:
    ~IBurnProject() = default;
};

struct IBurnRecorder : IUnknown {
    virtual HRESULT VCD_STDCALL SetupRecorder(IOInfo* io, ReportInfo* report) = 0;  // 3
    virtual HRESULT VCD_STDCALL StartRecording(int32_t mode) = 0;                   // 4
    virtual HRESULT VCD_STDCALL EndRecording() = 0;                                 // 5

protected:
    ~IBurnRecorder() = default;
};

struct IPictureEncoder : IUnknown {
    VCD_RESERVED_SLOT(3)
    virtual HRESULT VCD_STDCALL ConvertPicture(int32_t format, const char* picture, const char* mpegFile,
                                               int32_t* nRet) = 0;  // 4

protected:
    ~IPictureEncoder() = default;
};

struct IDriveChooser : IUnknown {
    virtual HRESULT VCD_STDCALL ChooseDrive(DriveSelection* selection) = 0;  // 3

protected:
    ~IDriveChooser() = default;
};

struct IDiscEraser : IUnknown {
    VCD_RESERVED_SLOT(3)
    VCD_RESERVED_SLOT(4)
    VCD_RESERVED_SLOT(5)
    virtual HRESULT VCD_STDCALL SetEraseDrive(int32_t drive) = 0;  // 6
    virtual HRESULT VCD_STDCALL EraseDisc() = 0;                   // 7
    VCD_RESERVED_SLOT(8)
    virtual HRESULT VCD_STDCALL SetEraseMode(int16_t mode) = 0;    // 9
    VCD_RESERVED_SLOT(10)
    virtual HRESULT VCD_STDCALL FinishErase() = 0;                 // 11

protected:
    ~IDiscEraser() = default;
};

// Held by the wrapper for the life of the burner, never called.
struct IAuxObject : IUnknown {
protected:
    ~IAuxObject() = default;
};

struct IDriveControl : IUnknown {
    virtual HRESULT VCD_STDCALL QueryDriveInfo(int32_t drive, _QelDriveInfo* info, uint32_t* error) = 0;  // 3
    virtual HRESULT VCD_STDCALL QueryDiscInfo(int32_t drive, _QelDiscInfo* info, uint32_t* error) = 0;    // 4
    VCD_RESERVED_SLOT(5)
    VCD_RESERVED_SLOT(6)
    VCD_RESERVED_SLOT(7)
    VCD_RESERVED_SLOT(8)
    virtual HRESULT VCD_STDCALL StopDrive(int32_t drive, uint32_t* error) = 0;  // 9
    VCD_RESERVED_SLOT(10)
    VCD_RESERVED_SLOT(11)
    VCD_RESERVED_SLOT(12)
    virtual HRESULT VCD_STDCALL GetMaxWriteSpeed(int32_t drive, int16_t* write, uint32_t* error) = 0;  // 13
    VCD_RESERVED_SLOT(14)
    VCD_RESERVED_SLOT(15)
    VCD_RESERVED_SLOT(16)
    VCD_RESERVED_SLOT(17)
    VCD_RESERVED_SLOT(18)
    VCD_RESERVED_SLOT(19)
    VCD_RESERVED_SLOT(20)
    VCD_RESERVED_SLOT(21)
    VCD_RESERVED_SLOT(22)
    VCD_RESERVED_SLOT(23)
    VCD_RESERVED_SLOT(24)
    VCD_RESERVED_SLOT(25)
    VCD_RESERVED_SLOT(26)
    VCD_RESERVED_SLOT(27)
    VCD_RESERVED_SLOT(28)
    VCD_RESERVED_SLOT(29)
    VCD_RESERVED_SLOT(30)
    VCD_RESERVED_SLOT(31)
    VCD_RESERVED_SLOT(32)
    virtual HRESULT VCD_STDCALL OpenDrive(int32_t drive, uint32_t* error) = 0;    // 33
    virtual HRESULT VCD_STDCALL UnlockDrive(int32_t drive, uint32_t* error) = 0;  // 34
    virtual HRESULT VCD_STDCALL EjectMedia(int32_t drive, uint32_t* error) = 0;   // 35
    virtual HRESULT VCD_STDCALL LoadMedia(int32_t drive, uint32_t* error) = 0;    // 36

protected:
    ~IDriveControl() = default;
};

#undef VCD_RESERVED_SLOT

// Class and interface identifiers of the component (our own values).
inline constexpr GUID CLSID_BurnProject = {0x6b1f0a01, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x01}};
inline constexpr GUID CLSID_BurnRecorder = {0x6b1f0a02, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x02}};
inline constexpr GUID CLSID_PictureEncoder = {0x6b1f0a03, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x03}};
inline constexpr GUID CLSID_DriveChooser = {0x6b1f0a04, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x04}};
inline constexpr GUID CLSID_DiscEraser = {0x6b1f0a05, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x05}};
inline constexpr GUID CLSID_AuxObject = {0x6b1f0a06, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x06}};
inline constexpr GUID CLSID_DriveControl = {0x6b1f0a07, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x07}};

inline constexpr GUID IID_IBurnProject = {0x6b1f0b01, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x11}};
inline constexpr GUID IID_IBurnRecorder = {0x6b1f0b02, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x12}};
inline constexpr GUID IID_IPictureEncoder = {0x6b1f0b03, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x13}};
inline constexpr GUID IID_IDriveChooser = {0x6b1f0b04, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x14}};
inline constexpr GUID IID_IDiscEraser = {0x6b1f0b05, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x15}};
inline constexpr GUID IID_IAuxObject = {0x6b1f0b06, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x16}};
inline constexpr GUID IID_IDriveControl = {0x6b1f0b07, 0x3c2d, 0x4e5f, {0x9a, 0x10, 0x56, 0x43, 0x44, 0x41, 0x4c, 0x17}};

}  // namespace vcdalbum::burner
