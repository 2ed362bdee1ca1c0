// BuildProject's checks and the XML description vcdxbuild reads.
#include <regex>

#include "burner_test_support.h"
#include "disc_layout.h"

namespace vcdalbum::components::burner::testing {
namespace {

class DiscLayout : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir;
        ASSERT_TRUE(MakeStream(*dir_ / "clip.mpg", "green", 1));
    }
    static void TearDownTestSuite() { delete dir_; }

    // Menu0 offering Album0 and Album1, each a play list of its own item.
    void SetUp() override {
        project_ = Project{};
        project_.kind = 4;
        project_.name = "Holiday 2024";
        const std::string clip = (*dir_ / "clip.mpg").string();
        project_.sequences = {{"default", clip, "defaultentry", 100, false},
                              {"MenuItem0", clip, "0", 100, false},
                              {"AlbumItem0", clip, "0", 100, false},
                              {"AlbumItem1", clip, "1", 100, false}};
        project_.nodes.push_back(PlayList("Album0", "AlbumItem0", "Menu0", "Album1"));
        project_.nodes.push_back(PlayList("Album1", "AlbumItem1", "Album0", "Menu0"));
        PbcNode menu;
        menu.type = PBC_SELECTION_LIST;
        menu.name = "Menu0";
        menu.item = "MenuItem0";
        menu.selections = {"Album0", "Album1"};
        menu.prev = menu.next = "Menu0";
        project_.nodes.push_back(menu);
    }

    static PbcNode PlayList(const std::string& name, const std::string& item, const std::string& prev,
                            const std::string& next) {
        PbcNode node;
        node.type = PBC_PLAY_LIST;
        node.name = name;
        node.playItems = {item};
        node.prev = prev;
        node.next = next;
        node.waitTime = 3;
        return node;
    }

    PbcNode& Node(const std::string& name) {
        for (PbcNode& node : project_.nodes)
            if (node.name == name) return node;
        throw std::logic_error("no node " + name);
    }

    std::string Problem() { return CheckProject(project_).value_or("(none)"); }

    static inline ScratchDir* dir_ = nullptr;
    Project project_;
};

TEST_F(DiscLayout, ASoundProjectPasses) { EXPECT_EQ(CheckProject(project_), std::nullopt); }

TEST_F(DiscLayout, BrokenReferencesAreNamed) {
    Node("Menu0").selections.push_back("Album7");
    EXPECT_EQ(Problem(), "node 'Menu0': selection 'Album7' does not exist");
    SetUp();
    project_.nodes.erase(project_.nodes.begin() + 3, project_.nodes.end());
    project_.nodes.erase(project_.nodes.begin());  // Album0 is gone, Menu0 and Album1 still name it
    Node("Menu0").selections = {"Album1"};
    EXPECT_EQ(Problem(), "node 'Album1': its previous node 'Album0' does not exist");
    SetUp();
    Node("Album1").playItems.push_back("AlbumItem9");
    EXPECT_EQ(Problem(), "node 'Album1': play item 'AlbumItem9' is not an item of the project");
    SetUp();
    Node("Menu0").item = "Nothing";
    EXPECT_EQ(Problem(), "node 'Menu0': its item 'Nothing' is not an item of the project");
    SetUp();
    Node("Menu0").timeoutTarget = "Later";
    EXPECT_EQ(Problem(), "node 'Menu0': its timeout node 'Later' does not exist");
    SetUp();
    Node("Album0").playItems.clear();
    EXPECT_EQ(Problem(), "node 'Album0' is a play list without any play item");
}

TEST_F(DiscLayout, DiscLimitsAreKept) {
    project_.nodes.push_back(PlayList("Album0", "AlbumItem0", "Menu0", "Menu0"));
    EXPECT_EQ(Problem(), "node name 'Album0' is used by more than one node");
    SetUp();
    Node("Menu0").selections.assign(99, "Album0");
    EXPECT_EQ(CheckProject(project_), std::nullopt);
    Node("Menu0").selections.push_back("Album1");
    EXPECT_EQ(Problem(), "node 'Menu0' has 100 selections; a selection list holds at most 99");
    SetUp();
    Node("Menu0").selectionBase = 98;  // selections 98, 99 fit; a third would be 100
    EXPECT_EQ(CheckProject(project_), std::nullopt);
    Node("Menu0").selections.push_back("Album0");
    EXPECT_NE(Problem().find("do not fit in 1..99"), std::string::npos);
    SetUp();
    while (project_.sequences.size() < 98)
        project_.sequences.push_back({"extra" + std::to_string(project_.sequences.size()), project_.sequences[0].file, "", 1, false});
    EXPECT_EQ(CheckProject(project_), std::nullopt);
    project_.sequences.push_back({"one-too-many", project_.sequences[0].file, "", 1, false});
    EXPECT_EQ(Problem(), "project 'Holiday 2024' has 99 sequence items; a Video CD holds at most 98");
}

TEST_F(DiscLayout, DiscTimeMustFitEightyMinutes) {
    const uint64_t room = kDiscSectors - EstimateDiscSectors(project_);
    project_.sequences[0].sectors += room;
    EXPECT_EQ(CheckProject(project_), std::nullopt);
    project_.sequences[0].sectors += 1;
    EXPECT_NE(Problem().find("needs 80:01 minutes of disc time"), std::string::npos) << Problem();
    // 80 minutes of tracks at 75 sectors a second fill 360,000 sectors.
    EXPECT_EQ(kDiscSectors, 360000u);
}

TEST_F(DiscLayout, FilesMustBeThereAndReadable) {
    project_.sequences[2].file = (*dir_ / "gone.mpg").string();
    EXPECT_EQ(Problem(), "sequence item 'AlbumItem0': file '" + (*dir_ / "gone.mpg").string() + "' cannot be read");
    SetUp();
    project_.files.push_back({(*dir_ / "missing.txt").string(), "missing.txt"});
    EXPECT_EQ(Problem(), "file '" + (*dir_ / "missing.txt").string() + "' cannot be read");
    SetUp();
    project_.files.push_back({project_.sequences[0].file, "VCD/INFO.VCD"});
    EXPECT_NE(Problem().find("which the Video CD itself uses"), std::string::npos);
    SetUp();
    project_.files.push_back({project_.sequences[0].file, "a/clip.mpg"});
    project_.files.push_back({project_.sequences[0].file, "A/CLIP.MPG"});
    EXPECT_NE(Problem().find("a name already taken"), std::string::npos);
    SetUp();
    project_.kind = 2;
    EXPECT_NE(Problem().find("not a Video CD 2.0 project"), std::string::npos);
}

TEST_F(DiscLayout, IsoNamesAreMadeFromAnyName) {
    EXPECT_EQ(DiscFileName("holiday photo.jpeg"), "HOLIDAY_.JPE");
    EXPECT_EQ(DiscFileName("readme"), "README");
    EXPECT_EQ(DiscFileName(".hidden"), "_.HID");
    EXPECT_EQ(DiscFolderName("Extra stuff"), "EXTRA_ST");
    EXPECT_EQ(DiscFolderName(""), "_");
    // A character is one place, however many bytes it takes; marked Latin
    // letters keep their letter, and bytes that are not UTF-8 do not shift
    // what follows.
    EXPECT_EQ(DiscFolderName("Café"), "CAFE");
    EXPECT_EQ(DiscFolderName("Øresund Ærø"), "ORESUND_");
    EXPECT_EQ(DiscFileName("北京 2024.jpg"), "___2024.JPG");
    EXPECT_EQ(DiscFolderName("Caf\xE9 ok"), "CAF__OK");
}

TEST_F(DiscLayout, DescriptionHasPrefixedIdsAbsolutePathsAndTheFirstMenuFirst) {
    Node("Menu0").timeoutTime = -7;
    Node("Album1").waitTime = 5000;
    Node("Menu0").loopCount = 300;
    Node("Menu0").areas = {_pbc_area_t{1, 2, 3, 4}};
    project_.sequences[0].file = "relative/clip.mpg";
    const std::string xml = DescribeDisc(project_, {});

    EXPECT_NE(xml.find("<!DOCTYPE videocd PUBLIC \"-//GNU//DTD VideoCD//EN\""), std::string::npos);
    EXPECT_NE(xml.find("<option name=\"track front margin\" value=\"150\"/>"), std::string::npos);
    EXPECT_NE(xml.find("<option name=\"track rear margin\" value=\"150\"/>"), std::string::npos);
    EXPECT_NE(xml.find("<volume-id>HOLIDAY_2024</volume-id>"), std::string::npos);
    // Every id and ref starts with a letter, and the shared entry IDs "0" stay distinct.
    std::regex idPattern("(id|ref)=\"([^\"]*)\"");
    std::set<std::string> ids;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), idPattern); it != std::sregex_iterator(); ++it) {
        const std::string value = (*it)[2];
        EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(value[0]))) << value;
        if ((*it)[1] == "id") {
            EXPECT_TRUE(ids.insert(value).second) << "duplicate " << value;
        }
    }
    EXPECT_NE(xml.find("<default-entry id=\"entry2-0\"/>"), std::string::npos);
    EXPECT_NE(xml.find("<default-entry id=\"entry3-0\"/>"), std::string::npos);
    EXPECT_NE(xml.find("src=\"" + fs::absolute("relative/clip.mpg").lexically_normal().string() + "\""), std::string::npos);

    // Playback starts at the first list, so the first menu leads even when
    // it was added after its albums; the others keep their order.
    const size_t menu = xml.find("<selection id=\"node3-Menu0\">");
    const size_t album0 = xml.find("<playlist id=\"node1-Album0\">");
    const size_t album1 = xml.find("<playlist id=\"node2-Album1\">");
    ASSERT_NE(menu, std::string::npos);
    EXPECT_LT(menu, album0);
    EXPECT_LT(album0, album1);

    const std::string menuXml = xml.substr(menu, xml.find("</selection>", menu) - menu);
    EXPECT_NE(menuXml.find("<wait>-1</wait>"), std::string::npos) << menuXml;  // any negative timeout waits for ever
    EXPECT_NE(menuXml.find("<loop jump-timing=\"immediate\">127</loop>"), std::string::npos);
    EXPECT_NE(menuXml.find("<play-item ref=\"sequence2-MenuItem0\"/>"), std::string::npos);
    EXPECT_NE(menuXml.find("<select ref=\"node1-Album0\" x1=\"1\" y1=\"2\" x2=\"3\" y2=\"4\"/>"), std::string::npos);
    EXPECT_NE(menuXml.find("<select ref=\"node2-Album1\"/>"), std::string::npos);
    EXPECT_LT(menuXml.find("<prev"), menuXml.find("<next"));
    EXPECT_LT(menuXml.find("<wait>"), menuXml.find("<loop"));
    EXPECT_LT(menuXml.find("<loop"), menuXml.find("<play-item"));
    EXPECT_LT(menuXml.find("<play-item"), menuXml.find("<select ref"));
    const std::string album1Xml = xml.substr(album1, xml.find("</playlist>", album1) - album1);
    EXPECT_NE(album1Xml.find("<wait>2000</wait>"), std::string::npos) << album1Xml;
    EXPECT_LT(album1Xml.find("<wait>"), album1Xml.find("<play-item"));
}

TEST_F(DiscLayout, NamesWithXmlCharactersAreEscaped) {
    project_.name = "Tom & Jerry <1>";
    project_.files.push_back({(*dir_ / "clip.mpg").string(), "x&y/a\"b.txt"});
    const std::string xml = DescribeDisc(project_, {});
    EXPECT_EQ(xml.find("Tom & Jerry"), std::string::npos);
    EXPECT_NE(xml.find("<folder><name>X_Y</name>"), std::string::npos);
}

}  // namespace
}  // namespace vcdalbum::components::burner::testing
