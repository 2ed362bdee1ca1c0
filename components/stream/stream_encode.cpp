#include "stream_encode.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "component_messages.h"
#include "detail_limiter.h"
#include "encode_plan.h"
#include "moving_picture.h"
#include "music.h"
#include "soundtrack.h"
#include "picture_frames.h"
#include "rate_guard.h"
#include "vbv_model.h"
#include "vcd_writer.h"
#include "contract/vrxstream.h"

namespace vcdalbum::components::stream {
namespace {

int Fail(const std::string& output, const std::string& tmp, int code, const std::string& reason) {
    if (!tmp.empty()) {
        std::error_code ec;
        std::filesystem::remove(tmp, ec);
    }
    Say("cannot encode '" + output + "': " + reason);
    return code;
}

// Passes over the whole stream before giving up. Ordinary pictures need one;
// the checks before each frame leave a second pass for pictures that defeat
// them, and each pass widens the margin of the pictures that failed.
constexpr int kMaxEncodePasses = 8;
constexpr size_t kViolationsShown = 5;

class Progress {
public:
    explicit Progress(ProgressCallBack cb) : cb_(cb) {}
    // 100 is kept for the finished file. A pass that codes the stream again
    // does not take the reported progress back.
    void Frames(int64_t done, int64_t total) { Report(static_cast<int>(std::min<int64_t>(99, done * 100 / total))); }
    void Report(int percent) {
        if (cb_ != nullptr && percent > last_) {
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

// The first frame of `picture`: the start of its path for a moving one,
// black for a gap, else the picture as loaded. Returns kVrxStreamOk, or the
// code to stop with and the reason in `error`.
int FirstFrame(const PlannedPicture& picture, const VideoStandard& standard, MovingPicture& moving, FramePtr& frame,
               std::string& error) {
    if (!picture.source.empty()) {
        // The path is laid out on the stream's own frame: its size and its
        // pixels' shape, so a PAL picture moves on 352x288 at 12:11.
        const motion::FrameShape shape{standard.width, standard.height,
                                       static_cast<double>(standard.sarNum) / standard.sarDen};
        std::string why = moving.Open(picture.source, picture.seed, shape);
        if (!why.empty()) {
            error = "picture '" + picture.source + "': " + why;
            return kVrxStreamBadPicture;
        }
        frame = moving.Frame(0);
    } else if (picture.path.empty()) {
        frame = MakeBlackFrame(standard);
    } else {
        std::string why;
        frame = LoadPictureFrame(picture.path, standard, why);
        if (!frame) {
            error = "picture '" + picture.path + "': " + why;
            return kVrxStreamBadPicture;
        }
    }
    if (!frame) {
        error = "out of memory";
        return kVrxStreamEncoderFailure;
    }
    return kVrxStreamOk;
}

// Writes the whole stream to `path`. Returns a result code, with the reason
// in `error` on failure; the file is closed when this returns.
int WriteStream(const EncodePlan& plan, const std::vector<int>& levels, const std::string& path, Progress& progress,
                std::string& error) {
    const VideoStandard& standard = *plan.standard;
    const int64_t totalSamples = SamplesForFrames(plan.totalFrames, standard);
    VcdWriter writer(standard);
    RateGuard guard(standard);
    if (!(error = writer.Open(path)).empty()) return kVrxStreamEncoderFailure;
    Soundtrack music(plan, totalSamples);
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
    for (size_t index = 0; index < plan.pictures.size(); ++index) {
        const PlannedPicture& picture = plan.pictures[index];
        const int level = index < levels.size() ? levels[index] : 0;
        FramePtr frame;
        MovingPicture moving;
        if (const int code = FirstFrame(picture, standard, moving, frame, error); code != kVrxStreamOk) return code;
        // A held picture gets many frames to refine its first coarse one; only
        // short-lived frames must fit the buffer as it stands.
        const bool held = picture.frames > 1;
        LimitDetail(*frame, ActivityLimit(held ? 1.0 : writer.vbvFullness()));
        std::optional<PictureFitter> fitter(std::in_place, guard, *frame, level);
        // The frames still to come with the same pixels as frame f: the rest
        // of a held picture, none for a moving one or a softened stand-in.
        const auto repeatsAfter = [&](const PictureFitter::Choice& choice, int64_t f) -> int64_t {
            return picture.source.empty() && choice.frame == frame.get() ? picture.frames - f - 1 : 0;
        };
        for (int64_t f = 0; f < picture.frames; ++f) {
            if (!picture.source.empty() && f > 0) {
                // A moving picture: every frame is new content.
                frame = moving.Frame(motion::PathPosition(f, picture.frames));
                if (!frame) {
                    error = "out of memory";
                    return kVrxStreamEncoderFailure;
                }
                LimitDetail(*frame, ActivityLimit(1.0));
                fitter.emplace(guard, *frame, level);
            }
            const PictureFitter::Choice choice =
                fitter->Next(writer.vbvContentBits(), writer.videoFrames() - writer.lastKeyFrame());
            if (choice.frame == nullptr) {
                error = "out of memory";
                return kVrxStreamEncoderFailure;
            }
            if (!(error = writeAudioUpTo(SamplesForFrames(framesDone + 1, standard))).empty() ||
                !(error = writer.WriteVideo(*choice.frame, choice.keyFrame, repeatsAfter(choice, f))).empty())
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

int Encode(StreamInfo* info) { return Encode(info, nullptr); }

int Encode(StreamInfo* info, const StreamMotion* motion) {
    if (info == nullptr) return Fail("(no record)", std::string(), kVrxStreamBadArguments, "the record is null");
    if (info->outputFile == nullptr || info->outputFile[0] == '\0')
        return Fail("(no output)", std::string(), kVrxStreamBadArguments, "no output file was given");
    const std::string output = info->outputFile;
    const std::string tmp = output + ".part" + std::to_string(static_cast<long>(getpid()));

    Progress progress(info->callBack);
    std::string error;
    const EncodePlan plan = MakePlan(*info, motion);
    std::vector<int> levels(plan.pictures.size(), 0);  // safety level per picture
    // The stream is only kept once the rate buffer model, run over the
    // finished file, finds every picture in time and no overflow.
    for (int pass = 1;; ++pass) {
        int result = WriteStream(plan, levels, tmp, progress, error);
        if (result != kVrxStreamOk) return Fail(output, tmp, result, error);
        const VbvReport report = CheckVbvFile(tmp);
        if (report.ok()) break;
        if (pass == kMaxEncodePasses || !RaiseSafetyLevels(plan, report, levels))
            return Fail(output, tmp, kVrxStreamEncoderFailure,
                        "the stream does not keep the player's rate buffer: " + report.Describe(kViolationsShown));
        if (VerboseRun())
            Say("'" + output + "': coding again, softer, the pictures that missed the player's rate buffer:\n" +
                report.Describe(kViolationsShown));
    }

    std::error_code ec;
    std::filesystem::rename(tmp, output, ec);
    if (ec) return Fail(output, tmp, kVrxStreamWriteFailure, "cannot rename the finished stream: " + ec.message());
    progress.Report(100);
    return kVrxStreamOk;
}

}  // namespace vcdalbum::components::stream
