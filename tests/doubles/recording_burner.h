// A recording stand-in for the burner component, for unit tests.
//
//   vcdalbum::testing::RecordingBurner rec;   // registers the seven classes
//   rec->maxWriteSpeed = 16;                  // scripted out-values
//   rec->SetResult("BuildProject", E_FAIL);   // scripted HRESULTs (default S_OK)
//   rec->Refuse(BurnerClass::Eraser);         // CoCreateInstance of that class fails
//   ... drive VRX_Burner or Authoring ...
//   EXPECT_THAT(rec->CallTexts(), ElementsAre("NewProject(4)", ...));
//
// Every interface call is recorded in order as a method name and its
// arguments in text ("AddSequence(81, AlbumItem0, a.mpg, 0, 0x..., 0x...)";
// pointers as Ptr() writes them, null strings as "(null)"). AddPbcNode keeps
// a deep copy of the node it received, SetupRecorder copies of its records.
// The objects share the recording with the guard, so they stay safe to call
// after the guard is gone; the guard puts back the factories it replaced.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contract/component_interfaces.h"
#include "platform/com.h"
#include "vcdalbum/records.h"

namespace vcdalbum::testing {

enum class BurnerClass { Project, Recorder, Encoder, Eraser, Aux, DriveControl, Chooser };
inline constexpr int kBurnerClassCount = 7;

// A copy of a field of a packed record (IOInfo, ReportInfo): EXPECT_EQ
// would bind the field, which may be unaligned, to a reference.
template <class T>
T Value(T field) {
    return field;
}

// "0x..." for a pointer, "null" for a null one.
std::string Ptr(const void* p);

struct RecordedCall {
    std::string method;
    std::vector<std::string> args;
    std::string Text() const;  // "Method(arg, arg)"
};

// A playback-control node as the component received it.
struct NodeSnapshot {
    const _pbc_t* address = nullptr;
    int32_t type = 0;
    std::optional<std::string> id, prevId, nextId, returnId, timeoutId, itemId;
    int32_t waitTime = 0;
    int32_t selectionBase = 0;
    int32_t timeoutTime = 0;
    int32_t loopCount = 0;
    bool hasPlayItems = false, hasSelections = false, hasAreas = false;
    std::vector<std::string> playItems;
    std::vector<std::string> selections;
    std::vector<const _pbc_area_t*> areas;
    const _pbc_area_t* prevArea = nullptr;
    const _pbc_area_t* nextArea = nullptr;
    const _pbc_area_t* returnArea = nullptr;
    bool reservedWordsZero = true;  // every word the wrapper must leave zero is zero
    bool listsWellFormed = true;    // count, tail and each cell's list pointer agree
};

// Walks a node the way the component does.
NodeSnapshot Snapshot(const _pbc_t* node);

struct Recording {
    // Scripted out-values.
    uint32_t projectHandle = 0x51;
    int16_t maxWriteSpeed = 16;
    unsigned long sequenceSize = 1234;
    unsigned long sequenceIsDat = 0;
    int32_t convertRet = 0;
    _QelDriveInfo driveInfo{};
    _QelDiscInfo discInfo{};
    burner::DriveSelection chosenDrive{7, 3, 8, 9};

    // Scripted results: every call of `method` answers `hr` (S_OK by default).
    void SetResult(const std::string& method, com::HRESULT hr) { results[method] = hr; }
    // CoCreateInstance of `which` answers `hr` and no object.
    void Refuse(BurnerClass which, com::HRESULT hr = com::E_FAIL) { refused[which] = hr; }

    // What happened.
    std::vector<RecordedCall> calls;
    std::vector<NodeSnapshot> nodes;         // one per AddPbcNode
    std::vector<IOInfo> recorderIO;          // one per SetupRecorder
    std::vector<ReportInfo> recorderReport;  // one per SetupRecorder
    std::vector<BurnerClass> destroyed;      // objects in the order their last reference went
    int created[kBurnerClassCount] = {};
    int live[kBurnerClassCount] = {};

    std::vector<std::string> CallTexts() const;
    std::vector<std::string> Methods() const;
    // Texts of the calls of one method only.
    std::vector<std::string> CallsOf(const std::string& method) const;
    int LiveTotal() const;
    void Clear();

    // Used by the objects.
    com::HRESULT Record(const std::string& method, std::vector<std::string> args);
    std::map<std::string, com::HRESULT> results;
    std::map<BurnerClass, com::HRESULT> refused;
};

// Registers the seven recording classes for its lifetime.
class RecordingBurner {
public:
    RecordingBurner();
    ~RecordingBurner();
    RecordingBurner(const RecordingBurner&) = delete;
    RecordingBurner& operator=(const RecordingBurner&) = delete;

    Recording* operator->() { return recording_.get(); }
    Recording& operator*() { return *recording_; }

private:
    std::shared_ptr<Recording> recording_;
    std::vector<std::pair<com::CLSID, com::ClassFactory>> previous_;
};

}  // namespace vcdalbum::testing
