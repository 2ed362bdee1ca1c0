// Frames per second of every transition effect on a 352 x 240 pair (render
// only, and render + JPEG save), beside FFmpeg's xfade filter drawing the
// comparable transitions on the same pair, single-threaded, in one run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include "vcdalbum/codec.h"
#include "vcdalbum/transitions.h"

namespace {

constexpr int kWidth = 352;
constexpr int kHeight = 240;

struct Pair {
    Image first{};
    Image second{};
};

// The benchmark photo when the test data is there, else a drawn pattern; the
// second picture is the first mirrored with its colours turned.
bool LoadPhoto(Image& image) {
    std::ifstream in(VCDALBUM_TESTDATA_DIR "/bench/seeding_352x240.ppm", std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    if (!(in >> magic >> w >> h >> maxval) || magic != "P6" || w != kWidth || h != kHeight || maxval != 255)
        return false;
    in.get();
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    if (!in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()))) return false;
    for (int i = 0; i < w * h; ++i) {
        image.data[3 * i] = rgb[3 * i + 2];
        image.data[3 * i + 1] = rgb[3 * i + 1];
        image.data[3 * i + 2] = rgb[3 * i];
    }
    return true;
}

const Pair& Pictures() {
    static Pair pair = [] {
        Pair p;
        vcdalbum::AllocateImage(p.first, kWidth, kHeight);
        vcdalbum::AllocateImage(p.second, kWidth, kHeight);
        if (!LoadPhoto(p.first)) {
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    unsigned char* px = p.first.data + 3 * (y * kWidth + x);
                    px[0] = static_cast<unsigned char>(x);
                    px[1] = static_cast<unsigned char>(y + x / 3);
                    px[2] = static_cast<unsigned char>((x ^ y) * 3);
                }
        }
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const unsigned char* from = p.first.data + 3 * (y * kWidth + kWidth - 1 - x);
                unsigned char* to = p.second.data + 3 * (y * kWidth + x);
                to[0] = from[2];
                to[1] = static_cast<unsigned char>(255 - from[1]);
                to[2] = from[0];
            }
        return p;
    }();
    return pair;
}

void RenderOnly(benchmark::State& state) {
    const unsigned effect = static_cast<unsigned>(state.range(0));
    const Pair& pair = Pictures();
    for (auto _ : state) {
        for (int frame = 1; frame <= vcdalbum::TransitionFrames; ++frame) {
            Image out{};
            const vcdalbum::TransitionResult r = vcdalbum::RenderTransition(pair.first, pair.second, effect, frame, out);
            if (!r.ok()) state.SkipWithError(r.message.c_str());
            benchmark::DoNotOptimize(out.data);
            vcdalbum::ReleaseImage(out);
        }
    }
    state.counters["fps"] = benchmark::Counter(vcdalbum::TransitionFrames, benchmark::Counter::kIsIterationInvariantRate);
}

void RenderAndSave(benchmark::State& state) {
    const unsigned effect = static_cast<unsigned>(state.range(0));
    const Pair& pair = Pictures();
    const std::string path = (std::filesystem::temp_directory_path() / "vcdalbum-bench-frame.jpg").string();
    for (auto _ : state) {
        for (int frame = 1; frame <= vcdalbum::TransitionFrames; ++frame) {
            const vcdalbum::TransitionResult r =
                vcdalbum::RenderTransitionToFile(pair.first, pair.second, path, effect, frame);
            if (!r.ok()) state.SkipWithError(r.message.c_str());
        }
    }
    std::filesystem::remove(path);
    state.counters["fps"] = benchmark::Counter(vcdalbum::TransitionFrames, benchmark::Counter::kIsIterationInvariantRate);
}

// One xfade graph over two planar-RGB inputs. Its transition lasts 60 s (1800
// frames at 30 fps), so every output frame is a mixed one.
class Xfade {
public:
    explicit Xfade(const std::string& transition) : transition_(transition) {
        inputs_[0] = ToPlanar(Pictures().first);
        inputs_[1] = ToPlanar(Pictures().second);
        out_ = av_frame_alloc();
        Build();
    }
    ~Xfade() {
        avfilter_graph_free(&graph_);
        for (AVFrame*& f : inputs_) av_frame_free(&f);
        av_frame_free(&out_);
    }
    bool ok() const { return graph_ != nullptr; }

    // Draws the next transition frame; false on an error.
    bool Next() {
        if (pts_ >= 1790) Build();
        for (int i = 0; i < 2; ++i) {
            inputs_[i]->pts = pts_;
            if (av_buffersrc_add_frame_flags(sources_[i], inputs_[i], AV_BUFFERSRC_FLAG_KEEP_REF) < 0) return false;
        }
        ++pts_;
        while (true) {
            const int got = av_buffersink_get_frame(sink_, out_);
            if (got == AVERROR(EAGAIN)) return true;  // needs the next pair first
            if (got < 0) return false;
            av_frame_unref(out_);
            return true;
        }
    }

private:
    static AVFrame* ToPlanar(const Image& image) {
        AVFrame* f = av_frame_alloc();
        f->format = AV_PIX_FMT_GBRP;
        f->width = kWidth;
        f->height = kHeight;
        av_frame_get_buffer(f, 0);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const unsigned char* px = image.data + 3 * (y * kWidth + x);
                f->data[0][y * f->linesize[0] + x] = px[1];  // G
                f->data[1][y * f->linesize[1] + x] = px[0];  // B
                f->data[2][y * f->linesize[2] + x] = px[2];  // R
            }
        return f;
    }

    void Build() {
        avfilter_graph_free(&graph_);
        pts_ = 0;
        graph_ = avfilter_graph_alloc();
        graph_->nb_threads = 1;
        const std::string args = "video_size=352x240:pix_fmt=" + std::to_string(AV_PIX_FMT_GBRP) +
                                 ":time_base=1/30:pixel_aspect=1/1:frame_rate=30/1";
        AVFilterContext* fade = nullptr;
        const std::string options = "transition=" + transition_ + ":duration=60:offset=0";
        bool good = avfilter_graph_create_filter(&sources_[0], avfilter_get_by_name("buffer"), "first", args.c_str(),
                                                 nullptr, graph_) >= 0 &&
                    avfilter_graph_create_filter(&sources_[1], avfilter_get_by_name("buffer"), "second", args.c_str(),
                                                 nullptr, graph_) >= 0 &&
                    avfilter_graph_create_filter(&fade, avfilter_get_by_name("xfade"), "xfade", options.c_str(),
                                                 nullptr, graph_) >= 0 &&
                    avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                                 graph_) >= 0;
        good = good && avfilter_link(sources_[0], 0, fade, 0) >= 0 && avfilter_link(sources_[1], 0, fade, 1) >= 0 &&
               avfilter_link(fade, 0, sink_, 0) >= 0 && avfilter_graph_config(graph_, nullptr) >= 0;
        // A format the filter lacks would slip a converter into the graph.
        if (!good || graph_->nb_filters != 4) avfilter_graph_free(&graph_);
    }

    std::string transition_;
    AVFilterGraph* graph_ = nullptr;
    AVFilterContext* sources_[2] = {};
    AVFilterContext* sink_ = nullptr;
    AVFrame* inputs_[2] = {};
    AVFrame* out_ = nullptr;
    int64_t pts_ = 0;
};

void XfadePeer(benchmark::State& state, std::string transition) {
    Xfade xfade(transition);
    if (!xfade.ok()) {
        state.SkipWithError(("xfade " + transition + " could not be set up").c_str());
        return;
    }
    for (int i = 0; i < 31; ++i) xfade.Next();  // prime: the first output needs both inputs
    for (auto _ : state) {
        for (int frame = 0; frame < vcdalbum::TransitionFrames; ++frame)
            if (!xfade.Next()) state.SkipWithError("xfade failed");
    }
    state.counters["fps"] = benchmark::Counter(vcdalbum::TransitionFrames, benchmark::Counter::kIsIterationInvariantRate);
}

// Our effect and the xfade transition that draws the same kind of picture.
const std::pair<unsigned, const char*> kComparable[] = {
    {14, "fade"}, {9, "wipeleft"}, {1, "slideleft"}, {18, "circleopen"},
    {20, "rectcrop"}, {16, "horzopen"}, {22, "diagtl"},
};

// Collects each run's frames per second for the closing table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto fps = run.counters.find("fps");
            if (!run.error_occurred && fps != run.counters.end()) fps_[run.benchmark_name()] = fps->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Fps(const std::string& name) const {
        const auto it = fps_.find(name);
        return it == fps_.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> fps_;
};

std::string RenderName(unsigned effect) { return "render/" + std::to_string(effect); }
std::string SaveName(unsigned effect) { return "render+save/" + std::to_string(effect); }

}  // namespace

int main(int argc, char** argv) {
    for (unsigned effect = 0; effect < vcdalbum::TransitionEffectCount; ++effect) {
        benchmark::RegisterBenchmark("render", RenderOnly)->Arg(effect)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("render+save", RenderAndSave)->Arg(effect)->Unit(benchmark::kMillisecond);
    }
    for (const auto& [effect, transition] : kComparable)
        benchmark::RegisterBenchmark(("xfade/" + std::string(transition)).c_str(), XfadePeer, std::string(transition))
            ->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-3s %-28s %12s %12s   %-11s %10s %8s\n", "#", "effect", "render fps", "+save fps", "xfade",
                "xfade fps", "ratio");
    for (unsigned effect = 0; effect < vcdalbum::TransitionEffectCount; ++effect) {
        const double ours = reporter.Fps(RenderName(effect));
        const double saved = reporter.Fps(SaveName(effect));
        std::printf("%-3u %-28s %12.0f %12s", effect, vcdalbum::TransitionEffectName(effect), ours,
                    saved > 0 ? std::to_string(static_cast<long>(saved)).c_str() : "-");
        for (const auto& [peerEffect, transition] : kComparable) {
            if (peerEffect != effect) continue;
            const double peer = reporter.Fps("xfade/" + std::string(transition));
            std::printf("   %-11s %10.0f %7.2fx", transition, peer, peer > 0 ? ours / peer : 0.0);
        }
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
