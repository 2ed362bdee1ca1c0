#include "project/project.h"

#include <fstream>

#include <gtest/gtest.h>

#include "project/effects.h"
#include "console/errors.h"

namespace vcdalbum::host {
namespace {

const std::filesystem::path kFile = "/photos/summer/disc.json";

std::string ErrorOf(const std::string& json) {
    try {
        ParseProject(json, kFile);
    } catch (const InputError& e) {
        return e.what();
    }
    return "";
}

TEST(Effects, NamesAndNumbersRoundTrip) {
    for (int e = 0; e < kEffectCount; ++e) {
        EXPECT_EQ(ParseEffect(EffectName(e)), e) << e;
        EXPECT_EQ(ParseEffect(std::to_string(e)), e) << e;
    }
    EXPECT_EQ(ParseEffect("cross fade"), 14);
    EXPECT_EQ(ParseEffect("iris_open"), 18);
    EXPECT_EQ(ParseEffect("38"), std::nullopt);
    EXPECT_EQ(ParseEffect("-1"), std::nullopt);
    EXPECT_EQ(ParseEffect("14x"), std::nullopt);
    EXPECT_EQ(ParseEffect("Swirl"), std::nullopt);
    EXPECT_EQ(ParseEffect(""), std::nullopt);
    EXPECT_TRUE(EffectName(38).empty());
}

TEST(Project, FullProjectResolvesPathsAndDefaults) {
    const Project p = ParseProject(R"({
        "title": "Summer",
        "menu_music": "theme.mp3",
        "seconds_per_picture": 4,
        "transitions": "CrossFade",
        "albums": [
            {"title": "Beach", "pictures": ["b1.jpg", "/abs/b2.png", "../x/b3.jpg"], "music": "sea.ogg"},
            {"title": "Hills", "pictures": ["h1.jpg", "h2.jpg"], "seconds_per_picture": 7,
             "transitions": ["IrisOpen"]},
            {"title": "Town", "pictures": ["t1.jpg", "t2.jpg", "t3.jpg"], "transitions": [3, null]},
            {"title": "Night", "pictures": ["n.jpg"], "transitions": "random"},
            {"title": "Cuts", "pictures": ["c1.jpg", "c2.jpg"], "transitions": "none"}
        ]})", kFile);
    EXPECT_EQ(p.title, "Summer");
    EXPECT_EQ(p.menuMusic, std::filesystem::path("/photos/summer/theme.mp3"));
    ASSERT_EQ(p.albums.size(), 5u);
    EXPECT_EQ(p.albums[0].pictures[0], "/photos/summer/b1.jpg");
    EXPECT_EQ(p.albums[0].pictures[1], "/abs/b2.png");
    EXPECT_EQ(p.albums[0].pictures[2], "/photos/x/b3.jpg");
    EXPECT_EQ(p.albums[0].music, std::vector<std::filesystem::path>{"/photos/summer/sea.ogg"});
    EXPECT_EQ(p.albums[0].secondsPerPicture, 4);
    EXPECT_EQ(p.albums[0].transitions.kind, TransitionSetting::Kind::Every);
    EXPECT_EQ(p.albums[0].transitions.effect, 14);
    EXPECT_EQ(p.albums[1].secondsPerPicture, 7);
    EXPECT_EQ(p.albums[1].transitions.kind, TransitionSetting::Kind::PerGap);
    EXPECT_EQ(p.albums[2].transitions.gaps, (std::vector<std::optional<int>>{3, std::nullopt}));
    EXPECT_EQ(p.albums[3].transitions.kind, TransitionSetting::Kind::Random);
    EXPECT_EQ(p.albums[4].transitions.kind, TransitionSetting::Kind::None);
    ASSERT_EQ(p.menus.size(), 1u);  // five albums page into one menu of at most eight
    EXPECT_EQ(p.menus[0], (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(Project, MenusArePagedOrGroupedExplicitly) {
    std::string albums = R"("albums": [)";
    for (int i = 0; i < 10; ++i)
        albums += std::string(i ? "," : "") + R"({"title": "A)" + std::to_string(i) + R"(", "pictures": ["p.jpg"]})";
    albums += "]";

    const Project paged = ParseProject(R"({"title": "T", "albums_per_menu": 4, )" + albums + "}", kFile);
    ASSERT_EQ(paged.menus.size(), 3u);
    EXPECT_EQ(paged.menus[2], (std::vector<int>{8, 9}));
    EXPECT_EQ(ParseProject(R"({"title": "T", )" + albums + "}", kFile).menus.size(), 2u);  // 8 + 2

    const Project grouped = ParseProject(
        R"({"title": "T", "menus": [["A9", 1, "A2"], [4, 5, 6, 7, 8, 9, "A1"]], )" + albums + "}", kFile);
    ASSERT_EQ(grouped.menus.size(), 2u);
    EXPECT_EQ(grouped.menus[0], (std::vector<int>{9, 0, 2}));
    EXPECT_EQ(grouped.menus[1], (std::vector<int>{3, 4, 5, 6, 7, 8, 1}));

    EXPECT_NE(ErrorOf(R"({"title": "T", "menus": [["A1"], ["A1"]], )" + albums + "}").find("more than one menu"),
              std::string::npos);
    EXPECT_NE(ErrorOf(R"({"title": "T", "menus": [[1, 2, 3, 4, 5, 6, 7, 8, 9]], )" + albums + "}")
                  .find("album \"A9\": is in no menu"),
              std::string::npos);
    EXPECT_NE(ErrorOf(R"({"title": "T", "menus": [[11]], )" + albums + "}").find("no album number 11"),
              std::string::npos);
    EXPECT_NE(ErrorOf(R"({"title": "T", "menus": [["Zed"]], )" + albums + "}").find("no album called \"Zed\""),
              std::string::npos);
    EXPECT_NE(ErrorOf(R"({"title": "T", "menus": [[], [1,2,3,4,5,6,7,8,9,10]], )" + albums + "}")
                  .find("menu 1: offers no albums"),
              std::string::npos);
}

TEST(Project, BadInputIsRefusedNamingTheCulprit) {
    struct Case {
        const char* json;
        const char* expected;
    };
    const Case cases[] = {
        {R"({"title": "T", "albums": [)", "not valid JSON"},
        {R"([1, 2])", "must be a JSON object"},
        {R"({"albums": [{"title": "A", "pictures": ["a.jpg"]}]})", "needs a \"title\""},
        {R"({"title": "", "albums": [{"title": "A", "pictures": ["a.jpg"]}]})", "1 to 255 characters"},
        {R"({"title": "T", "albums": []})", "non-empty list of \"albums\""},
        {R"({"title": "T", "albums": [{"title": "Empty", "pictures": []}]})", "album \"Empty\": is empty"},
        {R"({"title": "T", "albums": [{"pictures": ["a.jpg"]}]})", "album 1: needs a \"title\""},
        {R"({"title": "T", "albums": [{"title": "A", "pictures": ["a.jpg", "b.jpg"], "transitions": "Swirl"}]})",
         "album \"A\": unknown effect \"Swirl\""},
        {R"({"title": "T", "albums": [{"title": "A", "pictures": ["a.jpg", "b.jpg"], "transitions": 38}]})",
         "effect number 38 does not exist"},
        {R"({"title": "T", "albums": [{"title": "A", "pictures": ["a.jpg", "b.jpg", "c.jpg"], "transitions": [1]}]})",
         "lists 1 transitions for 2 gaps"},
        {R"({"title": "T", "albums": [{"title": "A", "pictures": ["a.jpg"], "seconds_per_picture": 0}]})",
         "\"seconds_per_picture\" is 0"},
        {R"({"title": "T", "albums": [{"title": "A", "pictures": ["a.jpg"], "secnds_per_picture": 3}]})",
         "album \"A\": unknown setting \"secnds_per_picture\""},
        {R"({"title": "T", "albums": [{"title": "A", "pictures": [3]}]})", "\"pictures\" must be a text"},
        {R"({"title": "T", "albums_per_menu": 0, "albums": [{"title": "A", "pictures": ["a.jpg"]}]})",
         "\"albums_per_menu\" is 0"},
        {R"({"title": "T", "albums": [{"title": "A", "pictures": ["a.jpg"], "motion": "ken"}]})",
         "album \"A\": \"motion\" must be \"pan-zoom\" or \"none\", not \"ken\""},
        {R"({"title": "T", "video": "secam", "albums": [{"title": "A", "pictures": ["a.jpg"]}]})",
         "\"video\" must be \"ntsc\" or \"pal\""},
    };
    for (const auto& c : cases) {
        const std::string error = ErrorOf(c.json);
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.json << "\n  gave: " << error;
        EXPECT_EQ(error.rfind(kFile.string(), 0), 0u) << error;  // every message starts with the file
    }
}

TEST(Project, MotionForTheDiscWithAlbumsThatOptOut) {
    const Project p = ParseProject(R"({"title": "T", "motion": "pan-zoom", "albums": [
        {"title": "A", "pictures": ["a.jpg"]},
        {"title": "B", "pictures": ["b.jpg"], "motion": "none"}]})", kFile);
    EXPECT_EQ(p.albums[0].motion, Motion::PanZoom);
    EXPECT_EQ(p.albums[1].motion, Motion::Still);
    const Project still = ParseProject(R"({"title": "T", "albums": [{"title": "A", "pictures": ["a.jpg"]},
        {"title": "B", "pictures": ["b.jpg"], "motion": "pan-zoom"}]})", kFile);
    EXPECT_EQ(still.albums[0].motion, Motion::Still);
    EXPECT_EQ(still.albums[1].motion, Motion::PanZoom);
}

TEST(Project, PicturesFromAFolderInNameOrder) {
    const auto dir = std::filesystem::path(testing::TempDir()) / "vcdalbum_folder_album";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "pics");
    for (const char* name : {"b.JPG", "a.png", "c.jpeg", "notes.txt"})
        std::ofstream(dir / "pics" / name) << "x";
    const Project p = ParseProject(R"({"title": "T", "albums": [{"title": "F", "pictures": "pics"}]})",
                                   dir / "disc.json");
    ASSERT_EQ(p.albums[0].pictures.size(), 3u);
    EXPECT_EQ(p.albums[0].pictures[0].filename(), "a.png");
    EXPECT_EQ(p.albums[0].pictures[2].filename(), "c.jpeg");
    std::filesystem::remove_all(dir);
}

// What the writer puts down reads back as the same project: every kind of
// transition, explicit and paged menus, captions, motion, and paths inside the file's
// folder (written relative) and outside it (written absolute).
TEST(Project, WrittenProjectReadsBackTheSame) {
    const auto same = [](const Project& a, const Project& b) {
        EXPECT_EQ(a.title, b.title);
        EXPECT_EQ(a.menuMusic, b.menuMusic);
        EXPECT_EQ(a.menus, b.menus);
        EXPECT_EQ(a.video, b.video);
        ASSERT_EQ(a.albums.size(), b.albums.size());
        for (size_t i = 0; i < a.albums.size(); ++i) {
            SCOPED_TRACE(a.albums[i].title);
            EXPECT_EQ(a.albums[i].title, b.albums[i].title);
            EXPECT_EQ(a.albums[i].pictures, b.albums[i].pictures);
            EXPECT_EQ(a.albums[i].music, b.albums[i].music);
            EXPECT_EQ(a.albums[i].secondsPerPicture, b.albums[i].secondsPerPicture);
            EXPECT_EQ(a.albums[i].transitions.kind, b.albums[i].transitions.kind);
            EXPECT_EQ(a.albums[i].transitions.effect, b.albums[i].transitions.effect);
            EXPECT_EQ(a.albums[i].transitions.gaps, b.albums[i].transitions.gaps);
            EXPECT_EQ(a.albums[i].captions, b.albums[i].captions);
            EXPECT_EQ(a.albums[i].pictureCaptions, b.albums[i].pictureCaptions);
            EXPECT_EQ(a.albums[i].motion, b.albums[i].motion);
        }
    };
    const Project grouped = ParseProject(R"({
        "title": "Sommer été", "menu_music": "/music/theme.mp3", "seconds_per_picture": 4, "video": "pal",
        "menus": [[3, 1], [2, "Night"]],
        "albums": [
            {"title": "Same", "pictures": ["b1.jpg", "/abs/b2.png", "../x/b3.jpg"], "music": "sea.ogg",
             "transitions": [17, "none"]},
            {"title": "Same", "pictures": ["deep/h1.jpg", "h2.jpg"], "seconds_per_picture": 7,
             "transitions": "random", "motion": "pan-zoom"},
            {"title": "Cuts", "pictures": [{"file": "c1.jpg", "caption": "Über"}, {"file": "c2.jpg", "caption": ""}],
             "transitions": "none", "captions": "date"},
            {"title": "Night", "pictures": ["n.jpg", "m.jpg"], "transitions": "IrisOpen", "captions": "name"}
        ]})", kFile);
    // Written into a subfolder: nothing of the old folder is inside it any more.
    for (const std::filesystem::path& to : {kFile, std::filesystem::path("/photos/summer/edit/disc.json")}) {
        SCOPED_TRACE(to.string());
        same(grouped, ParseProject(ProjectJson(grouped, to), to));
    }
    const std::string text = ProjectJson(grouped, kFile);
    EXPECT_NE(text.find("\"deep/h1.jpg\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"/photos/x/b3.jpg\""), std::string::npos) << text;

    std::string albums;
    for (int a = 0; a < 5; ++a) albums += std::string(a ? "," : "") + R"({"title": "A", "pictures": ["p.jpg"]})";
    const Project paged = ParseProject(R"({"title": "T", "albums_per_menu": 2, "albums": [)" + albums + "]}", kFile);
    same(paged, ParseProject(ProjectJson(paged, kFile), kFile));
}

TEST(Project, WriterRefusesTextThatJsonCannotCarry) {
    Project p = ParseProject(R"({"title": "T", "albums": [{"title": "A", "pictures": ["p.jpg"]}]})", kFile);
    p.albums[0].pictures[0] = "/photos/summer/caf\xe9.jpg";  // Latin-1, not UTF-8
    try {
        ProjectJson(p, kFile);
        ADD_FAILURE() << "written";
    } catch (const InputError& e) {
        // The name to mend, readable; not the JSON library's own words.
        const std::string text = e.what();
        EXPECT_NE(text.find("/photos/summer/caf\uFFFD.jpg is not UTF-8"), std::string::npos) << text;
        EXPECT_EQ(text.find("[json"), std::string::npos) << text;
    }
}

// The title's limit is in characters, as its message says: 255 letters of
// two bytes each are a good title, 256 are one too many.
TEST(Project, TitleLimitCountsCharacters) {
    std::string title;
    for (int i = 0; i < 255; ++i) title += "\u00e9";
    const std::string albums = R"(, "albums": [{"title": "A", "pictures": ["a.jpg"]}]})";
    EXPECT_EQ(ParseProject(R"({"title": ")" + title + "\"" + albums, kFile).title, title);
    EXPECT_NE(ErrorOf(R"({"title": ")" + title + "\u00e9\"" + albums).find("1 to 255 characters"), std::string::npos);
}

TEST(Project, MissingProjectFileIsNamed) {
    try {
        LoadProject("/nonexistent/disc.json");
        FAIL();
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/disc.json"), std::string::npos);
    }
}

}  // namespace
}  // namespace vcdalbum::host
