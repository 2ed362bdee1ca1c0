// `vcdalbum encode IN.ppm OUT.jpg` as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/libjpeg_peer.h"

namespace fs = std::filesystem;

namespace {

class EncodeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vcdalbum-encode-cmd-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // Runs the tool; returns its exit code and keeps standard error.
    int Run(const std::string& in, const std::string& out) {
        const std::string command = std::string("'") + VCDALBUM_BINARY_DIR + "/bin/vcdalbum' encode '" + in + "' '" + out +
                                    "' 2> '" + Path("stderr.txt") + "'";
        const int status = std::system(command.c_str());
        std::ifstream err(Path("stderr.txt"));
        stderr_.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void WriteBytes(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    fs::path dir_;
    std::string stderr_;
};

}  // namespace

TEST_F(EncodeCommand, PpmBecomesAJpegThatDecodes) {
    std::string ppm = "P6\n# a comment\n19 7\n255\n";
    for (int i = 0; i < 19 * 7; ++i) ppm += std::string{static_cast<char>(200), static_cast<char>(100), static_cast<char>(50 + i / 4)};
    WriteBytes(Path("in.ppm"), ppm);
    ASSERT_EQ(Run(Path("in.ppm"), Path("out.jpg")), 0) << stderr_;
    std::ifstream in(Path("out.jpg"), std::ios::binary);
    const std::vector<uint8_t> jpeg{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const libjpeg_peer::Decoded d = libjpeg_peer::Decode(jpeg);
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.warnings, 0);
    EXPECT_EQ(d.width, 19);
    EXPECT_EQ(d.height, 7);
    EXPECT_NEAR(d.pixels[0], 200, 6);  // red of the first pixel
    EXPECT_NEAR(d.pixels[1], 100, 6);
}

TEST_F(EncodeCommand, BadInputExitsTwoNamingTheFile) {
    const std::string cases[][2] = {
        {"missing.ppm", ""},
        {"text.ppm", "P3\n1 1\n255\n0 0 0\n"},
        {"short.ppm", "P6\n4 4\n255\nabc"},
        {"deep.ppm", "P6\n1 1\n65535\n\0\0\0\0\0\0"},
        {"header.ppm", "P6\nx y\n"},
    };
    for (const auto& c : cases) {
        const std::string in = Path(c[0]);
        if (!c[1].empty()) WriteBytes(in, c[1]);
        EXPECT_EQ(Run(in, Path("out.jpg")), 2) << c[0];
        EXPECT_NE(stderr_.find(c[0]), std::string::npos) << c[0] << ": " << stderr_;
        EXPECT_FALSE(fs::exists(Path("out.jpg"))) << c[0];
    }
}

TEST_F(EncodeCommand, UnwritableOutputFailsWithoutALeftover) {
    WriteBytes(Path("in.ppm"), std::string("P6\n2 2\n255\n") + std::string(12, '\x80'));
    EXPECT_EQ(Run(Path("in.ppm"), Path("nowhere/out.jpg")), 1);
    EXPECT_NE(stderr_.find("out.jpg"), std::string::npos) << stderr_;
    EXPECT_FALSE(fs::exists(Path("nowhere")));
}
