#include "project/folder_project.h"

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

#include "doubles/scratch_dir.h"
#include "console/errors.h"

namespace vcdalbum::host {
namespace {
namespace fs = std::filesystem;

TEST(FolderOrder, NamesSortNaturallyWhateverTheCaseAndLeadingZeros) {
    std::vector<std::string> names = {"img10.jpg", "IMG9.jpg", "img009.jpg", "img9.jpg", "Day 10", "day 2",
                                      "b.jpg",     "A.jpg",    "a.jpg",      "img",      "img2b", "img2a"};
    std::sort(names.begin(), names.end(), NaturalLess);
    // Ties (case, leading zeros) fall back to byte order, so the order is total.
    const std::vector<std::string> expected = {"A.jpg", "a.jpg",    "b.jpg",    "day 2",    "Day 10",   "img",
                                               "img2a", "img2b",    "IMG9.jpg", "img009.jpg", "img9.jpg", "img10.jpg"};
    EXPECT_EQ(names, expected);
    // Digit runs longer than any integer still compare by value.
    EXPECT_TRUE(NaturalLess("x99999999999999999999999", "x100000000000000000000000"));
}

TEST(FolderOrder, OnlyRealDatesCount) {
    EXPECT_EQ(SortableTakenDate("2024:07:14 18:30:05"), "20240714183005");
    EXPECT_EQ(SortableTakenDate(std::string("2024-07-14 18:30:05\0", 20)), "20240714183005");
    EXPECT_EQ(SortableTakenDate("2024:07:14 18:30:05 "), "20240714183005");
    for (const char* bad : {"", "0000:00:00 00:00:00", "    :  :     :  :  ", "2024:13:14 18:30:05",
                            "2024:07:14 24:30:05", "2024:07:14", "2024:07-14 18:30:05", "2024:07:14 18:30:05+02"})
        EXPECT_EQ(SortableTakenDate(bad), std::nullopt) << '"' << bad << '"';
}

std::vector<std::string> Names(const std::vector<PictureFile>& pictures) {
    std::vector<std::string> out;
    for (const auto& p : pictures) out.push_back(p.path.filename().string());
    return out;
}

TEST(FolderOrder, DatesOrderTheAlbumOnlyWhenEveryPictureHasOne) {
    std::vector<PictureFile> dated = {{"/a/p2.jpg", "2020:01:01 10:00:00"},
                                      {"/a/p10.jpg", "2019:12:31 23:59:59"},
                                      {"/a/p3.jpg", "2020:01:01 10:00:00"},
                                      {"/a/p1.jpg", "2020:01:02 08:00:00"}};
    EXPECT_TRUE(OrderPictures(dated));
    EXPECT_EQ(Names(dated), (std::vector<std::string>{"p10.jpg", "p2.jpg", "p3.jpg", "p1.jpg"}));

    std::vector<PictureFile> mixed = dated;
    mixed[2].takenDate = "0000:00:00 00:00:00";
    EXPECT_FALSE(OrderPictures(mixed));
    EXPECT_EQ(Names(mixed), (std::vector<std::string>{"p1.jpg", "p2.jpg", "p3.jpg", "p10.jpg"}));
}

class FolderScan : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(root_); }
    // Files need not hold pixels: the scan only reads their dates, and an
    // unreadable picture just has none.
    void Touch(const fs::path& relative) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << "x";
    }
    // A folder of each test's own: CTest runs the cases side by side.
    vcdalbum::testing::ScratchDir scratch_{"vcdalbum-scan-"};
    const fs::path root_ = scratch_.path() / "Summer 2024";
};

TEST_F(FolderScan, SubfoldersBecomeAlbumsAfterTheFolderOwnPictures) {
    for (const char* f : {"cover.jpg", "intro.mp3", "Day 10/b.jpg", "Day 10/a.png", "Day 10/song.ogg",
                          "Day 10/notes.txt", "Day 10/extra/deep.jpg", "Day 2/x.jpeg", "Only music/tune.wav",
                          ".trash/old.jpg", "Day 2/.hidden.jpg", "Day 2/._x.jpeg"})
        Touch(f);
    // A trailing separator must not cost the disc its name.
    const FolderDisc disc = ScanFolder(root_.string() + "/", 2);
    const Project& p = disc.project;
    EXPECT_EQ(p.title, "Summer 2024");
    ASSERT_EQ(p.albums.size(), 3u);
    EXPECT_EQ(p.albums[0].title, "Summer 2024");
    EXPECT_EQ(p.albums[0].music, std::vector<fs::path>{root_ / "intro.mp3"});
    EXPECT_EQ(p.albums[1].title, "Day 2");
    EXPECT_EQ(p.albums[1].pictures, std::vector<fs::path>{root_ / "Day 2" / "x.jpeg"});
    EXPECT_EQ(p.albums[2].title, "Day 10");
    EXPECT_EQ(p.albums[2].pictures, (std::vector<fs::path>{root_ / "Day 10" / "a.png", root_ / "Day 10" / "b.jpg"}));
    EXPECT_EQ(p.albums[2].music, std::vector<fs::path>{root_ / "Day 10" / "song.ogg"});
    EXPECT_EQ(disc.albums[2].ignored, (std::vector<std::string>{"extra/", "notes.txt"}));
    EXPECT_EQ(disc.withoutPictures, std::vector<std::string>{"Only music/"});
    for (const Album& a : p.albums) {
        EXPECT_EQ(a.secondsPerPicture, 5);
        EXPECT_EQ(a.transitions.kind, TransitionSetting::Kind::Every);
        EXPECT_EQ(a.transitions.effect, 14);  // CrossFade
    }
    EXPECT_EQ(p.menus, (std::vector<std::vector<int>>{{0, 1, 2}}));
}

TEST_F(FolderScan, AFolderWithoutVisiblePicturesIsRefusedByName) {
    for (const char* f : {".hidden/a.jpg", ".b.jpg", "readme.txt", "Album/Deeper/c.jpg"}) Touch(f);
    for (const fs::path& folder : {root_, root_ / "readme.txt", root_ / "missing"}) {
        try {
            ScanFolder(folder, 1);
            ADD_FAILURE() << folder << " was accepted";
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find(folder.string()), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace vcdalbum::host
