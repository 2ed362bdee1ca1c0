// Playback-control nodes: kinds, links, lists, handing over and ownership.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "burner_test_access.h"
#include "doubles/recording_burner.h"

using testing::ElementsAre;
using testing::IsEmpty;
using vcdalbum::com::E_FAIL;
using vcdalbum::testing::RecordingBurner;
using vcdalbum::testing::Snapshot;

namespace {

// Texts the tests hand over; the wrapper must copy them.
struct Text {
    explicit Text(const char* s) { std::strncpy(buffer, s, sizeof buffer - 1); }
    operator char*() { return buffer; }
    char buffer[64] = {};
};

}  // namespace

TEST(PbcNodes, NewNodesOfEachKind) {
    VRX_Burner burner;
    Text name("Menu0");
    _pbc_t* menu = burner.getSelectionListNode(name);
    _pbc_t* album = burner.getPlayListNode(Text("Album0"));
    ASSERT_TRUE(menu && album);

    std::strcpy(name.buffer, "Other");  // the node keeps its own copy
    auto m = Snapshot(menu);
    EXPECT_EQ(m.type, PBC_SELECTION_LIST);
    EXPECT_EQ(m.id, "Menu0");
    EXPECT_EQ(m.timeoutTime, -1);
    EXPECT_EQ(m.loopCount, 0);
    EXPECT_EQ(m.selectionBase, 1);
    EXPECT_TRUE(m.hasSelections && m.hasAreas && !m.hasPlayItems);
    EXPECT_TRUE(m.selections.empty() && m.areas.empty());
    EXPECT_TRUE(m.reservedWordsZero);
    EXPECT_FALSE(m.prevId || m.nextId || m.returnId || m.itemId || m.timeoutId);

    auto a = Snapshot(album);
    EXPECT_EQ(a.type, PBC_PLAY_LIST);
    EXPECT_EQ(a.id, "Album0");
    EXPECT_TRUE(a.hasPlayItems && !a.hasSelections && !a.hasAreas);
    EXPECT_EQ(a.timeoutTime, 0);
    EXPECT_EQ(a.selectionBase, 0);
    EXPECT_TRUE(a.reservedWordsZero);

    _pbc_t* again = burner.getPlayListNode(Text("Album0"));
    EXPECT_NE(again, album);
    EXPECT_STREQ(again->id, album->id);
}

TEST(PbcNodes, LinksAreSetOnceEach) {
    VRX_Burner burner;
    _pbc_t* node = burner.getPlayListNode(Text("Album1"));
    EXPECT_EQ(burner.setPrevNode(node, Text("Album0")), VRX_OK);
    EXPECT_EQ(burner.setPrevNode(node, Text("Menu0")), VRX_FAIL);
    EXPECT_EQ(burner.setRetNode(node, Text("Menu0")), VRX_OK);
    EXPECT_EQ(burner.setRetNode(node, Text("Menu1")), VRX_FAIL);
    EXPECT_EQ(burner.setNextNode(node, Text("Album2")), VRX_OK);
    EXPECT_EQ(burner.setNextNode(node, Text("Album3")), VRX_FAIL);
    auto s = Snapshot(node);
    EXPECT_EQ(s.prevId, "Album0");
    EXPECT_EQ(s.returnId, "Menu0");
    EXPECT_EQ(s.nextId, "Album2");
}

TEST(PbcNodes, WrongKindGivesItsCodeAndChangesNothing) {
    VRX_Burner burner;
    _pbc_t* menu = burner.getSelectionListNode(Text("Menu0"));
    _pbc_t* album = burner.getPlayListNode(Text("Album0"));
    _pbc_area_t area{1, 2, 3, 4};
    const auto menuBefore = Snapshot(menu);
    EXPECT_EQ(burner.setWaitTime(menu, 5), VRX_ERR_NOT_PLAY_LIST);
    EXPECT_EQ(burner.addPlayItemID(menu, Text("x")), VRX_ERR_NOT_PLAY_LIST);
    EXPECT_EQ(Snapshot(menu).waitTime, menuBefore.waitTime);

    EXPECT_EQ(burner.setLoopCount(album, 2), VRX_ERR_NOT_SELECTION_LIST);
    EXPECT_EQ(burner.setTimeoutID(album, Text("x")), VRX_ERR_NOT_SELECTION_LIST);
    EXPECT_EQ(burner.setTimeoutTime(album, 2), VRX_ERR_NOT_SELECTION_LIST);
    EXPECT_EQ(burner.setSelectionItemID(album, Text("x")), VRX_ERR_NOT_SELECTION_LIST);
    EXPECT_EQ(burner.addSelectionID(album, Text("x")), VRX_ERR_NOT_SELECTION_LIST);
    EXPECT_EQ(burner.addSelectionAreas(album, &area), VRX_ERR_NOT_SELECTION_LIST);
    EXPECT_EQ(burner.setNextSelectionArea(album, &area), VRX_ERR_NOT_SELECTION_LIST);
    EXPECT_EQ(burner.setPrevSelectionArea(album, &area), VRX_ERR_NOT_SELECTION_LIST);
    EXPECT_EQ(burner.setRetnSelectionArea(album, &area), VRX_ERR_NOT_SELECTION_LIST);
    auto a = Snapshot(album);
    EXPECT_TRUE(a.reservedWordsZero);
    EXPECT_FALSE(a.hasSelections || a.hasAreas || a.timeoutId || a.itemId);
    EXPECT_EQ(a.loopCount, 0);

    // A node whose kind word was damaged is neither.
    album->type = 3;
    EXPECT_EQ(burner.setWaitTime(album, 1), VRX_ERR_NOT_PLAY_LIST);
    EXPECT_EQ(burner.setLoopCount(album, 1), VRX_ERR_NOT_SELECTION_LIST);
    album->type = PBC_PLAY_LIST;
}

TEST(PbcNodes, ValuesAndAreaLinksAreStoredAndReplacedTextsFreed) {
    VRX_Burner burner;
    _pbc_t* menu = burner.getSelectionListNode(Text("Menu0"));
    _pbc_t* album = burner.getPlayListNode(Text("Album0"));
    _pbc_area_t next{1, 1, 2, 2}, prev{3, 3, 4, 4}, ret{5, 5, 6, 6};
    EXPECT_EQ(burner.setNextSelectionArea(menu, &next), VRX_OK);
    EXPECT_EQ(burner.setPrevSelectionArea(menu, &prev), VRX_OK);
    EXPECT_EQ(burner.setLoopCount(menu, 3), VRX_OK);
    EXPECT_EQ(burner.setTimeoutTime(menu, 7), VRX_OK);
    EXPECT_EQ(burner.setWaitTime(album, 4), VRX_OK);
    // LeakSanitizer reports the replaced copies if they are kept.
    EXPECT_EQ(burner.setTimeoutID(menu, Text("Album0")), VRX_OK);
    EXPECT_EQ(burner.setTimeoutID(menu, Text("Album1")), VRX_OK);
    EXPECT_EQ(burner.setSelectionItemID(menu, Text("MenuItem0")), VRX_OK);
    EXPECT_EQ(burner.setSelectionItemID(menu, Text("MenuItem9")), VRX_OK);
    EXPECT_EQ(burner.setRetnSelectionArea(menu, &ret), VRX_OK);
    EXPECT_EQ(Snapshot(menu).returnArea, &ret);
    EXPECT_EQ(burner.setRetnSelectionArea(menu, nullptr), VRX_OK);  // a null area is allowed
    auto m = Snapshot(menu);
    EXPECT_EQ(m.returnArea, nullptr);
    EXPECT_EQ(m.nextArea, &next);
    EXPECT_EQ(m.prevArea, &prev);
    EXPECT_EQ(m.loopCount, 3);
    EXPECT_EQ(m.timeoutTime, 7);
    EXPECT_EQ(Snapshot(album).waitTime, 4);
    EXPECT_EQ(m.timeoutId, "Album1");
    EXPECT_EQ(m.itemId, "MenuItem9");
    EXPECT_TRUE(m.reservedWordsZero);
}

TEST(PbcNodes, ListsKeepCallOrderCopiesAndAreaPointers) {
    VRX_Burner burner;
    _pbc_t* album = burner.getPlayListNode(Text("Album0"));
    _pbc_t* menu = burner.getSelectionListNode(Text("Menu0"));
    Text id("A");
    for (const char* item : {"I1", "I2", "I3"}) {
        std::strcpy(id.buffer, item);
        EXPECT_EQ(burner.addPlayItemID(album, id), VRX_OK);
    }
    std::strcpy(id.buffer, "reused");
    const PbcList* items = album->playItems;
    EXPECT_EQ(items->count, 3);
    EXPECT_STREQ(static_cast<char*>(items->head->data), "I1");
    EXPECT_STREQ(static_cast<char*>(items->tail->data), "I3");
    for (const PbcListNode* cell = items->head; cell; cell = cell->next) EXPECT_EQ(cell->list, items);

    _pbc_area_t first{0, 0, 10, 10}, second{20, 20, 30, 30};
    EXPECT_EQ(burner.addSelectionID(menu, Text("Album0")), VRX_OK);
    EXPECT_EQ(burner.addSelectionID(menu, Text("Menu1")), VRX_OK);
    EXPECT_EQ(burner.addSelectionAreas(menu, &first), VRX_OK);
    EXPECT_EQ(burner.addSelectionAreas(menu, &second), VRX_OK);
    second.x1 = 99;  // the component sees the caller's record itself
    auto m = Snapshot(menu);
    EXPECT_TRUE(m.listsWellFormed);
    EXPECT_THAT(m.selections, ElementsAre("Album0", "Menu1"));
    ASSERT_THAT(m.areas, ElementsAre(&first, &second));
    EXPECT_EQ(m.areas[1]->x1, 99);
    EXPECT_TRUE(Snapshot(album).listsWellFormed);
}

TEST(PbcNodes, NullArgumentsAreRefused) {
    VRX_Burner burner;
    _pbc_t* menu = burner.getSelectionListNode(nullptr);  // an empty name, not a crash
    ASSERT_NE(menu, nullptr);
    EXPECT_STREQ(menu->id, "");
    EXPECT_EQ(burner.setPrevNode(menu, nullptr), VRX_FAIL);
    EXPECT_EQ(burner.setTimeoutID(menu, nullptr), VRX_FAIL);
    EXPECT_EQ(burner.addSelectionID(menu, nullptr), VRX_FAIL);
    EXPECT_EQ(burner.setLoopCount(nullptr, 1), VRX_FAIL);
    EXPECT_EQ(burner.setNextNode(nullptr, Text("Album1")), VRX_FAIL);
    EXPECT_EQ(burner.setRetNode(nullptr, Text("Menu0")), VRX_FAIL);
    EXPECT_EQ(burner.AddNode(nullptr), VRX_FAIL);
    EXPECT_EQ(menu->selections->count, 0);
}

TEST(PbcNodes, AddNodeHandsTheNodeToTheProject) {
    RecordingBurner rec;
    VRX_Burner burner;
    _pbc_t* node = burner.getPlayListNode(Text("Album0"));
    EXPECT_EQ(burner.AddNode(node), VRX_FAIL);  // before init
    ASSERT_EQ(burner.init(4, kName), VRX_OK);
    rec->Clear();
    EXPECT_EQ(burner.AddNode(node), VRX_OK);
    EXPECT_EQ(burner.AddNode(node), VRX_OK);  // nothing recorded: twice is twice
    rec->SetResult("AddPbcNode", E_FAIL);
    EXPECT_EQ(burner.AddNode(node), VRX_FAIL);
    EXPECT_THAT(rec->CallTexts(), ElementsAre("AddPbcNode(81, Album0)", "AddPbcNode(81, Album0)",
                                              "AddPbcNode(81, Album0)"));
    EXPECT_EQ(rec->nodes[0].address, node);
}

// Nodes belong to the burner that made them and to its copies; they go with
// the last of these (ASan reports a use after that, LSan a leak otherwise).
TEST(PbcNodes, NodesLiveAsLongAsAnyCopyOfTheirBurner) {
    RecordingBurner rec;
    auto maker = std::make_unique<VRX_Burner>();
    _pbc_t* node = maker->getSelectionListNode(Text("Menu0"));
    maker->addSelectionID(node, Text("Album0"));
    VRX_Burner copy(*maker);
    maker.reset();
    // A new init on the copy keeps the nodes made before it.
    ASSERT_EQ(copy.init(4, kName), VRX_OK);
    EXPECT_EQ(copy.setSelectionItemID(node, Text("MenuItem0")), VRX_OK);
    EXPECT_EQ(copy.AddNode(node), VRX_OK);
    ASSERT_EQ(rec->nodes.size(), 1u);
    EXPECT_THAT(rec->nodes[0].selections, ElementsAre("Album0"));
    EXPECT_EQ(rec->nodes[0].itemId, "MenuItem0");
    EXPECT_EQ(VRX_BurnerTestAccess::session(copy).nodes->size(), 1u);
}
