// Background music: looping, cutting, the fade-out and silence; and a
// video clip's sound, under which the music is turned down.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "doubles/scratch_dir.h"
#include "music.h"
#include "soundtrack.h"

namespace {

namespace fs = std::filesystem;

double Rms(const std::vector<int16_t>& s, int64_t from, int64_t to) {
    double sum = 0;
    for (int64_t i = from; i < to; ++i) sum += static_cast<double>(s[2 * i]) * s[2 * i] + static_cast<double>(s[2 * i + 1]) * s[2 * i + 1];
    return std::sqrt(sum / (2.0 * static_cast<double>(to - from)));
}

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        tone_ = (dir_ / "tone.wav").string();
        ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=f=440:d=0.7:sample_rate=22050 "
                               "-ac 1 '" + tone_ + "'").c_str()), 0);
    }
    template <class Sound>
    std::vector<int16_t> ReadAll(Sound& music, int64_t samples) {
        std::vector<int16_t> out(static_cast<size_t>(samples) * 2);
        for (int64_t at = 0; at < samples; at += 1152) {
            int n = static_cast<int>(std::min<int64_t>(1152, samples - at));
            music.Read(out.data() + at * 2, n);
        }
        return out;
    }
    vcdalbum::testing::ScratchDir scratch_{"vcdalbum-music-"};
    const fs::path dir_ = scratch_.path();
    std::string tone_;
};

TEST_F(MusicTest, ShortMusicLoopsAndFadesOutOverTheLastSecond) {
    const int64_t total = 3 * vcdalbum::components::stream::kAudioRate;
    vcdalbum::components::stream::Music music({tone_}, total);
    ASSERT_FALSE(music.silent());
    std::vector<int16_t> s = ReadAll(music, total + 2000);  // past the end: silence
    const double full = Rms(s, 1000, 20000);
    EXPECT_GT(full, 1000.0);
    // The 0.7 s tone is playing again after its end (resampled to 44.1 kHz, mono to both channels).
    EXPECT_GT(Rms(s, 40000, 60000), full * 0.8);
    EXPECT_GT(Rms(s, 75000, 85000), full * 0.8);
    EXPECT_EQ(s[2 * 50000], s[2 * 50000 + 1]);
    // Fading: half way through the last second about half as loud, silent at the end.
    const int64_t fade = total - vcdalbum::components::stream::kAudioRate;
    EXPECT_NEAR(Rms(s, fade + 20000, fade + 24100) / full, 0.5, 0.1);
    EXPECT_LT(Rms(s, total - 400, total), full * 0.02);
    EXPECT_EQ(Rms(s, total, total + 2000), 0.0);
}

TEST_F(MusicTest, UnreadableFilesAreSkippedAndNoneReadableMeansSilence) {
    const std::string junk = (dir_ / "junk.mp3").string();
    std::ofstream(junk) << "no sound here";
    testing::internal::CaptureStderr();
    vcdalbum::components::stream::Music skipping({junk, tone_}, vcdalbum::components::stream::kAudioRate * 2);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("junk.mp3"), std::string::npos);
    EXPECT_FALSE(skipping.silent());
    EXPECT_GT(Rms(ReadAll(skipping, 20000), 1000, 20000), 1000.0);

    testing::internal::CaptureStderr();
    vcdalbum::components::stream::Music none({junk, (dir_ / "missing.ogg").string()}, 50000);
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("missing.ogg"), std::string::npos);
    EXPECT_TRUE(none.silent());
    EXPECT_EQ(Rms(ReadAll(none, 50000), 0, 50000), 0.0);

    vcdalbum::components::stream::Music empty({}, 50000);
    EXPECT_TRUE(empty.silent());
}

// The clip plays from 2 s to 5 s of the stream, from its own second 1: a
// second of its sound that is loud, then nothing. The music, meanwhile,
// is turned down, and comes back after the clip.
TEST_F(MusicTest, AClipsSoundPlaysFromItsStartWithTheMusicTurnedDownUnderIt) {
    namespace stream = vcdalbum::components::stream;
    const std::string clip = (dir_ / "clip.wav").string();
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                           "\"aevalsrc=if(lt(t\\,1)\\,0\\,0.5*sin(2*PI*660*t)):d=2:s=48000\" '" + clip + "'").c_str()),
              0);
    std::ofstream(dir_ / "clip0.sound") << "1.000000\n" << clip << "\n";
    stream::EncodePlan plan;
    plan.music = {tone_};
    const int64_t fps30 = 30000 / 1001;  // frames of about one second, NTSC
    plan.clipSounds.push_back(stream::PlannedClipSound{2 * fps30 + 2, 3 * fps30 + 3, (dir_ / "clip0.sound").string()});
    const int64_t rate = stream::kAudioRate, total = 8 * rate;
    stream::Soundtrack sound(plan, total);
    const std::vector<int16_t> s = ReadAll(sound, total);
    const double full = Rms(s, rate, rate * 14 / 10);
    EXPECT_GT(full, 1000.0);
    EXPECT_GT(Rms(s, rate * 21 / 10, rate * 29 / 10), 8000.0) << "the clip's loud second from its start";
    EXPECT_NEAR(Rms(s, rate * 32 / 10, rate * 48 / 10) / full, stream::kMusicUnderClip, 0.05);
    EXPECT_NEAR(Rms(s, rate * 56 / 10, rate * 68 / 10) / full, 1.0, 0.2) << "the music back after the clip";
}

}  // namespace
