// Drive and disc information, the drive chooser, trays, and the cdrdao
// command lines, with stand-ins for optical drives and for cdrdao.
#include <cdio/cdio.h>

#include "burner_test_support.h"
#include "cdrdao.h"
#include "image_recorder.h"

namespace vcdalbum::components::burner::testing {
namespace {

FakeDrives::Drive Reader(const std::string& device) {
    FakeDrives::Drive drive;
    drive.device = device;
    DriveInfoFromCdio("READER", "DVD-ROM", "1.00", CDIO_DRIVE_CAP_READ_CD_R, 0, CDIO_DRIVE_CAP_MISC_EJECT, 0, drive.info);
    return drive;
}

FakeDrives::Drive Writer(const std::string& device, int16_t speed) {
    FakeDrives::Drive drive;
    drive.device = device;
    DriveInfoFromCdio("WRITER", "CD-RW 52X", "2.10", CDIO_DRIVE_CAP_READ_CD_R,
                      CDIO_DRIVE_CAP_WRITE_CD_R | CDIO_DRIVE_CAP_WRITE_CD_RW, CDIO_DRIVE_CAP_MISC_EJECT, speed, drive.info);
    drive.maxWriteSpeed = speed;
    drive.disc.discType = QEL_DISC_CD_RW;
    drive.disc.status = QEL_STATUS_APPENDABLE;
    drive.disc.erasable = 1;
    drive.disc.capacitySectors = 359849;
    drive.disc.usedSectors = 1000;
    drive.disc.freeSectors = 358849;
    return drive;
}

TEST(DriveRecords, LayoutsKeepTheirSizes) {
    // 9 + 17 + 5 text bytes and the drive number, then words; packed.
    EXPECT_EQ(sizeof(_QelDriveInfo), 44u);
    EXPECT_EQ(offsetof(_QelDriveInfo, capabilities), 32u);
    EXPECT_EQ(offsetof(_QelDriveInfo, bufferSizeKiB), 42u);
    EXPECT_EQ(sizeof(_QelDiscInfo), 18u);
    EXPECT_EQ(offsetof(_QelDiscInfo, capacitySectors), 4u);
    EXPECT_EQ(offsetof(_QelDiscInfo, tracks), 16u);
}

TEST(DriveRecords, CdioCapabilitiesMapToDriveInfo) {
    _QelDriveInfo info;
    DriveInfoFromCdio("PLEXTOR ", "DVDR   PX-760A  ", "1.07", CDIO_DRIVE_CAP_READ_CD_R,
                      CDIO_DRIVE_CAP_WRITE_CD_R, CDIO_DRIVE_CAP_MISC_EJECT | CDIO_DRIVE_CAP_MISC_LOCK, 48, info);
    EXPECT_STREQ(info.vendor, "PLEXTOR ");
    EXPECT_STREQ(info.model, "DVDR   PX-760A  ");
    EXPECT_STREQ(info.revision, "1.07");
    EXPECT_EQ(info.capabilities,
              QEL_DRIVE_CAN_READ_CD | QEL_DRIVE_CAN_WRITE_CD_R | QEL_DRIVE_CAN_EJECT | QEL_DRIVE_CAN_LOCK);
    EXPECT_EQ(info.maxWriteSpeed, 48);

    // Overlong texts are cut and stay terminated; a drive that cannot say
    // what it does claims nothing, and a reader has no write speed.
    DriveInfoFromCdio("VENDORNAMETOOLONG", "A MODEL NAME LONGER THAN SIXTEEN", "12345", CDIO_DRIVE_CAP_UNKNOWN,
                      uint32_t{CDIO_DRIVE_CAP_UNKNOWN} | CDIO_DRIVE_CAP_WRITE_CD_R, CDIO_DRIVE_CAP_ERROR, 8, info);
    EXPECT_STREQ(info.vendor, "VENDORNA");
    EXPECT_STREQ(info.model, "A MODEL NAME LON");
    EXPECT_STREQ(info.revision, "1234");
    EXPECT_EQ(info.capabilities, 0u);
    EXPECT_EQ(info.maxWriteSpeed, 0);
}

TEST(ImageRecorderDrive, ReportsAWritableRecorderWithABlankRewritableDisc) {
    ScopedDrives none(std::make_unique<FakeDrives>(std::vector<FakeDrives::Drive>{}, nullptr));
    ComPtr<vcdalbum::burner::IDriveControl> drives = NewDriveControlObject();
    _QelDriveInfo info;
    uint32_t error = 5;
    ASSERT_EQ(drives->QueryDriveInfo(0, &info, &error), com::S_OK);
    EXPECT_EQ(error, 0u);
    EXPECT_STREQ(info.vendor, "VCDALBUM");
    EXPECT_TRUE(info.capabilities & QEL_DRIVE_CAN_WRITE_CD_R);
    EXPECT_TRUE(info.capabilities & QEL_DRIVE_CAN_WRITE_CD_RW);
    EXPECT_TRUE(info.capabilities & QEL_DRIVE_IS_IMAGE_RECORDER);
    int16_t speed = 0;
    ASSERT_EQ(drives->GetMaxWriteSpeed(0, &speed, &error), com::S_OK);
    EXPECT_EQ(speed, info.maxWriteSpeed);

    EraseImageDisc();
    _QelDiscInfo disc;
    ASSERT_EQ(drives->QueryDiscInfo(0, &disc, &error), com::S_OK);
    EXPECT_EQ(disc.discType, QEL_DISC_CD_RW);
    EXPECT_EQ(disc.status, QEL_STATUS_BLANK);
    EXPECT_EQ(disc.erasable, 1);
    EXPECT_EQ(disc.capacitySectors, 360000u);
    EXPECT_EQ(disc.usedSectors, 0u);
    EXPECT_EQ(disc.freeSectors, 360000u);

    for (auto call : {&vcdalbum::burner::IDriveControl::OpenDrive, &vcdalbum::burner::IDriveControl::StopDrive,
                      &vcdalbum::burner::IDriveControl::UnlockDrive, &vcdalbum::burner::IDriveControl::EjectMedia,
                      &vcdalbum::burner::IDriveControl::LoadMedia})
        EXPECT_EQ((drives.get()->*call)(0, &error), com::S_OK);

    // Counting drives by asking until one fails is quiet; other commands to
    // a drive that is not there say so.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(drives->QueryDriveInfo(1, &info, &error), QEL_E_NO_DRIVE);
    EXPECT_EQ(error, static_cast<uint32_t>(QEL_E_NO_DRIVE));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(drives->EjectMedia(-1, &error), QEL_E_NO_DRIVE);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("there is no drive -1"), std::string::npos);
    EXPECT_EQ(drives->QueryDriveInfo(0, nullptr, &error), com::E_POINTER);
}

TEST(OpticalDrive, InfoTrayAndSpeedComeFromTheDrive) {
    std::vector<std::string> log;
    ScopedDrives fake(std::make_unique<FakeDrives>(
        std::vector<FakeDrives::Drive>{Reader("/dev/sr0"), Writer("/dev/sr1", 24)}, &log));
    ComPtr<vcdalbum::burner::IDriveControl> drives = NewDriveControlObject();
    _QelDriveInfo info;
    uint32_t error = 0;
    ASSERT_EQ(drives->QueryDriveInfo(2, &info, &error), com::S_OK);
    EXPECT_STREQ(info.vendor, "WRITER");
    EXPECT_EQ(info.driveNumber, 2);
    _QelDiscInfo disc;
    ASSERT_EQ(drives->QueryDiscInfo(2, &disc, &error), com::S_OK);
    EXPECT_EQ(disc.status, QEL_STATUS_APPENDABLE);
    EXPECT_EQ(disc.freeSectors, 358849u);
    int16_t speed = 0;
    ASSERT_EQ(drives->GetMaxWriteSpeed(2, &speed, &error), com::S_OK);
    EXPECT_EQ(speed, 24);

    drives->EjectMedia(1, &error);
    drives->UnlockDrive(2, &error);
    drives->LoadMedia(2, &error);
    EXPECT_EQ(log, (std::vector<std::string>{"eject /dev/sr0", "unlock /dev/sr1", "load /dev/sr1"}));
}

TEST(DriveChooser, PicksTheFirstCdRWriterElseTheImageRecorder) {
    auto choose = [] {
        auto chooser = Create<vcdalbum::burner::IDriveChooser>(vcdalbum::burner::CLSID_DriveChooser, vcdalbum::burner::IID_IDriveChooser);
        vcdalbum::burner::DriveSelection selection{9, 9, 9, 9};
        EXPECT_EQ(chooser->ChooseDrive(&selection), com::S_OK);
        return selection;
    };
    {
        ScopedDrives fake(std::make_unique<FakeDrives>(
            std::vector<FakeDrives::Drive>{Reader("/dev/sr0"), Writer("/dev/sr1", 16), Writer("/dev/sr2", 48)}, nullptr));
        const vcdalbum::burner::DriveSelection selection = choose();
        EXPECT_EQ(selection.driveNumber, 2);
        EXPECT_EQ(selection.word0, 4u);  // three drives and the image recorder
        EXPECT_EQ(selection.word3, 16u);
    }
    {
        ScopedDrives fake(std::make_unique<FakeDrives>(std::vector<FakeDrives::Drive>{Reader("/dev/sr0")}, nullptr));
        const vcdalbum::burner::DriveSelection selection = choose();
        EXPECT_EQ(selection.driveNumber, 0);
        EXPECT_TRUE(selection.word2 & QEL_DRIVE_IS_IMAGE_RECORDER);
    }
}

TEST(CdrdaoCommands, WriteAndBlankCommandLines) {
    EXPECT_EQ(CdrdaoWriteCommand("/dev/sr0", 8, "/w/disc.cue"),
              (std::vector<std::string>{"cdrdao", "write", "--device", "/dev/sr0", "--speed", "8", "--eject", "-n",
                                        "/w/disc.cue"}));
    // No speed: the drive picks its own.
    EXPECT_EQ(CdrdaoWriteCommand("/dev/sr0", 0, "/w/disc.cue"),
              (std::vector<std::string>{"cdrdao", "write", "--device", "/dev/sr0", "--eject", "-n", "/w/disc.cue"}));
    EXPECT_EQ(CdrdaoBlankCommand("/dev/sr1", 0),
              (std::vector<std::string>{"cdrdao", "blank", "--device", "/dev/sr1", "--blank-mode", "minimal"}));
    EXPECT_EQ(CdrdaoBlankCommand("/dev/sr1", 1).back(), "full");
}

TEST(CdrdaoCommands, EraseRunsCdrdaoAndReportsItsExitCode) {
    RecordingCdrdao cdrdao;
    ScopedDrives fake(std::make_unique<FakeDrives>(std::vector<FakeDrives::Drive>{Writer("/dev/sr1", 24)}, nullptr));
    auto eraser = Create<vcdalbum::burner::IDiscEraser>(vcdalbum::burner::CLSID_DiscEraser, vcdalbum::burner::IID_IDiscEraser);
    ASSERT_EQ(eraser->SetEraseDrive(1), com::S_OK);
    ASSERT_EQ(eraser->SetEraseMode(0), com::S_OK);
    // cdrdao's own output is passed on in verbose runs only; a failure
    // shows how it ended in any run.
    for (const char* verbose : {"0", "1"}) {
        ScopedEnv asked("VCDALBUM_VERBOSE", verbose);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(eraser->EraseDisc(), com::S_OK);
        EXPECT_EQ(::testing::internal::GetCapturedStderr().find("cdrdao stand-in: blank") != std::string::npos,
                  *verbose == '1');
    }
    EXPECT_EQ(cdrdao.Calls(), "blank --device /dev/sr1 --blank-mode minimal\nblank --device /dev/sr1 --blank-mode minimal\n");

    cdrdao.ExitWith(4);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(eraser->EraseDisc(), QEL_E_RECORDER_TOOL);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("failed with exit code 4"), std::string::npos);
    EXPECT_NE(said.find("cdrdao stand-in: blank"), std::string::npos) << said;
    EXPECT_EQ(eraser->FinishErase(), com::S_OK);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(eraser->SetEraseDrive(5), QEL_E_NO_DRIVE);
    ::testing::internal::GetCapturedStderr();
}

TEST(CdrdaoCommands, MissingCdrdaoIsReported) {
    ScopedEnv path("PATH", "/nonexistent");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCdrdao(CdrdaoBlankCommand("/dev/sr0", 0)), QEL_E_RECORDER_TOOL);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("cdrdao could not be run"), std::string::npos);
}

}  // namespace
}  // namespace vcdalbum::components::burner::testing
