#include "stream_encode.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "detail_limiter.h"
#include "encode_plan.h"
#include "music.h"
#include "picture_frames.h"
#include "vcd_writer.h"
#include "vrxstream.h"

namespace vrxstream {
namespace {

int Fail(const std::string& output, const std::string& tmp, int code, const std::string& reason) {
    if (!tmp.empty()) {
        std::error_code ec;
        std::filesystem::remove(tmp, ec);
    }
    std::fprintf(stderr, "vrxstream: cannot encode '%s': %s\n", output.c_str(), reason.c_str());
    return code;
}

// Samples per channel that cover `frames` video frames.
int64_t SamplesForFrames(int64_t frames) {
    return (frames * kFrameRateDen * kAudioRate + kFrameRateNum / 2) / kFrameRateNum;
}

class Progress {
public:
    explicit Progress(ProgressCallBack cb) : cb_(cb) {}
    // 100 is kept for the finished file.
    void Frames(int64_t done, int64_t total) { Report(static_cast<int>(std::min<int64_t>(99, done * 100 / total))); }
    void Report(int percent) {
        if (cb_ != nullptr && percent != last_) {
            last_ = percent;
            cb_(percent);
        }
    }

private:
    ProgressCallBack cb_;
    int last_ = -1;
};

}  // namespace

double ActivityLimit(double vbvFullness) {
    // Ordinary photos stay well below the limit even with an empty buffer.
    constexpr double kRelaxed = 48.0;
    constexpr double kStrict = 20.0;
    double share = std::clamp((vbvFullness - 0.2) / 0.6, 0.0, 1.0);
    return kStrict + (kRelaxed - kStrict) * share;
}

namespace {

// Writes the whole stream to `path`. Returns a result code, with the reason
// in `error` on failure; the file is closed when this returns.
int WriteStream(const EncodePlan& plan, const std::string& path, Progress& progress, std::string& error) {
    const int64_t totalSamples = SamplesForFrames(plan.totalFrames);
    VcdWriter writer;
    if (!(error = writer.Open(path)).empty()) return kVrxStreamEncoderFailure;
    Music music(plan.music, totalSamples);
    std::vector<int16_t> samples(static_cast<size_t>(writer.AudioFrameSamples()) * 2);

    auto writeAudioUpTo = [&](int64_t upToSamples) -> std::string {
        while (writer.audioSamples() < upToSamples) {
            music.Read(samples.data(), writer.AudioFrameSamples());
            std::string e = writer.WriteAudio(samples.data());
            if (!e.empty()) return e;
        }
        return std::string();
    };

    int64_t framesDone = 0;
    progress.Report(0);
    for (const PlannedPicture& picture : plan.pictures) {
        FramePtr frame;
        if (picture.path.empty()) {
            frame = MakeBlackFrame();
            if (!frame) {
                error = "out of memory";
                return kVrxStreamEncoderFailure;
            }
        } else {
            std::string why;
            frame = LoadPictureFrame(picture.path, why);
            if (!frame) {
                error = "picture '" + picture.path + "': " + why;
                return kVrxStreamBadPicture;
            }
        }
        // A held picture gets many frames to refine its first coarse one; only
        // short-lived frames must fit the buffer as it stands.
        const double fullness = picture.frames > 1 ? 1.0 : writer.vbvFullness();
        LimitDetail(*frame, ActivityLimit(fullness));
        for (int64_t f = 0; f < picture.frames; ++f) {
            if (!(error = writeAudioUpTo(SamplesForFrames(framesDone + 1))).empty() ||
                !(error = writer.WriteVideo(*frame)).empty())
                return kVrxStreamEncoderFailure;
            ++framesDone;
            progress.Frames(framesDone, plan.totalFrames);
        }
    }
    if (!(error = writeAudioUpTo(totalSamples)).empty() || !(error = writer.Finish()).empty())
        return kVrxStreamWriteFailure;
    return kVrxStreamOk;
}

}  // namespace

int Encode(StreamInfo* info) {
    if (info == nullptr) return Fail("(no record)", std::string(), kVrxStreamBadArguments, "the record is null");
    if (info->outputFile == nullptr || info->outputFile[0] == '\0')
        return Fail("(no output)", std::string(), kVrxStreamBadArguments, "no output file was given");
    const std::string output = info->outputFile;
    const std::string tmp = output + ".part" + std::to_string(static_cast<long>(getpid()));

    Progress progress(info->callBack);
    std::string error;
    int result = WriteStream(MakePlan(*info), tmp, progress, error);
    if (result != kVrxStreamOk) return Fail(output, tmp, result, error);

    std::error_code ec;
    std::filesystem::rename(tmp, output, ec);
    if (ec) return Fail(output, tmp, kVrxStreamWriteFailure, "cannot rename the finished stream: " + ec.message());
    progress.Report(100);
    return kVrxStreamOk;
}

}  // namespace vrxstream
