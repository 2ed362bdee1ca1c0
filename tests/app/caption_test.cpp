#include "picture/caption_drawing.h"

#include <cstring>
#include <fstream>

#include <unistd.h>

#include <gtest/gtest.h>
#include <vcdalbum/codec.h>

#include "project/caption_choice.h"
#include "console/errors.h"
#include "picture/pictures.h"

namespace vcdalbum::host {
namespace {
namespace fs = std::filesystem;

// A frame of one grey level.
OwnedImage Plain(unsigned char level) {
    OwnedImage img = OwnedImage::Black(kFrameWidth, kFrameHeight);
    std::memset(img.row(0), level, ImageStride(kFrameWidth) * size_t{kFrameHeight});
    return img;
}

// Frame pixels that differ between two frames of one size, and whether all
// of them lie inside `box`.
struct Difference {
    size_t changed = 0, outside = 0;
};
Difference Compare(const OwnedImage& a, const OwnedImage& b, const FrameBox& box) {
    Difference d;
    for (uint32_t y = 0; y < a.height(); ++y)
        for (uint32_t x = 0; x < a.width(); ++x)
            if (std::memcmp(a.row(y) + 3 * x, b.row(y) + 3 * x, 3) != 0) {
                ++d.changed;
                if (!box.contains(x, y)) ++d.outside;
            }
    return d;
}

bool Inside(const FrameBox& inner, const FrameBox& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

class CaptionTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(testing::TempDir()) / ("vcdalbum_caption_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A 640x480 JPEG with a diagonal gradient, optionally with an EXIF block
    // holding DateTimeOriginal (in the EXIF sub-directory, where cameras put it).
    fs::path Photo(const std::string& name, const std::string& taken = "") {
        OwnedImage img = OwnedImage::Black(640, 480);
        for (uint32_t y = 0; y < 480; ++y)
            for (uint32_t x = 0; x < 640; ++x) {
                unsigned char* p = img.row(y) + 3 * x;
                p[0] = static_cast<unsigned char>(x * 255 / 639);
                p[1] = static_cast<unsigned char>(y * 255 / 479);
                p[2] = 128;
            }
        std::vector<uint8_t> jpeg;
        EXPECT_TRUE(EncodeJpeg(img.get(), jpeg).ok());
        if (!taken.empty()) {
            std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0,        // little-endian, IFD0 at 8
                                         1, 0, 0x69, 0x87, 4, 0, 1, 0, 0, 0,  // one entry: EXIF IFD (LONG)
                                         26, 0, 0, 0, 0, 0, 0, 0,             // at 26; no next IFD
                                         1, 0, 0x03, 0x90, 2, 0, 20, 0, 0, 0,  // DateTimeOriginal, ASCII x 20
                                         44, 0, 0, 0, 0, 0, 0, 0};            // at 44; no next IFD
            tiff.insert(tiff.end(), taken.begin(), taken.end());
            tiff.resize(44 + 20, 0);
            std::vector<uint8_t> app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
            app1.insert(app1.end(), tiff.begin(), tiff.end());
            app1[2] = static_cast<uint8_t>((app1.size() - 2) >> 8);
            app1[3] = static_cast<uint8_t>(app1.size() - 2);
            jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
        }
        const fs::path file = dir_ / name;
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
        return file;
    }

    fs::path dir_;
};

// The prepared picture with a caption differs from the one without only
// inside the box the caption reports, and that box sits at the bottom of
// the title-safe area. The thumbnail copy keeps the picture uncaptioned.
TEST_F(CaptionTest, CaptionChangesThePreparedPictureOnlyInsideItsBox) {
    const fs::path photo = Photo("beach.jpg");
    const OwnedImage plain = PrepareFrame(photo);
    OwnedImage thumbnail;
    const OwnedImage captioned = PrepareFrame(photo, {"Beach at Sunset, 2019", false}, &thumbnail);
    EXPECT_EQ(Compare(plain, thumbnail, {}).changed, 0u);

    // Drawing again on the plain frame gives the box of what changed.
    OwnedImage again = PrepareFrame(photo);
    const DrawnCaption drawn = DrawCaption(again.get(), "Beach at Sunset, 2019");
    EXPECT_EQ(Compare(again, captioned, {}).changed, 0u);
    ASSERT_FALSE(drawn.box.empty());
    const Difference d = Compare(plain, captioned, drawn.box);
    EXPECT_GT(d.changed, 200u);
    EXPECT_EQ(d.outside, 0u);

    const FrameBox safe = TitleSafeArea(kFrameWidth, kFrameHeight);
    EXPECT_TRUE(Inside(drawn.box, safe));
    EXPECT_GT(drawn.box.y, kFrameHeight / 2);                           // at the bottom
    EXPECT_GE(drawn.box.y + drawn.box.height, safe.y + safe.height - 8);  // close to the safe edge
    EXPECT_EQ(drawn.shown, "Beach at Sunset, 2019");
}

// White letters with a dark outline: on a white picture the caption leaves
// dark pixels, on a black one bright pixels, so it reads on both.
TEST(Caption, ReadsOnLightAndDarkPictures) {
    for (const unsigned char level : {255, 0}) {
        OwnedImage frame = Plain(level);
        const DrawnCaption drawn = DrawCaption(frame.get(), "Snow");
        ASSERT_FALSE(drawn.box.empty());
        int darkest = 255, brightest = 0;
        for (uint32_t y = drawn.box.y; y < drawn.box.y + drawn.box.height; ++y)
            for (uint32_t x = drawn.box.x; x < drawn.box.x + drawn.box.width; ++x) {
                darkest = std::min<int>(darkest, frame.row(y)[3 * x]);
                brightest = std::max<int>(brightest, frame.row(y)[3 * x]);
            }
        if (level == 255) EXPECT_LT(darkest, 80) << "no outline on a white picture";
        else EXPECT_GT(brightest, 240) << "no white letters on a black picture";
    }
}

// A caption wider than the safe area is cut and ends with "…"; it stays
// inside the safe width, and keeps as much of the text as fits.
TEST(Caption, TooLongIsCutWithAnEllipsisInsideTheSafeWidth) {
    const std::string text =
        "Grandmother's ninetieth birthday party in the garden behind the old house by the lake";
    OwnedImage frame = Plain(90);
    const DrawnCaption drawn = DrawCaption(frame.get(), text);
    const FrameBox safe = TitleSafeArea(kFrameWidth, kFrameHeight);
    ASSERT_GT(drawn.shown.size(), 3u);
    EXPECT_EQ(drawn.shown.substr(drawn.shown.size() - 3), "\u2026");
    const std::string kept = drawn.shown.substr(0, drawn.shown.size() - 3);
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0) << drawn.shown;
    EXPECT_GT(kept.size(), 15u);        // not cut to nothing
    EXPECT_NE(kept.back(), ' ');        // no space before the ellipsis
    EXPECT_TRUE(Inside(drawn.box, safe));
    EXPECT_GT(drawn.box.width, safe.width * 3 / 4);  // it uses the width it has
}

// Greek and Cyrillic come out as letters from an installed font; a
// character no font has is left out, not drawn as an empty box; damaged
// UTF-8 shows the replacement character instead of stopping the drawing.
TEST(Caption, NonLatinTextFindsItsGlyphs) {
    for (const char* text : {"Καλημέρα Αθήνα", "Привет из Москвы"}) {
        OwnedImage frame = Plain(60);
        const DrawnCaption drawn = DrawCaption(frame.get(), text);
        EXPECT_EQ(drawn.missingGlyphs, 0u) << text;
        EXPECT_EQ(drawn.shown, text);
        EXPECT_GT(drawn.box.width, 60u) << text;
    }
    OwnedImage frame = Plain(60);
    const DrawnCaption unknown = DrawCaption(frame.get(), "\xF4\x8F\xBF\xBD");  // U+10FFFD, private use
    EXPECT_EQ(unknown.missingGlyphs, 1u);
    EXPECT_TRUE(unknown.box.empty());
    EXPECT_EQ(Compare(frame, Plain(60), {}).changed, 0u);

    const DrawnCaption damaged = DrawCaption(frame.get(), "ab\xFF\xC3");
    EXPECT_EQ(damaged.shown, "ab\uFFFD\uFFFD");
    EXPECT_FALSE(damaged.box.empty());
}

// The three ways a picture gets its caption, and which one wins.
TEST(Caption, ProjectSaysWhereEachCaptionComesFrom) {
    const Project p = ParseProject(R"({
        "title": "Trips", "captions": "name",
        "albums": [
            {"title": "Rome", "pictures": ["colosseum.jpg", {"file": "forum.jpg", "caption": "The Forum"},
                                           {"file": "bus.jpg", "caption": ""}, {"file": "night.v2.jpg"}]},
            {"title": "Oslo", "captions": "date", "pictures": ["fjord.jpg", {"file": "a.jpg", "caption": "Me"}]},
            {"title": "Bare", "captions": "none", "pictures": "/no/such/folder/x.jpg"}
        ]})", "/photos/trips.json");
    const Album& rome = p.albums[0];
    EXPECT_EQ(rome.pictures[1], "/photos/forum.jpg");
    EXPECT_EQ(CaptionFor(rome, 0).text, "colosseum");  // file name without extension
    EXPECT_EQ(CaptionFor(rome, 1).text, "The Forum");  // its own caption wins
    EXPECT_EQ(CaptionFor(rome, 2).text, "");           // its own empty caption: none
    EXPECT_EQ(CaptionFor(rome, 3).text, "night.v2");
    const Album& oslo = p.albums[1];
    EXPECT_TRUE(CaptionFor(oslo, 0).fromDate);
    EXPECT_FALSE(CaptionFor(oslo, 1).fromDate);
    EXPECT_EQ(CaptionFor(oslo, 1).text, "Me");
    EXPECT_EQ(CaptionFor(p.albums[2], 0).text, "");

    // Albums made without per-picture captions (e.g. from a folder) still work.
    Album bare;
    bare.pictures = {"/x/one.png"};
    bare.captions = CaptionSource::Name;
    EXPECT_EQ(CaptionFor(bare, 0).text, "one");

    EXPECT_THROW(ParseProject(R"({"title": "T", "captions": "title", "albums": [{"title": "A", "pictures": ["a.jpg"]}]})",
                              "/p.json"),
                 InputError);
    try {
        ParseProject(R"({"title": "T", "albums": [{"title": "A", "pictures": [{"file": "a.jpg", "text": "typo"}]}]})",
                     "/p.json");
        ADD_FAILURE() << "a misspelt setting is taken";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("picture 1: unknown setting \"text\""), std::string::npos) << e.what();
    }
}

// "date" captions read the EXIF date the camera wrote; a picture without
// one, or with the zeros of an unset clock, gets no caption.
TEST_F(CaptionTest, DateCaptionsComeFromTheExifDate) {
    EXPECT_EQ(DayFromExif("2019:07:14 15:03:22"), "2019-07-14");
    EXPECT_EQ(DayFromExif("0000:00:00 00:00:00"), "");

    const CaptionRequest byDate{"", true};
    const OwnedImage dated = PrepareFrame(Photo("dated.jpg", "2019:07:14 15:03:22"), byDate);
    const OwnedImage undated = PrepareFrame(Photo("undated.jpg"), byDate);
    const OwnedImage unset = PrepareFrame(Photo("unset.jpg", "0000:00:00 00:00:00"), byDate);
    const OwnedImage plain = PrepareFrame(Photo("plain.jpg"));
    EXPECT_GT(Compare(dated, plain, {}).changed, 100u);
    EXPECT_EQ(Compare(undated, plain, {}).changed, 0u);
    EXPECT_EQ(Compare(unset, plain, {}).changed, 0u);

    OwnedImage expected = PrepareFrame(Photo("again.jpg"));
    DrawCaption(expected.get(), "2019-07-14");
    EXPECT_EQ(Compare(dated, expected, {}).changed, 0u);
}

}  // namespace
}  // namespace vcdalbum::host
