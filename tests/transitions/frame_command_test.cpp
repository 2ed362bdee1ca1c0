// `vcdalbum frame`: exact pixels to PPM, JPEG through the codec, and exit
// code 2 with a message for effects, frames and inputs it cannot draw.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "test_pictures.h"

namespace vcdalbum::transitions::test {
namespace {

namespace fs = std::filesystem;

void WritePpm(const fs::path& path, const Image& image) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.width << " " << image.height << "\n255\n";
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x) {
            const unsigned char* p = PixelAt(image, static_cast<int>(y), static_cast<int>(x));
            const char rgb[3] = {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
            out.write(rgb, 3);
        }
}

class FrameCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vcdalbum-frame-cli-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        MakeCoded(first_, 350, 240, kFirst);
        MakeCoded(second_, 350, 240, kSecond);
        WritePpm(dir_ / "first.ppm", first_.get());
        WritePpm(dir_ / "second.ppm", second_.get());
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs the tool; returns its exit code and leaves standard error in `errors`.
    int Run(const std::string& arguments, std::string* errors = nullptr) {
        const fs::path err = dir_ / "stderr.txt";
        const std::string command = std::string(VCDALBUM_BINARY_DIR) + "/bin/vcdalbum frame " + arguments + " 2>" +
                                    err.string() + " >/dev/null";
        const int status = std::system(command.c_str());
        if (errors) {
            std::ifstream in(err);
            errors->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Inputs() const { return (dir_ / "first.ppm").string() + " " + (dir_ / "second.ppm").string() + " "; }

    fs::path dir_;
    OwnedImage first_, second_;
};

TEST_F(FrameCommand, PpmOutputHoldsTheRenderedPixels) {
    const fs::path out = dir_ / "frame.ppm";
    ASSERT_EQ(Run("--effect 18 --frame 15 " + Inputs() + out.string()), 0);
    OwnedImage expected;
    ASSERT_TRUE(RenderTransition(first_.get(), second_.get(), 18, 15, expected.get()).ok());
    const fs::path reference = dir_ / "expected.ppm";
    WritePpm(reference, expected.get());
    std::ifstream a(out, std::ios::binary), b(reference, std::ios::binary);
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), std::istreambuf_iterator<char>(),
                           std::istreambuf_iterator<char>(b)));
}

TEST_F(FrameCommand, JpegOutputIsWritten) {
    const fs::path out = dir_ / "frame.jpg";
    ASSERT_EQ(Run("--effect 14 --frame 30 " + Inputs() + out.string()), 0);
    std::ifstream in(out, std::ios::binary);
    EXPECT_EQ(in.get(), 0xFF);
    EXPECT_EQ(in.get(), 0xD8);
}

TEST_F(FrameCommand, RefusesWhatItCannotDraw) {
    const std::string out = (dir_ / "frame.ppm").string();
    std::string errors;
    EXPECT_EQ(Run("--effect 38 --frame 1 " + Inputs() + out, &errors), 2);
    EXPECT_NE(errors.find("effect 38"), std::string::npos) << errors;
    EXPECT_EQ(Run("--effect 0 --frame 32 " + Inputs() + out, &errors), 2);
    EXPECT_NE(errors.find("0 to 31"), std::string::npos) << errors;
    EXPECT_EQ(Run("--effect 14 --frame 31 " + Inputs() + out, &errors), 2);
    EXPECT_EQ(Run("--effect 14 --frame -1 " + Inputs() + out, &errors), 2);
    EXPECT_EQ(Run("--effect 1 --frame 1 " + (dir_ / "missing.ppm").string() + " " + (dir_ / "second.ppm").string() +
                      " " + out,
                  &errors),
              2);
    EXPECT_NE(errors.find("missing.ppm"), std::string::npos) << errors;
    std::ofstream(dir_ / "junk.jpg") << "not a picture";
    EXPECT_EQ(Run("--effect 1 --frame 1 " + Inputs().substr(0, Inputs().find(' ') + 1) + (dir_ / "junk.jpg").string() +
                      " " + out,
                  &errors),
              2);
    EXPECT_NE(errors.find("junk.jpg"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace vcdalbum::transitions::test
