// Encodes the benchmark pictures with our encoder and with libjpeg-turbo set
// to the same quantisers (half.qtables), Y 2x1 sampling, integer DCT and the
// standard Huffman tables, then prints the time ratio ours / libjpeg-turbo
// and both file sizes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <vcdalbum/codec.h>

#include "codec/simd_kernels.h"

#include "libjpeg_peer.h"
#include "ppm/ppm.h"

namespace {

const std::string kDir = std::string(VCDALBUM_TESTDATA_DIR) + "/bench";

struct Picture {
    std::string name;
    Image image{};
    size_t oursBytes = 0;
    size_t theirsBytes = 0;
};

unsigned int gLuma[64], gChroma[64];

// Median CPU time per iteration of each benchmark, by name. CPU time, not
// wall time: the machine may be shared, and both encoders run single-threaded.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
    if (!libjpeg_peer::ReadQuantTables(kDir + "/half.qtables", gLuma, gChroma)) {
        std::fprintf(stderr, "jpeg_encode_bench: %s/half.qtables not found; nothing to measure\n", kDir.c_str());
        return 0;
    }
    std::vector<Picture> pictures;
    for (const char* name : {"seeding_352x240", "seeding_1920x1080"}) {
        Picture p;
        p.name = name;
        std::string error;
        if (!vcdalbum::cli::ReadPpm(kDir + "/" + name + ".ppm", p.image, error)) {
            std::fprintf(stderr, "jpeg_encode_bench: %s\n", error.c_str());
            return 1;
        }
        pictures.push_back(p);
    }

    for (Picture& p : pictures) {
        benchmark::RegisterBenchmark(("ours/" + p.name).c_str(), [&p](benchmark::State& state) {
            std::vector<uint8_t> out;
            for (auto _ : state) {
                const vcdalbum::CodecResult result = vcdalbum::EncodeJpeg(p.image, out);
                if (!result.ok()) state.SkipWithError(result.message.c_str());
                benchmark::DoNotOptimize(out.data());
            }
            p.oursBytes = out.size();
        })->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);
        benchmark::RegisterBenchmark(("libjpeg-turbo/" + p.name).c_str(), [&p](benchmark::State& state) {
            std::vector<uint8_t> out;
            for (auto _ : state) {
                if (!libjpeg_peer::EncodeLikeOurs(p.image.data, static_cast<int>(p.image.width),
                                                  static_cast<int>(p.image.height), ImageStride(p.image.width), gLuma,
                                                  gChroma, out))
                    state.SkipWithError("libjpeg-turbo failed");
                benchmark::DoNotOptimize(out.data());
            }
            p.theirsBytes = out.size();
        })->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);
    }

    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // VCDALBUM_SIMD=sse2 or =scalar runs the lower levels, to report their ratios too.
    std::printf("\nour kernels: %s\n", vcdalbum::codec::ActiveKernels().name);
    std::printf("%-20s %12s %14s %8s %12s %14s\n", "picture", "ours cpu us", "libjpeg cpu us", "ratio", "ours bytes",
                "libjpeg bytes");
    for (Picture& p : pictures) {
        const double ours = reporter.medians["ours/" + p.name];
        const double theirs = reporter.medians["libjpeg-turbo/" + p.name];
        std::printf("%-20s %12.1f %14.1f %8.2f %12zu %14zu\n", p.name.c_str(), ours, theirs,
                    theirs > 0 ? ours / theirs : 0.0, p.oursBytes, p.theirsBytes);
        vcdalbum::ReleaseImage(p.image);
    }
    benchmark::Shutdown();
    return 0;
}
