// The method positions the wrapper calls, checked against a table of our
// own. The stand-in objects here are raw tables of function pointers, not
// classes of the interface header, and each entry records its own slot
// number: a method moved in the header then reaches another slot, which the
// table below names differently.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "burner/component_interfaces.h"  // class identifiers only
#include "vcdalbum/VRX_Burner.h"

namespace {

namespace com = vcdalbum::com;
namespace vb = vcdalbum::burner;
using testing::ElementsAre;
using testing::ElementsAreArray;

// Slot numbers of the methods the wrapper calls, object by object; slots
// 0 to 2 are IUnknown's.
const std::map<std::string, std::map<int, std::string>> kSlots = {
    {"Project", {{3, "NewProject"}, {4, "CloseProject"}, {5, "AddSegment"}, {6, "AddSequence"}, {10, "AddDirectory"},
                 {11, "AddFileEntry"}, {12, "AddPbcNode"}, {20, "BuildProject"}, {24, "SetProjectName"}}},
    {"Recorder", {{3, "SetupRecorder"}, {4, "StartRecording"}, {5, "EndRecording"}}},
    {"Encoder", {{4, "ConvertPicture"}}},
    {"Chooser", {{3, "ChooseDrive"}}},
    {"Eraser", {{6, "SetEraseDrive"}, {7, "EraseDisc"}, {9, "SetEraseMode"}, {11, "FinishErase"}}},
    {"Aux", {}},
    {"DriveControl", {{3, "QueryDriveInfo"}, {4, "QueryDiscInfo"}, {9, "StopDrive"}, {13, "GetMaxWriteSpeed"},
                      {33, "OpenDrive"}, {34, "UnlockDrive"}, {35, "EjectMedia"}, {36, "LoadMedia"}}},
};
constexpr size_t kTableSize = 40;

std::vector<std::string> g_calls;

struct RawObject {
    const void* const* table;
    const char* name;
};

// Every argument of these interfaces is a pointer or an integer no wider
// than one, and the caller cleans the stack where the tests run, so one
// signature of six words serves every slot. Arguments are not looked at,
// except the project handle that NewProject hands out.
template <size_t N>
com::HRESULT VCD_STDCALL Slot(RawObject* self, uintptr_t first, uintptr_t, uintptr_t, uintptr_t, uintptr_t,
                              uintptr_t) {
    const auto& named = kSlots.at(self->name);
    const auto it = named.find(static_cast<int>(N));
    g_calls.push_back(it != named.end() ? it->second : std::string(self->name) + " slot " + std::to_string(N));
    if (it != named.end() && it->second == "NewProject") *reinterpret_cast<uint32_t*>(first) = 0x51;
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

// Puts the seven raw objects in place of the component's classes.
class RawComponent {
public:
    RawComponent() {
        const std::pair<com::CLSID, const char*> classes[] = {
            {vb::CLSID_BurnProject, "Project"}, {vb::CLSID_BurnRecorder, "Recorder"},
            {vb::CLSID_PictureEncoder, "Encoder"}, {vb::CLSID_DriveChooser, "Chooser"},
            {vb::CLSID_DiscEraser, "Eraser"},     {vb::CLSID_AuxObject, "Aux"},
            {vb::CLSID_DriveControl, "DriveControl"}};
        for (size_t i = 0; i < 7; ++i) {
            objects_[i] = {kTable.data(), classes[i].second};
            RawObject* object = &objects_[i];
            previous_.emplace_back(classes[i].first,
                                   com::RegisterClassFactory(classes[i].first, [object](com::REFIID, void** out) {
                                       *out = object;
                                       return com::S_OK;
                                   }));
        }
    }
    ~RawComponent() {
        for (auto& [clsid, factory] : previous_)
            if (factory) com::RegisterClassFactory(clsid, std::move(factory)); else com::UnregisterClassFactory(clsid);
    }

private:
    std::array<RawObject, 7> objects_{};
    std::vector<std::pair<com::CLSID, com::ClassFactory>> previous_;
};

// Runs one wrapper operation and returns the methods it reached.
std::vector<std::string> Reached(const std::function<void()>& operation) {
    g_calls.clear();
    operation();
    return g_calls;
}

}  // namespace

TEST(ComponentSlots, EveryOperationReachesTheSlotsOfItsMethods) {
#if defined(_WIN32) && !defined(_WIN64)
    GTEST_SKIP() << "callee-cleaned calls need the exact signatures";
#endif
    RawComponent component;
    unsigned char name[] = "Disc";
    char text[] = "x";
    _QelDriveInfo drive{};
    _QelDiscInfo disc{};
    unsigned long size = 0, isDat = 0;
    auto burner = std::make_unique<VRX_Burner>();
    EXPECT_THAT(Reached([&] { burner->init(4, name); }), ElementsAre("NewProject", "SetProjectName"));
    EXPECT_THAT(Reached([&] { burner->addSequenceItem(text, text, text, &size, &isDat); }), ElementsAre("AddSequence"));
    EXPECT_THAT(Reached([&] { burner->addSegmentItem(0, text, text, text); }),
                ElementsAre("ConvertPicture", "AddSegment"));
    EXPECT_THAT(Reached([&] { burner->addFile(text, text); }), ElementsAre("AddFileEntry"));
    EXPECT_THAT(Reached([&] { burner->addDir(text); }), ElementsAre("AddDirectory"));
    EXPECT_THAT(Reached([&] { burner->AddNode(burner->getPlayListNode(text)); }), ElementsAre("AddPbcNode"));
    EXPECT_THAT(Reached([&] { burner->selectDrive(true, 0); }), ElementsAre("ChooseDrive"));
    EXPECT_THAT(Reached([&] { burner->selectDrive(false, 1); }), ElementsAre("OpenDrive"));
    EXPECT_THAT(Reached([&] { burner->getDriveInfo(1, &drive); }), ElementsAre("QueryDriveInfo"));
    EXPECT_THAT(Reached([&] { burner->getDiscInfo(1, &disc); }), ElementsAre("QueryDiscInfo"));
    EXPECT_THAT(Reached([&] { burner->burn(0, nullptr, 8); }),
                ElementsAreArray({"BuildProject", "GetMaxWriteSpeed", "SetupRecorder", "StartRecording",
                                  "EndRecording", "UnlockDrive"}));
    EXPECT_THAT(Reached([&] { burner->erase(1); }),
                ElementsAre("SetEraseDrive", "SetEraseMode", "EraseDisc", "FinishErase"));
    EXPECT_THAT(Reached([&] { burner->ejectDisc(true); }), ElementsAre("StopDrive", "UnlockDrive", "EjectMedia"));
    EXPECT_THAT(Reached([&] { burner->ejectDisc(false); }), ElementsAre("LoadMedia"));
    EXPECT_THAT(Reached([&] { burner.reset(); }), ElementsAre("CloseProject"));
}
