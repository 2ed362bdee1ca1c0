// init, destruction and copying of VRX_Burner against the recording component.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "burner_test_access.h"
#include "doubles/last_error.h"
#include "doubles/recording_burner.h"

using testing::ElementsAre;
using testing::IsEmpty;
using vcdalbum::testing::BurnerClass;
using vcdalbum::testing::RecordingBurner;
using vcdalbum::testing::Value;
using Access = VRX_BurnerTestAccess;

namespace {

unsigned char kHoliday[] = "Holiday";

bool AllZero(const void* p, std::size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (bytes[i]) return false;
    return true;
}

}  // namespace

TEST(BurnerInit, OpensANamedProjectAndPresetsTheReport) {
    RecordingBurner rec;
    {
        VRX_Burner burner;
        EXPECT_EQ(burner.init(4, kHoliday), VRX_OK);
        EXPECT_THAT(rec->CallTexts(), ElementsAre("NewProject(4)", "SetProjectName(81, Holiday)"));
        for (int c = 0; c < vcdalbum::testing::kBurnerClassCount; ++c) EXPECT_EQ(rec->live[c], 1);
        const ReportInfo& report = Access::report(burner);
        EXPECT_EQ(Value(report.reportKind), 4);
        EXPECT_EQ(Value(report.reportFlag), 1u);
        EXPECT_EQ(Value(report.reportText), kHoliday);  // the caller's text itself, not a copy
        EXPECT_EQ(Access::session(burner).projectHandle, 0x51u);
        rec->Clear();
    }
    // The project is closed, then the objects go: driveControl first, project last.
    EXPECT_THAT(rec->CallTexts(), ElementsAre("CloseProject(81)"));
    EXPECT_THAT(rec->destroyed, ElementsAre(BurnerClass::DriveControl, BurnerClass::Aux, BurnerClass::Eraser,
                                            BurnerClass::Chooser, BurnerClass::Encoder, BurnerClass::Recorder,
                                            BurnerClass::Project));
}

// Classes are created in the order project, recorder, encoder, eraser, aux,
// drive control, chooser; the first one refused gives its code.
class BurnerInitRefused : public testing::TestWithParam<std::pair<BurnerClass, E_VRX>> {};

TEST_P(BurnerInitRefused, StopsAtTheRefusedClassAndKeepsWhatWasMade) {
    const auto [refused, code] = GetParam();
    RecordingBurner rec;
    rec->Refuse(refused);
    {
        VRX_Burner burner;
        EXPECT_EQ(burner.init(4, kHoliday), code);
        EXPECT_THAT(rec->calls, IsEmpty());  // no project, no name
        EXPECT_TRUE(AllZero(&Access::report(burner), sizeof(ReportInfo)));
        const int made = static_cast<int>(code) - 2;
        static constexpr BurnerClass kOrder[] = {BurnerClass::Project, BurnerClass::Recorder,
                                                 BurnerClass::Encoder, BurnerClass::Eraser,
                                                 BurnerClass::Aux,     BurnerClass::DriveControl,
                                                 BurnerClass::Chooser};
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(rec->live[static_cast<int>(kOrder[i])], i < made ? 1 : 0) << "class " << i;
    }
    EXPECT_EQ(rec->LiveTotal(), 0);
    // Only a held project object is asked to close (handle 0: none was opened).
    if (refused == BurnerClass::Project)
        EXPECT_THAT(rec->calls, IsEmpty());
    else
        EXPECT_THAT(rec->CallTexts(), ElementsAre("CloseProject(0)"));
}

INSTANTIATE_TEST_SUITE_P(EachClass, BurnerInitRefused,
                         testing::Values(std::pair{BurnerClass::Project, VRX_ERR_PROJECT_OBJECT},
                                         std::pair{BurnerClass::Recorder, VRX_ERR_RECORDER_OBJECT},
                                         std::pair{BurnerClass::Encoder, VRX_ERR_ENCODER_OBJECT},
                                         std::pair{BurnerClass::Eraser, VRX_ERR_ERASER_OBJECT},
                                         std::pair{BurnerClass::Aux, VRX_ERR_AUX_OBJECT},
                                         std::pair{BurnerClass::DriveControl, VRX_ERR_DRIVE_OBJECT},
                                         std::pair{BurnerClass::Chooser, VRX_ERR_CHOOSER_OBJECT}));

TEST(BurnerInit, RefusedProjectGivesNineAndNoHandleToClose) {
    RecordingBurner rec;
    rec->SetResult("NewProject", vcdalbum::com::E_FAIL);  // the double still writes handle 81
    {
        VRX_Burner burner;
        EXPECT_EQ(burner.init(4, kHoliday), VRX_ERR_NEW_PROJECT);
        EXPECT_THAT(rec->CallTexts(), ElementsAre("NewProject(4)"));
        EXPECT_EQ(Value(Access::report(burner).reportKind), 0);
        unsigned long size = 0, isDat = 0;
        EXPECT_EQ(burner.addSequenceItem("a.mpg", "i", "e", &size, &isDat), VRX_FAIL);
        rec->Clear();
    }
    EXPECT_THAT(rec->CallTexts(), ElementsAre("CloseProject(0)"));
}

TEST(BurnerInit, OtherKindsOpenNoProject) {
    RecordingBurner rec;
    VRX_Burner burner;
    EXPECT_EQ(burner.init(3, kHoliday), VRX_OK);
    EXPECT_THAT(rec->calls, IsEmpty());
    EXPECT_EQ(Access::session(burner).projectHandle, 0u);
    EXPECT_EQ(Value(Access::report(burner).reportText), kHoliday);
}

TEST(BurnerInit, SecondInitReleasesWhatTheFirstMade) {
    RecordingBurner rec;
    VRX_Burner burner;
    ASSERT_EQ(burner.init(4, kHoliday), VRX_OK);
    rec->projectHandle = 0x52;
    ASSERT_EQ(burner.init(4, kHoliday), VRX_OK);
    EXPECT_EQ(rec->created[0], 2);
    EXPECT_EQ(rec->LiveTotal(), 7);
    EXPECT_THAT(rec->CallsOf("CloseProject"), ElementsAre("CloseProject(81)"));
    EXPECT_EQ(Access::session(burner).projectHandle, 0x52u);
}

TEST(BurnerCopies, ShareObjectsAndProjectAndCloseItOnceWhenTheLastGoes) {
    RecordingBurner rec;
    auto original = std::make_unique<VRX_Burner>();
    ASSERT_EQ(original->init(4, kHoliday), VRX_OK);
    original->selectDrive(false, 2);
    original->setWriteMode(0, false, true, 0);

    VRX_Burner copy(*original);
    VRX_Burner assigned;
    assigned = *original;
    EXPECT_EQ(rec->created[0], 1);  // no new objects
    EXPECT_EQ(Access::driveNumber(copy), 2);
    EXPECT_EQ(Value(Access::io(assigned).writeFlags), 2u);
    EXPECT_EQ(std::memcmp(&Access::report(copy), &Access::report(*original), sizeof(ReportInfo)), 0);

    original.reset();
    EXPECT_THAT(rec->CallsOf("CloseProject"), IsEmpty());
    // The copies still drive the shared project.
    unsigned long size = 0, isDat = 0;
    EXPECT_EQ(copy.addSequenceItem("a.mpg", "item", "entry", &size, &isDat), VRX_OK);
    EXPECT_EQ(rec->calls.back().args[0], "81");

    copy = VRX_Burner();  // assignment lets go of the shared objects
    EXPECT_THAT(rec->CallsOf("CloseProject"), IsEmpty());
    EXPECT_EQ(rec->LiveTotal(), 7);
    assigned = copy;
    EXPECT_THAT(rec->CallsOf("CloseProject"), ElementsAre("CloseProject(81)"));
    EXPECT_EQ(rec->LiveTotal(), 0);
}

TEST(BurnerDebugMessage, PrintsCaptionAndLastErrorWithoutBlocking) {
    VRX_Burner burner;
    char caption[] = "Burner check";
    testing::internal::CaptureStderr();
#if defined(_WIN32)
    // Windows keeps its last error apart from errno; unattended test runs
    // set VCDALBUM_NO_MESSAGE_BOX, so the box becomes this line.
    vcdalbum::testing::SetLastSystemError(0x20000005);
    burner.DBG_MSG(caption);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Burner check: Error 536870917\n");
#else
    errno = EACCES;
    burner.DBG_MSG(caption);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Burner check: Permission denied\n");
#endif
}
