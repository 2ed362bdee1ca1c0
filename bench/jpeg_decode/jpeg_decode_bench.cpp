// Decoding speed: our decoder beside libjpeg-turbo (integer IDCT, no fancy
// upsampling, RGB out) on the same pictures in the same run. Prints the
// ratio of the mean times, ours / libjpeg-turbo, per picture.
#include <benchmark/benchmark.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "codec/simd_kernels.h"
#include "vcdalbum/codec.h"

namespace {

const char* const kPictures[] = {"photo_352x240_q85_420.jpg", "photo_1920x1080_q85_420.jpg"};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Ours(benchmark::State& state, const std::vector<uint8_t>* bytes) {
    for (auto _ : state) {
        Image image{};
        const vcdalbum::CodecResult result = vcdalbum::DecodeJpeg(*bytes, image);
        if (!result.ok()) {
            state.SkipWithError(result.message.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.data);
        vcdalbum::ReleaseImage(image);
    }
}

struct PeerError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void Peer(benchmark::State& state, const std::vector<uint8_t>* bytes) {
    std::vector<uint8_t> pixels;
    for (auto _ : state) {
        jpeg_decompress_struct info;
        PeerError error;
        info.err = jpeg_std_error(&error.base);
        error.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<PeerError*>(c->err)->jump, 1); };
        jpeg_create_decompress(&info);
        if (setjmp(error.jump)) {
            jpeg_destroy_decompress(&info);
            state.SkipWithError("libjpeg-turbo refused the picture");
            break;
        }
        jpeg_mem_src(&info, bytes->data(), static_cast<unsigned long>(bytes->size()));
        jpeg_read_header(&info, TRUE);
        info.dct_method = JDCT_ISLOW;
        info.do_fancy_upsampling = FALSE;
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        const size_t stride = size_t{info.output_width} * 3;
        pixels.resize(stride * info.output_height);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = pixels.data() + stride * info.output_scanline;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(pixels.data());
    }
}

// Collects the mean CPU time per iteration (the machine may be shared) of every run to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median wins over the single runs.
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations <= 0) continue;
            const double time = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times_[run.run_name.str()] = time;
                medians_.insert(run.run_name.str());
            } else if (run.run_type == Run::RT_Iteration && !medians_.count(run.run_name.str())) {
                times_[run.run_name.str()] = time;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        for (const char* picture : kPictures) {
            const auto ours = times_.find(std::string("decode/ours/") + picture);
            const auto peer = times_.find(std::string("decode/libjpeg-turbo/") + picture);
            if (ours == times_.end() || peer == times_.end()) continue;
            std::printf("ratio ours/libjpeg-turbo %s: %.2f (%.3f ms / %.3f ms)\n", picture, ours->second / peer->second,
                        ours->second * 1e3, peer->second * 1e3);
        }
    }

private:
    std::map<std::string, double> times_;
    std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = std::string(VCDALBUM_TESTDATA_DIR) + "/bench/";
    std::vector<std::vector<uint8_t>> files;
    files.reserve(std::size(kPictures));
    for (const char* picture : kPictures) {
        files.push_back(ReadFile(dir + picture));
        if (files.back().empty()) {
            std::printf("skipped: %s%s is absent\n", dir.c_str(), picture);
            return 0;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        benchmark::RegisterBenchmark((std::string("decode/ours/") + kPictures[i]).c_str(), Ours, &files[i])
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("decode/libjpeg-turbo/") + kPictures[i]).c_str(), Peer, &files[i])
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // VCDALBUM_SIMD=sse2 or =scalar runs the lower levels, to report their ratios too.
    std::printf("our kernels: %s\n", vcdalbum::codec::ActiveKernels().name);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
