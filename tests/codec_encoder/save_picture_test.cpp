// SaveJpegImage and the public encode-to-file call: the bytes they write,
// and what a failure leaves behind (nothing).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/picture_files.h"
#include "encoder_test_support.h"

using namespace encoder_test;
namespace fs = std::filesystem;

namespace {

class SavePicture : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vcdalbum-save-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    static std::vector<uint8_t> ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    size_t FileCount() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())); }

    fs::path dir_;
};

}  // namespace

TEST_F(SavePicture, WritesTheEncoderStreamForPaddedAndUnpaddedStrides) {
    // Width 350 has a stride of 1,052 bytes: every row, the last ones too,
    // must reach the encoder as the record holds it.
    for (uint32_t width : {350u, 351u, 352u}) {
        OwnedImage picture = Painted(width, 240, Noise(width));
        ASSERT_EQ(picture.get().imageSize, ImageStride(width) * 240);
        const std::string path = Path("frame" + std::to_string(width) + ".jpg");
        ASSERT_EQ(vcdalbum::codec::SaveJpegImage(path.c_str(), &picture.get()), 0);
        EXPECT_EQ(ReadFile(path), Encode(picture.get())) << "width " << width;
    }
    EXPECT_EQ(FileCount(), 3u) << "no temporary files are left behind";
}

TEST_F(SavePicture, OutputLargerThanOneMebibyteIsWrittenWhole) {
    OwnedImage picture = Painted(1536, 1024, Noise(21));
    const std::string path = Path("big.jpg");
    ASSERT_EQ(vcdalbum::codec::SaveJpegImage(path.c_str(), &picture.get()), 0);
    const std::vector<uint8_t> file = ReadFile(path);
    EXPECT_GT(file.size(), 1048576u);
    EXPECT_EQ(file, Encode(picture.get()));

    // The reused output area does not carry anything over to a smaller picture.
    OwnedImage small = Painted(16, 8, [](uint32_t, uint32_t) { return Uniform(255); });
    ASSERT_EQ(vcdalbum::codec::SaveJpegImage(path.c_str(), &small.get()), 0);
    EXPECT_EQ(ReadFile(path), Encode(small.get()));
}

TEST_F(SavePicture, FailuresReturnNonZeroAndTouchNothing) {
    OwnedImage picture = Painted(32, 16, Gradient);
    const std::string missingDir = Path("no-such-dir/frame.jpg");
    EXPECT_NE(vcdalbum::codec::SaveJpegImage(missingDir.c_str(), &picture.get()), 0);
    EXPECT_FALSE(fs::exists(missingDir));

    // A record the encoder cannot take leaves an existing file as it was.
    const std::string existing = Path("existing.jpg");
    { std::ofstream(existing, std::ios::binary) << "old contents"; }
    Image broken = picture.get();
    broken.imageSize = ImageStride(broken.width) * broken.height - 1;
    EXPECT_NE(vcdalbum::codec::SaveJpegImage(existing.c_str(), &broken), 0);
    broken = picture.get();
    broken.data = nullptr;
    EXPECT_NE(vcdalbum::codec::SaveJpegImage(existing.c_str(), &broken), 0);
    broken = picture.get();
    broken.width = 0;
    EXPECT_NE(vcdalbum::codec::SaveJpegImage(existing.c_str(), &broken), 0);
    EXPECT_NE(vcdalbum::codec::SaveJpegImage(existing.c_str(), nullptr), 0);
    const std::vector<uint8_t> old = ReadFile(existing);
    EXPECT_EQ(std::string(old.begin(), old.end()), "old contents");

    // A path that names a directory cannot be replaced by the rename.
    fs::create_directories(Path("a-directory"));
    EXPECT_NE(vcdalbum::codec::SaveJpegImage(Path("a-directory").c_str(), &picture.get()), 0);
    EXPECT_TRUE(fs::is_directory(Path("a-directory")));
    EXPECT_EQ(FileCount(), 2u) << "no temporary files are left behind";
}

TEST_F(SavePicture, PublicEncodeFileReportsFailuresByName) {
    OwnedImage picture = Painted(40, 20, Gradient);
    const std::string good = Path("good.jpg");
    const vcdalbum::CodecResult ok = vcdalbum::EncodeJpegFile(good, picture.get());
    EXPECT_EQ(ok.code, vcdalbum::kCodecOk);
    EXPECT_EQ(ReadFile(good), Encode(picture.get()));

    const std::string missing = Path("missing/out.jpg");
    const vcdalbum::CodecResult io = vcdalbum::EncodeJpegFile(missing, picture.get());
    EXPECT_EQ(io.code, vcdalbum::kCodecIoError);
    EXPECT_NE(io.message.find(missing), std::string::npos) << io.message;

    Image empty{};
    std::vector<uint8_t> out = {1, 2};
    const vcdalbum::CodecResult bad = vcdalbum::EncodeJpeg(empty, out);
    EXPECT_EQ(bad.code, vcdalbum::kCodecBadImage);
    EXPECT_FALSE(bad.message.empty());
    EXPECT_EQ(vcdalbum::EncodeJpegFile(Path("bad.jpg"), empty).code, vcdalbum::kCodecBadImage);
    EXPECT_FALSE(fs::exists(Path("bad.jpg")));
}
