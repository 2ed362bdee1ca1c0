// Drive choice, drive and disc information, write mode, burn, erase, tray.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "burner_test_access.h"
#include "doubles/recording_burner.h"

using testing::ElementsAre;
using testing::IsEmpty;
using vcdalbum::com::E_FAIL;
using vcdalbum::com::S_FALSE;
using vcdalbum::testing::Ptr;
using vcdalbum::testing::RecordingBurner;
using vcdalbum::testing::Value;
using Access = VRX_BurnerTestAccess;

namespace {

class DriveTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(burner.init(4, kName), VRX_OK);
        rec->Clear();
    }
    RecordingBurner rec;
    VRX_Burner burner;
};

}  // namespace

TEST(BurnerBeforeInit, OperationsNeedingTheComponentFailAndCallNothing) {
    RecordingBurner rec;
    VRX_Burner burner;
    _QelDriveInfo drive{};
    _QelDiscInfo disc{};
    int object = 0;
    EXPECT_EQ(burner.burn(0, nullptr, 8), VRX_FAIL);
    EXPECT_EQ(burner.burn(1, &object, 8), VRX_FAIL);  // no recorder
    EXPECT_EQ(burner.erase(1), VRX_FAIL);
    EXPECT_EQ(burner.ejectDisc(true), VRX_FAIL);
    EXPECT_EQ(burner.getDriveInfo(0, &drive), VRX_FAIL);
    EXPECT_EQ(burner.getDiscInfo(0, &disc), VRX_FAIL);
    EXPECT_EQ(burner.selectDrive(true, 0), VRX_FAIL);
    // Without a drive object the number is still taken.
    EXPECT_EQ(burner.selectDrive(false, 2), VRX_FAIL);
    EXPECT_EQ(Access::driveNumber(burner), 2);
    EXPECT_EQ(burner.setWriteMode(1, true, true, 0), VRX_OK);
    IOInfo io{};
    ReportInfo report{};
    FSInfo fs{};
    EXPECT_EQ(burner.setIOInfo(&io), VRX_OK);
    EXPECT_EQ(burner.setReportInfo(&report), VRX_OK);
    EXPECT_EQ(burner.setFSInfo(&fs), VRX_OK);
    EXPECT_THAT(rec->calls, IsEmpty());
    EXPECT_EQ(rec->LiveTotal(), 0);
}

TEST(BurnerSettings, NullRecordsAreRefused) {
    VRX_Burner burner;
    EXPECT_EQ(burner.setIOInfo(nullptr), VRX_FAIL);
    EXPECT_EQ(burner.setReportInfo(nullptr), VRX_FAIL);
    EXPECT_EQ(burner.setFSInfo(nullptr), VRX_FAIL);
}

TEST(BurnerWriteMode, FlagsOfMethodOptionsAndFinalMode) {
    VRX_Burner burner;
    auto flags = [&] { return Access::io(burner).writeFlags; };
    burner.setWriteMode(0, false, true, 0);
    EXPECT_EQ(flags(), 0x2u);
    burner.setWriteMode(1, true, false, 2);
    EXPECT_EQ(flags(), 0x21101u);
    burner.setWriteMode(1, false, true, 1);
    EXPECT_EQ(flags(), 0x10011u);
    // An unknown method keeps the old bits; a bit already set is not added twice.
    burner.setWriteMode(5, false, false, 0);
    EXPECT_EQ(flags(), 0x11011u);
    burner.setWriteMode(4, false, false, 0);
    EXPECT_EQ(flags(), 0x11011u);
    burner.setWriteMode(-1, false, false, 7);
    EXPECT_EQ(flags(), 0x11011u);
    burner.setWriteMode(2, false, true, 3);
    EXPECT_EQ(flags(), 0x4u);
    burner.setWriteMode(3, true, true, 0);
    EXPECT_EQ(flags(), 0x8u);
}

TEST_F(DriveTest, ChooserFillsTheSelectionOrTheNumberIsSetAndOpened) {
    EXPECT_EQ(burner.selectDrive(true, 9), VRX_OK);
    const uint32_t* selection = Access::driveSelection(burner);
    EXPECT_EQ(selection[0], 7u);
    EXPECT_EQ(selection[1], 3u);
    EXPECT_EQ(selection[3], 9u);
    EXPECT_EQ(burner.selectDrive(false, 1), VRX_OK);
    EXPECT_EQ(Access::driveNumber(burner), 1);
    EXPECT_EQ(selection[0], 7u);  // the other words stay
    ASSERT_EQ(rec->calls.size(), 2u);
    EXPECT_EQ(rec->calls[0].method, "ChooseDrive");
    EXPECT_EQ(rec->calls[1].Text(), "OpenDrive(1)");
    // A drive picked through the chooser is the one that is burned to.
    rec->chosenDrive.driveNumber = 5;
    EXPECT_EQ(burner.selectDrive(true, 2), VRX_OK);
    EXPECT_EQ(burner.burn(0, nullptr, 8), VRX_OK);
    EXPECT_EQ(Value(rec->recorderIO.at(0).target), 5u);
    EXPECT_EQ(rec->CallsOf("UnlockDrive"), std::vector<std::string>{"UnlockDrive(5)"});
}

TEST_F(DriveTest, InfoQueriesUseTheirOwnDriveAndReportFailure) {
    rec->driveInfo.maxWriteSpeed = 24;
    std::strcpy(rec->driveInfo.vendor, "VCDALBUM");
    _QelDriveInfo drive{};
    _QelDiscInfo disc{};
    EXPECT_EQ(burner.getDriveInfo(1, &drive), VRX_OK);  // driveNumber is 0
    EXPECT_EQ(drive.maxWriteSpeed, 24);
    EXPECT_STREQ(drive.vendor, "VCDALBUM");
    EXPECT_EQ(burner.getDiscInfo(2, &disc), VRX_OK);
    EXPECT_THAT(rec->CallTexts(), ElementsAre("QueryDriveInfo(1, " + Ptr(&drive) + ")",
                                              "QueryDiscInfo(2, " + Ptr(&disc) + ")"));
    EXPECT_EQ(burner.getDriveInfo(0, nullptr), VRX_FAIL);
    EXPECT_EQ(burner.getDiscInfo(0, nullptr), VRX_FAIL);
    EXPECT_EQ(rec->calls.size(), 2u);
    rec->SetResult("QueryDriveInfo", E_FAIL);
    rec->SetResult("QueryDiscInfo", S_FALSE);  // only 0 is success
    EXPECT_EQ(burner.getDriveInfo(0, &drive), VRX_FAIL);
    EXPECT_EQ(burner.getDiscInfo(0, &disc), VRX_FAIL);
}

TEST_F(DriveTest, BurnProjectBuildsSetsUpRecordsUnlocks) {
    burner.selectDrive(false, 2);
    rec->Clear();
    EXPECT_EQ(burner.burn(0, nullptr, 8), VRX_OK);
    ASSERT_EQ(rec->recorderIO.size(), 1u);
    EXPECT_THAT(rec->CallTexts(),
                ElementsAre("BuildProject(81)", "GetMaxWriteSpeed(2)",
                            "SetupRecorder(" + Ptr(&Access::io(burner)) + ", " + Ptr(&Access::report(burner)) + ")",
                            "StartRecording(1)", "EndRecording()", "UnlockDrive(2)"));
    const IOInfo& io = rec->recorderIO[0];
    EXPECT_EQ(Value(io.sourceKind), 7);
    EXPECT_EQ(Value(io.source), 0x51u);
    EXPECT_EQ(Value(io.sourceStart), 150);
    EXPECT_EQ(Value(io.sourceSectorSize), 2352);
    EXPECT_EQ(Value(io.targetKind), 2);
    EXPECT_EQ(Value(io.target), 2u);
    EXPECT_EQ(Value(io.targetStart), 150);
    EXPECT_EQ(Value(io.targetSectorSize), 2448);
    EXPECT_EQ(Value(io.formatCode), 26);
    EXPECT_EQ(Value(io.speed), 8.0f);
    EXPECT_EQ(Value(io.writeFlags), 2u);
    const ReportInfo& report = rec->recorderReport[0];
    EXPECT_EQ(Value(report.reportKind), 4);
    EXPECT_EQ(Value(report.reportFlag), 1u);
    EXPECT_EQ(Value(report.reportText), kName);
}

// Modes 1, 2, 3, 5 write the host's object to the drive; mode 4 writes the
// project to the object.
class BurnMode : public testing::TestWithParam<std::pair<int, uint16_t>> {};

TEST_P(BurnMode, SourceAndTargetOfTheMode) {
    const auto [mode, sourceKind] = GetParam();
    RecordingBurner rec;
    VRX_Burner burner;
    ASSERT_EQ(burner.init(4, kName), VRX_OK);
    burner.selectDrive(false, 3);
    rec->Clear();
    int object = 0;
    EXPECT_EQ(burner.burn(mode, &object, 4), VRX_OK);
    ASSERT_EQ(rec->recorderIO.size(), 1u);
    const IOInfo& io = rec->recorderIO[0];
    const auto objectWord = reinterpret_cast<uintptr_t>(&object);
    EXPECT_EQ(Value(io.sourceKind), sourceKind);
    if (mode == 4) {
        EXPECT_EQ(rec->calls.front().Text(), "BuildProject(81)");
        EXPECT_EQ(Value(io.source), 0x51u);
        EXPECT_EQ(Value(io.targetKind), 1);
        EXPECT_EQ(Value(io.target), objectWord);  // the whole pointer, also on 64-bit
    } else {
        EXPECT_EQ(rec->calls.front().method, "GetMaxWriteSpeed");
        EXPECT_EQ(Value(io.source), objectWord);
        EXPECT_EQ(Value(io.targetKind), 2);
        EXPECT_EQ(Value(io.target), 3u);
    }
    EXPECT_EQ(Value(io.formatCode), 26);
    EXPECT_EQ(Value(io.speed), 4.0f);
}

INSTANTIATE_TEST_SUITE_P(Modes, BurnMode,
                         testing::Values(std::pair{1, uint16_t{6}}, std::pair{2, uint16_t{5}},
                                         std::pair{3, uint16_t{9}}, std::pair{5, uint16_t{1}},
                                         std::pair{4, uint16_t{7}}));

TEST_F(DriveTest, BurnWithoutObjectFailsAndLeavesTheRecordAlone) {
    for (int mode : {1, 2, 3, 5}) EXPECT_EQ(burner.burn(mode, nullptr, 8), VRX_FAIL) << mode;
    IOInfo zero{};
    EXPECT_EQ(std::memcmp(&Access::io(burner), &zero, sizeof zero), 0);
    EXPECT_THAT(rec->calls, IsEmpty());
}

TEST_F(DriveTest, UnknownModeKeepsTheHostsSourceAndTarget) {
    IOInfo io{};
    io.sourceKind = 11;
    io.source = 1234;
    io.targetKind = 12;
    io.target = 5678;
    io.writeFlags = 0x1000;
    burner.setIOInfo(&io);
    EXPECT_EQ(burner.burn(7, nullptr, 8), VRX_OK);
    EXPECT_EQ(burner.burn(-1, nullptr, 8), VRX_OK);
    ASSERT_EQ(rec->recorderIO.size(), 2u);
    const IOInfo& sent = rec->recorderIO[1];
    EXPECT_EQ(Value(sent.sourceKind), 11);
    EXPECT_EQ(Value(sent.source), 1234u);
    EXPECT_EQ(Value(sent.targetKind), 12);
    EXPECT_EQ(Value(sent.target), 5678u);
    EXPECT_EQ(Value(sent.sourceSectorSize), 2352);
    EXPECT_EQ(Value(sent.writeFlags), 0x1002u);
    EXPECT_EQ(Value(sent.speed), 8.0f);
}

TEST_F(DriveTest, SpeedIsLimitedToTheDrivesMaximum) {
    rec->maxWriteSpeed = 16;
    auto stored = [&](short speed) {
        burner.burn(0, nullptr, speed);
        return Value(rec->recorderIO.back().speed);
    };
    EXPECT_EQ(stored(24), 16.0f);
    EXPECT_EQ(stored(8), 8.0f);
    EXPECT_EQ(stored(0), 0.0f);
    EXPECT_EQ(stored(-3), -3.0f);  // compared as signed numbers
    // A drive that cannot tell its maximum gets the requested speed.
    rec->SetResult("GetMaxWriteSpeed", E_FAIL);
    EXPECT_EQ(stored(24), 24.0f);
}

TEST_F(DriveTest, FailedBuildStopsTheBurn) {
    rec->SetResult("BuildProject", E_FAIL);
    EXPECT_EQ(burner.burn(0, nullptr, 8), VRX_FAIL);
    EXPECT_EQ(burner.burn(4, nullptr, 8), VRX_FAIL);
    EXPECT_THAT(rec->Methods(), ElementsAre("BuildProject", "BuildProject"));
}

TEST_F(DriveTest, RefusedSettingsShowTheMessageAndGiveTen) {
    rec->SetResult("SetupRecorder", E_FAIL);
    testing::internal::CaptureStderr();
    EXPECT_EQ(burner.burn(0, nullptr, 8), VRX_ERR_RECORDER_SETUP);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), testing::StartsWith("VRX burner init failure: "));
    EXPECT_THAT(rec->Methods(), ElementsAre("BuildProject", "GetMaxWriteSpeed", "SetupRecorder"));
    // What burn wrote stays.
    EXPECT_EQ(Value(Access::io(burner).formatCode), 26);
}

TEST_F(DriveTest, RecordingFailuresAreNotReported) {
    rec->SetResult("StartRecording", E_FAIL);
    rec->SetResult("EndRecording", E_FAIL);
    rec->SetResult("UnlockDrive", E_FAIL);
    EXPECT_EQ(burner.burn(0, nullptr, 8), VRX_OK);
}

TEST(BurnerPartlyInitialised, BurnWithoutRecorderFailsAfterFillingTheRecord) {
    RecordingBurner rec;
    rec->Refuse(vcdalbum::testing::BurnerClass::Recorder);
    VRX_Burner burner;
    ASSERT_EQ(burner.init(4, kName), VRX_ERR_RECORDER_OBJECT);
    EXPECT_EQ(burner.burn(0, nullptr, 8), VRX_FAIL);  // no project handle: built as 0
    EXPECT_THAT(rec->CallTexts(), ElementsAre("BuildProject(0)"));
    EXPECT_EQ(Value(Access::io(burner).sourceKind), 7);
    EXPECT_EQ(Value(Access::io(burner).formatCode), 26);
}

TEST_F(DriveTest, EraseOnTheSelectedDrive) {
    burner.selectDrive(false, 4);
    rec->Clear();
    rec->SetResult("EraseDisc", E_FAIL);
    EXPECT_EQ(burner.erase(2), VRX_OK);
    EXPECT_THAT(rec->CallTexts(),
                ElementsAre("SetEraseDrive(4)", "SetEraseMode(2)", "EraseDisc()", "FinishErase()"));
}

TEST_F(DriveTest, EjectStopsUnlocksEjectsAndLoadCloses) {
    burner.selectDrive(false, 1);
    rec->Clear();
    EXPECT_EQ(burner.ejectDisc(true), VRX_OK);
    EXPECT_EQ(burner.ejectDisc(false), VRX_OK);
    EXPECT_THAT(rec->CallTexts(), ElementsAre("StopDrive(1)", "UnlockDrive(1)", "EjectMedia(1)", "LoadMedia(1)"));
}
