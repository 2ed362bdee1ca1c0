// The Authoring object: construction, setters, copying.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "authoring_test_access.h"

using Access = AuthoringTestAccess;

namespace {

void Progress(int) {}

}  // namespace

TEST(AuthoringObject, DefaultsAndAnAllZeroAlbumTable) {
    Authoring a;
    EXPECT_EQ(Access::burnerName(a), "VRX_Burner");
    EXPECT_EQ(Access::vcdMode(a), 1);
    EXPECT_EQ(Access::progress(a), nullptr);
    EXPECT_EQ(Access::menuCount(a), 0);
    EXPECT_EQ(Access::albumCount(a), 0);
    for (int m = 0; m < Authoring::kMenuTableSize; ++m) ASSERT_EQ(Access::albumsOfMenu(a, m), 0) << m;
    for (int s = 0; s < Authoring::kFrameSlots; ++s) ASSERT_EQ(Access::frameFile(a, s), nullptr) << s;
}

TEST(AuthoringObject, NamedObjectKeepsAtMost255Characters) {
    char shortName[] = "Summer 2024";
    EXPECT_EQ(Access::burnerName(Authoring(shortName)), "Summer 2024");

    std::string longName(300, 'x');
    longName[254] = 'L';
    longName[255] = 'C';  // the first character that does not fit
    Authoring a(longName.data());
    EXPECT_EQ(Access::burnerName(a), longName.substr(0, 255));
    EXPECT_EQ(Access::burnerName(a).back(), 'L');

    EXPECT_EQ(Access::burnerName(Authoring(nullptr)), "VRX_Burner");
}

TEST(AuthoringObject, AlbumTableTakesOnlyIndicesItHas) {
    Authoring a;
    EXPECT_EQ(a.SetAlbumNoPerMenu(3, 4), 0);
    EXPECT_EQ(a.SetAlbumNoPerMenu(3, 6), 0);  // replaces
    EXPECT_EQ(a.SetAlbumNoPerMenu(255, 1), 0);
    EXPECT_NE(a.SetAlbumNoPerMenu(256, 9), 0);
    EXPECT_NE(a.SetAlbumNoPerMenu(-1, 9), 0);
    for (int m = 0; m < Authoring::kMenuTableSize; ++m)
        EXPECT_EQ(Access::albumsOfMenu(a, m), m == 3 ? 6 : m == 255 ? 1 : 0) << m;
}

namespace {

std::unique_ptr<Authoring> Filled() {
    char name[] = "Family";
    auto a = std::make_unique<Authoring>(name);
    Access::AppendMenuStream(*a, "/t/menu0.mpg");
    Access::AppendAlbumStream(*a, "/t/album0.mpg");
    Access::AppendAlbumStream(*a, "/t/album1.mpg");
    a->SetAlbumNoPerMenu(0, 2);
    a->SetVCDMode(7);
    a->SetProgressCallBack(reinterpret_cast<void*>(&Progress));
    Access::SetFrameFile(*a, 0, "/t/1-1.jpg");
    Access::SetFrameFile(*a, 359, "/t/last.jpg");
    return a;
}

void ExpectLikeFilled(const Authoring& a) {
    EXPECT_EQ(Access::burnerName(a), "Family");
    EXPECT_EQ(Access::menuCount(a), 1);
    EXPECT_EQ(Access::albumCount(a), 2);
    EXPECT_EQ(Access::menuFiles(a), std::vector<std::string>{"/t/menu0.mpg"});
    EXPECT_EQ(Access::albumFiles(a), (std::vector<std::string>{"/t/album0.mpg", "/t/album1.mpg"}));
    EXPECT_EQ(Access::albumsOfMenu(a, 0), 2);
    EXPECT_EQ(Access::vcdMode(a), 7);
    EXPECT_EQ(Access::progress(a), &Progress);
    ASSERT_NE(Access::frameFile(a, 0), nullptr);
    EXPECT_STREQ(Access::frameFile(a, 0), "/t/1-1.jpg");
    EXPECT_STREQ(Access::frameFile(a, 359), "/t/last.jpg");
    EXPECT_EQ(Access::frameFile(a, 1), nullptr);
}

}  // namespace

// Each object owns its strings: destroying one leaves the other whole, and
// ASan/LSan see each string freed exactly once.
TEST(AuthoringObject, CopyIsDeepAndOutlivesItsSource) {
    auto source = Filled();
    Authoring copy(*source);
    EXPECT_NE(Access::frameFile(copy, 0), Access::frameFile(*source, 0));
    source.reset();
    ExpectLikeFilled(copy);
}

TEST(AuthoringObject, AssignmentReplacesEverythingAndReturnsTheTarget) {
    auto source = Filled();
    Authoring target;
    Access::AppendMenuStream(target, "/old/menu.mpg");
    Access::AppendMenuStream(target, "/old/menu2.mpg");
    Access::SetFrameFile(target, 1, "/old/frame.jpg");
    target.SetAlbumNoPerMenu(5, 5);
    EXPECT_EQ(&(target = *source), &target);
    source.reset();
    ExpectLikeFilled(target);
    EXPECT_EQ(Access::albumsOfMenu(target, 5), 0);

    Authoring& self = target;
    target = self;
    ExpectLikeFilled(target);
}
