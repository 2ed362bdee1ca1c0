#include "picture/menu_page.h"

#include <cstring>

#include <gtest/gtest.h>

#include "picture/font_fallback.h"

namespace vcdalbum::host {
namespace {

// Cairo and fontconfig keep font caches for the life of the process; give
// them back at the end so that the leak checker sees only our own memory.
class FontCaches : public testing::Environment {
public:
    void TearDown() override { ReleaseFontCaches(); }
};
const auto* const kFontCaches = testing::AddGlobalTestEnvironment(new FontCaches);

OwnedImage Solid(unsigned char b, unsigned char g, unsigned char r) {
    OwnedImage img = OwnedImage::Black(kFrameWidth, kFrameHeight);
    for (uint32_t y = 0; y < kFrameHeight; ++y)
        for (uint32_t x = 0; x < kFrameWidth; ++x) {
            img.row(y)[3 * x] = b;
            img.row(y)[3 * x + 1] = g;
            img.row(y)[3 * x + 2] = r;
        }
    return img;
}

bool InsideSafeArea(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    return x >= width * kSafeMargin && x < width * (1 - kSafeMargin) && y >= height * kSafeMargin &&
           y < height * (1 - kSafeMargin);
}

// On the NTSC frame and on the taller PAL one, whose safe area is its own.
TEST(MenuPage, EverythingDrawnStaysInsideTheSafeArea) {
    const OwnedImage green = Solid(0, 255, 0);
    MenuPage full;
    full.discTitle = "A very long disc title that certainly does not fit on one television line at all";
    for (int i = 1; i <= 8; ++i)
        full.albums.push_back(MenuLine{i, "Album with a rather long title number " + std::to_string(i), &green.get()});
    full.nextMenuNumber = 9;
    full.page = 1;
    full.pages = 3;
    MenuPage empty;  // background only
    empty.page = 1;
    empty.pages = 3;

    for (const VideoStandard* standard : {&video::kNtsc, &video::kPal}) {
        SCOPED_TRACE(standard->name);
        const uint32_t width = standard->width, height = standard->height;
        const OwnedImage a = DrawMenuPage(full, *standard), b = DrawMenuPage(empty, *standard);
        ASSERT_EQ(a.width(), width);
        ASSERT_EQ(a.height(), height);
        size_t greenInside = 0, differentOutside = 0, differentInside = 0;
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const unsigned char* p = a.row(y) + 3 * x;
                const bool differs = std::memcmp(p, b.row(y) + 3 * x, 3) != 0;
                if (InsideSafeArea(x, y, width, height)) {
                    differentInside += differs;
                    greenInside += p[1] > 200 && p[0] < 60 && p[2] < 60;
                } else {
                    if (differs && differentOutside < 5) ADD_FAILURE() << "drawn outside the safe area at " << x << "," << y;
                    differentOutside += differs;
                }
            }
        EXPECT_EQ(differentOutside, 0u);
        EXPECT_GT(differentInside, 5000u);
        // Eight thumbnails of a green first picture, each some hundreds of pixels.
        EXPECT_GT(greenInside, 8u * 200);
    }
}

TEST(MenuPage, LinesAreLegibleInOneColumnForFewAlbums) {
    // One album: its line is tall enough for text of 13 px or more, i.e.
    // the page draws a good many pixels of text, not a speck.
    MenuPage page;
    page.discTitle = "Trip";
    page.albums.push_back(MenuLine{1, "Beach", nullptr});
    const OwnedImage img = DrawMenuPage(page);
    MenuPage bare = page;
    bare.albums.clear();
    const OwnedImage without = DrawMenuPage(bare);
    size_t changed = 0;
    for (uint32_t y = 0; y < kFrameHeight; ++y) changed += std::memcmp(img.row(y), without.row(y), 3 * kFrameWidth) != 0;
    EXPECT_GE(changed, 12u);  // rows touched by the badge and the title
}

// Every page after the first tells, at its bottom left, how to get back;
// the first page has no way back and says nothing there.
TEST(MenuPage, LaterPagesShowTheWayBackInsideTheSafeArea) {
    MenuPage page;
    page.discTitle = "Trip";
    page.albums.push_back(MenuLine{1, "Beach", nullptr});
    page.pages = 3;
    auto bottomLeftDiffers = [](const OwnedImage& a, const OwnedImage& b, size_t& outside) {
        size_t inside = 0;
        for (uint32_t y = 0; y < kFrameHeight; ++y)
            for (uint32_t x = 0; x < kFrameWidth; ++x) {
                if (std::memcmp(a.row(y) + 3 * x, b.row(y) + 3 * x, 3) == 0) continue;
                if (!InsideSafeArea(x, y, kFrameWidth, kFrameHeight)) ++outside;
                else if (x < kFrameWidth / 2 && y > kFrameHeight * 3 / 4) ++inside;
            }
        return inside;
    };
    MenuPage first = page, second = page, third = page;
    first.page = 1;
    second.page = 2;
    third.page = 3;
    MenuPage alone = page;
    alone.pages = 1;
    const OwnedImage one = DrawMenuPage(first), two = DrawMenuPage(second), three = DrawMenuPage(third);
    size_t outside = 0;
    EXPECT_GT(bottomLeftDiffers(one, two, outside), 100u);   // "PREV: page 1" is there
    EXPECT_GT(bottomLeftDiffers(two, three, outside), 0u);   // and names the page before
    EXPECT_EQ(bottomLeftDiffers(one, DrawMenuPage(alone), outside), 0u);
    EXPECT_EQ(outside, 0u);
}

// A name that is not UTF-8 shows with U+FFFD and the lines after it are
// still drawn; a name in a script the menu's font lacks is drawn from a
// fallback font, as captions are, not as the boxes of missing letters.
TEST(MenuPage, AnyNameIsDrawnAndBreaksNoLineAfterIt) {
    auto page = [](const std::string& first, const std::string& last) {
        MenuPage p;
        p.discTitle = "Trip";
        p.albums = {MenuLine{1, first, nullptr}, MenuLine{2, "Beach", nullptr}, MenuLine{3, last, nullptr}};
        return DrawMenuPage(p);
    };
    auto same = [](const OwnedImage& a, const OwnedImage& b) {
        for (uint32_t y = 0; y < kFrameHeight; ++y)
            if (std::memcmp(a.row(y), b.row(y), 3 * kFrameWidth) != 0) return false;
        return true;
    };
    EXPECT_FALSE(same(page("Caf\xE9", "Zoo"), page("Caf\xE9", "Ape"))) << "the last line was lost";
    EXPECT_TRUE(same(page("Caf\xE9", "Zoo"), page("Caf\uFFFD", "Zoo")));

    if (FontRuns("\u5317\u4eac", false).empty()) GTEST_SKIP() << "no installed font has Chinese letters";
    EXPECT_FALSE(same(page("\u5317\u4eac", "Zoo"), page("\U0010FFFD\U0010FFFD", "Zoo")));
    EXPECT_FALSE(same(page("\u5317\u4eac", "Zoo"), page("\u4e0a\u6d77", "Zoo")));
}

TEST(MenuPage, TruncateKeepsWholeCharacters) {
    EXPECT_EQ(TruncateUtf8("abc", 5), "abc");
    EXPECT_EQ(TruncateUtf8("abc", 2), "ab");
    EXPECT_EQ(TruncateUtf8("a\xC3\xA9z", 2), "a");          // é is two bytes
    EXPECT_EQ(TruncateUtf8("\xE2\x82\xAC\xE2\x82\xAC", 4), "\xE2\x82\xAC");  // €€
    EXPECT_EQ(TruncateUtf8("", 0), "");
}

}  // namespace
}  // namespace vcdalbum::host
