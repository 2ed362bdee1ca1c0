// What the stream tests share: a scratch folder, the ffmpeg program for
// inputs, a count of FFmpeg's own underflow messages, and the rate buffer
// check every stream they build goes through.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "doubles/run_shell.h"
#include "doubles/scoped_env.h"
#include "doubles/scratch_dir.h"
#include "platform/stream_encoder.h"
#include "stream_encode.h"
#include "vbv_model.h"
#include "vcdalbum/Authoring.h"

namespace vcdalbum::testing {

inline int g_underflowMessages = 0;

inline void CountUnderflowMessages(void* avcl, int level, const char* fmt, va_list args) {
    char line[1024];
    std::vsnprintf(line, sizeof line, fmt, args);
    // Both the rate control's "rc buffer underflow" and the muxer's buffer underflows.
    if (std::strstr(line, "underflow") != nullptr) ++g_underflowMessages;
    if (level <= AV_LOG_ERROR) std::fprintf(stderr, "[%s] %s", avcl ? av_default_item_name(avcl) : "ffmpeg", line);
}

// The player's rate buffer never runs dry and never overflows.
inline void ExpectRateBufferKept(const std::string& file) {
    const vcdalbum::components::stream::VbvReport report = vcdalbum::components::stream::CheckVbvFile(file);
    EXPECT_TRUE(report.ok()) << file << ": " << report.Describe();
}

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_underflowMessages = 0;
        av_log_set_callback(&CountUnderflowMessages);
    }
    void TearDown() override {
        av_log_set_callback(av_log_default_callback);
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    void Ffmpeg(const std::string& args) {
        const CommandResult run = RunShell("ffmpeg -nostdin -hide_banner -loglevel error -y " + args + " 2>&1");
        ASSERT_EQ(run.exitCode, 0) << args << "\n" << run.output;
    }

    // Encodes `names` straight through the encoder into `out`, `seconds`
    // per picture, transition runs one frame per entry; `option6` names the
    // standard (625: PAL); `motion`, when given, moves the pictures.
    int EncodeStream(std::vector<std::string> names, unsigned short seconds, std::string out, uint16_t option6 = 0,
                     const StreamMotion* motion = nullptr) {
        std::vector<char*> pictures;
        for (auto& n : names) pictures.push_back(n.data());
        pictures.push_back(nullptr);
        StreamInfo info{};
        info.pictureFiles = pictures.data();
        info.pictureCount = static_cast<int32_t>(names.size());
        info.outputFile = out.data();
        info.option5 = seconds;
        info.option6 = option6;
        return vcdalbum::components::stream::Encode(&info, motion);
    }

    // Encodes album `albumNo` through Authoring with the real stream
    // encoder: `effects[i]` between pictures i and i+1, `seconds` per
    // picture. Returns the stream's path.
    std::string EncodeAlbum(unsigned short albumNo, std::vector<std::string> pictures,
                            std::vector<unsigned short> effects, unsigned short seconds) {
        std::vector<char*> names;
        for (auto& p : pictures) names.push_back(p.data());
        std::vector<unsigned short> positions;
        for (size_t i = 0; i < effects.size(); ++i) positions.push_back(static_cast<unsigned short>(i));
        ScopedEnv temp("TEMP", dir_.c_str());
        auto previous = vcdalbum::platform::SetStreamEncoder(&vcdalbum::components::stream::Encode);
        {
            Authoring authoring;
            authoring.AppendAlbum(0, albumNo, static_cast<unsigned short>(names.size()), names.data(), 0, nullptr, 0,
                                  seconds, 0, static_cast<unsigned short>(effects.size()), positions.data(),
                                  effects.data());
        }
        vcdalbum::platform::SetStreamEncoder(previous);
        return Path("album" + std::to_string(albumNo) + ".mpg");
    }

    // A picture that is as hard as pictures get for the encoder: cells of
    // random colour `cell` pixels wide in a `width` x `height` picture, with
    // fine grain over them. `seed` makes each one different.
    void MakeHardPicture(const std::string& name, int width, int height, int cell, int seed) {
        Ffmpeg("-f lavfi -i \"nullsrc=s=" + std::to_string(width / cell) + "x" + std::to_string(height / cell) +
               ",format=gbrp,geq=r='255*random(" + std::to_string(seed) + ")':g='255*random(" + std::to_string(seed + 1) +
               ")':b='255*random(" + std::to_string(seed + 2) + ")',scale=" + std::to_string(width) + ":" +
               std::to_string(height) + ":flags=neighbor,noise=alls=30:allf=t+u\" -frames 1 -q:v 2 '" + Path(name) + "'");
    }

    ScratchDir scratch_{"vcdalbum-stream-"};
    const std::filesystem::path dir_ = scratch_.path();
};

}  // namespace vcdalbum::testing
