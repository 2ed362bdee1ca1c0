// Pictures as segment stills, built into a disc.
#include "burner_test_support.h"

namespace vcdalbum::components::burner::testing {
namespace {

TEST(PictureEncoder, JpegBecomesASegmentStillOnTheDisc) {
    if (!HaveTool("ffmpeg") || !HaveTool("vcdxbuild")) GTEST_SKIP() << "ffmpeg or vcdxbuild is missing";
    ScratchDir dir;
    // A wide picture: it is fitted with black bands above and below.
    ASSERT_EQ(RunShell("ffmpeg -nostdin -v error -f lavfi -i testsrc=s=640x240 -frames:v 1 '" +
                       (dir / "wide.jpg").string() + "' 2>&1")
                  .exitCode,
              0);
    auto encoder = Create<vcdalbum::burner::IPictureEncoder>(vcdalbum::burner::CLSID_PictureEncoder, vcdalbum::burner::IID_IPictureEncoder);
    int32_t nRet = -1;
    ASSERT_EQ(encoder->ConvertPicture(0, (dir / "wide.jpg").c_str(), (dir / "still.mpg").c_str(), &nRet), com::S_OK);
    EXPECT_EQ(nRet, 0);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"still.mpg", "wide.jpg"}));

    // 10:11 pixels, which MPEG-1 codes as its 200:219 aspect ratio.
    const CommandResult probe = RunShell("ffprobe -v error -show_entries stream=codec_name,width,height,sample_aspect_ratio "
                                         "-show_entries format=format_name -of compact '" +
                                         (dir / "still.mpg").string() + "'");
    EXPECT_NE(probe.output.find("codec_name=mpeg1video|width=352|height=240|sample_aspect_ratio=200:219"),
              std::string::npos)
        << probe.output;
    // The band above the picture is black in TV range.
    const CommandResult top = RunShell("ffmpeg -nostdin -v error -i '" + (dir / "still.mpg").string() +
                                       "' -frames:v 1 -vf crop=352:8:0:0 -pix_fmt yuv420p -f rawvideo - | od -An -tu1 -N8");
    EXPECT_EQ(top.output.find_first_not_of(" 16\n"), std::string::npos) << top.output;

    auto project = NewProjectObject();
    uint32_t handle = 0;
    ASSERT_EQ(project->NewProject(&handle, 4), com::S_OK);
    ASSERT_TRUE(MakeStream(dir / "clip.mpg", "gray", 4));
    ASSERT_EQ(project->AddSequence(handle, "clip", (dir / "clip.mpg").c_str(), "0", nullptr, nullptr), com::S_OK);
    ASSERT_EQ(project->AddSegment(handle, "still", (dir / "still.mpg").c_str()), com::S_OK);
    NodeRecord menu(PBC_SELECTION_LIST, "Menu");
    menu.Item("still");
    NodeRecord clip(PBC_PLAY_LIST, "Clip");
    clip.PlayItem("clip").Prev("Menu");
    menu.Select("Clip");
    ASSERT_EQ(project->AddPbcNode(handle, menu.get()), com::S_OK);
    ASSERT_EQ(project->AddPbcNode(handle, clip.get()), com::S_OK);
    ASSERT_EQ(project->BuildProject(handle), com::S_OK);
    const CommandResult info = RunShell("vcd-info -B -c '" + (WorkDirOf(handle) / "disc.cue").string() + "' -p 2>&1");
    EXPECT_NE(info.output.find("play-item: SEGMENT[0]"), std::string::npos) << info.output;
    project->CloseProject(handle);
}

// A camera's sideways photo stands upright on the disc: a wide picture marked
// "turn 90 degrees clockwise" (EXIF orientation 6) becomes a tall one, with
// black bands left and right instead of above and below.
TEST(PictureEncoder, StillIsTurnedUprightByExifOrientation) {
    if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is missing";
    ScratchDir dir;
    ASSERT_EQ(RunShell("ffmpeg -nostdin -v error -f lavfi -i testsrc=s=640x240 -frames:v 1 '" +
                       (dir / "wide.jpg").string() + "' 2>&1")
                  .exitCode,
              0);
    const std::string tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
    const std::string exif = std::string("\xFF\xE1\0", 3) + static_cast<char>(tiff.size() + 8) + std::string("Exif\0\0", 6) + tiff;
    std::string jpeg = ReadFile(dir / "wide.jpg");
    jpeg.insert(2, exif);
    WriteFile(dir / "sideways.jpg", jpeg);

    auto encoder = Create<vcdalbum::burner::IPictureEncoder>(vcdalbum::burner::CLSID_PictureEncoder, vcdalbum::burner::IID_IPictureEncoder);
    int32_t nRet = -1;
    ASSERT_EQ(encoder->ConvertPicture(0, (dir / "sideways.jpg").c_str(), (dir / "still.mpg").c_str(), &nRet), com::S_OK);
    // The luma plane of a w x h corner of the still.
    auto lumaOf = [&](int w, int h) {
        return RunShell("ffmpeg -nostdin -v error -i '" + (dir / "still.mpg").string() + "' -frames:v 1 -vf crop=" +
                        std::to_string(w) + ":" + std::to_string(h) + ":0:0 -pix_fmt yuv420p -f rawvideo - | od -An -tu1 -v -N" +
                        std::to_string(w * h))
            .output;
    };
    const std::string left = lumaOf(8, 240), top = lumaOf(352, 8);
    EXPECT_EQ(left.find_first_not_of(" 16\n"), std::string::npos) << "left band not black";
    EXPECT_NE(top.find_first_not_of(" 16\n"), std::string::npos) << "the picture does not reach the top";
}

TEST(PictureEncoder, UnreadablePictureWritesNothing) {
    ScratchDir dir;
    WriteFile(dir / "bad.jpg", "no picture here");
    auto encoder = Create<vcdalbum::burner::IPictureEncoder>(vcdalbum::burner::CLSID_PictureEncoder, vcdalbum::burner::IID_IPictureEncoder);
    int32_t nRet = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(encoder->ConvertPicture(0, (dir / "bad.jpg").c_str(), (dir / "still.mpg").c_str(), &nRet), QEL_E_PICTURE);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("picture '" + (dir / "bad.jpg").string() + "'"),
              std::string::npos);
    EXPECT_EQ(nRet, 1);
    EXPECT_EQ(encoder->ConvertPicture(0, (dir / "bad.jpg").c_str(), nullptr, &nRet), com::E_POINTER);
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"bad.jpg"});
}

}  // namespace
}  // namespace vcdalbum::components::burner::testing
