#include "picture/pictures.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <tuple>
#include <vector>

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cairo.h>
#include <gtest/gtest.h>
#include <vcdalbum/codec.h>

#include "console/errors.h"
#include "picture_input.h"

namespace vcdalbum::host {
namespace {
namespace fs = std::filesystem;

class PicturesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) / ("vcdalbum_pictures_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A w x h picture: left half red, right half blue, top row marked green.
    static OwnedImage Halves(uint32_t w, uint32_t h) {
        OwnedImage img = OwnedImage::Black(w, h);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                unsigned char* p = img.row(y) + 3 * x;
                if (y < h / 8) p[1] = 255;               // green band on top
                else if (x < w / 2) p[2] = 255;          // red left
                else p[0] = 255;                         // blue right
            }
        return img;
    }

    std::vector<uint8_t> Jpeg(const Image& img) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(EncodeJpeg(img, bytes).ok());
        return bytes;
    }

    fs::path Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
        return dir_ / name;
    }

    // The JPEG with an EXIF block saying how the stored rows are to be turned.
    static std::vector<uint8_t> WithOrientation(std::vector<uint8_t> jpeg, uint16_t orientation) {
        const uint8_t tiff[] = {'I', 'I', 42, 0, 8, 0, 0, 0,         // little-endian TIFF, IFD at 8
                                1, 0,                                // one entry
                                0x12, 0x01, 3, 0, 1, 0, 0, 0,        // Orientation, SHORT, count 1
                                static_cast<uint8_t>(orientation), 0, 0, 0,
                                0, 0, 0, 0};                         // no next IFD
        std::vector<uint8_t> app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
        app1.insert(app1.end(), std::begin(tiff), std::end(tiff));
        const size_t len = app1.size() - 2;
        app1[2] = static_cast<uint8_t>(len >> 8);
        app1[3] = static_cast<uint8_t>(len);
        jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
        return jpeg;
    }

    static void ExpectColour(const OwnedImage& img, uint32_t x, uint32_t y, int b, int g, int r) {
        const unsigned char* p = img.row(y) + 3 * x;
        EXPECT_NEAR(p[0], b, 40) << "at " << x << "," << y;
        EXPECT_NEAR(p[1], g, 40) << "at " << x << "," << y;
        EXPECT_NEAR(p[2], r, 40) << "at " << x << "," << y;
    }

    fs::path dir_;
};

TEST(FitIntoFrame, KeepsTheAspectRatioForTallPixels) {
    EXPECT_EQ(FitIntoFrame(640, 480).width, 352u);   // 4:3 fills the frame
    EXPECT_EQ(FitIntoFrame(640, 480).height, 240u);
    EXPECT_EQ(FitIntoFrame(1920, 1080).width, 352u);  // 16:9: bars above and below
    EXPECT_EQ(FitIntoFrame(1920, 1080).height, 180u);
    EXPECT_EQ(FitIntoFrame(480, 640).width, 198u);    // portrait: bars left and right
    EXPECT_EQ(FitIntoFrame(480, 640).height, 240u);
    EXPECT_EQ(FitIntoFrame(1, 10000).width, 1u);      // never zero
    EXPECT_EQ(FitIntoFrame(10000, 1).height, 1u);
}

TEST(FitIntoFrame, KeepsTheAspectRatioForPalsWidePixels) {
    const VideoStandard& pal = video::kPal;
    EXPECT_EQ(FitIntoFrame(640, 480, pal).width, 352u);   // 4:3 fills the frame
    EXPECT_EQ(FitIntoFrame(640, 480, pal).height, 288u);
    EXPECT_EQ(FitIntoFrame(1920, 1080, pal).width, 352u);  // 16:9: bars above and below
    EXPECT_EQ(FitIntoFrame(1920, 1080, pal).height, 216u);
    EXPECT_EQ(FitIntoFrame(480, 640, pal).width, 198u);    // portrait: bars left and right
    EXPECT_EQ(FitIntoFrame(480, 640, pal).height, 288u);
}

TEST_F(PicturesTest, FitCentresWithBlackBorders) {
    const OwnedImage tall = Halves(300, 400);
    const OwnedImage frame = FitToFrame(tall.get());
    ASSERT_EQ(frame.width(), kFrameWidth);
    ASSERT_EQ(frame.height(), kFrameHeight);
    const FitSize fit = FitIntoFrame(300, 400);
    const uint32_t x0 = (kFrameWidth - fit.width) / 2;
    ExpectColour(frame, 2, 120, 0, 0, 0);                           // left border
    ExpectColour(frame, kFrameWidth - 3, 120, 0, 0, 0);             // right border
    ExpectColour(frame, x0 + fit.width / 4, 120, 0, 0, 255);        // red half
    ExpectColour(frame, x0 + 3 * fit.width / 4, 120, 255, 0, 0);    // blue half
    ExpectColour(frame, kFrameWidth / 2, 5, 0, 255, 0);             // green top
}

TEST_F(PicturesTest, ReadsJpegAndPngAndTurnsByExifOrientation) {
    const OwnedImage source = Halves(64, 32);
    const auto jpeg = Jpeg(source.get());

    const OwnedImage plain = ReadPicture(Write("plain.jpg", jpeg));
    ASSERT_EQ(plain.width(), 64u);
    ASSERT_EQ(plain.height(), 32u);
    ExpectColour(plain, 10, 20, 0, 0, 255);

    // 6: the stored picture is to be turned 90 degrees clockwise, so the
    // green top band ends up on the right and the red half on top.
    const OwnedImage turned = ReadPicture(Write("turned.jpg", WithOrientation(jpeg, 6)));
    ASSERT_EQ(turned.width(), 32u);
    ASSERT_EQ(turned.height(), 64u);
    ExpectColour(turned, 31, 32, 0, 255, 0);
    ExpectColour(turned, 10, 10, 0, 0, 255);
    ExpectColour(turned, 10, 54, 255, 0, 0);
    // 3: upside down.
    const OwnedImage flipped = ReadPicture(Write("flipped.jpg", WithOrientation(jpeg, 3)));
    ExpectColour(flipped, 32, 31, 0, 255, 0);
    ExpectColour(flipped, 5, 10, 255, 0, 0);

    // PNG through FFmpeg as well.
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 30, 20);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0, 1, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    ASSERT_EQ(cairo_surface_write_to_png(s, (dir_ / "p.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    const OwnedImage png = ReadPicture(dir_ / "p.png");
    EXPECT_EQ(png.width(), 30u);
    ExpectColour(png, 15, 10, 0, 255, 0);
}

// A camera-sized photo with detail at the frame's own scale comes into the
// frame as its full-size pixels do. Decoding it smaller first (the decoder's
// truncated inverse DCT) looks harmless on flat areas but blurs and folds
// such detail by several dB.
TEST_F(PicturesTest, DetailedCameraPicturePreparesAsItsFullPixels) {
    OwnedImage source = OwnedImage::Black(2816, 2112);
    uint32_t seed = 12345;
    std::vector<uint8_t> cells(217 * 163);
    for (uint8_t& c : cells) c = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    for (uint32_t y = 0; y < source.height(); ++y)
        for (uint32_t x = 0; x < source.width(); ++x)
            std::memset(source.row(y) + 3 * x, cells[(y / 13) * 217 + x / 13], 3);
    const fs::path file = dir_ / "detailed.jpg";
    WriteJpeg(source.get(), file);
    const OwnedImage expected = FitToFrame(source.get()), prepared = PrepareFrame(file);
    double squared = 0;
    for (uint32_t y = 0; y < kFrameHeight; ++y)
        for (uint32_t x = 0; x < 3 * kFrameWidth; ++x) {
            const double d = expected.row(y)[x] - prepared.row(y)[x];
            squared += d * d;
        }
    const double psnr = 10 * std::log10(255.0 * 255.0 / (squared / (3.0 * kFrameWidth * kFrameHeight) + 1e-9));
    EXPECT_GE(psnr, 45.0);
}

// PSNR over all three colours of two frames.
double FramePsnr(const OwnedImage& a, const OwnedImage& b) {
    double squared = 0;
    for (uint32_t y = 0; y < kFrameHeight; ++y)
        for (uint32_t x = 0; x < 3 * kFrameWidth; ++x) {
            const double d = a.row(y)[x] - b.row(y)[x];
            squared += d * d;
        }
    return 10 * std::log10(255.0 * 255.0 / (squared / (3.0 * kFrameWidth * kFrameHeight) + 1e-9));
}

// A picture is shrunk plane by plane and converted once small. From a 4:2:0
// JPEG whose chroma samples are the means of the pixels they cover (as
// libjpeg writes them), turned by its EXIF orientation, at odd sizes, the
// frame must come as close to the original colours as converting the whole
// picture first does. A colour plane swapped, misplaced by its siting or
// given the wrong size, or a turn applied the wrong way, falls far short.
TEST_F(PicturesTest, ShrinkingThePlanesKeepsTheColoursWhereTheyWere) {
    namespace input = components::picture_input;
    uint32_t seed = 777;
    struct Case {
        uint32_t width, height, cell;
        double atLeast;  // the bound on the frame's PSNR against the original
    };
    // Cells of random colours, 12 frame pixels wide from a camera-sized
    // picture, and 13 source pixels from one just larger than the frame,
    // where its halved chroma shows.
    for (const Case& c : {Case{2817, 2111, 97, 47.0}, Case{389, 301, 13, 25.0}}) {
        OwnedImage source = OwnedImage::Black(c.width, c.height);
        const uint32_t across = c.width / c.cell + 1;
        std::vector<uint8_t> colours(3 * across * (c.height / c.cell + 1));
        for (uint8_t& v : colours) v = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x)
                std::memcpy(source.row(y) + 3 * x, &colours[3 * ((y / c.cell) * across + x / c.cell)], 3);
        WriteJpeg(source.get(), dir_ / "cells444.jpg");
        const std::string command = "convert '" + (dir_ / "cells444.jpg").string() +
                                    "' -sampling-factor 2x2 -quality 97 '" + (dir_ / "cells.jpg").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::ifstream in(dir_ / "cells.jpg", std::ios::binary);
        const std::vector<uint8_t> jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const uint16_t orientation : {1, 6}) {
            const fs::path file = Write("cells" + std::to_string(orientation) + ".jpg", WithOrientation(jpeg, orientation));
            input::Problem problem;
            ASSERT_EQ(input::DecodeFirstPicture(file.string(), problem)->format, AV_PIX_FMT_YUVJ420P);
            OwnedImage original = OwnedImage::Black(orientation == 1 ? c.width : c.height,
                                                    orientation == 1 ? c.height : c.width);
            input::Orient(source.row(0), ImageStride(c.width), static_cast<int>(c.width), static_cast<int>(c.height),
                          orientation, original.row(0), ImageStride(original.width()));
            const OwnedImage truth = FitToFrame(original.get());
            const double planes = FramePsnr(truth, PrepareFrame(file));
            const double whole = FramePsnr(truth, FitToFrame(ReadPicture(file).get()));
            EXPECT_GE(planes, c.atLeast) << c.width << "x" << c.height << ", orientation " << orientation;
            EXPECT_GE(planes, whole - 0.5) << c.width << "x" << c.height << ", orientation " << orientation;
        }
    }
}

TEST_F(PicturesTest, ProgressiveJpegFromTheField) {
    const fs::path file = fs::path(VCDALBUM_TESTDATA_DIR) / "jpeg/golang-1.19-src/video-001.progressive.jpeg";
    if (!fs::exists(file)) GTEST_SKIP() << "test data not present: " << file;
    const OwnedImage img = ReadPicture(file);
    EXPECT_EQ(img.width(), 150u);
    EXPECT_EQ(img.height(), 103u);
}

TEST_F(PicturesTest, BadPicturesAreRefusedNamingTheFile) {
    const auto jpeg = Jpeg(Halves(64, 48).get());
    std::vector<uint8_t> header(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 3));
    std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', '\n'};
    const fs::path cases[] = {dir_ / "missing.jpg", Write("cut.jpg", header), Write("notes.jpg", text),
                              Write("empty.png", {})};
    for (const auto& file : cases) {
        try {
            ReadPicture(file);
            ADD_FAILURE() << file << " was read";
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        }
    }
}

// TIFF as FFmpeg and ImageMagick write it, with tags the decoder does not
// know, is read like any picture; one cut short is still refused.
TEST_F(PicturesTest, TiffFromCommonToolsIsReadAndACutOneRefused) {
    auto made = [&](const std::string& command, const std::string& name) {
        const fs::path file = dir_ / name;
        return std::system((command + " " + file.string() + " >/dev/null 2>&1").c_str()) == 0 && fs::exists(file)
                   ? file
                   : fs::path();
    };
    const fs::path byFfmpeg = made("ffmpeg -y -f lavfi -i color=red:size=64x48 -frames:v 1", "ffmpeg.tiff");
    ASSERT_FALSE(byFfmpeg.empty()) << "ffmpeg cannot write a TIFF";
    std::vector<fs::path> files = {byFfmpeg};
    for (const char* compression : {"None", "LZW", "Zip"})
        if (fs::path f = made(std::string("convert -size 64x48 xc:red -compress ") + compression,
                              std::string("magick-") + compression + ".tif");
            !f.empty())
            files.push_back(f);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const OwnedImage picture = ReadPicture(file);
        EXPECT_EQ(picture.width(), 64u);
        EXPECT_EQ(picture.height(), 48u);
        ExpectColour(picture, 30, 20, 0, 0, 255);
    }
    std::ifstream in(byFfmpeg, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() / 2);
    EXPECT_THROW(ReadPicture(Write("cut.tiff", bytes)), InputError);
}

// A few bytes may declare a picture of hundreds of megapixels. Such a file is
// refused as too large without the memory of the picture it declares being
// taken first (FFmpeg's probe decodes a picture to learn its size); the
// refusal runs in a child so that its peak memory is its own.
TEST_F(PicturesTest, HugeDeclaredSizesAreRefusedWithoutTheirMemory) {
    std::vector<uint8_t> bmp = {'B', 'M', 0x60, 0x09, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                0x03, 0x00, 0x09, 0x00, 0x2C, 0x01, 0, 0,  // 589,827 x 300
                                1, 0, 24, 0};
    bmp.resize(54, 0);
    bmp.resize(2400, 0x40);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                0, 0, 0x4E, 0x20, 0, 0, 0x4E, 0x20, 8, 2, 0, 0, 0};  // 20,000 x 20,000
    png.resize(600, 0);
    const std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0,
                                       0xFF, 0xC0, 0, 11, 8, 0xFF, 0xFF, 0xFF, 0xFF, 1, 1, 0x11, 0, 0xFF, 0xD9};
    const fs::path files[] = {Write("wide.bmp", bmp), Write("square.png", png), Write("huge.jpg", jpeg)};
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        int failures = 0;
        for (const fs::path& file : files) {
            try {
                ReadPicture(file);
                ++failures;
            } catch (const InputError& e) {
                const std::string what = e.what();
                if (what.find(file.string()) == std::string::npos || what.find("too large") == std::string::npos) {
                    std::fprintf(stderr, "%s\n", e.what());
                    ++failures;
                }
            }
        }
        getrusage(RUSAGE_SELF, &after);
        const long grewKiB = after.ru_maxrss - before.ru_maxrss;
        if (grewKiB > 64 * 1024) std::fprintf(stderr, "peak memory grew by %ld KiB\n", grewKiB);
        _exit(failures ? 1 : grewKiB > 64 * 1024 ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not refused as too large, naming the file; 2: its memory was taken";
}

// FFmpeg's scaler reads and writes whole vector words past the end of a
// picture's last row. Pictures are placed so that their spare bytes end at
// a page that may not be touched: reaching past them crashes the test.
class GuardedPicture {
public:
    GuardedPicture(uint32_t width, uint32_t height) {
        const size_t bytes = size_t{ImageStride(width)} * height + kImageTailPadding;
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        length_ = (bytes + page - 1) / page * page + page;
        base_ = static_cast<uint8_t*>(mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_NE(base_, MAP_FAILED);
        EXPECT_EQ(mprotect(base_ + length_ - page, page, PROT_NONE), 0);
        image_.headerSize = 40;
        image_.width = width;
        image_.height = image_.heightCopy = height;
        image_.imageSize = static_cast<uint32_t>(bytes - kImageTailPadding);
        image_.data = base_ + length_ - page - bytes;
    }
    ~GuardedPicture() { munmap(base_, length_); }
    Image& get() { return image_; }

private:
    uint8_t* base_ = nullptr;
    size_t length_ = 0;
    Image image_{};
};

TEST_F(PicturesTest, ScalingStaysInsideThePicturesSpareBytes) {
    // Sources: pictures more than twice their fitted size go through the
    // scaler before the fit.
    for (const auto& [w, h] : {std::pair{83u, 512u}, {1u, 600u}, {2u, 481u}, {700u, 3u}, {997u, 1001u}, {1023u, 17u}}) {
        GuardedPicture source(w, h);
        std::memset(source.get().data, 0x80, source.get().imageSize);
        const OwnedImage frame = FitToFrame(source.get());
        EXPECT_EQ(frame.width(), 352u) << w << "x" << h;
    }
    // Destinations: a decoded picture's planes converted to its BGR rows.
    for (uint32_t w = 1; w <= 48; ++w) {
        const uint32_t h = 2 + w % 3, cw = (w + 1) / 2, ch = (h + 1) / 2;
        std::vector<uint8_t> luma(size_t{w} * h + 64, 90), blue(size_t{cw} * ch + 64, 110), red(size_t{cw} * ch + 64, 150);
        const uint8_t* planes[4] = {luma.data(), blue.data(), red.data(), nullptr};
        const int strides[4] = {static_cast<int>(w), static_cast<int>(cw), static_cast<int>(cw), 0};
        GuardedPicture out(w, h);
        uint8_t* dst[4] = {out.get().data, nullptr, nullptr, nullptr};
        const int dstStride[4] = {static_cast<int>(ImageStride(w)), 0, 0, 0};
        ASSERT_TRUE(components::picture_input::Convert(planes, strides, AV_PIX_FMT_YUV420P, true, static_cast<int>(w),
                                                       static_cast<int>(h), dst, dstStride, AV_PIX_FMT_BGR24, true,
                                                       static_cast<int>(w), static_cast<int>(h)));
    }
}

// A camera's JPEG carries a whole small JPEG (its thumbnail, with its own
// end-of-image marker) in a segment before the picture: a file cut short in
// the picture itself is still found cut short, and the whole one is read.
TEST_F(PicturesTest, CutShortIsFoundPastAnEmbeddedThumbnail) {
    const auto thumbnail = Jpeg(Halves(16, 16).get());
    std::vector<uint8_t> jpeg = Jpeg(Halves(64, 48).get());
    std::vector<uint8_t> segment = {0xFF, 0xFE, static_cast<uint8_t>((thumbnail.size() + 2) >> 8),
                                    static_cast<uint8_t>(thumbnail.size() + 2)};
    segment.insert(segment.end(), thumbnail.begin(), thumbnail.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    EXPECT_EQ(ReadPicture(Write("whole.jpg", jpeg)).width(), 64u);

    jpeg.resize(jpeg.size() - 40);
    try {
        ReadPicture(Write("cut.jpg", jpeg));
        ADD_FAILURE() << "a cut picture was read";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("cut short at byte " + std::to_string(jpeg.size())), std::string::npos)
            << e.what();
    }
}

TEST_F(PicturesTest, PreparedPictureIsAFrameSizedJpeg) {
    const fs::path in = Write("in.jpg", Jpeg(Halves(640, 480).get()));
    PreparePicture(in, dir_ / "out.jpg");
    Image out{};
    ASSERT_TRUE(DecodeJpegFile((dir_ / "out.jpg").string(), out).ok());
    EXPECT_EQ(out.width, kFrameWidth);
    EXPECT_EQ(out.height, kFrameHeight);
    ReleaseImage(out);
}

}  // namespace
}  // namespace vcdalbum::host
