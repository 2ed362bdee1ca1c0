#include "build/disc_plan.h"

#include <sstream>

#include <gtest/gtest.h>

#include "console/errors.h"

namespace vcdalbum::host {
namespace {

Project MakeProject(int albums, int pictures, int seconds, const std::string& transitions = "\"none\"") {
    std::string json = R"({"title": "T", "transitions": )" + transitions + R"(, "albums": [)";
    for (int a = 0; a < albums; ++a) {
        json += std::string(a ? "," : "") + R"({"title": "A)" + std::to_string(a) + R"(", "seconds_per_picture": )" +
                std::to_string(seconds) + R"(, "pictures": [)";
        for (int p = 0; p < pictures; ++p) json += std::string(p ? "," : "") + "\"p.jpg\"";
        json += "]}";
    }
    return ParseProject(json + "]}", "/d/disc.json");
}

TEST(DiscPlan, TransitionsFollowTheSetting) {
    Project p = ParseProject(R"({"title": "T", "albums": [
        {"title": "Every", "pictures": ["a", "b", "c", "d"], "transitions": "IrisOpen"},
        {"title": "Gaps", "pictures": ["a", "b", "c", "d"], "transitions": [null, "BoxClose", 0]},
        {"title": "None", "pictures": ["a", "b"]},
        {"title": "One", "pictures": ["a"], "transitions": "random"}]})",
                             "/d/disc.json");
    const DiscPlan plan = PlanDisc(p, 1, 74);
    EXPECT_EQ(plan.albums[0].positions, (std::vector<uint16_t>{0, 1, 2}));
    EXPECT_EQ(plan.albums[0].effects, (std::vector<uint16_t>{18, 18, 18}));
    EXPECT_EQ(plan.albums[1].positions, (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(plan.albums[1].effects, (std::vector<uint16_t>{21, 0}));
    EXPECT_TRUE(plan.albums[2].positions.empty());
    EXPECT_TRUE(plan.albums[3].positions.empty());  // one picture: no gap to fill
}

TEST(DiscPlan, RandomTransitionsRepeatForASeedAndVaryAcrossSeeds) {
    const Project p = MakeProject(3, 20, 2, "\"random\"");
    const DiscPlan a = PlanDisc(p, 7, 74), b = PlanDisc(p, 7, 74), c = PlanDisc(p, 8, 74);
    std::vector<uint16_t> all;
    for (size_t i = 0; i < a.albums.size(); ++i) {
        EXPECT_EQ(a.albums[i].effects, b.albums[i].effects);
        EXPECT_EQ(a.albums[i].positions.size(), 19u);
        all.insert(all.end(), a.albums[i].effects.begin(), a.albums[i].effects.end());
    }
    EXPECT_NE(a.albums[0].effects, c.albums[0].effects);
    for (uint16_t e : all) EXPECT_LT(e, 38);
    std::sort(all.begin(), all.end());
    EXPECT_GT(std::unique(all.begin(), all.end()) - all.begin(), 20);  // 57 draws reach many effects
}

TEST(DiscPlan, DurationsAndSectorsAtTheFixedRate) {
    EXPECT_DOUBLE_EQ(AlbumSeconds(8, 5, 7), 47.0);  // 40 s of pictures, 7 one-second transitions
    EXPECT_DOUBLE_EQ(AlbumSeconds(1, 1, 0), kMinStreamSeconds);
    EXPECT_DOUBLE_EQ(AlbumSeconds(4, 1, 0), 12.0);  // the library holds each picture at least 3 s
    EXPECT_EQ(StreamSectors(10.0), 750 + kStreamOverheadSectors);
    EXPECT_EQ(StreamSectors(0.01), 1 + kStreamOverheadSectors);

    const DiscPlan plan = PlanDisc(MakeProject(10, 3, 4, "\"CrossFade\""), 0, 80);
    EXPECT_EQ(plan.menus.size(), 2u);
    EXPECT_EQ(plan.sequenceItems, 13);
    EXPECT_EQ(plan.capacitySectors, 360000);
    EXPECT_DOUBLE_EQ(plan.albums[0].seconds, 14.0);
    const int64_t album = StreamSectors(14.0) + kTrackOverheadSectors;
    const int64_t menu = StreamSectors(kMinStreamSeconds) + kTrackOverheadSectors;
    EXPECT_EQ(plan.usedSectors, kDiscOverheadSectors + menu * 3 + album * 10);  // lead clip counts as a menu
    EXPECT_NO_THROW(CheckFits(MakeProject(10, 3, 4), plan));
}

TEST(DiscPlan, OverCapacitySaysByHowMuchAndWhichAlbumsToMove) {
    // 4 albums of 100 pictures x 12 s: 20 minutes each, 80 minutes in all.
    const Project p = MakeProject(4, 100, 12);
    const DiscPlan plan74 = PlanDisc(p, 0, 74);
    try {
        CheckFits(p, plan74);
        FAIL() << "80 minutes of albums fit a 74-minute disc";
    } catch (const InputError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("/d/disc.json"), std::string::npos) << m;
        EXPECT_NE(m.find("74-minute disc"), std::string::npos) << m;
        EXPECT_NE(m.find("over"), std::string::npos) << m;
        EXPECT_NE(m.find("move \"A3\""), std::string::npos) << m;  // one album is enough
        EXPECT_EQ(m.find("A2"), std::string::npos) << m;
    }
    EXPECT_THROW(CheckFits(p, PlanDisc(p, 0, 80)), InputError);  // the overheads push it over 80 too
    EXPECT_NO_THROW(CheckFits(MakeProject(3, 100, 12), PlanDisc(MakeProject(3, 100, 12), 0, 74)));
}

TEST(DiscPlan, TooManyTracks) {
    const Project p = MakeProject(90, 1, 1);  // 90 albums + 12 menus + lead clip = 103 tracks
    const DiscPlan plan = PlanDisc(p, 0, 74);
    EXPECT_EQ(plan.sequenceItems, 103);
    try {
        CheckFits(p, plan);
        FAIL();
    } catch (const InputError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("103 tracks"), std::string::npos) << m;
        EXPECT_NE(m.find("5 more"), std::string::npos) << m;
        EXPECT_NE(m.find("\"A85\", \"A86\", \"A87\", \"A88\", \"A89\""), std::string::npos) << m;
    }
    const Project fits = MakeProject(85, 1, 1);  // 85 + 11 + 1 = 97
    EXPECT_NO_THROW(CheckFits(fits, PlanDisc(fits, 0, 74)));
}

TEST(DiscPlan, PrintedPlanListsMenusAlbumsAndUse) {
    const Project p = ParseProject(R"({"title": "Trip", "menus": [[2], [1, 3]], "albums": [
        {"title": "First", "pictures": ["a", {"file": "b", "caption": "B"}], "transitions": "CrossFade",
         "captions": "date"},
        {"title": "Second", "pictures": ["a"]},
        {"title": "Moving", "pictures": ["a"], "captions": "name", "motion": "pan-zoom"}]})",
                                   "/d/disc.json");
    std::ostringstream out;
    PrintPlan(out, p, PlanDisc(p, 3, 74));
    const std::string text = out.str();
    EXPECT_NE(text.find("Disc \"Trip\": 2 menu(s), 3 album(s)"), std::string::npos) << text;
    EXPECT_NE(text.find("Menu 1"), std::string::npos);
    EXPECT_NE(text.find("1. \"Second\" (album 1)"), std::string::npos) << text;
    EXPECT_NE(text.find("2. next menu"), std::string::npos) << text;
    EXPECT_NE(text.find("1->2 CrossFade"), std::string::npos) << text;
    EXPECT_NE(text.find("captions: 1 given, the others from the dates taken"), std::string::npos) << text;
    EXPECT_EQ(text.find("captions: 1 given"), text.find("captions:")) << "the album without captions shows some";
    EXPECT_NE(text.find("captions: from the file names (not shown: the album's pictures move)"), std::string::npos)
        << text;
    EXPECT_NE(text.find("Disc use:"), std::string::npos);
    EXPECT_EQ(text.find("shortest hold"), std::string::npos) << "said of a hold that is long enough";
    // A hold the disc cannot give is said, not changed in silence.
    std::ostringstream shortHolds;
    const Project quick = MakeProject(1, 2, 1);
    PrintPlan(shortHolds, quick, PlanDisc(quick, 3, 74));
    EXPECT_NE(shortHolds.str().find("2 picture(s) x 3 s (1 s asked; 3 s is the shortest hold)"), std::string::npos)
        << shortHolds.str();
    EXPECT_EQ(FormatDuration(3725), "1:02:05");
    EXPECT_EQ(FormatDuration(59.2), "1:00");
}

}  // namespace
}  // namespace vcdalbum::host
