// What the library and its two outside components agree on beyond the
// method signatures: the codes written into the records that cross into the
// burner component, and how the transition frame files handed to the stream
// encoder are named. Both sides include this header, so a code changes in
// one place or not at all. Header-only: the components never link the
// library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vcdalbum/transitions.h"

namespace vcdalbum::contract {

// ---- Burner component -------------------------------------------------------

// IBurnProject::NewProject kind: a Video CD 2.0 disc.
inline constexpr uint8_t kProjectKindVcd20 = 4;

// IOInfo::sourceKind. The recorder writes projects; burn modes 1, 2, 3 and 5
// hand it a host object of the kind named by the mode instead.
inline constexpr uint16_t kSourceProject = 7;  // source = project handle
inline constexpr uint16_t kSourceObjectMode1 = 6;
inline constexpr uint16_t kSourceObjectMode2 = 5;
inline constexpr uint16_t kSourceObjectMode3 = 9;
inline constexpr uint16_t kSourceObjectMode5 = 1;

// IOInfo::targetKind.
inline constexpr uint16_t kTargetObject = 1;  // target = host object: for the image recorder, a folder name
inline constexpr uint16_t kTargetDrive = 2;   // target = drive number

// IOInfo sector layout of a Video CD burn: tracks start after the 150-sector
// pregap; raw 2352-byte sectors are read, and written with subchannel.
inline constexpr uint16_t kTrackStartSector = 150;
inline constexpr uint16_t kSourceSectorBytes = 2352;
inline constexpr uint16_t kTargetSectorBytes = 2448;
inline constexpr uint16_t kFormatVcd = 26;

// IOInfo::writeFlags.
inline constexpr uint32_t kWriteMethodFlags[] = {0x2, 0x1, 0x4, 0x8};  // by write method 0..3
inline constexpr uint32_t kWriteFlagBurn = 0x2;                          // added by every burn
inline constexpr uint32_t kWriteFlagMethod1Option = 0x100;               // method 1, option on
inline constexpr uint32_t kWriteFlagMethod1NoOption = 0x10;              // method 1, option off
inline constexpr uint32_t kWriteFlagNoSecondOption = 0x1000;
inline constexpr uint32_t kWriteFlagFinalMode1 = 0x10000;
inline constexpr uint32_t kWriteFlagFinalMode2 = 0x20000;

// ReportInfo as init and burn fill it.
inline constexpr uint16_t kReportKind = 4;
inline constexpr uint32_t kReportFlag = 1;

// IBurnRecorder::StartRecording mode of a burn.
inline constexpr int32_t kRecordingMode = 1;

// ---- Stream encoder component -------------------------------------------------

// A transition is TransitionFrames frame files, "<serial>-<k>.jpg" for k = 1
// .. TransitionFrames, numbers in decimal without leading zeros. The encoder
// shows each of them for one frame and every other picture for its own time.
inline std::string TransitionFrameFileName(long long serial, int frame) {
    return std::to_string(serial) + "-" + std::to_string(frame) + ".jpg";
}

// The inverse for a file name without its folder: true, with `serial` and
// `frame`, only for a name TransitionFrameFileName can make (at most nine
// digits per number, frame 1 .. TransitionFrames).
inline bool ParseTransitionFrameFileName(std::string_view name, long long& serial, int& frame) {
    constexpr std::string_view kExtension = ".jpg";
    if (name.size() <= kExtension.size() || name.substr(name.size() - kExtension.size()) != kExtension) return false;
    name.remove_suffix(kExtension.size());
    const size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == name.size()) return false;
    auto number = [](std::string_view digits, long long& value) {
        if (digits.size() > 9 || (digits.size() > 1 && digits[0] == '0')) return false;
        value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        return true;
    };
    long long k = 0;
    if (!number(name.substr(0, dash), serial) || !number(name.substr(dash + 1), k)) return false;
    frame = static_cast<int>(k);
    return k >= 1 && k <= TransitionFrames;
}

}  // namespace vcdalbum::contract
