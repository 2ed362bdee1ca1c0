// VRX_Burner: the lower-level entry, a stateful wrapper over the burner
// component. Select a drive, add MPEG items and playback-control nodes,
// then burn, erase or eject.
#pragma once

#include <memory>

#include "vcdalbum/export.h"
#include "vcdalbum/records.h"

namespace vcdalbum::burner { struct BurnerSession; }

class VCDALBUM_API VRX_Burner {
public:
    VRX_Burner();
    VRX_Burner(const VRX_Burner& other);
    VRX_Burner& operator=(const VRX_Burner& other);
    ~VRX_Burner();

    // Drive control and burning.
    E_VRX init(unsigned char kind, unsigned char* name);
    E_VRX selectDrive(bool choose, int drive);
    E_VRX getDriveInfo(int drive, _QelDriveInfo* info);
    E_VRX getDiscInfo(int drive, _QelDiscInfo* info);
    E_VRX setWriteMode(int method, bool methodOption, bool secondOption, int finalMode);
    E_VRX setIOInfo(IOInfo* info);
    E_VRX setReportInfo(ReportInfo* info);
    E_VRX setFSInfo(FSInfo* info);
    E_VRX burn(int mode, void* ioObject, short speed);
    E_VRX erase(short eraseMode);
    E_VRX ejectDisc(bool eject);
    void DBG_MSG(char* caption);

    // Disc content items.
    E_VRX addSequenceItem(const char* file, const char* itemId, const char* entryId, unsigned long* size,
                          unsigned long* isDat);
    E_VRX addSegmentItem(int format, const char* picture, const char* mpegFile, const char* itemId);
    E_VRX addMPGSegmentItem(const char* mpegFile, const char* itemId);
    E_VRX pic2mpg(int format, char* picture, char* mpegFile);
    E_VRX addFile(char* file, char* location);
    E_VRX addDir(char* dir);

    // Playback-control nodes.
    _pbc_t* getPlayListNode(char* name);
    _pbc_t* getSelectionListNode(char* name);
    E_VRX AddNode(_pbc_t* node);
    E_VRX setPrevNode(_pbc_t* node, char* id);
    E_VRX setNextNode(_pbc_t* node, char* id);
    E_VRX setRetNode(_pbc_t* node, char* id);
    E_VRX setWaitTime(_pbc_t* node, int waitTime);
    E_VRX addPlayItemID(_pbc_t* node, char* id);
    E_VRX setLoopCount(_pbc_t* node, int loopCount);
    E_VRX setTimeoutID(_pbc_t* node, char* id);
    E_VRX setTimeoutTime(_pbc_t* node, int timeoutTime);
    E_VRX setSelectionItemID(_pbc_t* node, char* id);
    E_VRX addSelectionID(_pbc_t* node, char* id);
    E_VRX addSelectionAreas(_pbc_t* node, _pbc_area_t* area);
    E_VRX setNextSelectionArea(_pbc_t* node, _pbc_area_t* area);
    E_VRX setPrevSelectionArea(_pbc_t* node, _pbc_area_t* area);
    E_VRX setRetnSelectionArea(_pbc_t* node, _pbc_area_t* area);

private:
    friend struct VRX_BurnerTestAccess;  // unit tests inspect the records

    // Component objects, the project handle and the nodes made by this burner,
    // shared by every copy; the project closes when the last copy goes.
    std::shared_ptr<vcdalbum::burner::BurnerSession> session;
    // driveSelection: four words filled by the chooser; word 1 is the drive number.
    uint32_t driveSelection[4] = {};
    IOInfo ioInfo = {};
    FSInfo fsInfo = {};
    ReportInfo reportInfo = {};
};
