#include "clip_input.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

extern "C" {
#include <libavutil/display.h>
}

namespace vcdalbum::components::picture_input {
namespace {

using Kind = Problem::Kind;

// A clip whose first picture needs more packets than this gives none.
constexpr int kPacketsForFirstPicture = 2000;

double FrameTime(const AVFrame& frame, double timeBase, double startTime) {
    const int64_t pts = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
    return pts == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(pts) * timeBase - startTime;
}

}  // namespace

Problem ClipReader::Open(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {Kind::kNotFound, "video clip not found"};
    if (!std::filesystem::is_regular_file(path, ec)) return {Kind::kNotFound, "not a video clip"};
    if (!current_ || !next_ || !packet_) return {Kind::kOutOfMemory, "out of memory"};
    Problem p = OpenDecoder(path, AVMEDIA_TYPE_VIDEO, input_, decoder_, stream_);
    if (p.kind == Kind::kUnreadable) return {Kind::kUnreadable, "not a video clip FFmpeg can read"};
    if (p.kind == Kind::kNoStream) return {Kind::kNoStream, "holds no video"};
    if (p) return p;
    const AVStream* stream = input_->streams[stream_];
    timeBase_ = av_q2d(stream->time_base);
    startTime_ = stream->start_time != AV_NOPTS_VALUE ? static_cast<double>(stream->start_time) * timeBase_ : 0.0;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        facts_.seconds = static_cast<double>(stream->duration) * timeBase_;
    else if (input_->duration > 0)
        facts_.seconds = static_cast<double>(input_->duration) / AV_TIME_BASE;
    facts_.width = stream->codecpar->width;
    facts_.height = stream->codecpar->height;
    size_t size = 0;
    // Phones record sideways and say so in the stream's display matrix.
    if (const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
        matrix != nullptr && size >= 9 * sizeof(int32_t))
        facts_.orientation = OrientationOfRotation(av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix)));
    facts_.sound = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
    if (!DecodeNext() || next_->width <= 0 || next_->height <= 0) return {Kind::kDamaged, "its video cannot be decoded"};
    std::swap(current_, next_);
    haveNext_ = DecodeNext();
    return {};
}

bool ClipReader::DecodeNext() {
    if (ended_) return false;
    for (int packets = 0;;) {
        av_frame_unref(next_.get());
        const int rc = avcodec_receive_frame(decoder_.get(), next_.get());
        if (rc == 0) return true;
        if (rc != AVERROR(EAGAIN) || flushing_ || (!current_->data[0] && ++packets > kPacketsForFirstPicture)) break;
        if (av_read_frame(input_.get(), packet_.get()) < 0) {
            flushing_ = true;
            avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        // A broken packet costs its own pictures, as a player finds.
        if (packet_->stream_index == stream_) avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
    }
    ended_ = true;
    return false;
}

const AVFrame* ClipReader::At(double seconds) {
    if (!current_ || !current_->data[0]) return nullptr;
    while (haveNext_ && FrameTime(*next_, timeBase_, startTime_) <= seconds) {
        std::swap(current_, next_);
        haveNext_ = DecodeNext();
    }
    return current_.get();
}

Problem CheckClip(const std::string& path, ClipFacts& facts) {
    ClipReader reader;
    Problem p = reader.Open(path);
    facts = reader.facts();
    return p;
}

std::string ClipTakenDate(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, FileUrl(path).c_str(), nullptr, nullptr) < 0) return {};
    const InputPtr input(raw);
    const AVDictionaryEntry* e = av_dict_get(raw->metadata, "creation_time", nullptr, 0);
    if (e == nullptr || e->value == nullptr) return {};
    return std::string(e->value).substr(0, 19);
}

bool IsClipFileName(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".mp4" || ext == ".mov" || ext == ".m4v" || ext == ".3gp" || ext == ".mkv" || ext == ".avi";
}

}  // namespace vcdalbum::components::picture_input
