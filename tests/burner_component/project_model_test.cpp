// The project model behind IBurnProject, and the component's COM objects.
#include <dlfcn.h>

#include "burner_test_support.h"
#include "mpeg_file.h"

namespace vcdalbum::components::burner::testing {
namespace {

class ProjectModel : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        stream_ = new ScratchDir;
        ASSERT_TRUE(MakeStream(*stream_ / "clip.mpg", "blue", 1));
    }
    static void TearDownTestSuite() { delete stream_; }
    void SetUp() override { ASSERT_EQ(project_->NewProject(&handle_, contract::kProjectKindVcd20), com::S_OK); }
    void TearDown() override { project_->CloseProject(handle_); }

    static fs::path Clip() { return *stream_ / "clip.mpg"; }

    template <class Fn>
    void Inspect(Fn&& look) {
        ASSERT_TRUE(ProjectStore::Instance().With(handle_, look));
    }

    static inline ScratchDir* stream_ = nullptr;
    ComPtr<vcdalbum::burner::IBurnProject> project_ = NewProjectObject();
    uint32_t handle_ = 0;
};

TEST(ComponentObjects, EveryClassAnswersItsInterfaceAndIUnknown) {
    const std::pair<com::GUID, com::GUID> classes[] = {
        {vcdalbum::burner::CLSID_BurnProject, vcdalbum::burner::IID_IBurnProject},   {vcdalbum::burner::CLSID_BurnRecorder, vcdalbum::burner::IID_IBurnRecorder},
        {vcdalbum::burner::CLSID_PictureEncoder, vcdalbum::burner::IID_IPictureEncoder}, {vcdalbum::burner::CLSID_DriveChooser, vcdalbum::burner::IID_IDriveChooser},
        {vcdalbum::burner::CLSID_DiscEraser, vcdalbum::burner::IID_IDiscEraser},     {vcdalbum::burner::CLSID_AuxObject, vcdalbum::burner::IID_IAuxObject},
        {vcdalbum::burner::CLSID_DriveControl, vcdalbum::burner::IID_IDriveControl},
    };
    for (const auto& [clsid, iid] : classes) {
        ComPtr<com::IUnknown> object;
        ASSERT_EQ(CreateComponentObject(clsid, iid, object.put_void()), com::S_OK);
        ComPtr<com::IUnknown> unknown;
        EXPECT_EQ(object->QueryInterface(com::IID_IUnknown, unknown.put_void()), com::S_OK);
        ComPtr<com::IUnknown> other;
        EXPECT_EQ(object->QueryInterface(vcdalbum::burner::IID_IDriveChooser == iid ? vcdalbum::burner::IID_IBurnProject
                                                                          : vcdalbum::burner::IID_IDriveChooser,
                                         other.put_void()),
                  com::E_NOINTERFACE);
        EXPECT_FALSE(other);
    }
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateComponentObject(com::IID_IUnknown, com::IID_IUnknown, &none), com::REGDB_E_CLASSNOTREG);
    EXPECT_EQ(none, nullptr);
}

TEST(ComponentObjects, ModuleExportsTheCreateFunction) {
    void* module = dlopen(QELBURNER_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto create = reinterpret_cast<com::ComponentCreateFn>(dlsym(module, "QelCreateObject"));
    ASSERT_NE(create, nullptr);
    ComPtr<vcdalbum::burner::IDriveControl> drives;
    ASSERT_EQ(create(&vcdalbum::burner::CLSID_DriveControl, &vcdalbum::burner::IID_IDriveControl, drives.put_void()), com::S_OK);
    int16_t speed = 0;
    uint32_t error = 7;
    EXPECT_EQ(drives->GetMaxWriteSpeed(0, &speed, &error), com::S_OK);
    EXPECT_GT(speed, 0);
    EXPECT_EQ(error, 0u);
    drives.reset();
    dlclose(module);
}

TEST(ComponentObjects, UnnamedSlotsAreNotImplemented) {
    ComPtr<vcdalbum::burner::IBurnProject> project = NewProjectObject();
    EXPECT_EQ(project->Reserved7(), com::E_NOTIMPL);
    EXPECT_EQ(project->Reserved23(), com::E_NOTIMPL);
    ComPtr<vcdalbum::burner::IDriveControl> drives = NewDriveControlObject();
    EXPECT_EQ(drives->Reserved5(), com::E_NOTIMPL);
    EXPECT_EQ(drives->Reserved32(), com::E_NOTIMPL);
}

TEST(ProjectHandles, OnlyVideoCdProjectsOpenAndEachHasItsOwnHandle) {
    ComPtr<vcdalbum::burner::IBurnProject> project = NewProjectObject();
    uint32_t handle = 99;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(project->NewProject(&handle, 3), QEL_E_PROJECT_KIND);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("kind 3"), std::string::npos);
    EXPECT_EQ(handle, 0u);

    uint32_t first = 0, second = 0;
    ASSERT_EQ(project->NewProject(&first, 4), com::S_OK);
    ASSERT_EQ(project->NewProject(&second, 4), com::S_OK);
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);
    project->SetProjectName(first, reinterpret_cast<const unsigned char*>("one"));
    project->SetProjectName(second, reinterpret_cast<const unsigned char*>("two"));
    std::string name;
    ProjectStore::Instance().With(first, [&](Project& p) { name = p.name; });
    EXPECT_EQ(name, "one");

    EXPECT_EQ(project->CloseProject(first), com::S_OK);
    EXPECT_EQ(project->CloseProject(first), com::S_FALSE);  // harmless
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(project->SetProjectName(first, reinterpret_cast<const unsigned char*>("x")), QEL_E_UNKNOWN_PROJECT);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("not open"), std::string::npos);
    ProjectStore::Instance().With(second, [&](Project& p) { name = p.name; });
    EXPECT_EQ(name, "two");  // the other project is untouched
    EXPECT_EQ(project->CloseProject(second), com::S_OK);
    EXPECT_EQ(project->NewProject(nullptr, 4), com::E_POINTER);
}

TEST_F(ProjectModel, SequenceItemsReportTheirSectorsAndKind) {
    unsigned long size = 0, isDat = 7;
    ASSERT_EQ(project_->AddSequence(handle_, "clip", Clip().c_str(), "0", &size, &isDat), com::S_OK);
    EXPECT_EQ(size, (fs::file_size(Clip()) + 2323) / 2324);
    EXPECT_EQ(isDat, 0u);

    // The same track as a RIFF/CDXA file of raw 2352-byte sectors.
    ScratchDir dir;
    const std::string mpeg = ReadFile(Clip());
    std::string dat = "RIFF" + std::string(4, '\0') + "CDXA" + "fmt " + std::string("\x10\0\0\0", 4) +
                      std::string(16, '\0') + "data";
    const uint32_t sectors = static_cast<uint32_t>((mpeg.size() + 2323) / 2324);
    const uint32_t dataSize = sectors * 2352;
    dat += std::string(reinterpret_cast<const char*>(&dataSize), 4);
    for (uint32_t s = 0; s < sectors; ++s) {
        std::string payload = mpeg.substr(s * 2324, 2324);
        payload.resize(2324, '\0');
        dat += std::string(24, '\x01') + payload + std::string(4, '\0');
    }
    WriteFile(dir / "AVSEQ01.DAT", dat);
    ASSERT_EQ(project_->AddSequence(handle_, "dat", (dir / "AVSEQ01.DAT").c_str(), "1", &size, &isDat), com::S_OK);
    EXPECT_EQ(size, sectors);
    EXPECT_EQ(isDat, 1u);

    // The sequence header, read from the stream and from the sectors' payloads alike.
    for (const fs::path& file : {Clip(), dir / "AVSEQ01.DAT"}) {
        const std::optional<VideoFormat> format = ReadVideoFormat(file);
        ASSERT_TRUE(format) << file;
        EXPECT_EQ(format->width, 352);
        EXPECT_EQ(format->height, 240);
        EXPECT_EQ(format->rateCode, 4);
    }

    std::string unwrapError;
    ASSERT_TRUE(UnwrapDat(dir / "AVSEQ01.DAT", dir / "back.mpg", unwrapError)) << unwrapError;
    EXPECT_EQ(ReadFile(dir / "back.mpg").substr(0, mpeg.size()), mpeg);
}

TEST_F(ProjectModel, StreamsAVideoCdCannotTakeAreRefusedByName) {
    ScratchDir dir;
    WriteFile(dir / "notes.txt", "not a stream at all");
    // An MPEG-2 pack header: '01' in the top bits after the start code.
    WriteFile(dir / "mpeg2.mpg", std::string("\0\0\1\xBA\x44\0\4\0\4\1\1\x89\xC3\xF8", 14) + std::string(2000, '\0'));
    unsigned long size = 5, isDat = 5;
    for (const auto& [file, why] : {std::pair{dir / "notes.txt", "not an MPEG-1 program stream"},
                                    std::pair{dir / "mpeg2.mpg", "MPEG-2"}, std::pair{dir / "absent.mpg", "cannot be read"}}) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(project_->AddSequence(handle_, "item", file.c_str(), "0", &size, &isDat), QEL_E_BAD_STREAM);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find(why), std::string::npos) << message;
        EXPECT_NE(message.find("'item'"), std::string::npos) << message;
    }
    Inspect([](Project& p) { EXPECT_TRUE(p.sequences.empty()); });
}

TEST_F(ProjectModel, ItemIdsAreUniqueAcrossSequencesAndSegments) {
    ASSERT_EQ(project_->AddSequence(handle_, "menu", Clip().c_str(), "0", nullptr, nullptr), com::S_OK);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(project_->AddSegment(handle_, "menu", Clip().c_str()), QEL_E_DUPLICATE_ITEM);
    EXPECT_EQ(project_->AddSequence(handle_, "menu", Clip().c_str(), "1", nullptr, nullptr), QEL_E_DUPLICATE_ITEM);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("'menu' is already used"), std::string::npos);
    // Entry IDs may repeat: menu m and album m share their entry number.
    EXPECT_EQ(project_->AddSequence(handle_, "album", Clip().c_str(), "0", nullptr, nullptr), com::S_OK);
    EXPECT_EQ(project_->AddSegment(handle_, "still", Clip().c_str()), com::S_OK);
    Inspect([](Project& p) {
        EXPECT_EQ(p.sequences.size(), 2u);
        EXPECT_EQ(p.segments.size(), 1u);
        EXPECT_TRUE(p.HasItem("still"));
    });
}

TEST_F(ProjectModel, NodesAreCopiedWholeWhenAdded) {
    _pbc_area_t area{10, 20, 30, 40};
    NodeRecord menu(PBC_SELECTION_LIST, "Menu0");
    menu.Item("MenuItem0").Select("Album0").Select("Album1").Area(&area).Area(nullptr).Prev("Menu0").Next("Menu1").Loop(2);
    NodeRecord album(PBC_PLAY_LIST, "Album0");
    album.PlayItem("AlbumItem0").PlayItem("AlbumItem1").Wait(3).Prev("Menu0");
    ASSERT_EQ(project_->AddPbcNode(handle_, menu.get()), com::S_OK);
    ASSERT_EQ(project_->AddPbcNode(handle_, album.get()), com::S_OK);

    // What the caller does to its records afterwards does not reach the project.
    NodeRecord::Scribble(menu.get()->id);
    NodeRecord::Scribble(static_cast<char*>(menu.get()->selections->head->data));
    area.x1 = 99;
    album.get()->waitTime = 60;
    NodeRecord::Scribble(static_cast<char*>(album.get()->playItems->tail->data));

    Inspect([](Project& p) {
        ASSERT_EQ(p.nodes.size(), 2u);
        const PbcNode& m = p.nodes[0];
        EXPECT_EQ(m.name, "Menu0");
        EXPECT_EQ(m.selections, (std::vector<std::string>{"Album0", "Album1"}));
        ASSERT_EQ(m.areas.size(), 2u);
        EXPECT_EQ(m.areas[0]->x1, 10);
        EXPECT_FALSE(m.areas[1].has_value());
        EXPECT_EQ(m.item, "MenuItem0");
        EXPECT_EQ(m.next, "Menu1");
        EXPECT_EQ(m.loopCount, 2);
        EXPECT_EQ(m.timeoutTime, -1);
        const PbcNode& a = p.nodes[1];
        EXPECT_EQ(a.playItems, (std::vector<std::string>{"AlbumItem0", "AlbumItem1"}));
        EXPECT_EQ(a.waitTime, 3);
        EXPECT_FALSE(a.next.has_value());
    });
}

TEST_F(ProjectModel, DamagedNodesAreRefused) {
    NodeRecord odd(PBC_PLAY_LIST, "Odd");
    odd.get()->type = 3;
    NodeRecord shortList(PBC_SELECTION_LIST, "Short");
    shortList.Select("A");
    shortList.get()->selections->count = 2;  // claims a cell that is not there
    NodeRecord unnamed(PBC_PLAY_LIST, "");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(project_->AddPbcNode(handle_, odd.get()), QEL_E_BAD_NODE);
    EXPECT_EQ(project_->AddPbcNode(handle_, unnamed.get()), QEL_E_BAD_NODE);
    EXPECT_EQ(project_->AddPbcNode(handle_, shortList.get()), QEL_E_BAD_NODE);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("'Odd' has unknown type 3"), std::string::npos) << message;
    EXPECT_NE(message.find("'Short' has a damaged list of selections"), std::string::npos) << message;
    EXPECT_NE(message.find("has no name"), std::string::npos) << message;
    EXPECT_EQ(project_->AddPbcNode(handle_, nullptr), com::E_POINTER);
    Inspect([](Project& p) { EXPECT_TRUE(p.nodes.empty()); });
}

TEST_F(ProjectModel, ExtraFilesGoWhereTheirLocationSays) {
    ASSERT_EQ(project_->AddFileEntry(handle_, "/some/where/readme.txt", nullptr, 0), com::S_OK);
    ASSERT_EQ(project_->AddFileEntry(handle_, "/some/where/photo.jpg", "PHOTOS/", 0), com::S_OK);
    ASSERT_EQ(project_->AddFileEntry(handle_, "/some/where/a.txt", "DOCS/B.TXT", 0), com::S_OK);
    ASSERT_EQ(project_->AddDirectory(handle_, "EMPTY"), com::S_OK);
    Inspect([](Project& p) {
        ASSERT_EQ(p.files.size(), 3u);
        EXPECT_EQ(p.files[0].discPath, "readme.txt");
        EXPECT_EQ(p.files[1].discPath, "PHOTOS/photo.jpg");
        EXPECT_EQ(p.files[2].discPath, "DOCS/B.TXT");
        EXPECT_EQ(p.directories, std::vector<std::string>{"EMPTY"});
    });
}

}  // namespace
}  // namespace vcdalbum::components::burner::testing
