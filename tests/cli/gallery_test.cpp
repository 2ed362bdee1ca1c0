// `vcdalbum gallery` in a real browser: headless Chromium loads the page with
// no console message, decodes all 38 embedded effects and shows them.
#include <cstdlib>
#include <set>

#include <cairo.h>
#include <gtest/gtest.h>

#include "cli/cli_runner.h"

namespace vcdalbum::clitest {
namespace {
namespace fs = std::filesystem;

std::string Chromium() {
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser", "/usr/bin/google-chrome"})
        if (fs::exists(p)) return p;
    return "";
}

TEST(Gallery, ShowsAll38EffectsInHeadlessChromium) {
    ScratchDir dir("vcdalbum-gallery-");
    const RunResult run = RunCli({"gallery", "--out", dir.path().string(), "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const fs::path page = dir / "effects.html";
    ASSERT_TRUE(fs::exists(page));
    EXPECT_EQ(RunProgram("grep", {"-c", "http", page.string()}).out, "0\n") << "the page reaches for the network";

    const std::string chromium = Chromium();
    if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/bootstrap installs it)";
    const std::vector<std::string> common = {"--headless", "--no-sandbox", "--disable-gpu", "--enable-logging=stderr",
                                             "--v=0", "--virtual-time-budget=20000",
                                             "--user-data-dir=" + (dir / "profile").string()};
    std::vector<std::string> args = common;
    args.push_back("--dump-dom");
    args.push_back("file://" + page.string());
    const RunResult dom = RunProgram(chromium, args);
    ASSERT_EQ(dom.exitCode, 0) << dom.err;
    EXPECT_EQ(dom.err.find(":CONSOLE"), std::string::npos) << dom.err;
    EXPECT_NE(dom.out.find("data-effects=\"38\""), std::string::npos);
    EXPECT_NE(dom.out.find("data-decoded=\"38\""), std::string::npos) << "not every effect's frames decoded";
    for (const char* name : {"PushFromLeft", "CrossFade", "TiledSweepFromBottomLeft", "DissolveFromRight"})
        EXPECT_NE(dom.out.find(name), std::string::npos) << name;

    // The screenshot: a tall window holds the whole grid; it must not be blank.
    args = common;
    args.push_back("--window-size=1280,4200");
    args.push_back("--screenshot=" + (dir / "shot.png").string());
    args.push_back("file://" + page.string());
    const RunResult shot = RunProgram(chromium, args);
    ASSERT_EQ(shot.exitCode, 0) << shot.err;
    EXPECT_EQ(shot.err.find(":CONSOLE"), std::string::npos) << shot.err;
    cairo_surface_t* png = cairo_image_surface_create_from_png((dir / "shot.png").c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    const int w = cairo_image_surface_get_width(png), h = cairo_image_surface_get_height(png);
    const int stride = cairo_image_surface_get_stride(png);
    const unsigned char* data = cairo_image_surface_get_data(png);
    // Count distinct colours in a coarse sample: frames of 38 effects give
    // many; an empty page gives one or two.
    std::set<uint32_t> colours;
    for (int y = 0; y < h; y += 7)
        for (int x = 0; x < w; x += 7) colours.insert(*reinterpret_cast<const uint32_t*>(data + y * stride + 4 * x) & 0xF0F0F0);
    cairo_surface_destroy(png);
    EXPECT_GT(colours.size(), 300u);
    if (const char* keep = std::getenv("VCDALBUM_KEEP_SCREENSHOT")) fs::copy_file(dir / "shot.png", keep, fs::copy_options::overwrite_existing);
}

}  // namespace
}  // namespace vcdalbum::clitest
