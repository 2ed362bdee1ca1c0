// Decoding 12-megapixel HEIC pictures, the size a phone's main camera
// takes: our picture input (to RGB, and on to the host's upright BGR
// picture), libheif's library called directly to RGB, and libheif's
// heif-convert tool writing raw YUV (y4m, the cheapest file it writes), in
// one run. The pictures are noisy so that the coder has work to do; they are
// made once at start-up with ffmpeg and heif-enc.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <libheif/heif.h>

#include "doubles/run_shell.h"
#include "doubles/scratch_dir.h"
#include "picture/pictures.h"
#include "picture_input.h"

namespace {
namespace fs = std::filesystem;
namespace input = vcdalbum::components::picture_input;

const vcdalbum::testing::ScratchDir& Folder() {
    static const vcdalbum::testing::ScratchDir dir;
    return dir;
}

// The picture, made on first use: 4000x3000, quality 80 as phones use.
const std::string& Picture() {
    static const std::string path = [] {
        const fs::path png = Folder() / "camera.png", heic = Folder() / "camera.heic";
        const auto made = vcdalbum::testing::RunShell(
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=4000x3000:rate=1 -frames:v 1 "
            "-vf noise=alls=16:allf=u '" + png.string() + "' && heif-enc -q 80 '" + png.string() + "' -o '" +
            heic.string() + "' >/dev/null 2>&1");
        if (made.exitCode != 0) {
            std::fprintf(stderr, "cannot make the HEIC picture (ffmpeg and heif-enc are needed)\n");
            std::exit(2);
        }
        return heic.string();
    }();
    return path;
}

void OurInput(benchmark::State& state) {
    input::DecodeOptions options;
    options.refuseDamaged = true;
    options.maxPixels = 100'000'000;
    for (auto _ : state) {
        input::Problem problem;
        input::FramePtr frame = input::DecodeFirstPicture(Picture(), problem, options);
        if (!frame) state.SkipWithError(problem.text.c_str());
        benchmark::DoNotOptimize(frame);
    }
}

void HostPicture(benchmark::State& state) {
    for (auto _ : state) {
        vcdalbum::OwnedImage picture = vcdalbum::host::ReadPicture(Picture());
        benchmark::DoNotOptimize(picture);
    }
}

void LibheifLibrary(benchmark::State& state) {
    for (auto _ : state) {
        heif_context* ctx = heif_context_alloc();
        heif_context_set_max_decoding_threads(ctx, 0);
        heif_image_handle* handle = nullptr;
        heif_image* image = nullptr;
        if (heif_context_read_from_file(ctx, Picture().c_str(), nullptr).code != heif_error_Ok ||
            heif_context_get_primary_image_handle(ctx, &handle).code != heif_error_Ok ||
            heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code !=
                heif_error_Ok)
            state.SkipWithError("libheif failed");
        benchmark::DoNotOptimize(image);
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(ctx);
    }
}

void HeifConvertTool(benchmark::State& state) {
    const std::string command =
        "heif-convert '" + Picture() + "' '" + (Folder() / "out.y4m").string() + "' >/dev/null 2>&1";
    for (auto _ : state)
        if (vcdalbum::testing::RunShell(command).exitCode != 0) state.SkipWithError("heif-convert failed");
}

// A decode takes seconds: a few rounds each, wall time, as a person waits.
BENCHMARK(OurInput)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(HostPicture)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(LibheifLibrary)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(HeifConvertTool)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::fprintf(stderr, "making a 4000x3000 HEIC picture ...\n");
    Picture();  // outside every timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
