// VRX_Burner: MPEG sequence and segment items, files and directories. Each
// call is forwarded with the open project's handle; the component's own
// answer is not looked at.
#include "burner/burner_session.h"
#include "vcdalbum/VRX_Burner.h"

using vcdalbum::burner::BurnerSession;

namespace {

// An open project exists only after an init of kind 4 that succeeded, which
// also created every component object.
bool ProjectOpen(const BurnerSession& s) { return s.projectHandle != 0 && s.project; }

}  // namespace

E_VRX VRX_Burner::addSequenceItem(const char* file, const char* itemId, const char* entryId, unsigned long* size,
                                  unsigned long* isDat) {
    BurnerSession& s = *session;
    if (!ProjectOpen(s)) return VRX_FAIL;
    s.project->AddSequence(s.projectHandle, itemId, file, entryId, size, isDat);
    return VRX_OK;
}

E_VRX VRX_Burner::addSegmentItem(int format, const char* picture, const char* mpegFile, const char* itemId) {
    BurnerSession& s = *session;
    if (!ProjectOpen(s) || !s.encoder) return VRX_FAIL;
    int32_t nRet = 0;
    // The segment is added even when the conversion failed: the component
    // reports a missing file when it builds the project.
    s.encoder->ConvertPicture(format, picture, mpegFile, &nRet);
    s.project->AddSegment(s.projectHandle, itemId, mpegFile);
    return VRX_OK;
}

E_VRX VRX_Burner::addMPGSegmentItem(const char* mpegFile, const char* itemId) {
    BurnerSession& s = *session;
    if (!ProjectOpen(s)) return VRX_FAIL;
    s.project->AddSegment(s.projectHandle, itemId, mpegFile);
    return VRX_OK;
}

E_VRX VRX_Burner::pic2mpg(int format, char* picture, char* mpegFile) {
    BurnerSession& s = *session;
    if (!s.encoder) return VRX_FAIL;
    int32_t nRet = 0;
    s.encoder->ConvertPicture(format, picture, mpegFile, &nRet);
    return VRX_OK;
}

E_VRX VRX_Burner::addFile(char* file, char* location) {
    BurnerSession& s = *session;
    if (!s.project) return VRX_FAIL;
    s.project->AddFileEntry(s.projectHandle, file, location, 0);
    return VRX_OK;
}

E_VRX VRX_Burner::addDir(char* dir) {
    BurnerSession& s = *session;
    if (!s.project) return VRX_FAIL;
    s.project->AddDirectory(s.projectHandle, dir);
    return VRX_OK;
}
