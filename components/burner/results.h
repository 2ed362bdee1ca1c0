// The component's own failure codes (interface facility), beside the
// standard E_* codes of the COM layer.
#pragma once

#include "contract/com_types.h"

namespace vcdalbum::components::burner {

constexpr com::HRESULT ComponentError(uint32_t code) { return static_cast<com::HRESULT>(0x80040200u | code); }

inline constexpr com::HRESULT QEL_E_UNKNOWN_PROJECT = ComponentError(0x01);   // handle not open
inline constexpr com::HRESULT QEL_E_PROJECT_KIND = ComponentError(0x02);      // not a Video CD 2.0 project
inline constexpr com::HRESULT QEL_E_BAD_STREAM = ComponentError(0x03);        // not an MPEG-1 program stream
inline constexpr com::HRESULT QEL_E_DUPLICATE_ITEM = ComponentError(0x04);    // item ID used before
inline constexpr com::HRESULT QEL_E_BAD_NODE = ComponentError(0x05);          // damaged _pbc_t
inline constexpr com::HRESULT QEL_E_INVALID_PROJECT = ComponentError(0x06);   // BuildProject's checks failed
inline constexpr com::HRESULT QEL_E_IMAGE_BUILD = ComponentError(0x07);       // vcdxbuild failed
inline constexpr com::HRESULT QEL_E_NO_DRIVE = ComponentError(0x08);          // drive number unknown
inline constexpr com::HRESULT QEL_E_NOT_SET_UP = ComponentError(0x09);        // StartRecording before SetupRecorder
inline constexpr com::HRESULT QEL_E_DESTINATION = ComponentError(0x0A);       // image directory not writable
inline constexpr com::HRESULT QEL_E_RECORDER_TOOL = ComponentError(0x0B);     // cdrdao failed or is missing
inline constexpr com::HRESULT QEL_E_DRIVE = ComponentError(0x0C);             // the drive refused a command
inline constexpr com::HRESULT QEL_E_PICTURE = ComponentError(0x0D);           // picture not converted

}  // namespace vcdalbum::components::burner
