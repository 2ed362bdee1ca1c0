// Sequence and segment items, files and directories: preconditions and the
// argument order the component receives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "burner_test_access.h"
#include "doubles/recording_burner.h"

using testing::ElementsAre;
using testing::IsEmpty;
using vcdalbum::com::E_FAIL;
using vcdalbum::testing::BurnerClass;
using vcdalbum::testing::Ptr;
using vcdalbum::testing::RecordingBurner;

namespace {

char kFile[] = "files/readme.txt";
char kLocation[] = "EXT";
char kDir[] = "extras";
char kPicture[] = "photo.jpg";
char kMpeg[] = "still.mpg";

// Calls all six and returns their results in the order
// addSequenceItem, addSegmentItem, addMPGSegmentItem, pic2mpg, addFile, addDir.
std::vector<E_VRX> CallAll(VRX_Burner& burner) {
    unsigned long size = 0, isDat = 0;
    return {burner.addSequenceItem("a.mpg", "item", "entry", &size, &isDat),
            burner.addSegmentItem(1, kPicture, kMpeg, "seg"),
            burner.addMPGSegmentItem(kMpeg, "seg"),
            burner.pic2mpg(1, kPicture, kMpeg),
            burner.addFile(kFile, kLocation),
            burner.addDir(kDir)};
}

}  // namespace

TEST(ContentItems, ArgumentOrdersReachingTheComponent) {
    RecordingBurner rec;
    rec->sequenceSize = 777;
    rec->sequenceIsDat = 1;
    rec->SetResult("ConvertPicture", E_FAIL);  // the segment is still added
    VRX_Burner burner;
    ASSERT_EQ(burner.init(4, kName), VRX_OK);
    rec->Clear();

    unsigned long size = 0, isDat = 0;
    EXPECT_EQ(burner.addSequenceItem("F.mpg", "I", "E", &size, &isDat), VRX_OK);
    EXPECT_EQ(size, 777u);
    EXPECT_EQ(isDat, 1u);
    EXPECT_EQ(burner.addSegmentItem(2, kPicture, kMpeg, "SEG1"), VRX_OK);
    EXPECT_EQ(burner.addMPGSegmentItem("ready.mpg", "SEG2"), VRX_OK);
    EXPECT_EQ(burner.addFile(kFile, kLocation), VRX_OK);
    EXPECT_EQ(burner.addDir(kDir), VRX_OK);
    const auto& calls = rec->calls;
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].Text(), "AddSequence(81, I, F.mpg, E, " + Ptr(&size) + ", " + Ptr(&isDat) + ")");
    EXPECT_EQ(calls[1].method, "ConvertPicture");
    EXPECT_THAT(calls[1].args, testing::ElementsAre("2", "photo.jpg", "still.mpg", testing::_));
    EXPECT_EQ(calls[2].Text(), "AddSegment(81, SEG1, still.mpg)");
    EXPECT_EQ(calls[3].Text(), "AddSegment(81, SEG2, ready.mpg)");
    EXPECT_EQ(calls[4].Text(), "AddFileEntry(81, files/readme.txt, EXT, 0)");
    EXPECT_EQ(calls[5].Text(), "AddDirectory(81, extras)");
}

TEST(ContentItems, ComponentRefusalsAreNotReported) {
    RecordingBurner rec;
    for (const char* method : {"AddSequence", "AddSegment", "AddFileEntry", "AddDirectory", "ConvertPicture"})
        rec->SetResult(method, E_FAIL);
    VRX_Burner burner;
    ASSERT_EQ(burner.init(4, kName), VRX_OK);
    EXPECT_THAT(CallAll(burner), ElementsAre(VRX_OK, VRX_OK, VRX_OK, VRX_OK, VRX_OK, VRX_OK));
}

TEST(ContentItems, BeforeInitAllFailAndCallNothing) {
    RecordingBurner rec;
    VRX_Burner burner;
    EXPECT_THAT(CallAll(burner), ElementsAre(VRX_FAIL, VRX_FAIL, VRX_FAIL, VRX_FAIL, VRX_FAIL, VRX_FAIL));
    EXPECT_THAT(rec->calls, IsEmpty());
}

TEST(ContentItems, WithoutAProjectOnlyFilesDirectoriesAndConversionWork) {
    RecordingBurner rec;
    VRX_Burner burner;
    ASSERT_EQ(burner.init(3, kName), VRX_OK);
    EXPECT_THAT(CallAll(burner), ElementsAre(VRX_FAIL, VRX_FAIL, VRX_FAIL, VRX_OK, VRX_OK, VRX_OK));
    EXPECT_THAT(rec->Methods(), ElementsAre("ConvertPicture", "AddFileEntry", "AddDirectory"));
    EXPECT_EQ(rec->calls[1].args[0], "0");
    EXPECT_EQ(rec->calls[2].args[0], "0");
}

TEST(ContentItems, AfterInitStoppedAtTheRecorderOnlyProjectObjectCallsWork) {
    RecordingBurner rec;
    rec->Refuse(BurnerClass::Recorder);
    VRX_Burner burner;
    ASSERT_EQ(burner.init(4, kName), VRX_ERR_RECORDER_OBJECT);
    EXPECT_THAT(CallAll(burner), ElementsAre(VRX_FAIL, VRX_FAIL, VRX_FAIL, VRX_FAIL, VRX_OK, VRX_OK));
    EXPECT_THAT(rec->CallTexts(), ElementsAre("AddFileEntry(0, files/readme.txt, EXT, 0)", "AddDirectory(0, extras)"));
}
