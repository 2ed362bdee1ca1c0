// Lets the burner tests read the records a VRX_Burner keeps.
#pragma once

#include "burner/burner_session.h"
#include "vcdalbum/VRX_Burner.h"

// The project name the content and drive tests open their burner with.
inline unsigned char kName[] = "Disc";

struct VRX_BurnerTestAccess {
    static const IOInfo& io(const VRX_Burner& b) { return b.ioInfo; }
    static const ReportInfo& report(const VRX_Burner& b) { return b.reportInfo; }
    static const FSInfo& fs(const VRX_Burner& b) { return b.fsInfo; }
    static int32_t driveNumber(const VRX_Burner& b) { return static_cast<int32_t>(b.driveSelection[1]); }
    static const uint32_t* driveSelection(const VRX_Burner& b) { return b.driveSelection; }
    static const vcdalbum::burner::BurnerSession& session(const VRX_Burner& b) { return *b.session; }
};
