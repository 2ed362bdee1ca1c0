// The method positions the wrapper calls, checked against a table of our
// own. The stand-in objects here are raw tables of function pointers, not
// classes of the interface header, and each entry records its own slot
// number: a method moved in the header then reaches another slot, which the
// table below names differently.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>
#include <memory>

#include "contract/component_interfaces.h"  // class identifiers only
#include "doubles/recording_burner.h"
#include "vcdalbum/VRX_Burner.h"

namespace {

namespace com = vcdalbum::com;
namespace vb = vcdalbum::burner;

// Slot numbers of the methods the wrapper calls, object by object; slots
// 0 to 2 are IUnknown's.
struct RawClass {
    com::CLSID clsid;
    const char* name;
    std::map<size_t, std::string> slots;
};
const RawClass kClasses[] = {
    {vb::CLSID_BurnProject, "Project", {{3, "NewProject"}, {4, "CloseProject"}, {5, "AddSegment"}, {6, "AddSequence"},
      {10, "AddDirectory"}, {11, "AddFileEntry"}, {12, "AddPbcNode"}, {20, "BuildProject"}, {24, "SetProjectName"}}},
    {vb::CLSID_BurnRecorder, "Recorder", {{3, "SetupRecorder"}, {4, "StartRecording"}, {5, "EndRecording"}}},
    {vb::CLSID_PictureEncoder, "Encoder", {{4, "ConvertPicture"}}},
    {vb::CLSID_DriveChooser, "Chooser", {{3, "ChooseDrive"}}},
    {vb::CLSID_DiscEraser, "Eraser", {{6, "SetEraseDrive"}, {7, "EraseDisc"}, {9, "SetEraseMode"}, {11, "FinishErase"}}},
    {vb::CLSID_AuxObject, "Aux", {}},
    {vb::CLSID_DriveControl, "DriveControl", {{3, "QueryDriveInfo"}, {4, "QueryDiscInfo"}, {9, "StopDrive"},
      {13, "GetMaxWriteSpeed"}, {33, "OpenDrive"}, {34, "UnlockDrive"}, {35, "EjectMedia"}, {36, "LoadMedia"}}},
};
constexpr size_t kTableSize = 40;

std::string g_calls;  // method names, each followed by a space

struct RawObject {
    const void* const* table;
    const RawClass* of;
};

// Every argument of these interfaces is a pointer or an integer no wider
// than one, and the caller cleans the stack where the tests run, so one
// signature of six words serves every slot (32-bit Windows, where the callee
// cleans up, runs no tests). Arguments are not looked at,
// except the project handle that NewProject hands out.
template <size_t N>
com::HRESULT VCD_STDCALL Slot(RawObject* self, uintptr_t first, uintptr_t, uintptr_t, uintptr_t, uintptr_t,
                              uintptr_t) {
    const auto it = self->of->slots.find(N);
    const bool named = it != self->of->slots.end();
    g_calls += (named ? it->second : std::string(self->of->name) + "#" + std::to_string(N)) + " ";
    if (named && it->second == "NewProject") *reinterpret_cast<uint32_t*>(first) = 0x51;
    return com::S_OK;
}
com::HRESULT VCD_STDCALL Query(RawObject* self, com::REFIID, void** object) {
    *object = self;
    return com::S_OK;
}
uint32_t VCD_STDCALL AddRef(RawObject*) { return 2; }
uint32_t VCD_STDCALL Release(RawObject*) { return 1; }

template <size_t... N>
std::array<const void*, kTableSize> MakeTable(std::index_sequence<N...>) {
    return {reinterpret_cast<const void*>(&Query), reinterpret_cast<const void*>(&AddRef),
            reinterpret_cast<const void*>(&Release), reinterpret_cast<const void*>(&Slot<N + 3>)...};
}
const auto kTable = MakeTable(std::make_index_sequence<kTableSize - 3>());

}  // namespace

TEST(ComponentSlots, EveryOperationReachesTheSlotsOfItsMethods) {
#ifdef VCDALBUM_UBSAN_CHECKS_DYNAMIC_TYPES
    GTEST_SKIP() << "the sanitizer's dynamic-type check refuses hand-built method tables; the other builds run this";
#endif
    // The recording classes' guard puts the component's own classes back.
    vcdalbum::testing::RecordingBurner guard;
    std::array<RawObject, std::size(kClasses)> objects;
    for (size_t i = 0; i < objects.size(); ++i) {
        objects[i] = {kTable.data(), &kClasses[i]};
        com::RegisterClassFactory(kClasses[i].clsid, [object = &objects[i]](com::REFIID, void** out) {
            *out = object;
            return com::S_OK;
        });
    }
    unsigned char name[] = "Disc";
    char text[] = "x";
    _QelDriveInfo drive{};
    _QelDiscInfo disc{};
    unsigned long size = 0, isDat = 0;
    auto b = std::make_unique<VRX_Burner>();
    const std::pair<std::function<void()>, std::string> steps[] = {
        {[&] { b->init(4, name); }, "NewProject SetProjectName "},
        {[&] { b->addSequenceItem(text, text, text, &size, &isDat); }, "AddSequence "},
        {[&] { b->addSegmentItem(0, text, text, text); }, "ConvertPicture AddSegment "},
        {[&] { b->addFile(text, text); }, "AddFileEntry "},
        {[&] { b->addDir(text); }, "AddDirectory "},
        {[&] { b->AddNode(b->getPlayListNode(text)); }, "AddPbcNode "},
        {[&] { b->selectDrive(true, 0); }, "ChooseDrive "},
        {[&] { b->selectDrive(false, 1); }, "OpenDrive "},
        {[&] { b->getDriveInfo(1, &drive); }, "QueryDriveInfo "},
        {[&] { b->getDiscInfo(1, &disc); }, "QueryDiscInfo "},
        {[&] { b->burn(0, nullptr, 8); },
         "BuildProject GetMaxWriteSpeed SetupRecorder StartRecording EndRecording UnlockDrive "},
        {[&] { b->erase(1); }, "SetEraseDrive SetEraseMode EraseDisc FinishErase "},
        {[&] { b->ejectDisc(true); }, "StopDrive UnlockDrive EjectMedia "},
        {[&] { b->ejectDisc(false); }, "LoadMedia "},
        {[&] { b.reset(); }, "CloseProject "},
    };
    for (const auto& [operation, methods] : steps) {
        g_calls.clear();
        operation();
        EXPECT_EQ(g_calls, methods);
    }
}
