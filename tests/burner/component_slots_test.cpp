// The method positions the wrapper calls, checked against a table of our
// own. The stand-in objects here are raw tables of function pointers, not
// classes of the interface header, and each entry records its own slot
// number: a method moved in the header then reaches another slot, which the
// table below names differently.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
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

// The methods the wrapper calls, object by object: slot number (0 to 2 are
// IUnknown's), name, and how many argument words the method takes. Every
// argument of these interfaces is a pointer or an integer no wider than one.
// The word count matters on 32-bit Windows, where __stdcall methods clean
// their own arguments off the stack: a slot that took the wrong number
// would leave the caller's stack pointer off.
enum Object : size_t { kProject, kRecorder, kEncoder, kChooser, kEraser, kAux, kDriveControl, kObjectCount };
struct Method {
    Object of;
    size_t slot;
    const char* name;
    size_t words;
};
constexpr Method kMethods[] = {
    {kProject, 3, "NewProject", 2}, {kProject, 4, "CloseProject", 1}, {kProject, 5, "AddSegment", 3},
    {kProject, 6, "AddSequence", 6}, {kProject, 10, "AddDirectory", 2}, {kProject, 11, "AddFileEntry", 4},
    {kProject, 12, "AddPbcNode", 2}, {kProject, 20, "BuildProject", 1}, {kProject, 24, "SetProjectName", 2},
    {kRecorder, 3, "SetupRecorder", 2}, {kRecorder, 4, "StartRecording", 1}, {kRecorder, 5, "EndRecording", 0},
    {kEncoder, 4, "ConvertPicture", 4},
    {kChooser, 3, "ChooseDrive", 1},
    {kEraser, 6, "SetEraseDrive", 1}, {kEraser, 7, "EraseDisc", 0}, {kEraser, 9, "SetEraseMode", 1},
    {kEraser, 11, "FinishErase", 0},
    {kDriveControl, 3, "QueryDriveInfo", 3}, {kDriveControl, 4, "QueryDiscInfo", 3}, {kDriveControl, 9, "StopDrive", 2},
    {kDriveControl, 13, "GetMaxWriteSpeed", 3}, {kDriveControl, 33, "OpenDrive", 2},
    {kDriveControl, 34, "UnlockDrive", 2}, {kDriveControl, 35, "EjectMedia", 2}, {kDriveControl, 36, "LoadMedia", 2},
};
struct RawClass {
    com::CLSID clsid;
    const char* name;
};
constexpr RawClass kClasses[kObjectCount] = {
    {vb::CLSID_BurnProject, "Project"}, {vb::CLSID_BurnRecorder, "Recorder"}, {vb::CLSID_PictureEncoder, "Encoder"},
    {vb::CLSID_DriveChooser, "Chooser"}, {vb::CLSID_DiscEraser, "Eraser"}, {vb::CLSID_AuxObject, "Aux"},
    {vb::CLSID_DriveControl, "DriveControl"},
};
constexpr size_t kTableSize = 40;

constexpr const Method* Find(size_t of, size_t slot) {
    for (const Method& m : kMethods)
        if (m.of == of && m.slot == slot) return &m;
    return nullptr;
}
// A slot the wrapper has no business calling takes no arguments.
constexpr size_t WordsOf(size_t of, size_t slot) { return Find(of, slot) ? Find(of, slot)->words : 0; }

std::string g_calls;  // method names, each followed by a space

struct RawObject {
    const void* const* table;
    Object of;
};

template <size_t>
using Word = uintptr_t;

// Slot N of a table whose method there takes sizeof...(W) argument words.
// Arguments are not looked at, except the project handle that NewProject
// hands out.
template <size_t N, typename Words>
struct RawSlot;
template <size_t N, size_t... W>
struct RawSlot<N, std::index_sequence<W...>> {
    static com::HRESULT VCD_STDCALL Call(RawObject* self, Word<W>... words) {
        const uintptr_t args[] = {0, words...};
        const Method* method = Find(self->of, N);
        g_calls += (method ? method->name : std::string(kClasses[self->of].name) + "#" + std::to_string(N)) + " ";
        if (method && std::string(method->name) == "NewProject") *reinterpret_cast<uint32_t*>(args[1]) = 0x51;
        return com::S_OK;
    }
};

com::HRESULT VCD_STDCALL Query(RawObject* self, com::REFIID, void** object) {
    *object = self;
    return com::S_OK;
}
uint32_t VCD_STDCALL AddRef(RawObject*) { return 2; }
uint32_t VCD_STDCALL Release(RawObject*) { return 1; }

using Table = std::array<const void*, kTableSize>;
template <size_t Of, size_t... N>
Table MakeTable(std::index_sequence<N...>) {
    return {reinterpret_cast<const void*>(&Query), reinterpret_cast<const void*>(&AddRef),
            reinterpret_cast<const void*>(&Release),
            reinterpret_cast<const void*>(&RawSlot<N + 3, std::make_index_sequence<WordsOf(Of, N + 3)>>::Call)...};
}
template <size_t... Of>
std::array<Table, kObjectCount> MakeTables(std::index_sequence<Of...>) {
    return {MakeTable<Of>(std::make_index_sequence<kTableSize - 3>())...};
}
const auto kTables = MakeTables(std::make_index_sequence<kObjectCount>());

}  // namespace

TEST(ComponentSlots, EveryOperationReachesTheSlotsOfItsMethods) {
#ifdef VCDALBUM_UBSAN_CHECKS_DYNAMIC_TYPES
    GTEST_SKIP() << "the sanitizer's dynamic-type check refuses hand-built method tables; the other builds run this";
#endif
    // The recording classes' guard puts the component's own classes back.
    vcdalbum::testing::RecordingBurner guard;
    std::array<RawObject, std::size(kClasses)> objects;
    for (size_t i = 0; i < objects.size(); ++i) {
        objects[i] = {kTables[i].data(), static_cast<Object>(i)};
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
