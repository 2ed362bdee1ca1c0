// HEIC and AVIF pictures as phones write them: made at test time, by
// libheif's own encoder (which can write the rotation property a phone
// writes) and by heif-enc.
#include <cstring>
#include <fstream>

#include <unistd.h>

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include "app/heif_writer.h"
#include "doubles/run_shell.h"
#include "console/errors.h"
#include "picture/pictures.h"
#include "picture_input.h"

namespace vcdalbum::host {
namespace {
namespace fs = std::filesystem;
using testing::Marked;
using testing::WriteHeif;
namespace input = components::picture_input;

void ExpectColour(const OwnedImage& img, uint32_t x, uint32_t y, int b, int g, int r) {
    const unsigned char* p = img.row(y) + 3 * x;
    EXPECT_NEAR(p[0], b, 48) << "at " << x << "," << y;
    EXPECT_NEAR(p[1], g, 48) << "at " << x << "," << y;
    EXPECT_NEAR(p[2], r, 48) << "at " << x << "," << y;
}

// Marked(w, h) as shown: green on top, red at the lower left.
void ExpectUpright(const OwnedImage& img, uint32_t w, uint32_t h) {
    ASSERT_EQ(img.width(), w);
    ASSERT_EQ(img.height(), h);
    ExpectColour(img, w / 2, h / 10, 0, 255, 0);
    ExpectColour(img, w / 5, h * 3 / 4, 0, 0, 255);
    ExpectColour(img, w * 4 / 5, h * 3 / 4, 255, 0, 0);
}

// A TIFF-structured EXIF block: IFD0 with the orientation and a pointer to
// the EXIF IFD, which holds DateTimeOriginal.
std::vector<uint8_t> Exif(uint16_t orientation, const std::string& taken) {
    std::vector<uint8_t> t = {'M', 'M', 0, 42, 0, 0, 0, 8};
    auto put16 = [&](unsigned v) { t.insert(t.end(), {uint8_t(v >> 8), uint8_t(v)}); };
    auto put32 = [&](uint32_t v) { put16(v >> 16); put16(v & 0xFFFF); };
    put16(2);
    put16(0x0112), put16(3), put32(1), put16(orientation), put16(0);
    put16(0x8769), put16(4), put32(1), put32(38);
    put32(0);
    put16(1);
    put16(0x9003), put16(2), put32(static_cast<uint32_t>(taken.size() + 1)), put32(56);
    put32(0);
    t.insert(t.end(), taken.begin(), taken.end());
    t.push_back(0);
    return t;
}

std::vector<uint8_t> ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

class HeifPictures : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) /
               ("vcdalbum_heif_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The same failure for every caller: an input error naming the file.
    std::string Refusal(const fs::path& file) {
        try {
            ReadPicture(file);
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
            return e.what();
        }
        ADD_FAILURE() << file << " was read";
        return {};
    }

    fs::path dir_;
};

// A phone stores the rows as the sensor saw them and says "turn 90 degrees
// clockwise" twice: in the file's rotation property and in its EXIF
// orientation. Turned by both, the picture would come out upside down.
TEST_F(HeifPictures, RotatedPhonePicturesComeOutUprightTurnedOnce) {
    const OwnedImage upright = Marked(96, 64);
    // The stored rows of an orientation-6 picture: the upright one turned
    // anticlockwise.
    OwnedImage stored = OwnedImage::Black(64, 96);
    input::Orient(upright.row(0), ImageStride(96), 96, 64, 8, stored.row(0), ImageStride(64));
    const std::string taken = "2024:07:14 18:30:05";
    const struct {
        const char* name;
        heif_compression_format format;
    } kinds[] = {{"phone.heic", heif_compression_HEVC}, {"phone.avif", heif_compression_AV1}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const fs::path file = dir_ / kind.name;
        WriteHeif(file, stored, kind.format, 6, Exif(6, taken));
        std::string date;
        ExpectUpright(ReadPicture(file, &date), 96, 64);
        EXPECT_EQ(date, taken);
        EXPECT_EQ(input::TakenDate(file.string()), taken);
    }
    // A mirrored one (orientation 2) is mirrored back.
    OwnedImage mirrored = OwnedImage::Black(96, 64);
    input::Orient(upright.row(0), ImageStride(96), 96, 64, 2, mirrored.row(0), ImageStride(96));
    WriteHeif(dir_ / "mirror.heic", mirrored, heif_compression_HEVC, 2, {});
    ExpectUpright(ReadPicture(dir_ / "mirror.heic"), 96, 64);
    EXPECT_EQ(input::TakenDate((dir_ / "mirror.heic").string()), "");
}

// heif-enc writes no rotation property but keeps the JPEG's EXIF block,
// orientation and all: the rows are shown as stored. The file is told by its
// content, whatever it is called.
TEST_F(HeifPictures, HeifEncFilesAreReadAsStoredWhateverTheirName) {
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(EncodeJpeg(Marked(96, 64).get(), jpeg).ok());
    std::vector<uint8_t> tiff = Exif(6, "2023:01:02 03:04:05");
    std::vector<uint8_t> app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    app1.insert(app1.end(), tiff.begin(), tiff.end());
    app1[2] = static_cast<uint8_t>((app1.size() - 2) >> 8);
    app1[3] = static_cast<uint8_t>(app1.size() - 2);
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    WriteAll(dir_ / "source.jpg", jpeg);
    const auto made = testing::RunShell("heif-enc -q 90 '" + (dir_ / "source.jpg").string() + "' -o '" +
                                        (dir_ / "named.jpg").string() + "' 2>&1");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    std::string date;
    ExpectUpright(ReadPicture(dir_ / "named.jpg", &date), 96, 64);
    EXPECT_EQ(date, "2023:01:02 03:04:05");
}

// Damaged, cut short, or declaring a picture far too large: each refused
// with a plain reason and the file's name, the large one before decoding.
TEST_F(HeifPictures, BadHeifFilesAreRefusedWithAPlainReason) {
    const fs::path good = dir_ / "good.heic";
    WriteHeif(good, Marked(96, 64), heif_compression_HEVC, 1, {});
    const std::vector<uint8_t> bytes = ReadAll(good);

    WriteAll(dir_ / "cut.heic", std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2)));
    EXPECT_NE(Refusal(dir_ / "cut.heic").find("damaged HEIF picture"), std::string::npos);

    // The coded picture itself overwritten: the boxes still parse.
    std::vector<uint8_t> scrambled = bytes;
    for (size_t i = scrambled.size() - scrambled.size() / 3; i < scrambled.size(); ++i) scrambled[i] ^= 0x5A;
    WriteAll(dir_ / "scrambled.heic", scrambled);
    EXPECT_NE(Refusal(dir_ / "scrambled.heic").find("damaged HEIF picture"), std::string::npos);

    // Only the file-type box.
    WriteAll(dir_ / "header.heic", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 32));
    EXPECT_NE(Refusal(dir_ / "header.heic").find("HEIF picture"), std::string::npos);

    // The spatial-extent property says 12000 x 12000 (past the host's
    // limit), then 40000 x 40000 (past libheif's own, which it reports as a
    // memory error).
    const auto declaring = [&](uint8_t high, uint8_t low) {
        std::vector<uint8_t> huge = bytes;
        const auto at = std::search(huge.begin(), huge.end(), std::begin("ispe"), std::end("ispe") - 1);
        EXPECT_NE(at, huge.end());
        const size_t size = static_cast<size_t>(at - huge.begin()) + 8;  // after the type, version and flags
        for (size_t i : {size, size + 4}) huge[i] = 0, huge[i + 1] = 0, huge[i + 2] = high, huge[i + 3] = low;
        WriteAll(dir_ / "huge.heic", huge);
        return Refusal(dir_ / "huge.heic");
    };
    EXPECT_NE(declaring(0x2E, 0xE0).find("12000x12000 pixels is too large"), std::string::npos);
    EXPECT_NE(declaring(0x9C, 0x40).find("is too large"), std::string::npos);
}

}  // namespace
}  // namespace vcdalbum::host
