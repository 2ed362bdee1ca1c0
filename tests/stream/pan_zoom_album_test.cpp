// Albums with pan-and-zoom, through the library and the real encoder, read
// back frame by frame with FFmpeg: held pictures move, the moving frames stay
// within the player's rate buffer, and transitions start and end where the
// motion is.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "authoring/album_motion.h"
#include "motion/pan_zoom.h"
#include "picture_input.h"
#include "stream/stream_test_support.h"

namespace {

namespace input = vcdalbum::components::picture_input;
using vcdalbum::testing::ExpectRateBufferKept;
using vcdalbum::testing::g_underflowMessages;

constexpr int kW = 352, kH = 240;
constexpr unsigned short kCrossFade = 14;
// At 3 s a picture: frames 0..89 show picture 0, 90..119 the transition,
// picture 1 starts at 120.
constexpr unsigned short kSeconds = 3;
constexpr int kHeld = 90;

using Luma = std::vector<uint8_t>;

// Every frame's luma plane, in display order.
std::vector<Luma> DecodeLuma(const std::string& file) {
    std::vector<Luma> frames;
    input::InputPtr in;
    input::CodecContextPtr decoder;
    int index = -1;
    if (input::OpenDecoder(file, AVMEDIA_TYPE_VIDEO, in, decoder, index)) return frames;
    input::PacketPtr packet(av_packet_alloc());
    input::FramePtr frame(av_frame_alloc());
    auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            Luma y(static_cast<size_t>(kW) * kH);
            for (int r = 0; r < kH; ++r) std::memcpy(&y[static_cast<size_t>(r) * kW], frame->data[0] + r * frame->linesize[0], kW);
            frames.push_back(std::move(y));
        }
    };
    while (av_read_frame(in.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(decoder.get(), packet.get()) == 0) drain();
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    return frames;
}

// The luma of a BGR picture, in TV range as the stream carries it.
Luma LumaOf(const vcdalbum::OwnedImage& image) {
    Luma y(static_cast<size_t>(kW) * kH);
    for (int r = 0; r < kH; ++r)
        for (int x = 0; x < kW; ++x) {
            const unsigned char* p = image.row(static_cast<uint32_t>(r)) + 3 * x;
            y[static_cast<size_t>(r) * kW + x] =
                static_cast<uint8_t>(std::lround(16 + (24.966 * p[0] + 128.553 * p[1] + 65.481 * p[2]) / 255));
        }
    return y;
}

double Psnr(const Luma& a, const Luma& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * double(a[i] - b[i]);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

class PanZoomAlbum : public vcdalbum::testing::StreamTest {
protected:
    // Encodes the pictures source0.jpg ... in the folder (`count` of them),
    // each also fitted to 352x240 as the tool prepares it, as a moving album
    // joined by cross-fades with motion seed `seed`; returns its stream.
    std::string Encode(int count, uint32_t seed) {
        sources_.clear();
        prepared_.clear();
        for (int i = 0; i < count; ++i) {
            sources_.push_back(Path("source" + std::to_string(i) + ".jpg"));
            prepared_.push_back(Path("prepared" + std::to_string(i) + ".jpg"));
            Ffmpeg("-i '" + sources_.back() + "' -vf scale=352:240 '" + prepared_.back() + "'");
        }
        std::vector<char*> pictures, sources;
        for (int i = 0; i < count; ++i) {
            pictures.push_back(prepared_[static_cast<size_t>(i)].data());
            sources.push_back(sources_[static_cast<size_t>(i)].data());
        }
        std::vector<unsigned short> positions, effects;
        for (int i = 0; i + 1 < count; ++i) {
            positions.push_back(static_cast<unsigned short>(i));
            effects.push_back(kCrossFade);
        }
        AlbumRequest request;
        request.albumNo = 3;
        request.pictureCount = static_cast<unsigned short>(count);
        request.pictures = pictures.data();
        request.option5 = kSeconds;
        request.transitionCount = static_cast<unsigned short>(positions.size());
        request.transitionPositions = positions.data();
        request.transitionEffects = effects.data();
        motion_ = AlbumMotion{kAlbumMotionPanZoom, seed, nullptr};
        motion_.sources = sources.data();

        vcdalbum::testing::ScopedEnv temp("TEMP", dir_.c_str());
        auto previous = vcdalbum::platform::SetMovingStreamEncoder(&vcdalbum::components::stream::Encode);
        {
            Authoring authoring;
            authoring.AppendMovingAlbums(&request, &motion_, 1, 1);
        }
        vcdalbum::platform::SetMovingStreamEncoder(previous);
        motion_.sources = nullptr;
        return Path("album3.mpg");
    }

    // Picture i's frame at path position t, as the library draws it.
    Luma Moving(unsigned i, double t) {
        std::vector<char*> sources;
        for (auto& s : sources_) sources.push_back(s.data());
        AlbumMotion m = motion_;
        m.sources = sources.data();
        return LumaOf(vcdalbum::authoring::MovingFrame(m, i, t, kW, kH));
    }

    std::vector<std::string> sources_, prepared_;
    AlbumMotion motion_{};
};

// A seed whose first picture ends zoomed in and whose second starts zoomed
// in, so that a transition drawn from the still pictures would jump at both ends.
uint32_t SeedZoomedAtTheTransition(int w, int h) {
    for (uint32_t seed = 0;; ++seed) {
        const auto shape = vcdalbum::motion::VideoCdFrame(kW, kH);
        const vcdalbum::motion::PanZoomPath a(vcdalbum::motion::PictureSeed(seed, 0), w, h, shape);
        const vcdalbum::motion::PanZoomPath b(vcdalbum::motion::PictureSeed(seed, 1), w, h, shape);
        if (a.endZoom() > 1 && b.startZoom() > 1) return seed;
    }
}

TEST_F(PanZoomAlbum, HeldFramesMoveAndTransitionsJoinTheMotion) {
    for (int i = 0; i < 2; ++i)
        Ffmpeg("-f lavfi -i testsrc2=s=1280x960 -vf \"hue=h=" + std::to_string(90 * i) + "\" -frames 1 -q:v 2 '" +
               Path("source" + std::to_string(i) + ".jpg") + "'");
    const uint32_t seed = SeedZoomedAtTheTransition(1280, 960);
    const std::string out = Encode(2, seed);
    ExpectRateBufferKept(out);
    const std::vector<Luma> frames = DecodeLuma(out);
    ASSERT_GE(frames.size(), static_cast<size_t>(2 * kHeld + 30));

    for (int f = 0; f + 1 < kHeld; ++f) EXPECT_NE(frames[f], frames[f + 1]) << "frames " << f << " and " << f + 1;
    for (int f = 120; f + 1 < 120 + kHeld; ++f) EXPECT_NE(frames[f], frames[f + 1]) << "frames " << f << " and " << f + 1;

    // What is coded is what the sampler drew, at the quality 1150 kbit/s allows.
    EXPECT_GT(Psnr(frames[45], Moving(0, 45.0 / (kHeld - 1))), 30.0);
    // The last held frame is the transition's source, and the first frame
    // after it the transition's end: no jump on either side.
    const double before = Psnr(frames[kHeld - 1], Moving(0, 1.0));
    EXPECT_GT(before, 30.0);
    EXPECT_GT(before, Psnr(frames[kHeld - 1], Moving(0, 0.0)) + 6);
    EXPECT_GT(Psnr(frames[kHeld - 1], frames[kHeld]), 28.0);  // the cross-fade's first frame
    EXPECT_GT(Psnr(frames[119], frames[120]), 30.0);            // its last frame, and picture 1 starts
    EXPECT_GT(Psnr(frames[120], Moving(1, 0.0)), 30.0);
}

TEST_F(PanZoomAlbum, ARealPhotoKeepsItsDetailWhileItMoves) {
    const std::string photo = std::string(VCDALBUM_TESTDATA_DIR) + "/bench/photo_1920x1080_q85_420.jpg";
    if (!std::filesystem::exists(photo)) GTEST_SKIP() << photo << " is absent";
    for (int i = 0; i < 2; ++i)
        Ffmpeg("-i '" + photo + "' -vf \"hue=h=" + std::to_string(120 * i) + "\" -q:v 2 '" +
               Path("source" + std::to_string(i) + ".jpg") + "'");
    const std::vector<Luma> frames = DecodeLuma(Encode(2, 1));
    ASSERT_GE(frames.size(), static_cast<size_t>(2 * kHeld + 30));
    // Every moving frame of an ordinary photo comes through 1150 kbit/s as
    // sharp as the sampler drew it (about 46 dB here), not softened.
    for (int f = 0; f < kHeld; ++f) EXPECT_GT(Psnr(frames[f], Moving(0, f / double(kHeld - 1))), 40.0) << f;
}

TEST_F(PanZoomAlbum, SameSeedSameFrames) {
    Ffmpeg("-f lavfi -i testsrc2=s=800x600 -frames 1 -q:v 2 '" + Path("source0.jpg") + "'");
    const std::vector<Luma> a = DecodeLuma(Encode(1, 9));
    std::filesystem::rename(Path("album3.mpg"), Path("first.mpg"));
    const std::vector<Luma> b = DecodeLuma(Encode(1, 9));
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    EXPECT_NE(DecodeLuma(Encode(1, 10)), a);
}

TEST_F(PanZoomAlbum, GrainyCameraSizedPicturesKeepTheRateBuffer) {
    // Cells of one to two frame pixels under grain: every moving frame is
    // new, random detail for the encoder to code, as dear as frames get.
    for (int i = 0; i < 3; ++i) MakeHardPicture("source" + std::to_string(i) + ".jpg", 2400, 1800, 7 + 3 * i, 5 * i + 3);
    const std::string out = Encode(3, 4);
    ExpectRateBufferKept(out);
    EXPECT_EQ(g_underflowMessages, 0);
    EXPECT_EQ(DecodeLuma(out).size(), static_cast<size_t>(3 * kHeld + 2 * 30));
}

}  // namespace
