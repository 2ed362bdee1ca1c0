#include "build/disc_split.h"

#include <gtest/gtest.h>

#include "build/disc_plan.h"
#include "console/errors.h"

namespace vcdalbum::host {
namespace {

// Albums of `pictures[a]` pictures named "a<album>_<n>", held `seconds` each.
Project Collection(const std::vector<int>& pictures, int seconds, const std::string& extra = "") {
    std::string json = R"({"title": "Year", "albums_per_menu": 3, "seconds_per_picture": )" + std::to_string(seconds) +
                       extra + R"(, "albums": [)";
    for (size_t a = 0; a < pictures.size(); ++a) {
        json += std::string(a ? "," : "") + R"({"title": "A)" + std::to_string(a) + R"(", "pictures": [)";
        for (int p = 0; p < pictures[a]; ++p)
            json += std::string(p ? "," : "") + "\"a" + std::to_string(a) + "_" + std::to_string(p) + "\"";
        json += "]}";
    }
    return ParseProject(json + "]}", "/d/year.json");
}

std::vector<std::string> Titles(const Project& p) {
    std::vector<std::string> out;
    for (const Album& a : p.albums) out.push_back(a.title);
    return out;
}

// Every disc fits, has menus over all its albums, and the discs together hold
// every picture once, in the collection's order.
void ExpectSound(const Project& whole, const DiscSplit& split) {
    std::vector<std::filesystem::path> all, shown;
    for (const auto& group : whole.menus)
        for (int a : group) all.insert(all.end(), whole.albums[a].pictures.begin(), whole.albums[a].pictures.end());
    for (const Project& disc : split.discs) {
        SCOPED_TRACE(disc.title);
        EXPECT_NO_THROW(CheckFits(disc, PlanDisc(disc, 1, 74)));
        size_t listed = 0;
        for (const auto& group : disc.menus) {
            EXPECT_FALSE(group.empty());
            for (int a : group) {
                EXPECT_EQ(a, static_cast<int>(listed++));
                const Album& album = disc.albums[static_cast<size_t>(a)];
                shown.insert(shown.end(), album.pictures.begin(), album.pictures.end());
                if (album.transitions.kind == TransitionSetting::Kind::PerGap) {
                    EXPECT_EQ(album.transitions.gaps.size() + 1, album.pictures.size());
                }
            }
        }
        EXPECT_EQ(listed, disc.albums.size());
    }
    EXPECT_EQ(shown, all);
}

TEST(DiscSplit, AProjectThatFitsStaysAsItIs) {
    const Project p = Collection({10, 10}, 5);
    const DiscSplit split = SplitIntoDiscs(p, 1, 74, 0);
    ASSERT_EQ(split.discs.size(), 1u);
    EXPECT_EQ(split.discs[0].title, "Year");
    EXPECT_EQ(split.discs[0].menus, p.menus);
}

// Five 25-minute albums: two to a disc, whole, the menus of each disc its own.
TEST(DiscSplit, AlbumsStayWholeAndFillEachDiscInTurn) {
    const Project p = Collection({5, 5, 5, 5, 5}, 300);
    const DiscSplit split = SplitIntoDiscs(p, 1, 74, 0);
    ASSERT_EQ(split.discs.size(), 3u);
    EXPECT_EQ(split.discs[0].title, "Year (1 of 3)");
    EXPECT_EQ(split.discs[2].title, "Year (3 of 3)");
    EXPECT_EQ(Titles(split.discs[0]), (std::vector<std::string>{"A0", "A1"}));
    EXPECT_EQ(Titles(split.discs[1]), (std::vector<std::string>{"A2", "A3"}));
    EXPECT_EQ(Titles(split.discs[2]), (std::vector<std::string>{"A4"}));
    // A0 to A2 shared the first menu, A3 and A4 the second: A2 and A3 stay
    // on two menus of their disc.
    EXPECT_EQ(split.discs[0].menus, (std::vector<std::vector<int>>{{0, 1}}));
    EXPECT_EQ(split.discs[1].menus, (std::vector<std::vector<int>>{{0}, {1}}));
    EXPECT_GT(split.seconds, 125 * 60);
    ExpectSound(p, split);
}

// 100 minutes in one album, with a cut between every other picture: two
// parts that say so, the cuts kept where they were.
TEST(DiscSplit, AnAlbumLongerThanADiscIsCutIntoParts) {
    const Project p = Collection({3, 10, 1}, 600, R"(, "transitions": "none")");
    Project cuts = p;
    cuts.albums[1].transitions.kind = TransitionSetting::Kind::PerGap;
    for (int g = 0; g < 9; ++g) cuts.albums[1].transitions.gaps.push_back(g % 2 ? std::optional<int>(3) : std::nullopt);
    const DiscSplit split = SplitIntoDiscs(cuts, 1, 74, 0);
    ExpectSound(cuts, split);
    std::vector<std::string> titles;
    for (const Project& d : split.discs)
        for (const std::string& t : Titles(d)) titles.push_back(t);
    EXPECT_EQ(titles, (std::vector<std::string>{"A0", "A1 (part 1 of 2)", "A1 (part 2 of 2)", "A2"}));
    // Parts differ by one picture at most.
    for (const Project& d : split.discs)
        for (const Album& a : d.albums)
            if (a.title.find("part 2") != std::string::npos) {
                EXPECT_EQ(a.pictures.size(), 5u);
                EXPECT_EQ(a.pictures.front().filename(), "a1_5");
                EXPECT_EQ(a.transitions.gaps[0], std::optional<int>(3));  // the gap after a1_5
            }
}

TEST(DiscSplit, TooFewDiscsAllowedIsRefusedWithTheFigures) {
    const Project p = Collection({5, 5, 5, 5, 5}, 300);
    try {
        SplitIntoDiscs(p, 1, 74, 1);
        ADD_FAILURE() << "one disc was accepted";
    } catch (const InputError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("74-minute disc"), std::string::npos) << what;
        EXPECT_NE(what.find("needs 2:0"), std::string::npos) << what;  // five 25-minute albums and the menus
    }
    try {
        SplitIntoDiscs(p, 1, 74, 2);
        ADD_FAILURE() << "two discs were accepted";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("3 74-minute discs, more than the 2"), std::string::npos) << e.what();
    }
    EXPECT_EQ(SplitIntoDiscs(p, 1, 80, 2).discs.size(), 2u) << "80-minute discs take three albums each";
}

TEST(DiscSplit, OneProjectFilePerDisc) {
    EXPECT_EQ(DiscProjectFile("/p/disc.json", 1, 1), "/p/disc.json");
    EXPECT_EQ(DiscProjectFile("/p/disc.json", 2, 3), "/p/disc-2.json");
    EXPECT_EQ(DiscProjectFile("/p/disc", 1, 2), "/p/disc-1");
}

}  // namespace
}  // namespace vcdalbum::host
