// Our encoder's files read by our decoder agree with libjpeg-turbo's reading
// of the same files (integer IDCT, chroma replicated): within 3 per channel,
// mean absolute difference below 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "encoder_test_support.h"
#include "codec/libjpeg_peer.h"
#include "ppm/ppm.h"

using namespace encoder_test;

namespace {

void ExpectDecodersAgree(const Image& picture, const std::string& what) {
    const std::vector<uint8_t> jpeg = Encode(picture);
    ASSERT_FALSE(jpeg.empty()) << what;
    const libjpeg_peer::Decoded peer = libjpeg_peer::Decode(jpeg, false);
    ASSERT_TRUE(peer.ok) << what << ": " << peer.message;

    Image ours{};
    const vcdalbum::CodecResult result = vcdalbum::DecodeJpeg(std::span<const uint8_t>(jpeg), ours);
    ASSERT_EQ(result.code, vcdalbum::kCodecOk) << what << ": " << result.message;
    ASSERT_EQ(ours.width, picture.width);
    ASSERT_EQ(ours.height, picture.height);
    const uint32_t stride = ImageStride(ours.width);
    int largest = 0;
    double sum = 0;
    for (uint32_t y = 0; y < ours.height; ++y)
        for (uint32_t x = 0; x < ours.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int a = ours.data[static_cast<size_t>(y) * stride + 3 * x + (2 - c)];
                const int b = peer.pixels[(static_cast<size_t>(y) * ours.width + x) * 3 + c];
                largest = std::max(largest, std::abs(a - b));
                sum += std::abs(a - b);
            }
    vcdalbum::ReleaseImage(ours);
    EXPECT_LE(largest, 3) << what;
    EXPECT_LT(sum / (3.0 * picture.width * picture.height), 1.0) << what;
}

}  // namespace

TEST(DecoderAgreement, OurDecoderReadsOurFilesLikeLibjpeg) {
    OwnedImage gradient = Painted(352, 240, Gradient);
    ExpectDecodersAgree(gradient.get(), "gradient 352x240");
    OwnedImage odd = Painted(350, 241, Gradient);
    ExpectDecodersAgree(odd.get(), "gradient 350x241");

    const std::string ppm = std::string(VCDALBUM_TESTDATA_DIR) + "/bench/seeding_352x240.ppm";
    if (!std::filesystem::exists(ppm)) GTEST_SKIP() << "test data not found: " << ppm;
    Image photo{};
    std::string error;
    ASSERT_TRUE(vcdalbum::cli::ReadPpm(ppm, photo, error)) << error;
    ExpectDecodersAgree(photo, "seeding_352x240");
    vcdalbum::ReleaseImage(photo);
}
