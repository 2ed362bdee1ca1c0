// Encoding a 10-picture album (5 s per picture, 9 one-second random-pixel
// dissolves, music) to a VCD stream: our component beside the ffmpeg
// command-line tool making the same album with xfade and -target ntsc-vcd.
// Prints seconds of video per wall-clock second for both and their ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "contract/vrxstream.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

namespace fs = std::filesystem;

constexpr int kPictures = 10;
constexpr int kSecondsPerPicture = 5;
constexpr double kVideoSeconds = kPictures * kSecondsPerPicture + (kPictures - 1) * 1.0;

fs::path g_dir;
double g_ours = 0, g_peer = 0;  // best seconds of video per second
int g_oursUnderflows = 0, g_peerUnderflows = 0;  // rate-buffer and muxer underflows, last run

void CountUnderflows(void*, int, const char* fmt, va_list args) {
    char line[1024];
    std::vsnprintf(line, sizeof line, fmt, args);
    if (std::strstr(line, "underflow") != nullptr) ++g_oursUnderflows;
}

int CountInFile(const std::string& path, const char* word) {
    std::ifstream in(path);
    int n = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find(word) != std::string::npos) ++n;
    return n;
}

bool Sh(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string P(const std::string& name) { return (g_dir / name).string(); }

bool MakeInputs() {
    g_dir = fs::temp_directory_path() / ("vcdalbum-stream-bench-" + std::to_string(::getpid()));
    fs::create_directories(g_dir);
    const std::string photo = std::string(VCDALBUM_TESTDATA_DIR) + "/bench/photo_1920x1080_q85_420.jpg";
    const std::string source = fs::exists(photo) ? "-i '" + photo + "'" : "-f lavfi -i testsrc2=s=1920x1080";
    const char* looks[kPictures] = {"null", "hflip", "vflip", "negate", "hue=h=90", "hue=h=180", "hue=s=0",
                                    "hflip,vflip", "hue=h=270", "negate,hflip"};
    const std::string ff = "ffmpeg -nostdin -hide_banner -loglevel error -y ";
    for (int i = 0; i < kPictures; ++i)
        if (!Sh(ff + source + " -vf 'scale=352:240," + looks[i] + "' -frames 1 '" + P("p" + std::to_string(i) + ".jpg") + "'"))
            return false;
    for (int i = 0; i + 1 < kPictures; ++i)
        if (!Sh(ff + "-loop 1 -i '" + P("p" + std::to_string(i) + ".jpg") + "' -loop 1 -i '" + P("p" + std::to_string(i + 1) + ".jpg") +
                "' -filter_complex \"[0][1]xfade=transition=dissolve:duration=1:offset=0,select='between(n,1,30)'\" "
                "-vsync 0 -frames 30 -start_number 1 '" + P(std::to_string(i) + "-%d.jpg") + "'"))
            return false;
    return Sh(ff + "-f lavfi -i 'sine=f=330:d=25' -ac 2 -b:a 192k '" + P("music.mp3") + "'");
}

void Ours(benchmark::State& state) {
    std::vector<std::string> names;
    for (int i = 0; i < kPictures; ++i) {
        names.push_back(P("p" + std::to_string(i) + ".jpg"));
        if (i + 1 < kPictures)
            for (int k = 1; k <= 30; ++k) names.push_back(P(std::to_string(i) + "-" + std::to_string(k) + ".jpg"));
    }
    std::vector<char*> pictures;
    for (auto& n : names) pictures.push_back(n.data());
    pictures.push_back(nullptr);
    std::vector<float> times(names.size(), 1.0f / 30);
    std::string music = P("music.mp3"), out = P("ours.mpg");
    char* extras[] = {music.data(), nullptr};
    StreamInfo info{};
    info.pictureFiles = pictures.data();
    info.pictureCount = static_cast<int32_t>(names.size());
    info.pictureTimes = times.data();
    info.extraFiles = extras;
    info.extraCount = 1;
    info.outputFile = out.data();
    info.option5 = kSecondsPerPicture;
    info.sourceCount = kPictures;
    av_log_set_callback(&CountUnderflows);
    for (auto _ : state) {
        g_oursUnderflows = 0;
        auto t0 = std::chrono::steady_clock::now();
        if (StreamEncode(&info) != 0) state.SkipWithError("StreamEncode failed");
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        g_ours = std::max(g_ours, kVideoSeconds / s);
    }
    av_log_set_callback(av_log_default_callback);
    state.counters["video_s_per_s"] = g_ours;
}

void FfmpegTool(benchmark::State& state) {
    // Each clip lasts its 5 s plus the second it shares with each neighbour.
    std::string inputs, graph, last = "[0]";
    double clip = kSecondsPerPicture + 1.0;
    for (int i = 0; i < kPictures; ++i) {
        double length = clip + ((i > 0 && i + 1 < kPictures) ? 1.0 : 0.0);
        inputs += "-loop 1 -framerate 30000/1001 -t " + std::to_string(length) + " -i '" + P("p" + std::to_string(i) + ".jpg") + "' ";
    }
    double offset = kSecondsPerPicture;
    for (int i = 1; i < kPictures; ++i) {
        std::string out = i + 1 < kPictures ? "[v" + std::to_string(i) + "]" : "[v]";
        graph += last + "[" + std::to_string(i) + "]xfade=transition=dissolve:duration=1:offset=" + std::to_string(offset) + out + ";";
        last = out;
        offset += kSecondsPerPicture + 1.0;
    }
    graph.pop_back();
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + inputs + "-stream_loop -1 -i '" +
                                P("music.mp3") + "' -filter_complex \"" + graph + "\" -map '[v]' -map " +
                                std::to_string(kPictures) + ":a -shortest -target ntsc-vcd '" + P("peer.mpg") + "' 2>'" +
                                P("peer.log") + "'";
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        if (!Sh(command)) state.SkipWithError("ffmpeg failed");
        g_peerUnderflows = CountInFile(P("peer.log"), "underflow");
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        g_peer = std::max(g_peer, kVideoSeconds / s);
    }
    state.counters["video_s_per_s"] = g_peer;
}

BENCHMARK(Ours)->Name("StreamEncode/album10")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(FfmpegTool)->Name("ffmpeg_cli/album10")->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!MakeInputs()) {
        std::fprintf(stderr, "stream_bench: could not make the inputs with ffmpeg\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("video seconds per second: ours %.1f, ffmpeg CLI %.1f, ratio ours/ffmpeg %.2f\n", g_ours, g_peer,
                g_peer > 0 ? g_ours / g_peer : 0.0);
    std::printf("underflow messages in one run: ours %d, ffmpeg CLI %d\n", g_oursUnderflows, g_peerUnderflows);
    std::error_code ec;
    fs::remove_all(g_dir, ec);
    return 0;
}
